# Shared by the scripts in scripts/: installing what is missing, and building.
# Sourced, not run.

# Debian packages every script may need. Building and testing need them all;
# a machine that has them is left alone.
PORUTE_BUILD_PACKAGES=(
  build-essential cmake ninja-build pkg-config gettext
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev
  qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins qt6-translations-l10n
  nettle-dev
  libavformat-dev libavcodec-dev libavutil-dev libswscale-dev libswresample-dev
  libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev libpng-dev
  fonts-ipafont-gothic fonts-noto-cjk
)
PORUTE_TEST_PACKAGES=(
  ffmpeg mediainfo gstreamer1.0-tools gstreamer1.0-plugins-base gstreamer1.0-plugins-base-apps
  gstreamer1.0-plugins-good
  gstreamer1.0-libav xvfb xauth openbox xdotool wmctrl x11-utils time
  desktop-file-utils shared-mime-info debootstrap locales mandoc python3
)
# The Windows build (scripts/windows): mingw-w64 with the posix thread model,
# Wine to run what it builds, NSIS for the installer, and what cross-building
# x264 and FFmpeg's libraries from Debian's source packages takes.
PORUTE_WINDOWS_PACKAGES=(
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  mingw-w64-x86-64-dev mingw-w64-tools
  wine wine64 nsis
  nasm dpkg-dev make pkg-config xz-utils util-linux
  xvfb xauth
  # The window's icon, made at build time; Wine's Marlett for the frames it
  # draws in the window's test, and a Japanese Gothic for its title.
  icoutils fonts-wine fonts-ipafont-gothic
)
# Making and checking the Debian package (scripts/package).
PORUTE_PACKAGE_PACKAGES=(
  dpkg-dev fakeroot lintian appstream
)

# The command line's messages are tested in Japanese too: the locale is
# generated once when the system lacks it.
ensure_japanese_locale() {
  if locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$'; then
    return 0
  fi
  echo "Generating the ja_JP.UTF-8 locale" >&2
  local sudo=()
  [ "$(id -u)" -ne 0 ] && sudo=(sudo)
  "${sudo[@]}" localedef -i ja_JP -f UTF-8 ja_JP.UTF-8
}

porute_root() { cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd; }

# Installs the named Debian packages that are not installed yet.
ensure_packages() {
  local missing=() pkg
  for pkg in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'ok installed'; then
      missing+=("$pkg")
    fi
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}" >&2
  local sudo=()
  if [ "$(id -u)" -ne 0 ]; then
    if command -v sudo >/dev/null 2>&1; then
      sudo=(sudo)
    else
      echo "error: these Debian packages are missing and we are not root: ${missing[*]}" >&2
      return 1
    fi
  fi
  export DEBIAN_FRONTEND=noninteractive
  # A fresh machine has empty package lists; refresh them once if the install
  # cannot find a package.
  if ! "${sudo[@]}" apt-get install -y --no-install-recommends "${missing[@]}"; then
    "${sudo[@]}" apt-get update
    "${sudo[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
  fi
}

# configure_and_build BUILD_DIR [cmake options...]
configure_and_build() {
  local dir=$1
  shift
  cmake -S "$(porute_root)" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release "$@"
  cmake --build "$dir" --parallel "$(nproc)"
}
