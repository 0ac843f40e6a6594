# Which wine runs a Windows program of this project; sourced by run_suite.sh and .ci/windows.
#
#   select_wine EXE    sets width (32 or 64), toolchain (its file in cmake/) and wine (the
#                      loader to start programs with), and exports WINEARCH (and WINELOADER);
#                      status 1, with the reason on standard error, where that wine cannot run.
#
# The width is the machine in EXE's PE header. 32-bit programs run under 32-bit wine (Debian:
# wine32:i386), which needs a kernel that starts 32-bit programs; 64-bit ones under 64-bit wine
# (Debian: wine64) on any x86-64 kernel.
#
#   program_width EXE  prints 32 or 64, EXE's width; nothing, with status 1, for anything else
program_width() {
  local pe_header machine
  pe_header=$(od -An -tu4 -j60 -N4 "$1" 2>/dev/null | tr -d ' ')
  machine=$(od -An -tx2 -j$((${pe_header:-0} + 4)) -N2 "$1" 2>/dev/null | tr -d ' ')
  case $machine in
    014c) echo 32 ;;
    8664) echo 64 ;;
    *) return 1 ;;
  esac
}

select_wine() {
  local exe=$1
  case $(program_width "$exe") in
    32)
      width=32 toolchain=mingw-i686.cmake wine=wine
      export WINEARCH=win32
      unset WINELOADER
      python3 "$(dirname "${BASH_SOURCE[0]}")/can_start_32bit.py" || return 1
      # Debian's "wine" falls back on the 64-bit loader when the 32-bit one is missing.
      if [[ -d /usr/lib/wine && ! -x /usr/lib/wine/wine ]] || ! command -v wine >/dev/null; then
        echo "32-bit wine is not installed (Debian: wine32:i386)" >&2
        return 1
      fi
      ;;
    64)
      width=64 toolchain=mingw-x86_64.cmake
      # Debian keeps the 64-bit loader out of PATH: its "wine" prefers the 32-bit one.
      wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
      export WINEARCH=win64 WINELOADER=$wine  # WINELOADER: for the programs' child processes
      [[ $(uname -m) == x86_64 ]] ||
        { echo "64-bit wine needs an x86-64 machine, not $(uname -m)" >&2; return 1; }
      [[ -x $wine ]] || { echo "64-bit wine is not installed (Debian: wine64)" >&2; return 1; }
      ;;
    *)
      echo "$exe: neither a 32-bit nor a 64-bit x86 Windows program" >&2
      return 1
      ;;
  esac
}
