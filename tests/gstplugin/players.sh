#!/usr/bin/env bash
# What GStreamer's own programs make of the movies with the build's plugin:
# gst-discoverer-1.0 finds both streams and the length, playbin plays a movie
# to its end, and the typefinder picks the element by content alone.
#   players.sh BUILD_DIR MKMOVIE
set -uo pipefail
source "$(dirname "$0")/../common/checks.sh"
need_programs gst-launch-1.0 gst-discoverer-1.0
build=$1
mkmovie=$2
export GST_PLUGIN_PATH=$build/gst-plugins GST_REGISTRY=$build/gst-registry.bin
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT

"$mkmovie" v02 "$dir/a.V02" --width 64 --height 48 --frames 45 --scale 4 >/dev/null
"$mkmovie" v00 "$dir/b.V00" --width 33 --height 17 --frames 12 >/dev/null
# A name that says nothing: only the first bytes tell what it is.
cp "$dir/a.V02" "$dir/no-extension"

discovered() {  # FILE STREAM-TYPE
  grep -q "$2" "$dir/discovered"
}
for movie in a.V02 b.V00 no-extension; do
  gst-discoverer-1.0 "$dir/$movie" >"$dir/discovered" 2>&1
  check "$movie: a video stream" discovered "$movie" 'video #'
  check "$movie: a sound stream" discovered "$movie" 'audio #'
done
gst-discoverer-1.0 "$dir/a.V02" >"$dir/discovered" 2>&1
# 45 frames of 4/60 s.
check "a.V02: three seconds long" discovered a.V02 'Duration: 0:00:03.000000000'
gst-discoverer-1.0 "$dir/b.V00" >"$dir/discovered" 2>&1
check "b.V00: 1.2 s long" discovered b.V00 'Duration: 0:00:01.200000000'

plays() {  # FILE
  timeout 60 gst-launch-1.0 -q playbin "uri=file://$1" video-sink=fakesink audio-sink=fakesink \
    >"$dir/played" 2>&1
}
check "playbin plays a.V02 to its end" plays "$dir/a.V02"
check "playbin plays b.V00 to its end" plays "$dir/b.V00"

# A damaged movie is an error with the decoder's cause, not a crash.
head -c 300 "$dir/a.V02" >"$dir/cut.V02"
timeout 60 gst-launch-1.0 -q playbin "uri=file://$dir/cut.V02" video-sink=fakesink \
  audio-sink=fakesink >"$dir/played" 2>&1
cut_status=$?
check "a cut movie fails" test "$cut_status" -eq 1
check "with the decoder's cause" grep -q 'colour table' "$dir/played"

checks_summary
