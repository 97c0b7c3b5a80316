#!/usr/bin/env bash
# The Debian package as a user gets it: installed with apt into a clean
# Debian 12 root, used there, and removed again. The installed porute2avi
# converts the sample movies (read back by ffprobe outside the root), the
# window converts one on the offscreen platform, both programs find every
# library they link, the desktop entry and the two MIME types resolve
# through the databases the package's triggers rebuild, gst-inspect-1.0 finds
# the GStreamer plugin, the thumbnailer and its entry work, and a purge leaves
# the root's file list as it was before the install.
#
# The clean root (debootstrap's minbase with the desktop's MIME and menu
# tools) is made once and kept as a tarball in CACHE_DIR, with the .deb
# files apt fetches, so reruns need no download.
#
# Usage: clean_root_install.sh DEB SAMPLES_DIR CACHE_DIR [MIME_TYPE_OF]
# Exit 0 passed, 1 failed, 77 skipped (not root, or no debootstrap).
set -euo pipefail

deb=$(realpath "$1")
samples=$(realpath "$2")
cache=$3
mime_type_of=${4:-}
mirror=${PORUTE_DEBIAN_MIRROR:-http://deb.debian.org/debian}

if [ "$(id -u)" -ne 0 ]; then
  echo "SKIP: the clean-root package test needs root (chroot, mounts)" >&2
  exit 77
fi
for tool in debootstrap chroot ffprobe; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed" >&2; exit 77; }
done

mkdir -p "$cache/archives/partial"
cache=$(realpath "$cache")
base="$cache/bookworm-minbase.tar"
root=$(mktemp -d "$cache/root.XXXXXX")
mounted=()
cleanup() {
  local i
  for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do umount "${mounted[i]}" 2>/dev/null || umount -l "${mounted[i]}" || true; done
  rm -rf --one-file-system "$root"
}
trap cleanup EXIT
trap 'exit 143' TERM INT

in_root() { LC_ALL=C.UTF-8 DEBIAN_FRONTEND=noninteractive chroot "$root" "$@"; }

mount_root() {
  mount -t proc proc "$root/proc" && mounted+=("$root/proc")
  mount --bind "$cache/archives" "$root/var/cache/apt/archives" && mounted+=("$root/var/cache/apt/archives")
  cp /etc/resolv.conf "$root/etc/resolv.conf"
  # apt as root in a root without /dev/pts: no download sandbox user, no pty.
  printf 'APT::Sandbox::User "root";\nDpkg::Use-Pty "0";\n' >"$root/etc/apt/apt.conf.d/90clean-root-test"
}

if [ ! -s "$base" ]; then
  echo "making the clean Debian 12 root (once; kept in $base)"
  debootstrap --variant=minbase --cache-dir="$cache/archives" bookworm "$root" "$mirror" >"$cache/debootstrap.log" 2>&1 || {
    tail -n 30 "$cache/debootstrap.log" >&2
    echo "FAIL: debootstrap" >&2
    exit 1
  }
  mount_root
  in_root apt-get update -q >/dev/null
  # The desktop's readers of menu entries and MIME types, and their caches
  # as a desktop has them before any application arrives.
  in_root apt-get install -y -q --no-install-recommends desktop-file-utils shared-mime-info >/dev/null
  in_root update-desktop-database -q /usr/share/applications
  for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do umount "${mounted[i]}"; done
  mounted=()
  tar -C "$root" --numeric-owner -cf "$base.part" . && mv "$base.part" "$base"
  rm -rf --one-file-system "$root"
  mkdir "$root"
fi
tar -C "$root" --numeric-owner -xf "$base"
mount_root

source "$(dirname "${BASH_SOURCE[0]}")/../common/checks.sh"

# Everything a package could leave behind, as paths. Not listed: what
# changes on any apt run (its logs, lists and download cache, dpkg's
# backups of its own database) and the mount points.
file_list() {
  (cd "$root" && find . -xdev \( -path ./proc -o -path ./tmp -o -path ./dev -o -path ./run \
      -o -path ./var/log -o -path ./var/cache/apt -o -path ./var/lib/apt/lists \) -prune -o -print |
    grep -v -e '^\./var/lib/dpkg/[a-z]*-old$' -e '^\./var/cache/debconf/.*-old$' | LC_ALL=C sort)
}
# gst-inspect-1.0, to see the plugin as GStreamer does: there before the
# package, as a desktop's GStreamer is, so the purge is measured without it.
gst_tools() { in_root apt-get install -y -q --no-install-recommends gstreamer1.0-tools >/dev/null 2>&1; }
gst_tools || { in_root apt-get update -q >/dev/null 2>&1; gst_tools; } || true
file_list >"$root/tmp/before.list"

package=$(dpkg-deb -f "$deb" Package)
cp "$deb" "$root/tmp/"
install_log="$root/tmp/install.log"
install() { in_root apt-get install -y -q --no-install-recommends "/tmp/$(basename "$deb")" >"$install_log" 2>&1; }
# Package lists kept from an earlier run may name versions the archive has
# replaced since; fetch fresh lists once when the install cannot download.
if ! install; then
  in_root apt-get update -q >/dev/null 2>&1 || true
  install || { cat "$install_log" >&2; echo "FAIL: apt-get install $deb" >&2; exit 1; }
fi
check "apt installs $package" sh -c "chroot '$root' dpkg-query -W '$package' >/dev/null"

for program in porute2avi henkan-porute henkan-porute-thumbnailer; do
  check "$program is on the PATH" in_root sh -c "command -v $program >/dev/null"
  check "$program finds every library it links" \
    sh -c "! chroot '$root' ldd /usr/bin/$program | grep -q 'not found'"
done

mkdir -p "$root/tmp/movies" "$root/tmp/out"
cp "$samples"/*.V02 "$samples"/*.V00 "$samples"/*.snd "$root/tmp/movies/"
check "the installed porute2avi converts the samples" \
  in_root sh -c 'porute2avi -q -y -o /tmp/out /tmp/movies/*.V02 /tmp/movies/*.V00 >/tmp/cli.log 2>&1'
for movie in "$root"/tmp/movies/*.V02 "$root"/tmp/movies/*.V00; do
  name=$(basename "${movie%.*}")
  # The frame count a movie's header holds at byte 8.
  want=$(od -An -tu4 -j8 -N4 "$movie" | tr -d ' ')
  frames=$(ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames \
    -of default=noprint_wrappers=1:nokey=1 "$root/tmp/out/$name.avi" 2>/dev/null || true)
  check "ffprobe reads all $want frames of $name.avi (got ${frames:-none})" test "$frames" = "$want"
done
v02=$(cd "$root/tmp/movies" && ls *.V02 | head -n1)
check "the installed window converts a movie on the offscreen platform" \
  in_root env QT_QPA_PLATFORM=offscreen HOME=/tmp XDG_RUNTIME_DIR=/tmp/runtime \
    sh -c "mkdir -p -m 700 /tmp/runtime && cd /tmp && timeout 60 henkan-porute /tmp/movies/$v02 >/tmp/gui.log 2>&1 && test -s /tmp/movies/${v02%.*}.avi"

# The registry goes to /tmp: a cache in root's home would outlive the purge.
check "gst-inspect-1.0 finds the plugin's element" \
  in_root env GST_REGISTRY=/tmp/gst-registry.bin sh -c 'gst-inspect-1.0 porutedemux >/dev/null'
check "and its two type finders" in_root env GST_REGISTRY=/tmp/gst-registry.bin \
  sh -c 'gst-inspect-1.0 porute | grep -q video/x-porute-vd02 && gst-inspect-1.0 porute | grep -q video/x-porute-vd00'
thumbnailer=$root/usr/share/thumbnailers/henkan-porute.thumbnailer
check "the thumbnailer entry takes both movie types" \
  grep -qx 'MimeType=video/x-porute-vd02;video/x-porute-vd00;' "$thumbnailer"
check "the installed thumbnailer writes a picture" \
  in_root sh -c "henkan-porute-thumbnailer -s 128 /tmp/movies/$v02 /tmp/thumb.png && test -s /tmp/thumb.png"

entry=/usr/share/applications/henkan-porute.desktop
check "the desktop entry validates" in_root desktop-file-validate "$entry"
for type in video/x-porute-vd02 video/x-porute-vd00; do
  check "the desktop database opens $type with the entry" \
    grep -q "^$type=.*henkan-porute.desktop" "$root/usr/share/applications/mimeinfo.cache"
  check "the MIME database knows $type" test -f "$root/usr/share/mime/$type.xml"
done
if [ -n "$mime_type_of" ]; then
  # Qt's own MIME reader, run in the root on the Qt the package pulled in.
  cp "$mime_type_of" "$root/tmp/mimetype-of"
  cp "$root/tmp/movies/$v02" "$root/tmp/renamed.bin"
  mapfile -t types < <(in_root /tmp/mimetype-of "/tmp/movies/$v02" /tmp/renamed.bin \
    "$(cd "$root" && ls tmp/movies/*.V00 | sed 's|^|/|' | head -n1)")
  check "a .V02 file resolves to video/x-porute-vd02 (got ${types[0]:-})" test "${types[0]:-}" = video/x-porute-vd02
  check "VD02 bytes under another name resolve by content (got ${types[1]:-})" test "${types[1]:-}" = video/x-porute-vd02
  check "a .V00 file resolves to video/x-porute-vd00 (got ${types[2]:-})" test "${types[2]:-}" = video/x-porute-vd00
fi

purge() { in_root apt-get purge -y -q --autoremove "$package" >>"$install_log" 2>&1; }
check "apt purges $package and what it pulled in" purge
file_list >"$root/tmp/after.list"
if diff -u "$root/tmp/before.list" "$root/tmp/after.list" >"$root/tmp/left.diff"; then
  check "nothing is left behind" true
else
  grep '^[+-]\.' "$root/tmp/left.diff" | head -n 40 >&2
  check "nothing is left behind" false
fi

checks_summary
