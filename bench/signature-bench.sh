#!/usr/bin/env bash
# What the publisher check adds to one update, under Wine: CheckPublisher's median time for a
# worker that is not signed (the rule is off: one signature looked for), and for a signed worker
# offered a new version by the same publisher, once with the stand-in (about 530 KiB) and once
# with a 4 MiB program (the stand-in with 4 MiB appended before signing). Uses the stand-ins and
# the test certificates of a built Windows tree.
#   bench/signature-bench.sh [BUILD_DIR] [WORK_DIR]   (defaults: build/mingw, build/bench-signature)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(realpath "${1:-$here/../build/mingw}")
work=$(realpath -m "${2:-$here/../build/bench-signature}")
env_script=$here/../tests/wine/wine-env.sh
keys=$build/tests/wine/signing-keys
mkdir -p "$work"

cxx=$(sed -n 's/^set(CMAKE_CXX_COMPILER "\(.*\)")$/\1/p' "$build"/CMakeFiles/*/CMakeCXXCompiler.cmake)
"$cxx" -std=c++17 -O2 -static -municode \
  -DUNICODE -D_UNICODE -DWIN32_LEAN_AND_MEAN -DNOMINMAX -DAPP_VERSION_TEXT='"bench"' \
  -I"$here/../ZORPA" -I"$here/../ZORPA/win32" -o "$work/signature-bench.exe" \
  "$here/signature-bench.cpp" "$here"/../ZORPA/*.cpp \
  $(ls "$here"/../ZORPA/win32/*.cpp | grep -v '/main\.cpp$') -loleaut32 -lwintrust -lcrypt32

for version in 1 2; do
  standin=$build/bin/StandInWorker$([ $version = 1 ] || echo $version).exe
  { cat "$standin"; head -c $((4 << 20)) /dev/zero; } >"$work/large$version.exe"
  rm -f "$work/large$version-signed.exe"
  osslsigncode sign -certs "$keys/publisher.pem" -key "$keys/publisher.key" -h sha256 \
    -in "$work/large$version.exe" -out "$work/large$version-signed.exe" >/dev/null
done

"$env_script" setup "$work/wine-env" >/dev/null
trap '"$env_script" teardown "$work/wine-env"' EXIT
winpath() { echo "Z:${1//\//\\}"; }
"$env_script" run "$work/wine-env" timeout 300 wine "$work/signature-bench.exe" \
  "$(winpath "$build/bin/StandInWorker.exe")" "$(winpath "$build/bin/StandInWorker2-publisher.exe")" \
  "$(winpath "$build/bin/StandInWorker-publisher.exe")" "$(winpath "$build/bin/StandInWorker2-publisher.exe")" \
  "$(winpath "$work/large1-signed.exe")" "$(winpath "$work/large2-signed.exe")" | tr -d '\r'
