#!/usr/bin/env bash
# Wine tests of the real Zurozoz.exe on the shared Xvfb display (96 DPI):
#   lockscreen-test.sh CASE BIN_DIR PROBE_EXE WORK_DIR [COVER_EXE]
# CASE: maximized | plays | resize | no-clip | close | system-keys | cover | stalled | renewed |
#       two-monitors
set -euo pipefail

case_name=${1:?case}
bin_dir=${2:?bin dir}
probe_exe=${3:?probe}
work=${4:?work dir}
cover_exe=${5:-}
# shellcheck source=measure.sh
. "$(dirname "$0")/measure.sh"

# Designed twips of the controls.
readonly ANIMATION_TOP=3840 ANIMATION_WIDTH=4035 ANIMATION_HEIGHT=3015
readonly LABEL2_TOP=2580 LABEL2_HEIGHT=660 LABEL2_DESIGNED_WIDTH=4335
readonly LABEL1_TOP=540 LABEL1_WIDTH=8055 LABEL1_HEIGHT=1320
# How far a centre may stray: italic glyphs lean right by a pixel or two.
readonly TOLERANCE=3
# The clip is drawn at a fixed rate: half a second always shows other frames.
readonly FRAME_WAIT=0.5
# The lock window's settings: maximized, borderless, no window menu, above other windows.
readonly LOCK_SETTINGS="zoomed=1 visible=1 popup=1 caption=0 sysmenu=0 topmost=1 text=Form1"
# A taskbar's height, left out of the work area handed to WM_GETMINMAXINFO.
readonly TASKBAR=40
# The lock installs its keyboard hook anew every second: by then it is first again.
readonly HOOK_RENEWED=2

rm -rf "$work"
mkdir -p "$work"
lock_pid=
cover_pid=

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

probe() {
  timeout 30 wine "$probe_exe" "$@" | tr -d '\r'
}

# Reads the probe's description into win_* and anim_* variables.
parse() {
  local line
  line=$(grep '^window ' <<<"$1") || fail "no window line in: $1"
  read -r _ win_left win_top win_width win_height win_flags <<<"$line"
  line=$(grep '^animation ' <<<"$1") || fail "no animation line in: $1"
  read -r _ anim_left anim_top anim_width anim_height <<<"$line"
}

start_lock() {
  timeout 600 wine "$1/Zurozoz.exe" >"$work/zurozoz.log" 2>&1 &
  lock_pid=$!
  local described
  described=$(probe wait 10000) || fail "the lock window did not appear: $described"
  parse "$described"
  echo "$described"
}

stop_cover() {
  [ -n "$cover_pid" ] && kill -0 "$cover_pid" 2>/dev/null || return 0
  kill "$cover_pid" 2>/dev/null || true
  wait "$cover_pid" 2>/dev/null || true
}

stop_lock() {
  stop_cover
  [ -n "$lock_pid" ] && kill -0 "$lock_pid" 2>/dev/null || return 0
  probe close >/dev/null || true
  for _ in $(seq 50); do
    kill -0 "$lock_pid" 2>/dev/null || return 0
    sleep 0.1
  done
  kill "$lock_pid" 2>/dev/null || true
}
trap stop_lock EXIT

expect_near() { # WHAT ACTUAL EXPECTED TOLERANCE
  awk -v a="$2" -v e="$3" -v t="$4" 'BEGIN { d = a - e; exit !(d <= t && d >= -t) }' ||
    fail "$1: $2, expected $3 within $4"
  echo "ok: $1 $2 (expected $3)"
}

# centre LEFT WIDTH: the middle of a span, to the half pixel.
centre() {
  awk -v l="$1" -v w="$2" 'BEGIN { printf "%.1f\n", l + w / 2 }'
}

expect_equal() { # WHAT ACTUAL EXPECTED
  [ "$2" = "$3" ] || fail "$1: '$2', expected '$3'"
  echo "ok: $1 $2"
}

# The lock screen still runs, maximized over the whole screen, with its settings.
expect_still_locked() { # AFTER
  sleep 0.5
  kill -0 "$lock_pid" 2>/dev/null || fail "the program ended after $1"
  parse "$(probe wait 0)" || fail "the lock window went away after $1"
  expect_equal "window after $1" "$win_left $win_top $win_width $win_height $win_flags" \
    "0 0 $screen_width $screen_height $LOCK_SETTINGS"
}

# WM_CLOSE from another program ends it with exit code 0.
expect_close_ends_it() {
  probe close
  for _ in $(seq 100); do
    kill -0 "$lock_pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -0 "$lock_pid" 2>/dev/null && fail "WM_CLOSE did not end the program"
  local status=0
  wait "$lock_pid" || status=$?
  expect_equal "exit code" "$status" 0
}

# Another program shows a maximized window over the lock, with the cover program's ARGS, and
# takes the foreground; the lock has had time to go back on top.
start_cover() { # ARGS...
  [ -n "$cover_exe" ] || fail "no cover program given"
  (cd "$work" && exec timeout 600 wine "$cover_exe" cover.log "$@" >"$work/cover-wine.log" 2>&1) &
  cover_pid=$!
  for _ in $(seq 100); do
    grep -q '^shown' "$work/cover.log" 2>/dev/null && break
    sleep 0.1
  done
  grep -q '^shown' "$work/cover.log" 2>/dev/null || fail "the cover program did not show its window"
  sleep 1
}

expect_no_key_to_cover() {
  sleep 0.5
  local keys
  keys=$(grep -c '^key ' "$work/cover.log" || true)
  [ "$keys" = 0 ] || fail "the cover received $keys key messages: $(grep '^key ' "$work/cover.log" | tr '\n' ' ')"
  echo "ok: the cover received no key"
}

# A program with a low-level keyboard hook of its own hears every key that reaches its hook,
# until F12 comes up.
start_listener() {
  (cd "$work" && exec timeout 60 wine "$probe_exe" listen heard.log 30000 >/dev/null 2>&1) &
  listener=$!
  for _ in $(seq 100); do
    grep -q '^listening' "$work/heard.log" 2>/dev/null && break
    sleep 0.1
  done
}

# The task-switch keys (Tab, Esc, both Windows keys) that the listener heard, once it ended.
task_switch_keys_heard() {
  wait "$listener" || fail "the listener failed: $(cat "$work/heard.log")"
  grep -q '^key 0x7B up' "$work/heard.log" || fail "the listener heard no F12: $(cat "$work/heard.log")"
  grep -oE '^key 0x(09|1B|5B|5C) (down|up)' "$work/heard.log" | paste -sd' ' - || true
}

# The second word of the line of probe output that starts with $1.
line_of() { # WORD OUTPUT
  grep "^$1 " <<<"$2" | cut -d' ' -f2- || fail "no $1 line in: $2"
}

screen_size() {
  screenshot "$work/screen.png"
  read -r screen_width screen_height < <(identify -format '%w %h\n' "$work/screen.png")
}

# The animation control keeps its designed size and top and is centred on the outer width.
check_animation_geometry() {
  expect_equal "animation left" "$anim_left" "$(centred_left "$win_width" "$ANIMATION_WIDTH")"
  expect_equal "animation top" "$anim_top" "$(twips_to_pixels "$ANIMATION_TOP")"
  expect_equal "animation width" "$anim_width" "$(twips_to_pixels "$ANIMATION_WIDTH")"
  expect_equal "animation height" "$anim_height" "$(twips_to_pixels "$ANIMATION_HEIGHT")"
}

# The part of the window that is on the screen, as "X Y W H".
visible_part() {
  local screen_w screen_h
  read -r screen_w screen_h < <(identify -format '%w %h\n' "$1")
  local x0=$((win_left < 0 ? 0 : win_left)) y0=$((win_top < 0 ? 0 : win_top))
  local x1=$((win_left + win_width)) y1=$((win_top + win_height))
  ((x1 > screen_w)) && x1=$screen_w
  ((y1 > screen_h)) && y1=$screen_h
  echo "$x0 $y0 $((x1 - x0)) $((y1 - y0))"
}

# Texts: white on black above the animation, their block centred on the window.
check_texts_centred() {
  local shot=$1 vx vy vw vh text_left text_top text_width text_height
  read -r vx vy vw vh < <(visible_part "$shot")
  local texts_bottom=$((win_top + anim_top))
  read -r text_left text_top text_width text_height < <(bbox "$shot" "$vx" "$vy" "$vw" $((texts_bottom - vy)))
  [ "$text_left" != none ] || fail "no text above the animation"
  expect_near "text centre" "$(centre "$text_left" "$text_width")" "$(centre "$win_left" "$win_width")" "$TOLERANCE"
  local white
  white=$(count_colour "$shot" "$vx" "$vy" "$vw" $((texts_bottom - vy)) white)
  ((white > 1000)) || fail "only $white white text pixels"
  echo "ok: $white white text pixels"
}

# "POR FAVOR ESPERE" stands on one line wider than its designed width: the label spans
# the window instead of cutting the text.
check_label2_one_line() {
  local shot=$1 vx vy vw vh left top width height
  read -r vx vy vw vh < <(visible_part "$shot")
  local label_top=$((win_top + $(twips_to_pixels "$LABEL2_TOP"))) label_height=$(twips_to_pixels "$LABEL2_HEIGHT")
  read -r left top width height < <(bbox "$shot" "$vx" "$label_top" "$vw" "$label_height")
  [ "$left" != none ] || fail "no second text"
  ((width > $(twips_to_pixels "$LABEL2_DESIGNED_WIDTH"))) || fail "second text only $width px wide"
  expect_near "second text centre" "$(centre "$left" "$width")" "$(centre "$win_left" "$win_width")" "$TOLERANCE"
}

# The clip's steady frame is centred on the window.
check_clip_centred() {
  local shot=$1 left top width height
  read -r left top width height < <(bbox "$shot" $((win_left + anim_left)) $((win_top + anim_top)) "$anim_width" "$anim_height")
  [ "$left" != none ] || fail "the animation area is empty"
  expect_near "clip centre" "$(centre "$left" "$width")" "$(centre "$win_left" "$win_width")" "$TOLERANCE"
}

case "$case_name" in
maximized)
  start_lock "$bin_dir"
  screen_size=$(screenshot "$work/maximized.png" && identify -format '%w %h' "$work/maximized.png")
  expect_equal "window" "$win_left $win_top $win_width $win_height" "0 0 ${screen_size// / }"
  expect_equal "window settings" "$win_flags" "$LOCK_SETTINGS"
  # A taskbar's strip that every program sees left out of the work area (see workarea in the probe).
  read -r w h <<<"$screen_size"
  xprop -root -f _NET_WORKAREA 32cccc -set _NET_WORKAREA "0, 0, $w, $((h - TASKBAR))"
  trap 'xprop -root -remove _NET_WORKAREA; probe workarea >/dev/null; stop_lock' EXIT
  again=$(probe workarea) || fail "maximized again: $again"
  expect_equal "work area" "$(line_of work "$again")" "0 0 $w $((h - TASKBAR))"
  parse "$again"
  expect_equal "window maximized again" "$win_left $win_top $win_width $win_height" "0 0 $w $h"
  # Maximized it asks for the whole monitor, not the work area a taskbar leaves free.
  asked=$(probe minmax "$TASKBAR") || fail "WM_GETMINMAXINFO: $asked"
  echo "$asked"
  expect_equal "monitor" "$(line_of monitor "$asked")" "0 0 ${screen_size// / }"
  [ "$(line_of work "$asked")" != "$(line_of monitor "$asked")" ] || fail "the work area handed over is the monitor"
  expect_equal "maximized rectangle asked for" "$(line_of maximized "$asked")" "$(line_of monitor "$asked")"
  check_animation_geometry
  sleep 1
  screenshot "$work/maximized.png"
  black=$(count_colour "$work/maximized.png" 0 0 "$w" "$h" black)
  ((black * 10 > w * h * 9)) || fail "only $black of $((w * h)) pixels are black"
  echo "ok: $black of $((w * h)) pixels black"
  check_texts_centred "$work/maximized.png"
  check_label2_one_line "$work/maximized.png"
  check_clip_centred "$work/maximized.png"
  # "TERMINAL BLOQUEADA POR" over "EL SERVIDOR"
  expect_equal "lines of the first text" "$(text_rows "$work/maximized.png" "$(centred_left "$w" "$LABEL1_WIDTH")" \
    "$(twips_to_pixels "$LABEL1_TOP")" "$(twips_to_pixels "$LABEL1_WIDTH")" "$(twips_to_pixels "$LABEL1_HEIGHT")")" 2
  expect_equal "covers on one monitor" "$(probe monitors | grep -c '^cover ' || true)" 0
  ;;
plays)
  start_lock "$bin_dir"
  sleep 1
  screenshot "$work/first.png"
  sleep "$FRAME_WAIT"
  screenshot "$work/second.png"
  moved=$(differing "$work/first.png" "$work/second.png" "$anim_left" "$anim_top" "$anim_width" "$anim_height")
  ((moved > 50)) || fail "the animation did not move ($moved pixels changed)"
  echo "ok: $moved pixels of the animation changed"
  still=$(differing "$work/first.png" "$work/second.png" 0 0 "$win_width" "$anim_top")
  expect_equal "changed text pixels" "$still" 0
  ;;
resize)
  start_lock "$bin_dir"
  # narrower, wider than the screen, and narrower than the animation itself
  for geometry in "0 0 600 700" "-200 0 1680 900" "100 50 240 600"; do
    echo "-- SetWindowPos $geometry"
    parse "$(probe resize $geometry)" || fail "resize to $geometry failed"
    read -r _ _ want_width want_height <<<"$geometry"
    expect_equal "window size" "$win_width $win_height" "$want_width $want_height"
    check_animation_geometry
    sleep 0.5
    shot="$work/resized-${want_width}.png"
    screenshot "$shot"
    check_texts_centred "$shot"
    if ((win_width > anim_width)); then
      check_label2_one_line "$shot"
      check_clip_centred "$shot"
    else
      ((anim_left < 0)) || fail "animation left $anim_left in a window narrower than it"
      echo "ok: animation left $anim_left is negative"
    fi
  done
  ;;
no-clip)
  mkdir -p "$work/bare"
  cp "$bin_dir/Zurozoz.exe" "$work/bare/"
  start_lock "$work/bare"
  sleep 2
  kill -0 "$lock_pid" 2>/dev/null || fail "the program ended without its clip"
  parse "$(probe wait 0)" || fail "the lock window went away"
  expect_equal "window settings" "$win_flags" "$LOCK_SETTINGS"
  screenshot "$work/no-clip.png"
  check_texts_centred "$work/no-clip.png"
  expect_equal "animation area" "$(bbox "$work/no-clip.png" "$anim_left" "$anim_top" "$anim_width" "$anim_height")" none
  ;;
close)
  start_lock "$bin_dir"
  expect_close_ends_it
  ;;
system-keys)
  # The person at the terminal types what closes, minimizes, moves or restores a window.
  screen_size
  # A program that was there before the lock hears every key the lock lets through.
  start_listener
  start_lock "$bin_dir"
  expect_equal "foreground" "$(probe foreground)" "foreground FrmZurozoz"
  # With the lock in front, no task-switch key gets past it, with either Alt key; once Alt is
  # up again, Tab and Esc alone do; F12 does, and ends the listener.
  probe keys alt+tab alt+esc ctrl+esc lwin rwin lalt+tab lalt+esc alt tab esc f12 || fail "typing failed"
  expect_equal "task-switch keys let through" "$(task_switch_keys_heard)" \
    "key 0x09 down key 0x09 up key 0x1B down key 0x1B up"
  probe keys alt+f4 || fail "typing failed"
  expect_still_locked "Alt+F4"
  # The window menu and its entries: restore, move, size, minimize, maximize, close; Alt alone.
  probe keys alt+space r alt+space m down enter alt+space s alt+space n alt+space x \
    alt+space c alt || fail "typing failed"
  expect_still_locked "the window menu"
  # The same commands sent as WM_SYSCOMMAND do nothing either, and none starts a loop
  # that would keep the window from answering.
  probe syscommands || fail "a window command did not return, or ended the lock"
  expect_still_locked "the window commands"
  expect_close_ends_it
  ;;
cover)
  # Another program shows a maximized window, takes the foreground, and is typed at.
  screen_size
  start_lock "$bin_dir"
  # Topmost itself, as a worker's always-on-top window.
  start_cover topmost
  # The cover really took the foreground: every key would go to it.
  expect_equal "foreground" "$(probe foreground)" "foreground LockScreenCover"
  probe keys a b enter alt+tab ctrl+esc alt+esc lwin rwin || fail "typing failed"
  expect_no_key_to_cover
  order=$(probe zorder LockScreenCover) || fail "z-order: $order"
  echo "$order"
  grep -q 'cover_below_lock=1' <<<"$order" || fail "the cover is not below the lock window"
  grep -q '^cover zoomed=1' <<<"$order" || fail "the cover is not maximized"
  screenshot "$work/cover.png"
  red=$(count_colour "$work/cover.png" 0 0 "$screen_width" "$screen_height" red)
  expect_equal "cover pixels on screen" "$red" 0
  expect_still_locked "the cover and the keys"
  check_texts_centred "$work/cover.png"
  expect_close_ends_it
  ;;
stalled)
  # The lock window's thread stops (busy, paged out) while another program is in
  # front and is typed at: the keyboard lock does not wait for that thread.
  screen_size
  start_lock "$bin_dir"
  start_cover
  expect_equal "foreground" "$(probe foreground)" "foreground LockScreenCover"
  probe stall a b alt+tab lwin || fail "typing while the lock window's thread was stopped failed"
  expect_no_key_to_cover
  # Running again, the lock window answers (the probe waited for it) and still locks.
  probe keys a alt+tab || fail "typing failed"
  expect_no_key_to_cover
  expect_still_locked "the stop"
  expect_close_ends_it
  ;;
renewed)
  # A program that hooks the keyboard after the lock started is asked before the lock, until
  # the lock installs its hook anew; from then on it hears only what the lock lets through.
  screen_size
  start_lock "$bin_dir"
  start_listener
  sleep "$HOOK_RENEWED"
  probe keys alt+tab lwin ctrl+esc esc f12 || fail "typing failed"
  expect_equal "task-switch keys let through" "$(task_switch_keys_heard)" "key 0x1B down key 0x1B up"
  expect_still_locked "the keys"
  expect_close_ends_it
  ;;
two-monitors)
  # A display of its own: 1280x1024 and, to its right, 800x600.
  wine_env=$(dirname "$0")/../wine/wine-env.sh
  trap 'stop_lock; "$wine_env" teardown "$work/env"' EXIT
  "$wine_env" two-monitors "$work/env" "$(dirname "$WINEPREFIX")" || exit
  # shellcheck disable=SC1091
  . "$work/env/env.sh"
  found=$(probe monitors | grep -c '^monitor ' || true)
  [ "$found" = 2 ] || { echo "skipped: Wine shows $found monitors on Xephyr"; exit 77; }
  start_lock "$bin_dir"
  expect_equal "window" "$win_left $win_top $win_width $win_height $win_flags" "0 0 1280 1024 $LOCK_SETTINGS"
  covered="monitor 0 0 1280 1024 lock=5/5 centre=FrmZurozoz
monitor 1280 0 800 600 lock=5/5 centre=ZurozozCover
cover 1280 0 800 600 visible=1 owned=0 topmost=1 popup=1 caption=0 text=0"
  expect_equal "monitors" "$(probe monitors)" "$covered"
  # Black on screen too, where Xephyr's bare screen shows a grey weave.
  screenshot "$work/locked.png"
  expect_equal "black pixels on the second monitor" "$(count_colour "$work/locked.png" 1280 0 800 600 black)" 480000
  # The covers take the activation neither when they appear or follow nor when clicked.
  expect_equal "foreground with the covers" "$(probe foreground)" "foreground FrmZurozoz"
  # A monitor changed: the covers follow.
  probe displaychange || fail "WM_DISPLAYCHANGE was not answered"
  sleep 1
  expect_equal "monitors after WM_DISPLAYCHANGE" "$(probe monitors)" "$covered"
  expect_equal "foreground after WM_DISPLAYCHANGE" "$(probe foreground)" "foreground FrmZurozoz"
  # The second monitor unplugged and plugged in again: Wine takes the monitors from the X
  # display of the program that reads them, one monitor of the first one's size, then both.
  DISPLAY=$ZORPA_ONE_MONITOR_DISPLAY probe reread >/dev/null || fail "reading one monitor failed"
  sleep 1
  expect_equal "monitors with one unplugged" "$(probe monitors)" "monitor 0 0 1280 1024 lock=5/5 centre=FrmZurozoz"
  probe reread >/dev/null || fail "reading both monitors failed"
  sleep 1
  expect_equal "monitors plugged in again" "$(probe monitors)" "$covered"
  # The new cover was made while the lock was in front, and left it the activation.
  expect_equal "foreground with a new cover" "$(probe foreground)" "foreground FrmZurozoz"
  probe click 1680 300 || fail "clicking failed"
  expect_equal "foreground after a click on the second monitor" "$(probe foreground)" "foreground FrmZurozoz"
  # Another program shows a topmost window on the second monitor and activates it.
  start_cover topmost at 1300 50
  expect_equal "foreground" "$(probe foreground)" "foreground LockScreenCover"
  expect_equal "monitors with another window" "$(probe monitors)" "$covered"
  screenshot "$work/two-monitors.png"
  expect_equal "other window's pixels on screen" "$(count_colour "$work/two-monitors.png" 0 0 2080 1024 red)" 0
  # Moved onto the second monitor, the form leaves the first one to a cover.
  probe resize 1280 0 800 600 >/dev/null || fail "resize failed"
  expect_equal "monitors with the form moved" "$(probe monitors)" "monitor 0 0 1280 1024 lock=5/5 centre=ZurozozCover
monitor 1280 0 800 600 lock=5/5 centre=FrmZurozoz
cover 0 0 1280 1024 visible=1 owned=0 topmost=1 popup=1 caption=0 text=0"
  expect_close_ends_it
  expect_equal "windows of the lock left" "$(probe monitors | grep -c '^cover ' || true)" 0
  ;;
*)
  fail "unknown case $case_name"
  ;;
esac
echo "PASS: $case_name"
