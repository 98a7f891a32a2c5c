#!/usr/bin/env bash
# Installs what is missing, builds the Windows programs, and shows them working under Wine:
# the supervisor starting four stand-in workers from a terminal folder, then the lock screen.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
# Every failure says where it happened; the Wine set-up also names its log.
trap 'echo "demo.sh: failed at line $LINENO: $BASH_COMMAND" >&2' ERR

scripts/setup.sh
cmake --preset mingw >/dev/null
cmake --build --preset mingw

bin=$root/build/mingw/bin
demo=$root/build/demo
env_dir=$demo/wine-env
terminal=$demo/terminal
wine_env=$root/tests/wine/wine-env.sh

two_monitors=$demo/wine-env-two-monitors
cleanup() {
  "$wine_env" teardown "$env_dir" >/dev/null 2>&1 || true
  "$wine_env" teardown "$two_monitors" >/dev/null 2>&1 || true
}
trap cleanup EXIT

rm -rf "$terminal"
mkdir -p "$terminal"
cp "$bin/ZORPA.exe" "$terminal/"
for worker in GANDRO FENDA_IMPRESION FENDA_TICKETS TULVAN; do
  cp "$bin/StandInWorker.exe" "$terminal/$worker.EXE"
done

"$wine_env" setup "$env_dir"
in_wine() { "$wine_env" run "$env_dir" "$@"; }
settings='HKCU\Software\VB and VBA Program Settings\velmo\Configuracion'

echo
echo "== A command posted while the supervisor is not running: ShutDown=1"
in_wine timeout 30 wine reg add "$settings" /v ShutDown /t REG_SZ /d 1 /f >/dev/null

echo "== Starting ZORPA.exe in $terminal"
in_wine timeout 60 wine "$terminal/ZORPA.exe" &
supervisor=$!
log=$terminal/standin-log.txt
for _ in $(seq 100); do
  [ -f "$log" ] && [ "$(wc -l <"$log")" -ge 4 ] && break
  sleep 0.1
done
sleep 1

echo
echo "== The workers it started, in order (as each recorded its own start)"
printf '  %-22s %-7s %-8s %-10s %s\n' program pid flags show-style "command line"
tr -d '\r' <"$log" | while IFS=$'\t' read -r name pid flags style _version command; do
  printf '  %-22s %-7s %-8s %-10s %s\n' "$name" "$pid" "$flags" "$style" "$command"
done

echo
in_wine timeout 30 wine "$bin/ShowWindows.exe" | tr -d '\r'

echo
echo "== The command flags after start-up"
in_wine timeout 30 wine reg query "$settings" | tr -d '\r' | grep REG_SZ

# Its timers are never enabled: another program's tick runs one check cycle.
post_command() {
  in_wine timeout 30 wine reg add "$settings" /v "$1" /t REG_SZ /d 1 /f >/dev/null
  in_wine timeout 30 wine "$bin/PostTick.exe" | tr -d '\r'
}
echo
echo "== Restart=1 and one check cycle: three workers end, the hang watch counts them missing"
post_command Restart
sleep 2
echo "== ShutDown=1 and one check cycle: three workers and the supervisor end"
post_command ShutDown
for _ in $(seq 100); do
  kill -0 "$supervisor" 2>/dev/null || break
  sleep 0.1
done
in_wine wineserver -k >/dev/null 2>&1 || true
wait "$supervisor" 2>/dev/null || true

echo
echo "== The lock screen"
scripts/demo-lockscreen.sh "$bin" "$env_dir" "$demo/lock-screen.png"
echo "Screenshot of the lock screen: $demo/lock-screen.png"

echo
echo "== The lock screen on a terminal with two monitors (1280x1024, and 800x600 on its right)"
if "$wine_env" two-monitors "$two_monitors" "$env_dir"; then
  scripts/demo-lockscreen.sh "$bin" "$two_monitors" "$demo/lock-screen-two-monitors.png"
  echo "Screenshot of both monitors: $demo/lock-screen-two-monitors.png"
fi

echo
echo "== The supervisor's record, $terminal/ZORPA.log"
tr -d '\r' <"$terminal/ZORPA.log" | sed 's/^/  /'
