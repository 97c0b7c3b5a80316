#!/usr/bin/env bash
# henkan-porute-thumbnailer as a file manager runs it: a PNG of the asked
# size, of the frame it chose exactly (ffmpeg reads both the PNG and the AVI
# porute2avi makes of the same movie), and nothing left behind on failure.
#   thumbnailer.sh THUMBNAILER PORUTE2AVI MKMOVIE
set -uo pipefail
source "$(dirname "$0")/../common/checks.sh"
need_programs ffmpeg ffprobe
thumbnailer=$1
porute2avi=$2
mkmovie=$3
dir=$(mktemp -d)
trap 'chmod -R u+w "$dir"; rm -rf "$dir"' EXIT

size_of() { ffprobe -v error -show_entries stream=width,height -of csv=p=0 "$1"; }
bgr_of() {  # FILE [FRAME]: one picture as raw bgr24
  ffmpeg -v error -i "$1" -vf "select=eq(n\,${2:-0})" -frames:v 1 -f rawvideo -pix_fmt bgr24 -
}

# 60 frames at 10 a second: the picture is taken a second in, frame 10.
"$mkmovie" v02 "$dir/a.V02" --width 160 --height 120 --frames 60 --scale 6 >/dev/null
"$mkmovie" v00 "$dir/b.V00" --width 101 --height 51 --frames 30 >/dev/null

check "the longer side is SIZE (VD02)" "$thumbnailer" -s 128 "$dir/a.V02" "$dir/a128.png"
check "  128 x 96" test "$(size_of "$dir/a128.png")" = "128,96"
check "the longer side is SIZE (VD00, odd size)" "$thumbnailer" -s 256 "$dir/b.V00" "$dir/b.png"
check "  256 x 129" test "$(size_of "$dir/b.png")" = "256,129"

check "at the movie's own size" "$thumbnailer" -s 160 "$dir/a.V02" "$dir/a160.png"
"$porute2avi" -q "$dir/a.V02" >/dev/null
check "  a whole frame" test "$(bgr_of "$dir/a160.png" | wc -c)" = 57600
check "  it is frame 10, exactly" cmp -s <(bgr_of "$dir/a160.png") <(bgr_of "$dir/a.avi" 10)

head -c 300 "$dir/a.V02" >"$dir/cut.V02"
check "a damaged movie fails" test "$("$thumbnailer" -s 64 "$dir/cut.V02" "$dir/cut.png" 2>/dev/null; echo $?)" = 1
check "  and leaves no file" test ! -e "$dir/cut.png"
mkdir "$dir/locked"
chmod a-w "$dir/locked"
if [ "$(id -u)" -ne 0 ]; then
  check "an unwritable folder fails" test "$("$thumbnailer" "$dir/a.V02" "$dir/locked/a.png" 2>/dev/null; echo $?)" = 1
fi
check "  and leaves nothing in it" test -z "$(ls -A "$dir/locked")"
# A write that fails (a disk full, here a file size limit of 1 KiB) is a
# failure, and the half-written picture goes.
limited() {
  (ulimit -f 1; trap '' XFSZ; "$thumbnailer" -s 256 "$dir/a.V02" "$dir/full.png" 2>/dev/null)
  test $? -eq 1 && test -z "$(ls "$dir" | grep full)"
}
check "a failing write fails and leaves nothing" limited
checks_summary
