# The Debian package, made by CPack's DEB generator from what `cmake
# --install` installs (scripts/package runs it). Dependencies come from the
# binaries through dpkg-shlibdeps; only what the binaries load at run time
# without linking it is named here.

# cpack stages what scripts/package built (the two programs), not every
# test and benchmark of the build tree.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME henkan-porute)
set(CPACK_PACKAGE_VENDOR "The henkan porute authors")
set(CPACK_PACKAGE_CONTACT "Seed 61e3b1e9 maintainers <maintainers@users.noreply.c-seed-61e3b1e9.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "converter of VD02 and VD00 movies into AVI files")
# Lines of at most 80 characters, as Debian's tools show them; an empty line
# starts a paragraph.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
  "Turns movies of the legacy VD02 (.V02) and VD00 (.V00, with an optional .snd"
  "sound file) formats into uncompressed AVI files that every modern player and"
  "editor opens: 24-bit frames, every one a key frame, and 16-bit mono PCM"
  "sound, exact to the byte. Movies past 1 GiB continue as OpenDML AVI."
  ""
  "The package holds porute2avi, the converter for the command line, and"
  "henkan-porute, its Qt window (変換ぽるて), with a desktop menu entry and the"
  "two movie types, so that file managers offer it for .V02 and .V00 files."
  ""
  "Without converting, the movies play in every GStreamer player (GNOME Videos,"
  "gst-play-1.0, any application built on playbin) through the package's"
  "GStreamer plugin, and file managers show their pictures through its"
  "thumbnailer.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR})

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt finds its platform plugin (xcb on a desktop) at run time; no binary of
# ours links it, so dpkg-shlibdeps cannot see it.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
# The file dialog's own buttons in Japanese, and a font for the captions.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n, fonts-noto-cjk | fonts-ipafont-gothic")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)

# Debian's own files, added to the staged tree after the install: the
# copyright file and changelog, lintian's overrides, manual pages compressed.
set(CPACK_PORUTE_PACKAGING_DIR ${CMAKE_CURRENT_LIST_DIR})
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/StageDebian.cmake)

include(CPack)
