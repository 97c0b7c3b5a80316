# Cross-builds for 64-bit Windows with Debian's mingw-w64 (the posix thread
# model, for std::thread), and runs what it builds under Wine:
#
#   cmake -S . -B build-windows -G Ninja \
#     -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
#     -DPORUTE_WINDOWS_CONTRIBS=/var/cache/henkan-porute-tests/windows-contribs/current
#
# PORUTE_WINDOWS_CONTRIBS is the prefix scripts/windows builds x264 and
# FFmpeg's libraries into; the environment variable of the same name works too.

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(PORUTE_WINDOWS_HOST x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${PORUTE_WINDOWS_HOST}-gcc-posix)
set(CMAKE_CXX_COMPILER ${PORUTE_WINDOWS_HOST}-g++-posix)
set(CMAKE_RC_COMPILER ${PORUTE_WINDOWS_HOST}-windres)
set(CMAKE_AR ${PORUTE_WINDOWS_HOST}-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB ${PORUTE_WINDOWS_HOST}-gcc-ranlib-posix CACHE FILEPATH "")

# The programs carry their runtime: a user copies one .exe and it starts, with
# no libgcc, libstdc++ or winpthread DLL beside it. -static also takes
# winpthread's archive rather than its import library.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++")

# CTest starts every test program through Wine. WINEDEBUG keeps Wine's own
# chatter out of the tests' output; scripts/windows sets WINEPREFIX.
find_program(PORUTE_WINE NAMES wine wine64)
if(PORUTE_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${PORUTE_WINE})
endif()

if(NOT PORUTE_WINDOWS_CONTRIBS AND DEFINED ENV{PORUTE_WINDOWS_CONTRIBS})
  set(PORUTE_WINDOWS_CONTRIBS $ENV{PORUTE_WINDOWS_CONTRIBS})
endif()
if(NOT PORUTE_WINDOWS_CONTRIBS)
  set(PORUTE_WINDOWS_CONTRIBS /var/cache/henkan-porute-tests/windows-contribs/current)
endif()
# try_compile projects read this file again; they get the same prefix.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES PORUTE_WINDOWS_CONTRIBS)

# Libraries and headers come from the compiler's own root and the contribs,
# never from the build machine; programs (pkg-config, msgfmt) from the build
# machine.
set(CMAKE_FIND_ROOT_PATH /usr/${PORUTE_WINDOWS_HOST} ${PORUTE_WINDOWS_CONTRIBS})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# pkg-config reads the contribs' .pc files only, and with --static: the
# libraries are archives, so their own dependencies (x264, bcrypt, ...) must
# be on the link line too.
set(ENV{PKG_CONFIG_LIBDIR} ${PORUTE_WINDOWS_CONTRIBS}/lib/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")
set(PKG_CONFIG_ARGN --static CACHE STRING "")
