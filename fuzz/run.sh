#!/usr/bin/env bash
# Builds the plan fuzzer in build/fuzz and runs it for SECONDS seconds (default 60), seeded with
# the plan files of the end-to-end cases; what it finds on its way stays in build/fuzz/corpus.
# Exits non-zero on a finding, whose input is left in build/fuzz/findings/.
#
# Usage: fuzz/run.sh [SECONDS]
set -euo pipefail
seconds="${1:-60}"
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$root/build/fuzz"
cmake -S "$root" -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTOSIM_FUZZ=ON -DTOSIM_TESTS=OFF >/dev/null
cmake --build "$build" --target tosim_plan_fuzzer -j2
seeds="$(mktemp -d "${TMPDIR:-/tmp}/tosim-fuzz-seeds.XXXXXX")"
trap 'rm -rf "$seeds"' EXIT
python3 "$root/tests/e2e/run_cases.py" --program /bin/true --export-plans "$seeds" \
  "$root"/tests/e2e/cases/*.case
mkdir -p "$build/corpus" "$build/findings"
# -timeout turns a run that does not end into a finding; -max_len leaves room for long lines.
"$build/fuzz/tosim_plan_fuzzer" -max_total_time="$seconds" -timeout=10 -max_len=8192 \
  -print_final_stats=1 -dict="$root/fuzz/plan.dict" -artifact_prefix="$build/findings/" \
  "$build/corpus" "$seeds" ||
  { echo "fuzz/run.sh: a finding; replay it with $build/fuzz/tosim_plan_fuzzer FILE" >&2; exit 1; }
