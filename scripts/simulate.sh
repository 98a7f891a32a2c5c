#!/usr/bin/env bash
# Runs the seeded terminal simulation for as many seeds as asked:
#   scripts/simulate.sh COUNT          seeds 1 to COUNT
#   scripts/simulate.sh FIRST COUNT    COUNT seeds from FIRST (one seed: FIRST 1)
# Builds the host tree first; a failure prints its seed, step, broken invariant and events.
set -euo pipefail
cd "$(dirname "$0")/.."
[ $# -ge 1 ] || { echo "usage: scripts/simulate.sh [FIRST] COUNT" >&2; exit 2; }
seeds=$1
[ $# -ge 2 ] && seeds="$1:$2"
cmake --preset native >/dev/null
cmake --build --preset native --target zorpa_unit_tests
ZORPA_SEEDS=$seeds build/native/bin/zorpa_unit_tests --gtest_filter='SeededRuns.*'
