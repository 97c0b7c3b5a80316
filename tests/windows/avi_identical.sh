#!/bin/sh
# porute2avi.exe under Wine writes the very bytes that the Linux build writes:
# the samples and movies of our own writer (both formats, odd sizes, 1 and 64
# frames per chunk, a silent VD00, OpenDML through --riff-limit), a Japanese
# file name, and Windows-style paths with backslashes and a drive letter.
#
#   avi_identical.sh PORUTE2AVI.EXE HOST_BIN_DIR SAMPLES_DIR [WINE]
set -eu
. "$(dirname "$0")/movie_set.sh"
exe=$(realpath "$1") host_bin=$(realpath "$2") samples=$(realpath "$3") wine=${4:-wine}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
mkdir linux windows linux-odml windows-odml windows-paths
make_movie_set in "$host_bin/porute-mkmovie" "$samples"

"$host_bin/porute2avi" -q -y -o linux in
"$wine" "$exe" -q -y -o windows in
# Small RIFFs: each file goes on in further 'AVIX' RIFFs with OpenDML indexes.
"$host_bin/porute2avi" -q -y --riff-limit 100000 -o linux-odml in
"$wine" "$exe" -q -y --riff-limit 100000 -o windows-odml in
# The same movie named the Windows way.
"$wine" "$exe" -q -y -o "$(winepath -w windows-paths)" "$(winepath -w "in/動画テスト.V02")"

status=0
compare() {  # FOLDER_A FOLDER_B
  if [ "$(ls "$1")" != "$(ls "$2")" ]; then
    echo "error: $1 holds $(ls "$1" | tr '\n' ' '), $2 holds $(ls "$2" | tr '\n' ' ')" >&2
    status=1
    return
  fi
  for file in "$1"/*; do
    name=${file##*/}
    if ! cmp -s "$file" "$2/$name"; then
      echo "error: $2/$name differs from the Linux build's" >&2
      status=1
    fi
  done
}
compare linux windows
compare linux-odml windows-odml
cmp -s "linux/動画テスト.avi" "windows-paths/動画テスト.avi" ||
  { echo "error: the Windows-style paths gave another file" >&2; status=1; }
[ "$(ls linux | wc -l)" -eq 8 ] || { echo "error: expected 8 outputs, got $(ls linux)" >&2; status=1; }
# OpenDML is really taken: the small limit made further RIFFs.
grep -q AVIX linux-odml/fpc64.avi || { echo "error: no AVIX RIFF in fpc64.avi" >&2; status=1; }
[ $status -eq 0 ] && echo "$(ls linux | wc -l) + $(ls linux-odml | wc -l) + 1 AVI files identical"
exit $status
