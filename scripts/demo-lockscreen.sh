#!/usr/bin/env bash
# Shows the lock screen for a moment and keeps a screenshot of it:
#   demo-lockscreen.sh BIN_DIR WINE_ENV_DIR SCREENSHOT.png [SECONDS]
# BIN_DIR holds Zurozoz.exe and Drillrle.avi (build/mingw/bin); WINE_ENV_DIR was made with
# tests/wine/wine-env.sh setup, or with its two-monitors command for a screenshot of both
# monitors. The lock screen is then ended from outside, as the site's programs end it
# when the lock is lifted.
set -euo pipefail

bin_dir=$(cd "${1:?usage: demo-lockscreen.sh BIN_DIR WINE_ENV_DIR SCREENSHOT.png [SECONDS]}" && pwd)
env_dir=${2:?usage: demo-lockscreen.sh BIN_DIR WINE_ENV_DIR SCREENSHOT.png [SECONDS]}
screenshot=${3:?usage: demo-lockscreen.sh BIN_DIR WINE_ENV_DIR SCREENSHOT.png [SECONDS]}
seconds=${4:-3}

[ -f "$bin_dir/Zurozoz.exe" ] || { echo "no Zurozoz.exe in $bin_dir" >&2; exit 1; }
[ -f "$env_dir/env.sh" ] || { echo "no Wine environment in $env_dir (wine-env.sh setup)" >&2; exit 1; }
# shellcheck disable=SC1091
. "$env_dir/env.sh"

timeout $((seconds + 60)) wine "$bin_dir/Zurozoz.exe" >/dev/null 2>&1 &
lock_pid=$!
end_lock() {
  kill "$lock_pid" 2>/dev/null || true
  wait "$lock_pid" 2>/dev/null || true
}
trap end_lock EXIT

sleep "$seconds"
kill -0 "$lock_pid" 2>/dev/null || { echo "Zurozoz.exe ended by itself" >&2; exit 1; }
import -window root "$screenshot"
echo "lock screen captured in $screenshot"
