#!/usr/bin/env bash
# One Wine environment for a whole test run: a private X display (Xvfb) and a fresh
# Wine prefix with a persistent wineserver.
#   wine-env.sh setup DIR     make it; writes DIR/env.sh for the tests to source
#   wine-env.sh teardown DIR  stop the wineserver and the Xvfb this script started
#   wine-env.sh run DIR CMD…  run CMD inside the environment
set -euo pipefail

cmd=${1:?usage: wine-env.sh setup|teardown|run DIR [CMD...]}
dir=${2:?usage: wine-env.sh setup|teardown|run DIR [CMD...]}
# Wine accepts only an absolute WINEPREFIX.
dir=$(realpath -m "$dir")
shift 2

common_env() {
  export WINEPREFIX="$dir/prefix"
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml="
  export LC_ALL=C.UTF-8
}

case "$cmd" in
setup)
  "$0" teardown "$dir" || true
  rm -rf "$dir"
  mkdir -p "$dir"
  display=90
  while [ -e "/tmp/.X${display}-lock" ] || [ -e "/tmp/.X11-unix/X${display}" ]; do
    display=$((display + 1))
  done
  Xvfb ":$display" -screen 0 1280x1024x24 -nolisten tcp >"$dir/xvfb.log" 2>&1 &
  echo $! >"$dir/xvfb.pid"
  for _ in $(seq 100); do
    [ -e "/tmp/.X11-unix/X$display" ] && break
    sleep 0.1
  done
  [ -e "/tmp/.X11-unix/X$display" ] || { echo "Xvfb did not start on :$display" >&2; exit 1; }
  export DISPLAY=":$display"
  common_env
  timeout 120 wineboot -i >"$dir/wineboot.log" 2>&1 </dev/null
  timeout 60 wineserver -w
  # Keep one wineserver up for the whole run: later program starts are much faster. Nothing
  # left running may hold this script's output open, or CTest waits for it forever.
  wineserver -p >>"$dir/wineboot.log" 2>&1 </dev/null
  # No window manager here: without this every hide or destroy stalls and maximizing fails.
  timeout 60 wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f \
    >>"$dir/wineboot.log" 2>&1 </dev/null
  # Drive R: is an empty folder of this run, for a terminal installed at a drive root.
  mkdir -p "$dir/drive-r"
  ln -sfn "$dir/drive-r" "$WINEPREFIX/dosdevices/r:"
  cat >"$dir/env.sh" <<ENV
export DISPLAY=:$display
export WINEPREFIX=$dir/prefix
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export LC_ALL=C.UTF-8
ENV
  echo "Wine environment ready: DISPLAY=:$display WINEPREFIX=$dir/prefix"
  ;;
teardown)
  if [ -d "$dir/prefix" ]; then
    common_env
    timeout 30 wineserver -k 2>/dev/null || true
  fi
  if [ -f "$dir/xvfb.pid" ]; then
    kill "$(cat "$dir/xvfb.pid")" 2>/dev/null || true
    rm -f "$dir/xvfb.pid"
  fi
  ;;
run)
  # shellcheck disable=SC1091
  . "$dir/env.sh"
  exec "$@"
  ;;
*)
  echo "unknown command: $cmd" >&2
  exit 2
  ;;
esac
