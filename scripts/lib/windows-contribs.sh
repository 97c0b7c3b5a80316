# The Windows build's third-party libraries: GNU libintl, x264 and FFmpeg's
# libraries, cross-built with mingw-w64 from Debian 12's own source packages
# and kept per machine outside the work tree, so that a fresh clone does not
# build them again. Sourced by scripts/windows after common.sh, not run.
#
# The prefix is named after a hash of the recipe (build_windows_contribs_in
# as bash prints it, so comments do not count), the compiler and the three
# source versions: a change to how or from what they are built gives a new
# prefix, and an unchanged one is reused as it stands. Its stamp is written
# last, so a build that died half-way is never taken for a whole one; the
# build folder it left behind is taken up again where it stopped (the steps
# that would undo finished work, fetching and configuring, leave stamps).

PORUTE_WINDOWS_HOST=x86_64-w64-mingw32
PORUTE_WINDOWS_CACHE=${PORUTE_WINDOWS_CACHE:-/var/cache/henkan-porute-tests/windows-contribs}

# Debian's own sources for the libraries Debian 12 ships; the security suite
# carries the FFmpeg point releases the host build links against too.
porute_deb_src_file=/etc/apt/sources.list.d/henkan-porute-deb-src.sources

ensure_deb_src() {
  local want
  want=$(cat <<'EOF'
# Written by henkan porute's scripts/windows: the source packages of the
# libraries its Windows build cross-compiles.
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb-src
URIs: http://deb.debian.org/debian-security
Suites: bookworm-security
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
)
  local sudo=()
  [ "$(id -u)" -ne 0 ] && sudo=(sudo)
  if [ "$(cat "$porute_deb_src_file" 2>/dev/null)" != "$want" ]; then
    echo "Adding Debian 12's source packages to apt ($porute_deb_src_file)" >&2
    printf '%s\n' "$want" | "${sudo[@]}" tee "$porute_deb_src_file" >/dev/null || return 1
    "${sudo[@]}" apt-get update >&2 || return 1
  elif [ -z "$(apt-cache showsrc x264 2>/dev/null)" ]; then
    "${sudo[@]}" apt-get update >&2 || return 1
  fi
}

# The version `apt-get source PACKAGE` fetches, read from its .dsc name.
source_version() {
  apt-get source --print-uris "$1" 2>/dev/null |
    sed -n "s/^'[^']*' $1_\(.*\)\.dsc .*/\1/p" | head -n 1
}

# Prints the prefix for the current recipe, compiler and sources.
windows_contribs_prefix() {
  local ffmpeg_version x264_version gettext_version compiler key
  ffmpeg_version=$(source_version ffmpeg)
  x264_version=$(source_version x264)
  gettext_version=$(source_version gettext)
  if [ -z "$ffmpeg_version" ] || [ -z "$x264_version" ] || [ -z "$gettext_version" ]; then
    echo "error: apt knows no source package of ffmpeg, x264 or gettext" >&2
    return 1
  fi
  compiler=$("$PORUTE_WINDOWS_HOST-gcc-posix" -dumpfullversion)
  key=$({ declare -f build_windows_contribs_in; echo "ffmpeg $ffmpeg_version"; echo "x264 $x264_version";
          echo "gettext $gettext_version"; echo "gcc $compiler"; } | sha256sum | cut -c1-16)
  echo "$PORUTE_WINDOWS_CACHE/$key"
}

# Builds the libraries into PREFIX unless its stamp says they are there. Runs
# without errexit (see ensure_windows_contribs), hence the explicit returns.
build_windows_contribs() {
  local prefix=$1
  local stamp=$prefix/.complete
  [ -f "$stamp" ] && return 0

  local sudo=()
  [ "$(id -u)" -ne 0 ] && sudo=(sudo)
  "${sudo[@]}" mkdir -p "$PORUTE_WINDOWS_CACHE" || return 1
  "${sudo[@]}" chown "$(id -u):$(id -g)" "$PORUTE_WINDOWS_CACHE" || return 1

  # Two runs on one machine would build into the same prefix.
  exec 9>"$PORUTE_WINDOWS_CACHE/.lock" || return 1
  flock 9 || return 1
  if [ -f "$stamp" ]; then
    exec 9>&-
    return 0
  fi

  local work=$prefix.build
  local log=$prefix.log
  if [ ! -d "$work" ]; then
    rm -rf "$prefix"
    mkdir -p "$work" || return 1
    : >"$log"
  fi
  mkdir -p "$prefix" || return 1
  echo "Building libintl, x264 and FFmpeg's libraries for Windows into $prefix (log: $log)" >&2
  local started=$SECONDS
  # A process of its own: errexit would be ignored in a function that runs
  # as the condition of an if.
  if ! PORUTE_WINDOWS_CACHE=$PORUTE_WINDOWS_CACHE bash -c \
      'set -euo pipefail; source "$0"; build_windows_contribs_in "$1" "$2"' \
      "${BASH_SOURCE[0]}" "$work" "$prefix" >>"$log" 2>&1; then
    tail -n 40 "$log" >&2
    echo "error: the Windows libraries did not build; the log is $log (a rerun goes on from" \
         "where this one stopped; remove $work to start afresh)" >&2
    exec 9>&-
    return 1
  fi
  local took=$((SECONDS - started))
  {
    echo "built $(date -u +%Y-%m-%dT%H:%M:%SZ) in $took s"
    echo "ffmpeg $(source_version ffmpeg)"
    echo "x264 $(source_version x264)"
    echo "gettext $(source_version gettext)"
  } >"$stamp.tmp" && mv "$stamp.tmp" "$stamp" || return 1
  rm -rf "$work"
  ln -sfn "$(basename "$prefix")" "$PORUTE_WINDOWS_CACHE/current"
  echo "Windows libraries built in $took s" >&2
  exec 9>&-
}

# The build itself, in a subshell whose output goes to the log.
build_windows_contribs_in() {
  local work=$1 prefix=$2
  local host=$PORUTE_WINDOWS_HOST
  # The machine is shared: two jobs at the lowest priority.
  local make=(nice -n 19 make -j2)
  cd "$work"
  if [ ! -f .fetched ]; then
    find . -mindepth 1 -maxdepth 1 -type d -exec rm -rf {} +
    apt-get source --only-source gettext x264 ffmpeg
    touch .fetched
  fi
  local gettext_dir x264_dir ffmpeg_dir
  gettext_dir=$(find . -maxdepth 1 -type d -name 'gettext-*' | head -n 1)
  x264_dir=$(find . -maxdepth 1 -type d -name 'x264-*' | head -n 1)
  ffmpeg_dir=$(find . -maxdepth 1 -type d -name 'ffmpeg-*' | head -n 1)

  # GNU libintl, for porute2avi.exe's Japanese messages: the intl folder of
  # gettext's runtime, without iconv (the catalogue is UTF-8 and so is our
  # console output, so no conversion is ever asked of it). Debian's patches
  # leave the autotools' inputs newer than their outputs; the outputs in the
  # tarball are the ones wanted, so make must not try to remake them.
  (
    cd "$gettext_dir/gettext-runtime"
    local keep=(ACLOCAL=: AUTOCONF=: AUTOMAKE=: AUTOHEADER=:)
    if [ ! -f .configured ]; then
      CC=$host-gcc-posix nice -n 19 ./configure --host="$host" --prefix="$prefix" \
        --enable-static --disable-shared --disable-java --disable-csharp \
        --disable-libasprintf --disable-openmp --disable-curses \
        --without-libiconv-prefix --without-libintl-prefix am_cv_func_iconv=no
      touch .configured
    fi
    "${make[@]}" -C intl "${keep[@]}"
    make -C intl install "${keep[@]}"
  )

  # x264: the library alone, 8-bit only (our frames are 8-bit 4:2:0), on
  # Windows threads so that it needs no pthread library of its own.
  (
    cd "$x264_dir"
    if [ ! -f .configured ]; then
      CC=$host-gcc-posix AR=$host-ar RANLIB=$host-ranlib STRIP=$host-strip \
        nice -n 19 ./configure --host="$host" --cross-prefix="$host-" --prefix="$prefix" \
          --enable-static --disable-cli --bit-depth=8 --disable-opencl \
          --enable-win32thread
      touch .configured
    fi
    "${make[@]}"
    make install-lib-static
  )

  # FFmpeg: only what the converter uses. Encoders FFV1, FLAC, libx264 and
  # AAC; decoders for reading every output back (--verify); the Matroska and
  # MP4 muxers and demuxers; files only. Autodetection is off so that nothing
  # of the build machine (or Windows' media APIs) slips in, which also turns
  # off the thread choice: Windows threads are named explicitly.
  (
    cd "$ffmpeg_dir"
    if [ ! -f .configured ]; then
      PKG_CONFIG_LIBDIR=$prefix/lib/pkgconfig PKG_CONFIG_PATH='' \
        nice -n 19 ./configure --prefix="$prefix" \
          --enable-cross-compile --target-os=mingw32 --arch=x86_64 \
          --cross-prefix="$host-" --cc="$host-gcc-posix" --cxx="$host-g++-posix" \
          --pkg-config=pkg-config --pkg-config-flags=--static \
          --enable-static --disable-shared --disable-debug \
          --disable-programs --disable-doc --disable-network --disable-autodetect \
          --enable-w32threads \
          --disable-avdevice --disable-avfilter --disable-postproc \
          --enable-gpl --enable-libx264 \
          --disable-everything \
          --enable-encoder=ffv1,flac,libx264,aac \
          --enable-decoder=ffv1,flac,h264,aac \
          --enable-parser=h264,aac,flac \
          --enable-muxer=matroska,mp4,mov \
          --enable-demuxer=matroska,mov \
          --enable-bsf=aac_adtstoasc,extract_extradata \
          --enable-protocol=file \
          --enable-swscale --enable-swresample
      touch .configured
    fi
    "${make[@]}"
    make install
  )
}

# Makes sure the libraries are built and prints their prefix.
# Called in a command substitution, where errexit does not reach: every step
# answers for itself.
ensure_windows_contribs() {
  ensure_deb_src || return 1
  local prefix
  prefix=$(windows_contribs_prefix) || return 1
  build_windows_contribs "$prefix" || return 1
  echo "$prefix"
}
