#!/bin/sh
# henkan-porute.exe under Wine on a virtual X display:
# - two movies on the command line (one of them with a Japanese name) are
#   converted next to their inputs into the very AVI bytes of the Linux
#   porute2avi, and the program leaves by itself with status 0;
# - two movies dropped onto the window (porute-window-drop.exe) replace its
#   list in the order of the drop, and the start button converts them alike;
# - started bare, its client area is the designed 369 x 240, a picture of the
#   window is taken, and a close from outside ends it with status 0.
# It runs in a copy of the Wine prefix, with a Wine server and an X display
# of its own: a shared server started without a display (the suites' one)
# keeps its desktop away from any display, and Wine draws the window's frame
# itself here, with no window manager on the display.
#
#   window.sh HENKAN-PORUTE.EXE WINDOW-QUERY.EXE HOST_BIN_DIR WINE SCREENSHOT.png WINDOW-DROP.EXE
set -eu
exe=$(realpath "$1") query=$(realpath "$2") host_bin=$(realpath "$3") wine=$4
screenshot=$(realpath -m "$5") drop=$(realpath "$6")
work=$(mktemp -d)
export WINEPREFIX="$work/prefix" WINEDEBUG=-all
cleanup() {
  wineserver -k 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
cp -a "${PORUTE_WINE_PREFIX:-/var/cache/henkan-porute-tests/wine}" "$WINEPREFIX"
# Wine's Marlett (Debian's fonts-wine), where this Wine reads it at start:
# the frame's buttons are drawn in it.
cp /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
cd "$work"
mkdir in linux
"$host_bin/porute-mkmovie" v02 "in/動画.V02" --frames 9 --fpc 3 --content random >/dev/null
"$host_bin/porute-mkmovie" v00 in/odd.V00 --width 33 --height 17 --frames 7 >/dev/null
"$host_bin/porute-mkmovie" v02 "in/ドロップ.V02" --width 64 --height 48 --frames 5 >/dev/null
"$host_bin/porute-mkmovie" v00 in/dropped.V00 --frames 9 >/dev/null
"$host_bin/porute2avi" -q -y -o linux in

cat >inside.sh <<'INSIDE'
set -eu
exe=$1 query=$2 wine=$3 screenshot=$4 drop=$5
"$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null
"$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null
# The system's own texts (the title) are in Tahoma, absent here: a Japanese
# Gothic of the build machine stands in, as on a Japanese Windows.
"$wine" reg add 'HKCU\Software\Wine\Fonts\Replacements' /v Tahoma /d IPAPGothic /f >/dev/null

status=0
timeout 120 "$wine" "$exe" "in/動画.V02" "$(winepath -w in/odd.V00)" || status=$?
[ $status -eq 0 ] || { echo "error: the command-line run ended with status $status" >&2; exit 1; }

timeout 120 "$wine" "$drop" "$(winepath -w "in/ドロップ.V02")" "$(winepath -w in/dropped.V00)" ||
  { echo "error: the dropped movies were not listed and converted" >&2; exit 1; }

"$wine" "$exe" & window=$!
size=$("$wine" "$query" size | tr -d '\r')
echo "$size"
case $size in
  "client 369 240 "*) ;;
  *) echo "error: expected a client area of 369 x 240" >&2; kill $window; exit 1 ;;
esac
# The whole window, its frame as Wine draws it.
set -- $size
sleep 1
ffmpeg -loglevel error -y -f x11grab -draw_mouse 0 -video_size "$((${10} - $8))x$((${11} - $9))" \
  -i "$DISPLAY+$8,$9" -frames:v 1 "$screenshot"
"$wine" "$query" close
status=0
wait $window || status=$?
[ $status -eq 0 ] || { echo "error: the bare window ended with status $status" >&2; exit 1; }
INSIDE
xvfb-run -a -s '-screen 0 800x600x24' sh inside.sh "$exe" "$query" "$wine" "$screenshot" "$drop"

status=0
for name in 動画.avi odd.avi ドロップ.avi dropped.avi; do
  if ! cmp -s "linux/$name" "in/$name"; then
    echo "error: in/$name differs from the Linux build's (or is missing)" >&2
    status=1
  fi
done
[ $status -eq 0 ] && echo "4 AVI files identical; screenshot in $screenshot"
exit $status
