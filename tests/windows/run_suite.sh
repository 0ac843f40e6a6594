#!/usr/bin/env bash
# The Windows test suite: tosim.exe under wine.
#
#   tests/windows/run_suite.sh [BUILD_DIR]
#
# BUILD_DIR (default build/windows) holds tosim.exe from the "windows" preset. The script builds
# the test programs of tests/windows into BUILD_DIR-tests, makes a 32-bit wine prefix if there is
# none yet, and runs, in a wine session without a display (a dialog there fails as if
# cancelled, so no case can hang on one):
#   1. the end-to-end cases of tests/e2e/cases: the same files and bytes as on Linux, plus the
#      cases marked "only windows"; and tosim-report.exe on the cases of tests/report/cases;
#   2. the checks of the platform layer on real files, pipes and devices (seam_test.exe);
# and then, in a session on a virtual display of its own (Xvfb):
#   3. the crash checks: an unhandled exception ends the process at once with status 255, even
#      where a debugger's dialog could wait for a click;
#   4. the dialog tests: the real open and save dialogs, driven by xdotool.
# Each part prints "N passed, N failed, N skipped"; the last line is the total. The status is 0
# when nothing failed.
#
# Environment: TOSIM_WINEPREFIX (default BUILD_DIR/wineprefix), a wine prefix of this suite's
# own, made on first use; TOSIM_SKIP_DIALOGS=1 leaves out parts 3 and 4.
set -u -o pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(cd "$here/../.." && pwd)
build=$(cd "${1:-$repo/build/windows}" && pwd) || exit 2
tests_build="$build-tests"
exe="$build/tosim.exe"
[[ -f $exe && -f $build/tosim-report.exe ]] ||
  { echo "no $exe or tosim-report.exe: build the windows preset first" >&2; exit 2; }

export WINEPREFIX="${TOSIM_WINEPREFIX:-$build/wineprefix}"
export WINEARCH=win32
export WINEDEBUG=-all
export LANG=C.UTF-8 LC_ALL=C.UTF-8
# No menu entries, no Mono or Gecko installers: this prefix only runs console programs and the
# common dialogs.
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d"
unset DISPLAY WAYLAND_DISPLAY

work=$(mktemp -d "${TMPDIR:-/tmp}/tosim-wine-suite.XXXXXX")
xvfb_pid=""
keeper_pid=""

# Ends the wine session: everything wine runs for this prefix (only this prefix: WINEPREFIX
# names the wineserver), the keep-alive program among them. Its input cannot simply end: wine's
# background processes inherit the write end of the fifo.
end_session() {
  exec 9>&-
  wineserver -k 2>/dev/null
  if [[ -n $keeper_pid ]]; then
    wait "$keeper_pid" 2>/dev/null
    keeper_pid=""
  fi
  wineserver -w 2>/dev/null
}

# Starts a wine session with one long-lived wine program in it: with it, wine's background
# processes stay up, and a run takes milliseconds instead of waiting for them to go away.
start_session() {
  rm -f "$work/keep"
  mkfifo "$work/keep"
  wine "$helper" wait <"$work/keep" >/dev/null 2>&1 &
  keeper_pid=$!
  exec 9>"$work/keep"
  timeout 120 wine "$helper" wait </dev/null >/dev/null 2>&1  # returns once wine is up
}

cleanup() {
  end_session
  if [[ -n $xvfb_pid ]]; then
    kill "$xvfb_pid" 2>/dev/null
    wait "$xvfb_pid" 2>/dev/null
  fi
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

total_passed=0
total_failed=0
total_skipped=0
# Adds the counts of the summary line "N passed, N failed, N skipped" in file $1 to the totals;
# a part without one did not finish and counts as one failure.
count() {
  local line p f s
  line=$(tr -d '\r' <"$1" | grep -E '^[0-9]+ passed, [0-9]+ failed, [0-9]+ skipped$' | tail -n1)
  if [[ -z $line ]]; then
    total_failed=$((total_failed + 1))
    return
  fi
  read -r p _ f _ s _ <<<"${line//,/}"
  total_passed=$((total_passed + p))
  total_failed=$((total_failed + f))
  total_skipped=$((total_skipped + s))
}

echo "== building the test programs"
cmake -S "$here" -B "$tests_build" --toolchain "$repo/cmake/mingw-i686.cmake" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >"$work/cmake.log" 2>&1 &&
  cmake --build "$tests_build" -j2 >>"$work/cmake.log" 2>&1 ||
  { cat "$work/cmake.log"; exit 2; }
helper="$tests_build/helper.exe"

if [[ ! -f $WINEPREFIX/system.reg ]]; then
  echo "== making the 32-bit wine prefix $WINEPREFIX"
  mkdir -p "$WINEPREFIX"
  timeout 300 wineboot -i >"$work/wineboot.log" 2>&1 && timeout 120 wineserver -w ||
    { cat "$work/wineboot.log"; echo "wineboot failed" >&2; exit 2; }
fi
grep -q '^#arch=win32' "$WINEPREFIX/system.reg" ||
  { echo "$WINEPREFIX is not a 32-bit prefix: remove it or choose another" >&2; exit 2; }
# Drive Y: for the cases about another drive's current directory: a folder of the prefix, where
# such a case links Y:\case to its own folder. (Not the Linux root: wine would then name the
# current directory Y:\... instead of Z:\....)
mkdir -p "$WINEPREFIX/drive_y"
ln -sfn ../drive_y "$WINEPREFIX/dosdevices/y:"

echo "== end-to-end cases"
start_session
python3 "$repo/tests/e2e/run_cases.py" --platform windows --program "wine $exe" \
  --holder "wine $helper hold" --launcher "wine $helper run" \
  "$repo"/tests/e2e/cases/*.case | tee "$work/e2e.log"
count "$work/e2e.log"

echo "== tosim-report"
python3 "$repo/tests/report/run_report_cases.py" --windows "wine $build/tosim-report.exe" \
  "$repo"/tests/report/cases/*.case | tee "$work/report.log"
count "$work/report.log"

echo "== platform layer"
mkdir "$work/seam"
timeout 60 wine "$tests_build/seam_test.exe" "Z:${work//\//\\}\\seam" | tee "$work/seam.log"
count "$work/seam.log"
# A short write, for real: the system writes only the first 1024 bytes of a block under a file
# size limit, and reports success. (The wineserver already runs, outside the limit.)
(
  ulimit -f 1
  trap '' XFSZ
  timeout 60 wine "$tests_build/seam_test.exe" short-write "Z:${work//\//\\}\\short.bin"
) | tee "$work/short.log"
count "$work/short.log"
end_session

if [[ ${TOSIM_SKIP_DIALOGS:-0} == 1 ]]; then
  echo "== crashes and dialogs: left out (TOSIM_SKIP_DIALOGS=1)"
else
  # A display of its own, the number chosen by Xvfb, before the first wine program of the
  # session: without a display the dialogs fail as if cancelled.
  Xvfb -displayfd 3 -nolisten tcp -screen 0 1024x768x24 3>"$work/display" >/dev/null 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 100); do
    [[ -s $work/display ]] && break
    sleep 0.1
  done
  [[ -s $work/display ]] || { echo "Xvfb did not start" >&2; exit 2; }
  export DISPLAY=":$(head -n1 "$work/display")"
  # There is no window manager: unmanaged windows, or every dialog that closes waits a second
  # for a window manager to withdraw it.
  timeout 120 wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
  start_session

  echo "== crashes"
  crash_passed=0
  crash_failed=0
  for mode in crash-seh crash-c++; do
    start=$(date +%s%N)
    timeout 20 wine "$tests_build/seam_test.exe" "$mode" </dev/null >"$work/crash.out" \
      2>"$work/crash.err"
    status=$?
    took=$((($(date +%s%N) - start) / 1000000))
    if [[ $status -eq 255 && ! -s $work/crash.out ]] && grep -q '^Excepci' "$work/crash.err"; then
      echo "PASS crashes: $mode: status 255 after $took ms:" \
        "$(tr -d '\r' <"$work/crash.err" | iconv -f CP1252 -t UTF-8)"
      crash_passed=$((crash_passed + 1))
    else
      echo "FAIL crashes: $mode: status $status after $took ms"
      echo "  stdout: $(head -c 300 "$work/crash.out" | od -c | head -n 5)"
      echo "  stderr: $(head -c 300 "$work/crash.err" | od -c | head -n 5)"
      crash_failed=$((crash_failed + 1))
    fi
  done
  echo "$crash_passed passed, $crash_failed failed, 0 skipped" | tee "$work/crash.sum"
  count "$work/crash.sum"

  echo "== dialogs"
  python3 "$here/dialog_tests.py" --program "$exe" | tee "$work/dialogs.log"
  count "$work/dialogs.log"
  end_session
fi

echo "== all parts"
echo "$total_passed passed, $total_failed failed, $total_skipped skipped"
[[ $total_failed -eq 0 ]]
