#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test: the supervisor's rules
# on the host, then the real Windows programs under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh

cmake --preset native
cmake --build --preset native
ctest --preset native

cmake --preset mingw
cmake --build --preset mingw
ctest --preset mingw
