#!/bin/sh
# Every text of the command line (with its Matroska and MP4 writer and the
# decoder's failure sentences) that is marked for translation has a
# translation, neither missing nor fuzzy, in every catalogue of po/; and no
# translation reorders its arguments ("%2$u"), which the C library's printf
# on Windows cannot do.
# Usage: catalogue_coverage.sh SOURCE_DIR
set -eu
src=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
{ find "$src/cli" "$src/ffenc" -name '*.cpp' -o -name '*.h'; echo "$src/v02dec/MovieFailure.cpp"; } |
  LC_ALL=C sort >"$work/files"
xgettext --from-code=UTF-8 --keyword=_ --keyword=N_ --keyword=ngettext:1,2 \
  --files-from="$work/files" --output="$work/porute2avi.pot"
status=0
for po in "$src"/po/*.po; do
  if ! msgcmp "$po" "$work/porute2avi.pot"; then
    echo "$po does not translate every text of cli/ and ffenc/" >&2
    status=1
  fi
  if grep -n '^msgstr.*%[0-9][0-9]*\$' "$po" >&2; then
    echo "$po: a translation takes its arguments out of order; Windows' printf cannot" >&2
    status=1
  fi
done
exit $status
