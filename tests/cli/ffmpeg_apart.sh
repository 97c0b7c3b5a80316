#!/bin/sh
# porute2avi loads none of FFmpeg's libraries; Matroska, MP4 and --verify run
# in its partner program, and a porute2avi without its partner says so and
# fails instead of writing nothing quietly.
# Usage: ffmpeg_apart.sh PORUTE2AVI MKMOVIE
set -eu
program=$1
mkmovie=$2
if readelf -d "$program" | grep -E 'NEEDED.*lib(av|sw)'; then
  echo "porute2avi needs FFmpeg's libraries at start" >&2
  exit 1
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$mkmovie" v02 "$work/a.V02" --frames 3 >/dev/null
cp "$program" "$work/porute2avi"
status=0
LC_ALL=C "$work/porute2avi" -f mkv "$work/a.V02" 2>"$work/err" || status=$?
grep -q 'cannot run the program that writes Matroska and MP4: No such file' "$work/err"
[ "$status" -eq 1 ]
[ ! -e "$work/a.mkv" ]
