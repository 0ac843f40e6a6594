# Cross-compiling for 32-bit Windows with MinGW-w64 (Debian: g++-mingw-w64-i686). The result,
# tosim.exe, runs on Windows and under 32-bit wine.
set(TOSIM_MINGW_PREFIX i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(TOSIM_WINE wine)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
