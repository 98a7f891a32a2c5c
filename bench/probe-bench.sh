#!/usr/bin/env bash
# Builds probe-bench.exe and runs it in a Wine environment of its own. Besides the prober's
# CPU time it reports the wineserver's, which does the work of every failed send. With a
# git revision as BASELINE, it also builds the bench against that revision's supervisor and
# runs the supervisor's check cycle with each in turns, side by side.
#   bench/probe-bench.sh [WORK_DIR [BASELINE]]    (default: build/bench, no baseline)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
work=$(realpath -m "${1:-$here/../build/bench}")
baseline=${2:-}
env_script=$here/../tests/wine/wine-env.sh
mkdir -p "$work"

# The bench with the supervisor's rules and Win32 platform from the tree at $1, into $2.
build() {
  local tree=$1
  x86_64-w64-mingw32-g++-win32 -std=c++17 -O2 -static -municode \
    -DUNICODE -D_UNICODE -DWIN32_LEAN_AND_MEAN -DNOMINMAX -DAPP_VERSION_TEXT='"bench"' \
    -I"$tree/ZORPA" -I"$tree/ZORPA/win32" -o "$2" "$here/probe-bench.cpp" "$tree"/ZORPA/*.cpp \
    $(ls "$tree"/ZORPA/win32/*.cpp | grep -v '/main\.cpp$') -loleaut32 -lwintrust -lcrypt32
}
build "$here/.." "$work/probe-bench.exe"
if [ -n "$baseline" ]; then
  rm -rf "$work/baseline-tree"
  mkdir -p "$work/baseline-tree"
  git -C "$here/.." archive "$baseline" ZORPA | tar -x -C "$work/baseline-tree"
  build "$work/baseline-tree" "$work/probe-bench-baseline.exe"
fi

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

run_exe() {
  local exe=$1
  shift
  "$env_script" run "$work/wine-env" timeout 120 wine "$exe" "$@" | tr -d '\r'
}
run() { run_exe "$work/probe-bench.exe" "$@"; }

run answer
if [ -n "$baseline" ]; then
  for turn in 1 2 3 4 5 6 7 8 9; do
    echo "turn $turn, $baseline: $(run_exe "$work/probe-bench-baseline.exe" cycle)"
    echo "turn $turn, this tree: $(run cycle)"
  done | tee "$work/cycle-turns.txt"
  # The median of each side's medians, and their ratio.
  awk -v base="$baseline" '
    { side = ($3 == "this") ? "tree" : "base"; for (i = 1; i <= NF; i++) if ($i == "median") m[side, ++n[side]] = $(i + 1) }
    function mid(side,   i, j, t, k) {
      k = n[side]
      for (i = 1; i <= k; i++) for (j = i + 1; j <= k; j++) if (m[side, j] < m[side, i]) { t = m[side, i]; m[side, i] = m[side, j]; m[side, j] = t }
      return m[side, int((k + 1) / 2)]
    }
    END { b = mid("base"); t = mid("tree"); printf "check cycle, median of the turns: %s %.3f ms, this tree %.3f ms (%.2f)\n", base, b, t, t / b }
  ' "$work/cycle-turns.txt"
else
  run cycle
fi
for mode in pause busy; do
  before=$(server_cpu_ms)
  run dead "$mode"
  after=$(server_cpu_ms)
  echo "  wineserver CPU during that run (5 cycles plus start-up): $((${after%.*} - ${before%.*})) ms"
done
