#!/usr/bin/env bash
# henkan-porute as a user's desktop runs it: the real binary on a virtual X
# display with the openbox window manager. Two movies on the command line are
# converted and the window closes by itself; a movie that cannot be read
# brings up the warning box, answered with a key press, and the batch stops;
# without arguments the window waits until the window manager closes it.
# Every wait is bounded, and everything started here is ended here.
#
# Usage: desktop_end_to_end.sh HENKAN_PORUTE PORUTE_MKMOVIE
set -euo pipefail

app=$1
mkmovie=$2
source "$(dirname "$0")/../common/checks.sh"
need_programs Xvfb openbox xdotool wmctrl xwininfo ffprobe timeout

work=$(mktemp -d)
started=()
cleanup() {
  local pid
  for pid in "${started[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${started[@]}"; do wait "$pid" 2>/dev/null || true; done
  [ -n "${KEEP_WORK:-}" ] && echo "kept $work" || rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 143' TERM INT

# wait_for SECONDS COMMAND...: polls until the command succeeds.
wait_for() {
  local deadline=$((SECONDS + $1))
  shift
  until "$@" >/dev/null 2>&1; do
    [ "$SECONDS" -lt "$deadline" ] || return 1
    sleep 0.1
  done
}

# wait_exit PID SECONDS: the exit status of a background program, or 124
# (after killing it) when it has not ended in time.
wait_exit() {
  local pid=$1 deadline=$((SECONDS + $2))
  while kill -0 "$pid" 2>/dev/null; do
    if [ "$SECONDS" -ge "$deadline" ]; then
      kill "$pid" 2>/dev/null || true
      wait "$pid" 2>/dev/null || true
      return 124
    fi
    sleep 0.1
  done
  local status=0
  wait "$pid" || status=$?
  return "$status"
}

# Xvfb chooses a free display and writes its number once it accepts clients.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
started+=($!)
wait_for 15 test -s "$work/display" || { echo "FAIL: Xvfb did not start" >&2; cat "$work/xvfb.log" >&2; exit 1; }
export DISPLAY=":$(head -n1 "$work/display")"
export QT_QPA_PLATFORM=xcb
unset QT_QPA_PLATFORMTHEME WAYLAND_DISPLAY SESSION_MANAGER
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"
export HOME="$work/home"
mkdir -p "$HOME"

openbox --sm-disable >"$work/openbox.log" 2>&1 &
started+=($!)
wait_for 15 wmctrl -m || { echo "FAIL: openbox did not start" >&2; exit 1; }

frames_of() {  # frames ffprobe decodes in the first video stream
  ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames \
    -of default=noprint_wrappers=1:nokey=1 "$1" 2>/dev/null
}
audio_codec_of() {
  ffprobe -v error -select_streams a:0 -show_entries stream=codec_name \
    -of default=noprint_wrappers=1:nokey=1 "$1" 2>/dev/null
}
window_named() {  # id of the visible window whose title is exactly $1
  xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n1
}

movies="$work/movies"
mkdir -p "$movies"
"$mkmovie" v02 "$movies/a.V02" --frames 30 --width 64 --height 48 >/dev/null
"$mkmovie" v00 "$movies/b.V00" --frames 20 --width 64 --height 48 >/dev/null
"$mkmovie" v02 "$movies/good.V02" --frames 8 --width 64 --height 48 >/dev/null
"$mkmovie" v02 "$movies/third.V02" --frames 8 --width 64 --height 48 >/dev/null
head -c 600 /dev/urandom >"$movies/broken.V02"

echo "== two movies on the command line"
status=0
timeout 60 "$app" "$movies/a.V02" "$movies/b.V00" >"$work/run1.log" 2>&1 || status=$?
check "converts both, closes and exits 0 (exit $status)" test "$status" -eq 0
check "a.avi holds 30 frames" test "$(frames_of "$movies/a.avi")" = 30
check "b.avi holds 20 frames" test "$(frames_of "$movies/b.avi")" = 20
check "b.avi has 16-bit PCM sound" test "$(audio_codec_of "$movies/b.avi")" = pcm_s16le

echo "== a broken movie in the list"
"$app" "$movies/good.V02" "$movies/broken.V02" "$movies/third.V02" >"$work/run2.log" 2>&1 &
pid=$!
started+=("$pid")
box=""
wait_for 30 window_named 警告 && box=$(window_named 警告)
check "the warning box comes up" test -n "$box"
if [ -n "$box" ]; then
  eval "$(xdotool getwindowgeometry --shell "$box")"
  # Centred on the 1024 × 768 screen, give or take the window frame.
  check "the warning box is centred on the screen" \
    test $((X + WIDTH / 2 - 512)) -ge -12 -a $((X + WIDTH / 2 - 512)) -le 12 \
    -a $((Y + HEIGHT / 2 - 384)) -ge -30 -a $((Y + HEIGHT / 2 - 384)) -le 30
  timeout 5 xdotool windowactivate --sync "$box" >/dev/null 2>&1 || true
  xdotool key --clearmodifiers Return
fi
status=0
wait_exit "$pid" 30 || status=$?
check "the batch stops, the window closes, exit 0 (exit $status)" test "$status" -eq 0
check "the movie before it was converted" test "$(frames_of "$movies/good.avi")" = 8
check "the movie after it was not begun" test ! -e "$movies/third.avi"

echo "== no arguments: the window waits, the window manager closes it"
"$app" >"$work/run3.log" 2>&1 &
pid=$!
started+=("$pid")
window=""
wait_for 30 window_named 変換ぽるて && window=$(window_named 変換ぽるて)
check "the window comes up" test -n "$window"
if [ -n "$window" ]; then
  eval "$(xdotool getwindowgeometry --shell "$window")"
  check "its client area is 369 × 240 (got ${WIDTH} × ${HEIGHT})" test "$WIDTH" = 369 -a "$HEIGHT" = 240
  # The client area's place on the screen, inside the window manager's frame.
  origin_x=$(xwininfo -id "$window" | awk '/Absolute upper-left X/ {print $4}')
  origin_y=$(xwininfo -id "$window" | awk '/Absolute upper-left Y/ {print $4}')

  # A name typed into the file dialog and Enter pressed while the completion
  # list is open: the dialog closes, the list with it, and the very next
  # click on the window reaches its button.
  timeout 5 xdotool windowactivate --sync "$window" >/dev/null 2>&1 || true
  xdotool mousemove $((origin_x + 264 + 48)) $((origin_y + 16 + 12)) click 1
  dialog=""
  wait_for 15 window_named ファイルを開く && dialog=$(window_named ファイルを開く)
  check "the file dialog opens" test -n "$dialog"
  if [ -n "$dialog" ]; then
    timeout 5 xdotool windowactivate --sync "$dialog" >/dev/null 2>&1 || true
    xdotool type --delay 30 "$movies/goo"
    # The list is a window of its own: with the window and the dialog, three.
    shown() { xdotool search --onlyvisible --pid "$pid" 2>/dev/null | wc -l; }
    list_open() { [ "$(shown)" -ge 3 ]; }
    check "typing brings up the completion list" wait_for 10 list_open
    xdotool type --delay 30 "d.V02"
    xdotool key Return
    check "Enter closes the file dialog" wait_for 10 sh -c "! xdotool search --onlyvisible --name '^ファイルを開く\$' >/dev/null"
    sleep 0.5
    windows=$(shown)
    check "no completion list is left on screen ($windows windows shown)" test "$windows" -eq 1
    xdotool mousemove $((origin_x + 264 + 48)) $((origin_y + 64 + 12)) click 1
    browser=""
    wait_for 10 window_named 保存先フォルダを選択して下さい && browser=$(window_named 保存先フォルダを選択して下さい)
    check "the first click on 保存先... opens the folder browser" test -n "$browser"
    if [ -n "$browser" ]; then
      timeout 5 xdotool windowactivate --sync "$browser" >/dev/null 2>&1 || true
      xdotool key Escape
      wait_for 10 sh -c "! xdotool search --onlyvisible --name '^保存先フォルダを選択して下さい\$' >/dev/null" || true
    fi
  fi
  wmctrl -c 変換ぽるて
fi
status=0
wait_exit "$pid" 20 || status=$?
check "a close from the window manager ends it with exit 0 (exit $status)" test "$status" -eq 0

checks_summary
