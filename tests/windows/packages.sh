#!/bin/sh
# The Windows installer and the portable zip under Wine. A silent install
# puts the zip's very files (and the uninstaller) into Program Files, writes
# the uninstall entry and the associations (checked key by key as exported),
# leaves another program's default for .V00 alone, and its porute2avi.exe
# writes the Linux build's AVI bytes; a silent uninstall then leaves no file,
# shortcut or key of ours, and the other program's default still in place.
# The zip, unpacked anywhere, converts the same movie to the same bytes.
#
# The Wine prefix is shared by every run: whatever an earlier run left of
# ours is scrubbed first, and again when this one ends, however it ends.
# Without the window in the build (henkan-porute.exe), the same recipe makes
# an installer with a stand-in for it, so that its entries are checked.
#
#   packages.sh SETUP.exe PORTABLE.zip HOST_BIN_DIR MAKE_INSTALLER.cmake [WINE]
set -eu
setup=$(realpath "$1") zip=$(realpath "$2") host_bin=$(realpath "$3")
recipe=$(realpath "$4") wine=${5:-wine}
: "${WINEPREFIX:?packages.sh needs WINEPREFIX}"
# The installer takes the language of the system: English here, whatever the
# caller's locale.
export LC_ALL=C.UTF-8
version=$(basename "$setup" | sed -n 's/^henkan-porute-\(.*\)-x64-setup\.exe$/\1/p')

folder="$WINEPREFIX/drive_c/Program Files/henkan-porute"
shortcut="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/変換ぽるて.lnk"
uninstall_key='HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall\henkan-porute'
classes='HKEY_LOCAL_MACHINE\Software\Classes'
our_keys="$uninstall_key
$classes\\.V02
$classes\\.V00
$classes\\HenkanPorute.V02
$classes\\HenkanPorute.V00
$classes\\Applications\\henkan-porute.exe"
other=HenkanPoruteTest.Other

reg() { "$wine" reg "$@" </dev/null >/dev/null 2>&1; }
scrub() {
  echo "$our_keys" | while read -r key; do reg delete "$key" /f || true; done
  rm -rf "$folder" "$shortcut"
}
work=$(mktemp -d)
trap 'scrub; rm -rf "$work"' EXIT
# A signal (CTest's or scripts/windows' end) goes through the same exit.
trap 'exit 1' HUP INT TERM
scrub
cd "$work"
fail() { echo "error: $*" >&2; exit 1; }

# Our keys as exported (UTF-16 .reg text, read as UTF-8 without CRs), the
# installed size masked: it follows the programs' size.
export_keys() {
  echo "$our_keys" | while read -r key; do
    if "$wine" reg export "$key" key.reg /y </dev/null >/dev/null 2>&1; then
      iconv -f UTF-16 -t UTF-8 key.reg | tr -d '\r' | sed '1,2d; /^$/d' |
        sed 's/^"EstimatedSize"=dword:.*/"EstimatedSize"=dword:SIZE/'
    fi
  done
}

mkdir in linux zip-out installed-out
"$host_bin/porute-mkmovie" v02 in/test.V02 --width 168 --height 94 --frames 9 --fpc 3 \
  --content random >/dev/null
"$host_bin/porute2avi" -q -y -o linux in/test.V02
converts_alike() {  # PORUTE2AVI.EXE OUT_DIR
  "$wine" "$1" -q -y -o "$(winepath -w "$2")" "$(winepath -w in/test.V02)" </dev/null
  cmp -s linux/test.avi "$2/test.avi" || fail "$1 wrote another AVI than the Linux build"
}

# The zip: one folder holding the programs, catalogue, licences and readme.
mkdir unzipped
(cd unzipped && cmake -E tar xf "$zip")
[ "$(ls unzipped)" = henkan-porute ] || fail "the zip holds $(ls unzipped), not one folder"
converts_alike unzipped/henkan-porute/porute2avi.exe zip-out
for file in README.txt LICENSE.txt; do
  [ -f "unzipped/henkan-porute/$file" ] || fail "the zip has no $file"
done

if [ ! -f unzipped/henkan-porute/henkan-porute.exe ]; then
  echo "no window in this build: checking the installer with a stand-in henkan-porute.exe"
  cp -r unzipped/henkan-porute stand-in
  cp stand-in/porute2avi.exe stand-in/henkan-porute.exe
  setup=$work/stand-in-setup.exe
  cmake -DSTAGE="$work/stand-in" -DINSTALLER="$setup" -P "$recipe" >/dev/null
  shipped=stand-in
else
  shipped=unzipped/henkan-porute
fi

# Another program holds .V00 already; .V02 has no default.
reg add "$classes\\.V00" /ve /d "$other" /f || fail "cannot set the other program's default"
"$wine" "$setup" /S </dev/null || fail "the silent install failed"

listing() { (cd "$1" && find . -type f | sort); }
[ "$(listing "$folder")" = "$( (listing "$shipped"; echo ./uninstall.exe) | sort)" ] ||
  fail "installed: $(listing "$folder" | tr '\n' ' '), shipped: $(listing "$shipped" | tr '\n' ' ')"
[ -f "$shortcut" ] || fail "no Start-menu entry"
converts_alike "$folder/porute2avi.exe" installed-out

sed "s/@VERSION@/$version/" >expected.txt <<'EOF'
[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall\henkan-porute]
"DisplayIcon"="C:\\Program Files\\henkan-porute\\henkan-porute.exe,0"
"DisplayName"="変換ぽるて"
"DisplayVersion"="@VERSION@"
"EstimatedSize"=dword:SIZE
"InstallerLanguage"="1033"
"InstallLocation"="C:\\Program Files\\henkan-porute"
"NoModify"=dword:00000001
"NoRepair"=dword:00000001
"Publisher"="The henkan porute authors"
"QuietUninstallString"="\"C:\\Program Files\\henkan-porute\\uninstall.exe\" /S"
"UninstallString"="\"C:\\Program Files\\henkan-porute\\uninstall.exe\""
[HKEY_LOCAL_MACHINE\Software\Classes\.V02]
@="HenkanPorute.V02"
[HKEY_LOCAL_MACHINE\Software\Classes\.V02\OpenWithProgids]
"HenkanPorute.V02"=hex(0):
[HKEY_LOCAL_MACHINE\Software\Classes\.V00]
@="HenkanPoruteTest.Other"
[HKEY_LOCAL_MACHINE\Software\Classes\.V00\OpenWithProgids]
"HenkanPorute.V00"=hex(0):
[HKEY_LOCAL_MACHINE\Software\Classes\HenkanPorute.V02]
@="VD02 movie"
[HKEY_LOCAL_MACHINE\Software\Classes\HenkanPorute.V02\DefaultIcon]
@="C:\\Program Files\\henkan-porute\\henkan-porute.exe,0"
[HKEY_LOCAL_MACHINE\Software\Classes\HenkanPorute.V02\shell]
[HKEY_LOCAL_MACHINE\Software\Classes\HenkanPorute.V02\shell\open]
[HKEY_LOCAL_MACHINE\Software\Classes\HenkanPorute.V02\shell\open\command]
@="\"C:\\Program Files\\henkan-porute\\henkan-porute.exe\" \"%1\""
[HKEY_LOCAL_MACHINE\Software\Classes\HenkanPorute.V00]
@="VD00 movie"
[HKEY_LOCAL_MACHINE\Software\Classes\HenkanPorute.V00\DefaultIcon]
@="C:\\Program Files\\henkan-porute\\henkan-porute.exe,0"
[HKEY_LOCAL_MACHINE\Software\Classes\HenkanPorute.V00\shell]
[HKEY_LOCAL_MACHINE\Software\Classes\HenkanPorute.V00\shell\open]
[HKEY_LOCAL_MACHINE\Software\Classes\HenkanPorute.V00\shell\open\command]
@="\"C:\\Program Files\\henkan-porute\\henkan-porute.exe\" \"%1\""
[HKEY_LOCAL_MACHINE\Software\Classes\Applications\henkan-porute.exe]
"FriendlyAppName"="変換ぽるて"
[HKEY_LOCAL_MACHINE\Software\Classes\Applications\henkan-porute.exe\shell]
[HKEY_LOCAL_MACHINE\Software\Classes\Applications\henkan-porute.exe\shell\open]
[HKEY_LOCAL_MACHINE\Software\Classes\Applications\henkan-porute.exe\shell\open\command]
@="\"C:\\Program Files\\henkan-porute\\henkan-porute.exe\" \"%1\""
[HKEY_LOCAL_MACHINE\Software\Classes\Applications\henkan-porute.exe\SupportedTypes]
".V00"=""
".V02"=""
EOF
export_keys >installed.txt
diff -u expected.txt installed.txt >&2 || fail "the registry after the install is not as expected"
# Installed again over itself, as an upgrade is: the earlier installation's
# uninstaller runs first, and the same files and keys result.
"$wine" "$setup" /S </dev/null || fail "the silent install over an installation failed"
[ "$(listing "$folder")" = "$( (listing "$shipped"; echo ./uninstall.exe) | sort)" ] ||
  fail "installed over itself: $(listing "$folder" | tr '\n' ' ')"
export_keys >installed.txt
diff -u expected.txt installed.txt >&2 || fail "the registry after installing again is not as expected"
# A 32-bit installer writes to the 32-bit view unless told otherwise.
! reg query 'HKLM\Software\Wow6432Node\Microsoft\Windows\CurrentVersion\Uninstall\henkan-porute' ||
  fail "an uninstall entry in the 32-bit view"

# The uninstaller runs from a copy of itself and returns at once: its last
# step removes the folder.
"$wine" "$folder/uninstall.exe" /S </dev/null || fail "the silent uninstall failed"
waited=0
while [ -d "$folder" ]; do
  sleep 0.2
  waited=$((waited + 1))
  [ $waited -lt 300 ] ||
    fail "the folder is still there 60 s after the uninstall: $(listing "$folder")"
done
[ ! -e "$shortcut" ] || fail "the Start-menu entry outlives the uninstall"
printf '[%s\\.V00]\n@="%s"\n' "$classes" "$other" >expected.txt
export_keys >left.txt
diff -u expected.txt left.txt >&2 || fail "the registry after the uninstall is not as expected"
echo "install, conversion, registry and uninstall as expected; the zip converts alike"
