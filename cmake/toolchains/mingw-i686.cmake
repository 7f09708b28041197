# Cross build for Windows (i686) with the POSIX thread-model mingw-w64 compilers: the default
# thread model has no std::thread, which the program's tests and GoogleTest need.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(RALVEX_MINGW_PREFIX i686-w64-mingw32)
set(CMAKE_C_COMPILER ${RALVEX_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${RALVEX_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${RALVEX_MINGW_PREFIX}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${RALVEX_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Programs built here run through Wine (tests, smoke runs); cmake/Windows.cmake sets the
# emulator with a Wine prefix of the build's own.
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
