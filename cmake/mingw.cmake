# What both MinGW-w64 toolchain files share; each sets TOSIM_MINGW_PREFIX (the compilers' target
# triplet), CMAKE_SYSTEM_PROCESSOR and TOSIM_WINE (the wine that runs its programs) first.
set(CMAKE_SYSTEM_NAME Windows)

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
set(CMAKE_CROSSCOMPILING_EMULATOR ${TOSIM_WINE})
