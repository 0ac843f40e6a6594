#!/usr/bin/env bash
# Builds the two fuzzers in build/fuzz and runs them for SECONDS seconds in all (default 60): the
# plan fuzzer (the trace) two thirds of the time, the report fuzzer (the analysis and the report)
# the rest, both seeded with the plan files of the end-to-end cases, tosim's and tosim-report's.
# Exits non-zero on any finding; the input that shows it is left in build/fuzz/findings/.
#
# Usage: fuzz/run.sh [SECONDS]
set -euo pipefail
seconds="${1:-60}"
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$root/build/fuzz"
cmake -S "$root" -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTOSIM_FUZZ=ON -DTOSIM_TESTS=OFF >/dev/null
cmake --build "$build" --target tosim_plan_fuzzer tosim_report_fuzzer -j2

# The seeds are exported afresh on every run; what the fuzzer finds on its way is kept in
# build/fuzz/corpus for the next run.
seeds="$(mktemp -d "${TMPDIR:-/tmp}/tosim-fuzz-seeds.XXXXXX")"
trap 'rm -rf "$seeds"' EXIT
python3 "$root/tests/e2e/run_cases.py" --program /bin/true --export-plans "$seeds" \
  "$root"/tests/e2e/cases/*.case "$root"/tests/e2e/cases/report/*.case
mkdir -p "$build/findings"

# -timeout turns a run that does not end into a finding; -max_len leaves room for long lines.
report_seconds=$((seconds / 3 > 0 ? seconds / 3 : 1))
status=0
for run in "tosim_plan_fuzzer $((seconds - seconds / 3)) plan" \
  "tosim_report_fuzzer $report_seconds report"; do
  read -r fuzzer time corpus <<<"$run"
  mkdir -p "$build/corpus/$corpus"
  "$build/$fuzzer" \
    -max_total_time="$time" -timeout=10 -max_len=8192 -print_final_stats=1 \
    -dict="$root/fuzz/plan.dict" -artifact_prefix="$build/findings/" \
    "$build/corpus/$corpus" "$seeds" || status=$?
  if [ "$status" -ne 0 ]; then
    echo "fuzz/run.sh: $fuzzer stopped with status $status; the input is in $build/findings/" >&2
    echo "fuzz/run.sh: replay it with: $build/$fuzzer FILE" >&2
    exit "$status"
  fi
done
exit "$status"
