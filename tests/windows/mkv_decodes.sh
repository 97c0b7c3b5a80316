#!/bin/bash
# porute2avi.exe under Wine writes Matroska and MP4 with the FFmpeg it was
# built with: each mkv decodes (by the build machine's ffmpeg) to exactly the
# frames and samples of the Linux build's AVI of the same movie, and
# --verify passes for mkv and mp4.
#
#   mkv_decodes.sh PORUTE2AVI.EXE HOST_BIN_DIR SAMPLES_DIR [WINE]
set -eu
source "$(dirname "$0")/../common/checks.sh"
source "$(dirname "$0")/movie_set.sh"
need_programs ffmpeg ffprobe md5sum
exe=$(realpath "$1") host_bin=$(realpath "$2") samples=$(realpath "$3") wine=${4:-wine}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
mkdir avi mkv mp4
make_movie_set in "$host_bin/porute-mkmovie" "$samples"

"$host_bin/porute2avi" -q -y -o avi in
check "porute2avi.exe -f mkv --verify converts every movie" \
  "$wine" "$exe" -q -y -f mkv --verify -o mkv in
check "porute2avi.exe -f mp4 --verify converts a movie with sound" \
  "$wine" "$exe" -q -y -f mp4 --verify -o mp4 in/sample-vd02.V02

decoded() {  # FILE STREAM(v|a): an md5 of the stream decoded to raw BGR or 16-bit samples
  if [ "$2" = v ]; then
    ffmpeg -v error -i "$1" -map 0:v -f rawvideo -pix_fmt bgr24 - | md5sum
  else
    ffmpeg -v error -i "$1" -map 0:a? -f s16le - | md5sum
  fi
}
same_decoding() {  # NAME
  [ "$(decoded "avi/$1.avi" v)" = "$(decoded "mkv/$1.mkv" v)" ] &&
    [ "$(decoded "avi/$1.avi" a)" = "$(decoded "mkv/$1.mkv" a)" ]
}
for avi in avi/*.avi; do
  name=${avi#avi/}
  name=${name%.avi}
  check "$name.mkv decodes to the AVI's frames and samples" same_decoding "$name"
done
frames=$(ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames \
           -of csv=p=0 mp4/sample-vd02.mp4)
avi_frames=$(ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames \
               -of csv=p=0 avi/sample-vd02.avi)
check "the mp4 holds every frame ($frames of $avi_frames)" [ "$frames" = "$avi_frames" ]
checks_summary
