# Cross-compiling for 64-bit Windows with MinGW-w64 (Debian: g++-mingw-w64-x86-64). The result,
# a PE32+ tosim.exe, runs on 64-bit Windows and under 64-bit wine (Debian: wine64), also on a
# kernel that cannot start 32-bit programs.
set(TOSIM_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
# Debian keeps the 64-bit loader out of PATH (its "wine" picks the 32-bit one when installed).
if(EXISTS /usr/lib/wine/wine64)
  set(TOSIM_WINE /usr/lib/wine/wine64)
else()
  set(TOSIM_WINE wine64)
endif()
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
