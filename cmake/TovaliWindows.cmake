# Windows builds: cross-compiled with MinGW-w64 (cmake/mingw-w64.cmake) against
# the libraries scripts/windows-deps.sh builds into TOVALI_MINGW_PREFIX, with
# the programs and tests run under Wine.

if(NOT TOVALI_MINGW_PREFIX)
    message(FATAL_ERROR "TOVALI_MINGW_PREFIX names no library prefix: set it (environment or "
                        "-D) to what scripts/windows-deps.sh --prefix prints")
endif()
# pkg-config looks only at the prefix's libraries, never at the host's.
set(ENV{PKG_CONFIG_LIBDIR} ${TOVALI_MINGW_PREFIX}/lib/pkgconfig)
unset(ENV{PKG_CONFIG_PATH})
list(PREPEND CMAKE_PREFIX_PATH ${TOVALI_MINGW_PREFIX})

# Every Windows program the build runs (artgen, the tests) goes through Wine,
# in one Wine prefix of this build tree.
if(CMAKE_CROSSCOMPILING AND NOT CMAKE_CROSSCOMPILING_EMULATOR)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${PROJECT_SOURCE_DIR}/scripts/wine-run.sh
                                      ${CMAKE_BINARY_DIR}/wine ${TOVALI_MINGW_PREFIX}/bin)
endif()
