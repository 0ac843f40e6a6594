#!/usr/bin/env bash
# The Windows test suite: tosim.exe, tosim-report.exe and tosim-gen.exe under wine.
#
#   tests/windows/run_suite.sh [BUILD_DIR]
#
# BUILD_DIR (default build/windows) holds the three programs from the "windows" preset
# (32-bit programs) or the "windows64" preset (64-bit ones); the programs' own header says which.
# 32-bit programs run under 32-bit wine (WINEARCH=win32, "wine"), which needs a kernel that
# starts 32-bit programs; 64-bit ones under 64-bit wine (WINEARCH=win64, the wine64 loader),
# which runs on any x86-64 kernel (wine.sh chooses). Builds helper.exe of the same width into
# BUILD_DIR-tests, makes a wine prefix of that width (TOSIM_WINEPREFIX, default
# BUILD_DIR/wineprefix) on first use and runs without a display (where a dialog fails as if
# cancelled) the end-to-end cases of the three programs and the programs on a terminal; then on
# an Xvfb display of its own the crash checks and the real dialogs (TOSIM_SKIP_DIALOGS=1 leaves
# these out). tosim-gen.exe must write the bytes of the native tosim-gen: the native build
# (build/default, or TOSIM_NATIVE_BUILD) is brought up to date for it first. The last line sums
# up the parts' "N passed, N failed, N skipped"; the status is 0 when nothing failed, 2 when the
# suite could not start.
set -u -o pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(cd "$here/../.." && pwd)
build=$(cd "${1:-$repo/build/windows}" && pwd) || exit 2
exe="$build/tosim.exe"
helper="$build-tests/helper.exe"
[[ -f $exe && -f $build/tosim-report.exe && -f $build/tosim-gen.exe ]] ||
  { echo "no $exe, tosim-report.exe or tosim-gen.exe: build the windows or windows64 preset" \
    "first" >&2; exit 2; }

source "$here/wine.sh"
select_wine "$exe" || { echo "the $exe of $build cannot run here" >&2; exit 2; }
echo "== $width-bit programs under $width-bit wine ($wine, WINEARCH=$WINEARCH)"
export WINEPREFIX="${TOSIM_WINEPREFIX:-$build/wineprefix}" WINEDEBUG=-all
export LANG=C.UTF-8 LC_ALL=C.UTF-8
# No menu entries, no Mono or Gecko installers: console programs and the common dialogs only.
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d"
unset DISPLAY WAYLAND_DISPLAY
work=$(mktemp -d "${TMPDIR:-/tmp}/tosim-wine-suite.XXXXXX")
xvfb_pid="" keeper_pid=""

# One long-lived program keeps wine's background processes up: a run takes milliseconds instead
# of waiting for them. Its input cannot just end (wine's processes inherit the fifo): the session
# is killed.
start_session() {
  rm -f "$work/keep" && mkfifo "$work/keep"
  "$wine" "$helper" wait <"$work/keep" >/dev/null 2>&1 &
  keeper_pid=$!
  exec 9>"$work/keep"
  timeout 120 "$wine" "$helper" wait </dev/null >/dev/null 2>&1  # returns once wine is up
}
end_session() {
  exec 9>&-
  wineserver -k 2>/dev/null
  [[ -z $keeper_pid ]] || wait "$keeper_pid" 2>/dev/null
  keeper_pid=""
  wineserver -w 2>/dev/null
}
cleanup() {
  end_session
  [[ -z $xvfb_pid ]] || { kill "$xvfb_pid"; wait "$xvfb_pid"; } 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

passed=0 failed=0 skipped=0
# Runs a part, showing its output, and adds up its summary line; a part without one failed.
part() {
  "$@" | tee "$work/part.log"
  local p f s
  read -r p _ f _ s _ < <(tr -d '\r,' <"$work/part.log" |
    grep -E '^[0-9]+ passed [0-9]+ failed [0-9]+ skipped$' | tail -n1)
  passed=$((passed + ${p:-0})) failed=$((failed + ${f:-1})) skipped=$((skipped + ${s:-0}))
}

echo "== building helper.exe"
cmake -S "$here" -B "$build-tests" --toolchain "$repo/cmake/$toolchain" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >"$work/cmake.log" 2>&1 &&
  cmake --build "$build-tests" -j2 >>"$work/cmake.log" 2>&1 || { cat "$work/cmake.log"; exit 2; }
echo "== the native tosim-gen, to compare with"
native=${TOSIM_NATIVE_BUILD:-$repo/build/default}
{ [[ -f $native/CMakeCache.txt ]] || (cd "$repo" && cmake --preset default); } \
  >"$work/native.log" 2>&1 &&
  cmake --build "$native" -j2 --target tosim-gen >>"$work/native.log" 2>&1 ||
  { cat "$work/native.log"; exit 2; }
if [[ ! -f $WINEPREFIX/system.reg ]]; then
  echo "== making the $width-bit wine prefix $WINEPREFIX"
  mkdir -p "$WINEPREFIX"
  timeout 300 "$wine" wineboot -i >"$work/wineboot.log" 2>&1 && timeout 120 wineserver -w ||
    { cat "$work/wineboot.log"; echo "wineboot failed" >&2; exit 2; }
fi
grep -q "^#arch=$WINEARCH" "$WINEPREFIX/system.reg" ||
  { echo "$WINEPREFIX is not a $width-bit prefix: remove it or choose another" >&2; exit 2; }
# Drive Y: for the cases about another drive's current directory: a folder of the prefix, not
# the Linux root (wine would then name the current directory Y:\... instead of Z:\...).
mkdir -p "$WINEPREFIX/drive_y"
ln -sfn ../drive_y "$WINEPREFIX/dosdevices/y:"

echo "== end-to-end cases"
start_session
part python3 "$repo/tests/e2e/run_cases.py" --platform windows --program "$wine $exe" \
  --holder "$wine $helper hold" --launcher "$wine $helper run" "$repo"/tests/e2e/cases/*.case
echo "== tosim-report"
part python3 "$repo/tests/e2e/run_cases.py" --platform windows \
  --program "$wine $build/tosim-report.exe" --holder "$wine $helper hold" \
  "$repo"/tests/e2e/cases/report/*.case
echo "== tosim-gen"
part python3 "$repo/tests/e2e/run_cases.py" --platform windows \
  --program "$wine $build/tosim-gen.exe" "$repo"/tests/e2e/cases/gen/*.case
part python3 "$here/gen_same_bytes.py" --wine "$wine" --program "$build/tosim-gen.exe" \
  --native "$native/tosim-gen"
echo "== on a terminal"
part python3 "$here/console_tests.py" --wine "$wine" --program "$exe" \
  --report "$build/tosim-report.exe"
end_session

if [[ ${TOSIM_SKIP_DIALOGS:-0} == 1 ]]; then
  echo "== crashes and dialogs: left out (TOSIM_SKIP_DIALOGS=1)"
else
  # A display of its own, before the first wine program of the session.
  Xvfb -displayfd 3 -nolisten tcp -screen 0 1024x768x24 3>"$work/display" >/dev/null 2>&1 &
  xvfb_pid=$!
  timeout 10 bash -c "until [[ -s '$work/display' ]]; do sleep 0.1; done" ||
    { echo "Xvfb did not start" >&2; exit 2; }
  export DISPLAY=":$(head -n1 "$work/display")"
  # No window manager: unmanaged windows, or every closing dialog waits a second for one.
  timeout 120 "$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
  start_session
  echo "== crashes"
  part python3 "$repo/tests/e2e/run_cases.py" --platform windows --program "$wine $helper" \
    "$here/crashes.case"
  echo "== dialogs"
  part python3 "$here/dialog_tests.py" --wine "$wine" --program "$exe"
  end_session
fi

echo "== all parts"
echo "$passed passed, $failed failed, $skipped skipped"
[[ $failed -eq 0 ]]
