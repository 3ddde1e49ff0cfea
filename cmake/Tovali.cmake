# tovali_library(NAME DIR... LIBS lib...): a static library of every .cpp
# (and .ui/.qrc) file in the given folders; nothing when they hold none yet.
function(tovali_library name)
    cmake_parse_arguments(ARG "" "" "DIRS;LIBS" ${ARGN})
    set(sources)
    foreach(dir IN LISTS ARG_DIRS)
        file(GLOB found CONFIGURE_DEPENDS ${dir}/*.cpp ${dir}/*.ui ${dir}/*.qrc)
        list(APPEND sources ${found})
    endforeach()
    if(NOT sources)
        return()
    endif()
    add_library(${name} STATIC ${sources})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC ${ARG_LIBS})
endfunction()

# Registers a test program with CTest on Qt's offscreen platform, with the
# sanitizers' settings; with X11 it runs on Qt's X11 platform under xvfb-run.
# Each program gets its own settings and runtime folders in the build tree, so
# that no test reads or writes the user's own settings.
function(tovali_add_ctest name)
    cmake_parse_arguments(ARG "X11" "" "" ${ARGN})
    set(platform offscreen)
    set(command ${name})
    set(accessibility "")
    if(ARG_X11)
        # A D-Bus session of its own, where the accessibility bus starts on
        # demand, and Qt's accessibility bridge on without a screen reader.
        set(platform xcb)
        set(command dbus-run-session -- xvfb-run -a -s "-screen 0 1280x1024x24"
                    $<TARGET_FILE:${name}>)
        set(accessibility ";QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1")
    endif()
    set(home ${CMAKE_BINARY_DIR}/test-home/${name})
    file(MAKE_DIRECTORY ${home}/config ${home}/run)
    add_test(NAME ${name} COMMAND ${command})
    set_tests_properties(${name} PROPERTIES
        ENVIRONMENT "QT_QPA_PLATFORM=${platform};XDG_CONFIG_HOME=${home}/config;XDG_RUNTIME_DIR=${home}/run;TOVALI_FRESH_SETTINGS=1;LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/lsan.supp;UBSAN_OPTIONS=print_stacktrace=1${accessibility}"
        TIMEOUT 900)
endfunction()

# tovali_test_builds_here(SOURCE RESULT_VAR): whether a test source file builds
# on this system. Tests of Linux's own calls (those named in
# TOVALI_LINUX_ONLY_TESTS, and *X11Test.cpp) build on Linux only, their Windows
# counterparts (*WinTest.cpp) on Windows only.
function(tovali_test_builds_here source result)
    get_filename_component(base ${source} NAME_WE)
    if(WIN32)
        if(base MATCHES "X11Test$" OR base IN_LIST TOVALI_LINUX_ONLY_TESTS)
            set(${result} FALSE PARENT_SCOPE)
            return()
        endif()
    elseif(base MATCHES "WinTest$")
        set(${result} FALSE PARENT_SCOPE)
        return()
    endif()
    set(${result} TRUE PARENT_SCOPE)
endfunction()

# tovali_test(NAME DIR LIBS lib...): one test program of every .cpp file in
# DIR, run by CTest on Qt's offscreen platform.
function(tovali_test name)
    cmake_parse_arguments(ARG "" "DIR" "LIBS" ${ARGN})
    file(GLOB found CONFIGURE_DEPENDS ${ARG_DIR}/*.cpp)
    set(sources)
    foreach(source IN LISTS found)
        tovali_test_builds_here(${source} here)
        if(here)
            list(APPEND sources ${source})
        endif()
    endforeach()
    if(NOT sources)
        return()
    endif()
    add_executable(${name} ${sources})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS})
    target_compile_definitions(${name} PRIVATE
        TOVALI_TEST_DATA="${PROJECT_SOURCE_DIR}/tests/data"
        TOVALI_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
    tovali_add_ctest(${name})
endfunction()

# tovali_qtest(PREFIX DIR LIBS lib...): one QtTest program per .cpp file in
# DIR, named PREFIX_<file> (each file ends with QTEST_MAIN and includes its
# own .moc), run by CTest on Qt's offscreen platform. A file named *X11Test.cpp
# runs on a real X server instead (xvfb-run) and may use xcb.
function(tovali_qtest prefix)
    cmake_parse_arguments(ARG "" "DIR" "LIBS" ${ARGN})
    file(GLOB sources CONFIGURE_DEPENDS ${ARG_DIR}/*.cpp)
    foreach(source IN LISTS sources)
        tovali_test_builds_here(${source} here)
        if(NOT here)
            continue()
        endif()
        get_filename_component(base ${source} NAME_WE)
        set(name ${prefix}_${base})
        add_executable(${name} ${source})
        target_link_libraries(${name} PRIVATE Qt6::Test ${ARG_LIBS})
        target_compile_definitions(${name} PRIVATE
            TOVALI_TEST_DATA="${PROJECT_SOURCE_DIR}/tests/data"
            TOVALI_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
        if(base MATCHES "X11Test$")
            # xcb for the window system, D-Bus to ask AT-SPI as screen readers do.
            find_package(Qt6 REQUIRED COMPONENTS DBus)
            target_link_libraries(${name} PRIVATE xcb Qt6::DBus)
            tovali_add_ctest(${name} X11)
        else()
            tovali_add_ctest(${name})
        endif()
    endforeach()
endfunction()
