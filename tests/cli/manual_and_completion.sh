#!/usr/bin/env bash
# porute2avi's manual, --help and bash completion name the same options; the
# manual formats without a warning; the completion offers options, the
# values of -f, folders for -o and movies for FILE; `cmake --install` puts
# the manual and the completion where man and bash look for them.
#   manual_and_completion.sh PROGRAM MANUAL COMPLETION BUILD_DIR CMAKE
set -uo pipefail
program=$(realpath "$1") manual=$(realpath "$2") completion=$(realpath "$3")
build_dir=$4 cmake=$5
source "$(dirname "$0")/../common/checks.sh"
need_programs groff lexgrog mandoc
status=0
fail() {
  echo "FAIL: $*" >&2
  status=1
}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Options as each of the three spells them, one a line, sorted.
options_of_help() {
  "$program" --help | grep -E '^ +-' | sed 's/^ *//; s/  .*//' |
    grep -oE -- '--?[A-Za-z][A-Za-z-]*' | sort -u
}
options_of_manual() {
  # The tag line after each .TP of the OPTIONS section.
  awk '/^\.SH/ { inside = ($2 == "OPTIONS") } inside && tag { print } { tag = ($1 == ".TP") }' \
    "$manual" | sed 's/\\-/-/g; s/\\f[BIRP]//g' | grep -oE -- '--?[A-Za-z][A-Za-z-]*' | sort -u
}
options_of_completion() {
  grep -E '^ *local options=' "$completion" | sed "s/^[^']*'//; s/'.*//; s/\\\\n/\n/g; s/=//g" |
    sort -u
}
help=$(options_of_help)
[ -n "$help" ] || fail "--help lists no options"
for other in manual completion; do
  if ! diff -u <(echo "$help") <(options_of_$other) >"$work/diff"; then
    fail "--help and the $other name different options:"
    cat "$work/diff" >&2
  fi
done

# The manual formats cleanly for every formatter at hand.
warnings=$(groff -man -Tutf8 -ww -z "$manual" 2>&1)
[ -z "$warnings" ] || fail "groff warns: $warnings"
lexgrog "$manual" >/dev/null || fail "lexgrog finds no NAME line"
lint=$(mandoc -Tlint "$manual" 2>&1)
[ -z "$lint" ] || fail "mandoc -Tlint: $lint"

# Completions as bash would offer them, for the words given (the last one
# being completed), in the folder $work/files.
mkdir -p "$work/files/sub"
touch "$work/files/a.V02" "$work/files/B.v00" "$work/files/b.snd" "$work/files/c.txt"
complete_words() {
  (cd "$work/files" && bash -c '
    source "$1"; shift
    COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1))
    _porute2avi
    printf "%s\n" "${COMPREPLY[@]}" | sort' complete "$completion" porute2avi "$@")
}
expect_completion() {
  local want=$1
  shift
  local got
  got=$(complete_words "$@" | tr '\n' ' ')
  [ "$got" = "$want" ] || fail "completing '$*': got '$got', want '$want'"
}
expect_completion "--info " --in
expect_completion "--output-dir= " --out
expect_completion "mkv mp4 " -f m
expect_completion "avi mkv mp4 " --format =
expect_completion "mkv " --format = mk
expect_completion "sub " -o ""
expect_completion "B.v00 a.V02 sub " -q ""

# Installed where man and bash-completion look.
if "$cmake" --install "$build_dir" --prefix "$work/prefix" >"$work/install.log" 2>&1; then
  [ -f "$work/prefix/share/man/man1/porute2avi.1" ] || fail "the manual is not installed"
  [ -f "$work/prefix/share/bash-completion/completions/porute2avi" ] ||
    fail "the completion is not installed"
  MANWIDTH=80 man -l "$work/prefix/share/man/man1/porute2avi.1" 2>/dev/null |
    grep -q -- '--check' || fail "man cannot show the installed manual"
else
  fail "cmake --install failed: $(cat "$work/install.log")"
fi
exit $status
