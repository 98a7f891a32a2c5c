#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test: the supervisor's rules
# on the host, then the real Windows programs under Wine, x64 and 32-bit; then makes the
# release zips of both Windows builds in their build trees.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh

cmake --preset native
cmake --build --preset native
ctest --preset native

windows_presets=(mingw mingw-x86)
for preset in "${windows_presets[@]}"; do
  cmake --preset "$preset"
  cmake --build --preset "$preset"
  ctest --preset "$preset"
done

for preset in "${windows_presets[@]}"; do
  (cd "build/$preset" && cpack)
done
