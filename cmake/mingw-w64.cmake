# Cross-compiling for 64-bit Windows with Debian's MinGW-w64, posix thread
# model (the win32 model has no std::thread). Libraries are looked for only in
# the prefix that scripts/windows-deps.sh builds, never in the host's /usr.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TOVALI_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TOVALI_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TOVALI_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${TOVALI_MINGW_TRIPLET}-windres)
set(CMAKE_AR ${TOVALI_MINGW_TRIPLET}-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB ${TOVALI_MINGW_TRIPLET}-gcc-ranlib-posix CACHE FILEPATH "")

# The prefix comes from the environment so that try_compile projects, which
# see only the toolchain file, find the same libraries.
if(DEFINED ENV{TOVALI_MINGW_PREFIX})
    set(TOVALI_MINGW_PREFIX "$ENV{TOVALI_MINGW_PREFIX}")
endif()
set(CMAKE_FIND_ROOT_PATH /usr/${TOVALI_MINGW_TRIPLET} ${TOVALI_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
