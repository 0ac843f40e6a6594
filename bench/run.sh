#!/usr/bin/env bash
# Runs the tosim benchmark; all options go to run.py (see bench/README.md). Needs python3 and dd.
set -euo pipefail
exec python3 "$(dirname "$0")/run.py" "$@"
