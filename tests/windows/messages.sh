#!/bin/bash
# porute2avi.exe under Wine says what porute2avi says, in English and, from
# the same catalogue, in Japanese: the usage text and a damaged movie's
# --check line and failure.
#
#   messages.sh PORUTE2AVI.EXE HOST_BIN_DIR HOST_LOCALE_DIR SAMPLES_DIR [WINE]
set -eu
source "$(dirname "$0")/../common/checks.sh"
exe=$(realpath "$1") host_bin=$(realpath "$2") host_locale=$(realpath "$3")
samples=$(realpath "$4") wine=${5:-wine}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
head -c 200 "$samples/sample-vd02.V02" >cut.V02

said() {  # LANGUAGE PROGRAM ARGUMENTS...: everything the program writes, with its status
  local language=$1
  shift
  LC_ALL=$language LANGUAGE='' PORUTE2AVI_LOCALEDIR=$host_locale "$@" 2>&1 | tr -d '\r'
  echo "status ${PIPESTATUS[0]}"
}
for language in C ja_JP.UTF-8; do
  for arguments in "--help" "--check cut.V02" "-y cut.V02"; do
    # shellcheck disable=SC2086 # the arguments are split on purpose
    linux=$(said "$language" "$host_bin/porute2avi" $arguments)
    # shellcheck disable=SC2086
    windows=$(env -u PORUTE2AVI_LOCALEDIR LC_ALL=$language LANGUAGE='' "$wine" "$exe" $arguments 2>&1 |
                tr -d '\r'; echo "status ${PIPESTATUS[0]}")
    if [ "$linux" != "$windows" ]; then
      diff <(echo "$linux") <(echo "$windows") >&2 || true
    fi
    check "$language: porute2avi.exe $arguments says what porute2avi says" [ "$linux" = "$windows" ]
  done
done
checks_summary
