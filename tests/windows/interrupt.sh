#!/bin/sh
# Ctrl-C stops porute2avi.exe as SIGINT stops porute2avi: Wine hands the
# signal to the program as the console's Ctrl-C event, the file in hand is
# closed well-formed under its partial name, no temporary file is left, and
# the exit status is 130. ffprobe (the build machine's) reads the file back.
#
#   interrupt.sh PORUTE2AVI.EXE HOST_BIN_DIR [WINE]
set -eu
exe=$(realpath "$1") host_bin=$(realpath "$2") wine=${3:-wine}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
mkdir out
# Some 700 MB of AVI: a second or more of writing on any machine.
"$host_bin/porute-mkmovie" v02 long.V02 --width 320 --height 240 --frames 3000 >/dev/null

"$wine" "$exe" -q -y -o out long.V02 2>err.txt &
runner=$!
# Interrupted once frames are being written.
waited=0
until [ -n "$(find out -name '.long.avi.porute-*.tmp' -size +1M)" ]; do
  sleep 0.05
  waited=$((waited + 1))
  [ $waited -lt 600 ] || { echo "error: no output after 30 s" >&2; kill $runner; exit 1; }
done
program=$(pgrep -f "porute2avi.exe -q -y -o out long.V02" | head -n 1)
kill -INT "$program"
status=0
wait $runner || status=$?

fail() { echo "error: $*" >&2; cat err.txt >&2; exit 1; }
[ $status -eq 130 ] || fail "exit status $status, expected 130"
[ -f out/long.partial.avi ] || fail "no out/long.partial.avi; out/ holds: $(ls -a out)"
[ "$(ls -a out | wc -l)" -eq 3 ] || fail "out/ holds more than the partial file: $(ls -a out)"
grep -q "interrupted; closing the file in hand" err.txt || fail "no interruption message"
frames=$(ffprobe -v error -count_frames -select_streams v:0 \
           -show_entries stream=nb_read_frames -of csv=p=0 out/long.partial.avi)
[ "$frames" -gt 0 ] && [ "$frames" -lt 3000 ] ||
  fail "ffprobe reads $frames frames of the partial file"
grep -q "holds $frames of the movie's 3000 frames" err.txt ||
  fail "the message does not say the $frames frames that ffprobe reads"
echo "interrupted after $frames frames: exit 130, a well-formed partial file"
