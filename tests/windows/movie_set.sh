# The movies the Windows end-to-end tests convert: the samples and a set of
# our writer's (both formats, odd sizes, 1 and 64 frames per chunk, a silent
# VD00, a Japanese name). Sourced, not run.
#
#   make_movie_set FOLDER MKMOVIE SAMPLES_DIR
make_movie_set() {
  local in=$1 mk=$2
  mkdir -p "$in"
  cp "$3"/*.V0? "$3"/*.snd "$in"/
  "$mk" v02 "$in/fpc1.V02" --frames 5 --fpc 1 >/dev/null
  "$mk" v02 "$in/fpc64.V02" --frames 130 --fpc 64 >/dev/null
  "$mk" v02 "$in/odd.V02" --width 168 --height 94 --frames 9 --fpc 3 --content random >/dev/null
  "$mk" v00 "$in/odd00.V00" --width 33 --height 17 --frames 7 >/dev/null
  "$mk" v00 "$in/silent.V00" --width 64 --height 48 --frames 4 --no-sound >/dev/null
  "$mk" v02 "$in/動画テスト.V02" --frames 4 >/dev/null
}
