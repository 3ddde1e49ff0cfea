# Installs the build into a scratch prefix and checks that everything lands
# where Linux desktops and the program itself look for it.
#   -DBUILD=<build folder> -DPREFIX=<scratch prefix> -DEXPECTED=<relative paths>
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD} --prefix ${PREFIX}
                RESULT_VARIABLE failed OUTPUT_QUIET)
if(failed)
    message(FATAL_ERROR "cmake --install failed")
endif()

foreach(path IN LISTS EXPECTED)
    if(NOT EXISTS ${PREFIX}/${path})
        message(FATAL_ERROR "not installed: ${path}")
    endif()
endforeach()

# The menu entry hands every chosen file to the program and shows its icon.
file(READ ${PREFIX}/share/applications/jp.quorbel.Tovali3.desktop entry)
foreach(line "Exec=tovali3 %F" "Icon=tovali3" "Name[ja]=" "image/jpeg;" "image/png;"
             "image/gif;" "image/bmp;" "image/heic;" "image/heif;" "image/avif;" "image/webp;")
    string(FIND "${entry}" "${line}" at)
    if(at EQUAL -1)
        message(FATAL_ERROR "the menu entry lacks ${line}")
    endif()
endforeach()

# The icon is the size its folder promises.
file(READ ${PREFIX}/share/icons/hicolor/256x256/apps/tovali3.png header LIMIT 24 HEX)
string(SUBSTRING "${header}" 32 16 size)
if(NOT size STREQUAL "0000010000000100")
    message(FATAL_ERROR "the icon is not 256 x 256 (IHDR ${size})")
endif()

# Every picture the help pages show is installed beside them.
foreach(page manual.html qa.html)
    file(READ ${PREFIX}/share/tovali3/docs/${page} html)
    string(REGEX MATCHALL "src=\"[^\"]+\"" sources "${html}")
    foreach(source IN LISTS sources)
        string(REGEX REPLACE "src=\"([^\"]+)\"" "\\1" file "${source}")
        if(NOT EXISTS ${PREFIX}/share/tovali3/docs/${file})
            message(FATAL_ERROR "${page} shows ${file}, which is not installed")
        endif()
    endforeach()
endforeach()
