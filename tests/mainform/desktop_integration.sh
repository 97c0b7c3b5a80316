#!/usr/bin/env bash
# What `cmake --install` gives a Linux desktop, checked with the desktop's
# own readers: the program, its menu entry (desktop-file-validate), its
# icon, and the MIME types that make a file manager offer it
# for movies, recognised by their first bytes and by their extensions in any
# letter case (the database compiled by update-mime-database and read by Qt).
#
# Usage: desktop_integration.sh BUILD_DIR CMAKE MIME_TYPE_OF
set -euo pipefail

build=$1
cmake=$2
mime_type_of=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

source "$(dirname "${BASH_SOURCE[0]}")/../common/checks.sh"

prefix="$work/prefix"
"$cmake" --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1 || {
  cat "$work/install.log" >&2
  echo "FAIL: cmake --install" >&2
  exit 1
}
share="$prefix/share"
check "henkan-porute is installed" test -x "$prefix/bin/henkan-porute"
check "the menu entry is installed" test -f "$share/applications/henkan-porute.desktop"
check "the scalable icon is installed" test -f "$share/icons/hicolor/scalable/apps/henkan-porute.svg"
for size in 16 32 48 128 256; do
  check "the ${size}px icon is installed" test -f "$share/icons/hicolor/${size}x${size}/apps/henkan-porute.png"
done

entry="$share/applications/henkan-porute.desktop"
# scripts/test installs desktop-file-utils: a missing validator is a failure,
# not a skipped check.
check "the menu entry validates" desktop-file-validate "$entry"
check "the entry opens several files at once" grep -qx 'Exec=henkan-porute %F' "$entry"
check "the entry names the program in Japanese" grep -qx 'Name\[ja\]=変換ぽるて' "$entry"
check "the entry claims both movie types" \
  grep -qx 'MimeType=video/x-porute-vd02;video/x-porute-vd00;' "$entry"

# The install refreshed the MIME database under the prefix; read it as a
# desktop does, with the system's own types beside it.
check "the MIME database was compiled" test -f "$share/mime/mime.cache"
files="$work/files"
mkdir -p "$files"
printf 'VD02%252s' '' >"$files/upper.V02"
printf 'VD02%252s' '' >"$files/lower.v02"
printf 'VD00%252s' '' >"$files/mixed.V00"
printf 'VD02%252s' '' >"$files/no-extension"
printf 'VD00%252s' '' >"$files/renamed.bin"
printf 'plain text\n' >"$files/notes.txt"
mapfile -t types < <(XDG_DATA_DIRS="$share:/usr/local/share:/usr/share" XDG_DATA_HOME="$work/nohome" \
  QT_QPA_PLATFORM=offscreen "$mime_type_of" "$files/upper.V02" "$files/lower.v02" \
  "$files/mixed.V00" "$files/no-extension" "$files/renamed.bin" "$files/notes.txt")
check "*.V02 is a VD02 movie (got ${types[0]:-})" test "${types[0]:-}" = video/x-porute-vd02
check "*.v02 is a VD02 movie (got ${types[1]:-})" test "${types[1]:-}" = video/x-porute-vd02
check "*.V00 is a VD00 movie (got ${types[2]:-})" test "${types[2]:-}" = video/x-porute-vd00
check "VD02 bytes without an extension (got ${types[3]:-})" test "${types[3]:-}" = video/x-porute-vd02
check "VD00 bytes under another extension (got ${types[4]:-})" test "${types[4]:-}" = video/x-porute-vd00
check "other files are left alone (got ${types[5]:-})" test "${types[5]:-}" = text/plain

checks_summary
