#!/usr/bin/env bash
# Builds probe-bench.exe and runs it in a Wine environment of its own. Besides the prober's
# CPU time it reports the wineserver's, which does the work of every failed send.
#   bench/probe-bench.sh [WORK_DIR]    (default: build/bench)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
work=$(realpath -m "${1:-$here/../build/bench}")
env_script=$here/../tests/wine/wine-env.sh
mkdir -p "$work"

x86_64-w64-mingw32-g++-win32 -std=c++17 -O2 -static -municode \
  -o "$work/probe-bench.exe" "$here/probe-bench.cpp"

"$env_script" setup "$work/wine-env" >/dev/null
trap '"$env_script" teardown "$work/wine-env"' EXIT

# The wineserver of this environment: the one whose WINEPREFIX is ours.
wineserver_pid() {
  local pid
  for pid in $(ps -C wineserver64,wineserver -o pid=); do
    # Other runs' wineservers may come and go while we look.
    if { tr '\0' '\n' <"/proc/$pid/environ"; } 2>/dev/null | grep -qx "WINEPREFIX=$work/wine-env/prefix"; then
      echo "$pid"
      return
    fi
  done
}
server=$(wineserver_pid)
ticks_per_second=$(getconf CLK_TCK)
server_cpu_ms() { awk -v hz="$ticks_per_second" '{ print ($14 + $15) * 1000 / hz }' "/proc/$server/stat"; }

run() {
  "$env_script" run "$work/wine-env" timeout 120 wine "$work/probe-bench.exe" "$@" | tr -d '\r'
}

run answer
for mode in pause busy; do
  before=$(server_cpu_ms)
  run dead "$mode"
  after=$(server_cpu_ms)
  echo "  wineserver CPU during that run (5 cycles plus start-up): $((${after%.*} - ${before%.*})) ms"
done
