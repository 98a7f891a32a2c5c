#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test: the supervisor's rules
# on the host, then the real Windows programs under Wine, x64 and 32-bit; then makes the
# release zips of both Windows builds in their build trees.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh

# Each tree's CTest summary, added up at the end.
summaries=$(mktemp)
trap 'rm -f "$summaries"' EXIT
run_tests() {
  ctest --preset "$1" | tee /dev/stderr | grep -E 'tests passed, [0-9]+ tests failed out of' >>"$summaries"
}

cmake --preset native
cmake --build --preset native
run_tests native

windows_presets=(mingw mingw-x86)
for preset in "${windows_presets[@]}"; do
  cmake --preset "$preset"
  cmake --build --preset "$preset"
  run_tests "$preset"
done

for preset in "${windows_presets[@]}"; do
  (cd "build/$preset" && cpack)
done
scripts/check-reproducible.sh "${windows_presets[@]}"

# All trees together; a failing test has already stopped the script above.
awk '{ total += $NF; failed += $(NF-3) } END { print "tests: " total - failed " passed, " failed " failed" }' "$summaries"
