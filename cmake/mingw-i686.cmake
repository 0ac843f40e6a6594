# Cross-compiling for 32-bit Windows with MinGW-w64 (Debian: g++-mingw-w64-i686). The result,
# tosim.exe, runs on Windows and under wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(TOSIM_MINGW_PREFIX i686-w64-mingw32)
set(CMAKE_C_COMPILER ${TOSIM_MINGW_PREFIX}-gcc)
set(CMAKE_CXX_COMPILER ${TOSIM_MINGW_PREFIX}-g++)
set(CMAKE_RC_COMPILER ${TOSIM_MINGW_PREFIX}-windres)

# Libraries and headers come from the MinGW-w64 tree only; build tools from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${TOSIM_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Anything CMake itself would run (try_run, tests) runs under wine.
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
