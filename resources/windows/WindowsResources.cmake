# tovali_windows_resources(TARGET DESCRIPTION text): gives the Windows program
# TARGET its resource file: the program icon drawn by artgen, an application
# manifest and a version resource from the project version.
function(tovali_windows_resources target)
    cmake_parse_arguments(ARG "" "DESCRIPTION" "" ${ARGN})
    set(TOVALI_RC_NAME ${target})
    set(TOVALI_RC_FILE ${target}.exe)
    set(TOVALI_RC_DESCRIPTION ${ARG_DESCRIPTION})
    set(TOVALI_RC_VERSION4 ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}.0)
    set(TOVALI_RC_VERSION_COMMAS
        ${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR},${PROJECT_VERSION_PATCH},0)
    get_target_property(TOVALI_RC_ICON tovali_program_icon ICO_FILE)
    set(dir ${CMAKE_CURRENT_BINARY_DIR}/windows-resources)
    set(TOVALI_RC_MANIFEST ${dir}/${target}.manifest)
    configure_file(${CMAKE_CURRENT_FUNCTION_LIST_DIR}/program.manifest.in ${TOVALI_RC_MANIFEST} @ONLY)
    configure_file(${CMAKE_CURRENT_FUNCTION_LIST_DIR}/program.rc.in ${dir}/${target}.rc @ONLY)
    target_sources(${target} PRIVATE ${dir}/${target}.rc)
    set_source_files_properties(${dir}/${target}.rc PROPERTIES
        OBJECT_DEPENDS "${TOVALI_RC_ICON};${TOVALI_RC_MANIFEST}")
    add_dependencies(${target} tovali_program_icon)
endfunction()
