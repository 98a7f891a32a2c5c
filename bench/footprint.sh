#!/usr/bin/env bash
# The programs' footprint and the supervisor's start-up and idle cost, under Wine:
# each .exe's size and imported DLLs; the time from ZORPA.exe's process creation to its
# fourth worker's, less the workers' own start-up, and as a ratio to the same time of the
# cheapest launcher of the same workers (bench/launcher.cpp), measured in turns with it;
# ZORPA.exe's CPU time over a minute idle. The workers are the stand-ins the Wine tests use.
#   bench/footprint.sh [BUILD_DIR] [WORK_DIR]   (defaults: build/mingw, build/bench-footprint)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(realpath "${1:-$here/../build/mingw}")
work=$(realpath -m "${2:-$here/../build/bench-footprint}")
env_script=$here/../tests/wine/wine-env.sh
runs=7
idle_seconds=60
workers="GANDRO FENDA_IMPRESION FENDA_TICKETS TULVAN"
mkdir -p "$work"

# The build tree's own objdump reads its PE32 or PE32+ files.
objdump=$(sed -n 's/^CMAKE_OBJDUMP:FILEPATH=//p' "$build/CMakeCache.txt")
echo "== Programs in $build/bin"
for exe in ZORPA.exe Zurozoz.exe; do
  file=$build/bin/$exe
  echo "$exe: $(stat -c %s "$file") bytes; imports:" \
    $("$objdump" -p "$file" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z' | sort)
done

# The tree's own compiler: the programs being compared are built with it.
cxx=$(sed -n 's/^set(CMAKE_CXX_COMPILER "\(.*\)")$/\1/p' "$build"/CMakeFiles/*/CMakeCXXCompiler.cmake)
"$cxx" -std=c++17 -O2 -static -municode -I"$here/../tests/standin" \
  -o "$work/footprint.exe" "$here/footprint.cpp"
"$cxx" -std=c++17 -O2 -static -municode -mwindows -s -o "$work/LAUNCHER.exe" "$here/launcher.cpp"

site=$work/site
rm -rf "$site"
mkdir -p "$site"
cp "$build/bin/ZORPA.exe" "$work/LAUNCHER.exe" "$site/"
for worker in $workers; do cp "$build/bin/StandInWorker.exe" "$site/$worker.EXE"; done
# Wine's drive Z: is the root of the Unix file system.
windows_path() { printf 'Z:%s' "${1//\//\\}"; }

"$env_script" setup "$work/wine-env" >/dev/null
trap '"$env_script" teardown "$work/wine-env"' EXIT
run() {
  "$env_script" run "$work/wine-env" timeout 300 wine "$work/footprint.exe" "$@" | tr -d '\r'
}

echo "== Start-up ($runs runs each, fresh Wine prefix, wineserver kept running)"
worker_line=$(run worker "$(windows_path "$site/GANDRO.EXE")" "$runs")
echo "$worker_line"
startup=$(run startup "$(windows_path "$site")" "$runs")
echo "$startup"
# The supervisor waits for each of the first three workers to be ready before the next start.
worker_ms=$(sed -n 's/.*: \([0-9.]*\) ms$/\1/p' <<<"$worker_line")
fourth_ms=$(sed -n 's/^supervisor .*fourth worker.*: \([0-9.]*\) ms$/\1/p' <<<"$startup")
awk -v total="$fourth_ms" -v worker="$worker_ms" \
  'BEGIN { printf "supervisor'\''s own share of that, less 3 worker start-ups: %.1f ms\n", total - 3 * worker }'

echo "== Idle ($idle_seconds s)"
run idle "$(windows_path "$site")" "$idle_seconds"
