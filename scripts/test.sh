#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test: the supervisor's rules
# on the host, then the real Windows programs under Wine, x64 and 32-bit; then makes the
# release zips of both Windows builds in their build trees. Closes with one line,
#   tests: N passed, N failed, N skipped
# over every tree, and exits non-zero when a test failed.
set -euo pipefail
cd "$(dirname "$0")/.."
trap 'echo "test.sh: failed at line $LINENO: $BASH_COMMAND" >&2' ERR

scripts/setup.sh

# Each tree's CTest output, read for the counts at the end.
logs=$(mktemp -d)
trap 'rm -rf "$logs"' EXIT
failed_trees=()
run_tests() {
  ctest --preset "$1" 2>&1 | tee "$logs/$1.log" || failed_trees+=("$1")
  # A skipped test prints why; CTest shows only the output of failed ones.
  local reasons=build/$1/Testing/Temporary/LastTest.log
  [ -f "$reasons" ] && grep -h '^skipped: ' "$reasons" | sort -u | sed "s/^/$1: /" || true
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

if [ ${#failed_trees[@]} -eq 0 ]; then
  for preset in "${windows_presets[@]}"; do
    (cd "build/$preset" && cpack)
  done
  scripts/check-reproducible.sh "${windows_presets[@]}"
fi

# CTest counts a skipped test among the passed ones and lists it as "(Skipped)"; a test
# that could not run because its set-up failed counts as failed.
awk '
  / tests passed, [0-9]+ tests failed out of [0-9]+/ { total += $NF; failed += $(NF - 5) }
  /^[[:space:]]+[0-9]+ - .* \(Skipped\)$/ { skipped++ }
  END { printf "tests: %d passed, %d failed, %d skipped\n", total - failed - skipped, failed, skipped }
' "$logs"/*.log
if [ ${#failed_trees[@]} -gt 0 ]; then
  echo "test.sh: tests failed in: ${failed_trees[*]}" >&2
  exit 1
fi
