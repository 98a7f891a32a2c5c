#!/usr/bin/env bash
# One Wine environment for a whole test run: a private X display (Xvfb) and a fresh
# Wine prefix with a persistent wineserver.
#   wine-env.sh setup DIR [x64|x86]  make it for programs of that architecture (default
#                                    x64); writes DIR/env.sh for the tests to source
#   wine-env.sh two-monitors DIR FROM  an environment with two monitors side by side,
#                                    1280x1024 and 800x600: Xephyr with two screens inside
#                                    a private Xvfb, and a copy of environment FROM's prefix;
#                                    exits with SkipStatus, saying why, when it cannot be made.
#                                    Its env.sh also names, as ZORPA_ONE_MONITOR_DISPLAY, an
#                                    Xvfb of 1280x1024: a program run there reads one monitor
#   wine-env.sh teardown DIR         stop the wineserver and the X servers this script started
#   wine-env.sh run DIR CMD…         run CMD inside the environment
#
# Some kernels run no 32-bit programs at all, and Debian's `wine` then fails on every call
# because it always picks Wine's 32-bit loader. On such a machine (or with
# ZORPA_WINE_NO_32BIT=1, to try that path anywhere) every Wine command runs with the 64-bit
# loader, and an environment for x86 programs is not made: setup and every `run` in it exit
# with SkipStatus, which the tests report as skipped.
set -euo pipefail

usage='usage: wine-env.sh setup DIR [x64|x86] | two-monitors DIR FROM | teardown DIR | run DIR CMD...'
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

# Starts X server SERVER (Xvfb, Xephyr) with ARGS on the first display that is free and
# really becomes ours, with its log and pid files named NAME; prints its number.
start_x() { # NAME SERVER ARGS...
  local name=$1 server=$2 display pid
  shift 2
  for ((display = FirstDisplay; display <= LastDisplay; display++)); do
    [ -e "/tmp/.X${display}-lock" ] || [ -e "/tmp/.X11-unix/X${display}" ] && continue
    "$server" ":$display" "$@" -nolisten tcp >"$dir/$name.log" 2>&1 &
    pid=$!
    for _ in $(seq 100); do
      [ -e "/tmp/.X11-unix/X$display" ] || ! kill -0 "$pid" 2>/dev/null && break
      sleep 0.1
    done
    # Another run may have taken the same display a moment earlier: then ours has ended.
    if kill -0 "$pid" 2>/dev/null && [ -e "/tmp/.X11-unix/X$display" ]; then
      echo "$pid" >"$dir/$name.pid"
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

write_env() {
  cat >"$dir/env.sh" <<ENV
export DISPLAY=$DISPLAY
export WINEPREFIX=$dir/prefix
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export LC_ALL=C.UTF-8
$loader_env
ENV
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

  display=$(start_x xvfb Xvfb -screen 0 1280x1024x24) || { echo "wine-env: no free X display for Xvfb; see $dir/xvfb.log" >&2; exit 1; }
  export DISPLAY=":$display"
  common_env
  log=$dir/wineboot.log
  : >"$log"
  step "making the Wine prefix (wineboot)" "$log" timeout 120 wineboot -i
  step "waiting for the first wineserver" "$log" timeout 60 wineserver -w
  # The registry as wineboot left it, for copies of this prefix: the persistent wineserver
  # rewrites the prefix's registry files in place while it runs.
  mkdir -p "$dir/registry"
  cp "$WINEPREFIX"/*.reg "$dir/registry/"
  # Keep one wineserver up for the whole run: later program starts are much faster. Nothing
  # left running may hold this script's output open, or CTest waits for it forever.
  step "starting the persistent wineserver" "$log" wineserver -p
  # No window manager here: without this every hide or destroy stalls and maximizing fails.
  step "setting the X11 driver unmanaged (wine reg)" "$log" \
    timeout 60 wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f
  # Drive R: is an empty folder of this run, for a terminal installed at a drive root.
  mkdir -p "$dir/drive-r"
  ln -sfn "$dir/drive-r" "$WINEPREFIX/dosdevices/r:"
  write_env
  echo "Wine environment ready: DISPLAY=:$display WINEPREFIX=$dir/prefix"
  ;;
two-monitors)
  from=$(realpath -m "${1:?$usage}")
  "$0" teardown "$dir" || true
  rm -rf "$dir"
  mkdir -p "$dir"
  skip() {
    printf 'export ZORPA_WINE_SKIP=%q\n' "no two monitors: $1" >"$dir/env.sh"
    echo "skipped: no two monitors: $1"
    exit "$SkipStatus"
  }
  [ -f "$from/env.sh" ] || skip "no Wine environment in $from"
  # shellcheck disable=SC1091
  . "$from/env.sh"
  [ -z "${ZORPA_WINE_SKIP:-}" ] || skip "$ZORPA_WINE_SKIP"
  command -v Xephyr >/dev/null || skip "Xephyr is not installed (Debian package xserver-xephyr)"
  loader_env=$(grep -E '^export (PATH|WINELOADER)=' "$from/env.sh" || true)
  # Wine sees two monitors only through Xinerama: Xephyr's two screens side by side, inside
  # an Xvfb of its own that is large enough to hold them. With -retro, what no window
  # covers shows a weave instead of black.
  host=$(start_x xvfb Xvfb -screen 0 2200x1100x24) || skip "no Xvfb for Xephyr; see $dir/xvfb.log"
  display=$(DISPLAY=:$host start_x xephyr Xephyr +xinerama -screen 1280x1024 -screen 800x600 -no-host-grab -retro) ||
    skip "Xephyr did not start; see $dir/xephyr.log"
  # Wine keeps the monitors as the last program that read them found them on its display:
  # read from here, the second monitor is unplugged.
  one_monitor=$(start_x one-monitor Xvfb -screen 0 1280x1024x24) || skip "no Xvfb of one monitor; see $dir/one-monitor.log"
  # A prefix of its own without wineboot's 20 s: a copy of FROM's with the registry as
  # wineboot left it; the DLL folders, which Wine never writes to after wineboot, are
  # shared as hard links.
  [ -d "$from/registry" ] || skip "no copy of the registry in $from"
  mkdir -p "$dir/prefix"
  tar -C "$from/prefix" --exclude='./*.reg' --exclude=./drive_c/windows/system32 \
    --exclude=./drive_c/windows/syswow64 -cf - . | tar -C "$dir/prefix" -xf -
  cp "$from"/registry/*.reg "$dir/prefix/"
  for dlls in system32 syswow64; do
    [ ! -d "$from/prefix/drive_c/windows/$dlls" ] || cp -al "$from/prefix/drive_c/windows/$dlls" "$dir/prefix/drive_c/windows/"
  done
  export DISPLAY=":$display"
  common_env
  log=$dir/wine.log
  # The X11 driver reads Xinerama's monitors only without XRandR, and maximizes only when
  # unmanaged; it reads both when its wineserver starts.
  for value in UseXRandR Managed; do
    step "setting $value (wine reg)" "$log" \
      timeout 60 wine reg add 'HKCU\Software\Wine\X11 Driver' /v "$value" /t REG_SZ /d N /f
  done
  step "restarting the wineserver" "$log" timeout 30 wineserver -k
  step "starting the persistent wineserver" "$log" wineserver -p
  write_env
  echo "export ZORPA_ONE_MONITOR_DISPLAY=:$one_monitor" >>"$dir/env.sh"
  echo "Two monitors ready: DISPLAY=:$display WINEPREFIX=$dir/prefix"
  ;;
teardown)
  if [ -d "$dir/prefix" ]; then
    # shellcheck disable=SC1091
    [ -f "$dir/env.sh" ] && . "$dir/env.sh"
    common_env
    timeout 30 wineserver -k 2>/dev/null || true
  fi
  for server in one-monitor xephyr xvfb; do
    if [ -f "$dir/$server.pid" ]; then
      kill "$(cat "$dir/$server.pid")" 2>/dev/null || true
      rm -f "$dir/$server.pid"
    fi
  done
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
