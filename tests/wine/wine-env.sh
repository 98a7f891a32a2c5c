#!/usr/bin/env bash
# One Wine environment for a whole test run: a private X display (Xvfb) and a fresh
# Wine prefix with a persistent wineserver.
#   wine-env.sh setup DIR [x64|x86]  make it for programs of that architecture (default
#                                    x64); writes DIR/env.sh for the tests to source
#   wine-env.sh teardown DIR         stop the wineserver and the Xvfb this script started
#   wine-env.sh run DIR CMD…         run CMD inside the environment
#
# Some kernels run no 32-bit programs at all, and Debian's `wine` then fails on every call
# because it always picks Wine's 32-bit loader. On such a machine (or with
# ZORPA_WINE_NO_32BIT=1, to try that path anywhere) every Wine command runs with the 64-bit
# loader, and an environment for x86 programs is not made: setup and every `run` in it exit
# with SkipStatus, which the tests report as skipped.
set -euo pipefail

usage='usage: wine-env.sh setup DIR [x64|x86] | teardown DIR | run DIR CMD...'
cmd=${1:?$usage}
dir=${2:?$usage}
# Wine accepts only an absolute WINEPREFIX.
dir=$(realpath -m "$dir")
shift 2

readonly SkipStatus=77
readonly Wine32Loader=/usr/lib/wine/wine
readonly Wine64Loader=/usr/lib/wine/wine64
readonly FirstDisplay=90 LastDisplay=189

common_env() {
  export WINEPREFIX="$dir/prefix"
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml="
  export LC_ALL=C.UTF-8
}

# Prints why this machine cannot run Wine's 32-bit loader, or nothing when it can.
no_wine32_reason() {
  if [ -n "${ZORPA_WINE_NO_32BIT:-}" ] && [ "$ZORPA_WINE_NO_32BIT" != 0 ]; then
    echo "ZORPA_WINE_NO_32BIT is set"
  elif [ ! -x "$Wine32Loader" ]; then
    echo "Wine's 32-bit part is not installed"
  elif ! out=$(timeout 30 "$Wine32Loader" --version 2>&1); then
    echo "this machine cannot run Wine's 32-bit loader ($(head -n1 <<<"$out"))"
  fi
}

# `wine` and `wine-stable` (which wineboot and Wine's other tools exec) that always take
# the 64-bit loader, first in PATH.
write_wine64_shims() {
  mkdir -p "$dir/bin"
  for name in wine wine-stable; do
    printf '#!/bin/sh\nexec %s "$@"\n' "$Wine64Loader" >"$dir/bin/$name"
    chmod +x "$dir/bin/$name"
  done
}

# Starts Xvfb on the first display that is free and really becomes ours; prints its number.
start_xvfb() {
  local display pid
  for ((display = FirstDisplay; display <= LastDisplay; display++)); do
    [ -e "/tmp/.X${display}-lock" ] || [ -e "/tmp/.X11-unix/X${display}" ] && continue
    Xvfb ":$display" -screen 0 1280x1024x24 -nolisten tcp >"$dir/xvfb.log" 2>&1 &
    pid=$!
    for _ in $(seq 100); do
      [ -e "/tmp/.X11-unix/X$display" ] || ! kill -0 "$pid" 2>/dev/null && break
      sleep 0.1
    done
    # Another run may have taken the same display a moment earlier: then ours has ended.
    if kill -0 "$pid" 2>/dev/null && [ -e "/tmp/.X11-unix/X$display" ]; then
      echo "$pid" >"$dir/xvfb.pid"
      echo "$display"
      return 0
    fi
    kill "$pid" 2>/dev/null || true
  done
  return 1
}

# Runs a step of the set-up with its output in the log; on failure says which step failed
# and where its log is, in one line.
step() {
  local what=$1 log=$2 status=0
  shift 2
  "$@" >>"$log" 2>&1 </dev/null || status=$?
  if [ "$status" -ne 0 ]; then
    echo "wine-env: $what failed (exit $status); see $log" >&2
    exit 1
  fi
}

case "$cmd" in
setup)
  arch=${1:-x64}
  [[ $arch == x64 || $arch == x86 ]] || { echo "$usage" >&2; exit 2; }
  "$0" teardown "$dir" || true
  rm -rf "$dir"
  mkdir -p "$dir"
  no32=$(no_wine32_reason)
  if [ -n "$no32" ] && [ "$arch" = x86 ]; then
    reason="no Wine for x86 programs: $no32"
    printf 'export ZORPA_WINE_SKIP=%q\n' "$reason" >"$dir/env.sh"
    echo "skipped: $reason"
    exit "$SkipStatus"
  fi
  loader_env=
  if [ -n "$no32" ]; then
    write_wine64_shims
    loader_env="export PATH=$dir/bin:\$PATH
export WINELOADER=$Wine64Loader"
    eval "$loader_env"
    echo "Wine's 64-bit loader only: $no32"
  fi

  display=$(start_xvfb) || { echo "wine-env: no free X display for Xvfb; see $dir/xvfb.log" >&2; exit 1; }
  export DISPLAY=":$display"
  common_env
  log=$dir/wineboot.log
  : >"$log"
  step "making the Wine prefix (wineboot)" "$log" timeout 120 wineboot -i
  step "waiting for the first wineserver" "$log" timeout 60 wineserver -w
  # Keep one wineserver up for the whole run: later program starts are much faster. Nothing
  # left running may hold this script's output open, or CTest waits for it forever.
  step "starting the persistent wineserver" "$log" wineserver -p
  # No window manager here: without this every hide or destroy stalls and maximizing fails.
  step "setting the X11 driver unmanaged (wine reg)" "$log" \
    timeout 60 wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f
  # Drive R: is an empty folder of this run, for a terminal installed at a drive root.
  mkdir -p "$dir/drive-r"
  ln -sfn "$dir/drive-r" "$WINEPREFIX/dosdevices/r:"
  cat >"$dir/env.sh" <<ENV
export DISPLAY=:$display
export WINEPREFIX=$dir/prefix
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export LC_ALL=C.UTF-8
$loader_env
ENV
  echo "Wine environment ready: DISPLAY=:$display WINEPREFIX=$dir/prefix"
  ;;
teardown)
  if [ -d "$dir/prefix" ]; then
    # shellcheck disable=SC1091
    [ -f "$dir/env.sh" ] && . "$dir/env.sh"
    common_env
    timeout 30 wineserver -k 2>/dev/null || true
  fi
  if [ -f "$dir/xvfb.pid" ]; then
    kill "$(cat "$dir/xvfb.pid")" 2>/dev/null || true
    rm -f "$dir/xvfb.pid"
  fi
  ;;
run)
  [ -f "$dir/env.sh" ] || { echo "wine-env: no Wine environment in $dir (setup failed or never ran)" >&2; exit 1; }
  # shellcheck disable=SC1091
  . "$dir/env.sh"
  if [ -n "${ZORPA_WINE_SKIP:-}" ]; then
    echo "skipped: $ZORPA_WINE_SKIP"
    exit "$SkipStatus"
  fi
  exec "$@"
  ;;
*)
  echo "$usage" >&2
  exit 2
  ;;
esac
