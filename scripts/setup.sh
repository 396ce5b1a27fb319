#!/usr/bin/env bash
# Installs everything the build and the tests need on a Debian 12 machine and
# builds Expat and DjVuLibre's codec library for both Windows targets once
# (cached under .cache/, ignored by git). On a machine whose kernel runs no 32-bit code it also installs QEMU's
# i386 user-mode emulator and registers it for 32-bit programs, so that 32-bit
# Wine (and with it the product) runs there too.
# Safe to run again: every step checks whether its work is already done.
# Writes .cache/run32 with "native", "qemu" or "none": how 32-bit code runs.
# Outside the project it changes only this: Debian packages installed (with
# the i386 architecture added to dpkg for 32-bit Wine, and apt's package
# lists updated); while apt runs, /usr/sbin/policy-rc.d (only when there is
# none); and, where the kernel runs no 32-bit code, scripts/setup-qemu.sh's
# emulator and binfmt entry (`scripts/setup-qemu.sh --remove` takes them
# away). Locales and the Windows libraries are built into .cache/.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cache="$here/.cache"
mkdir -p "$cache"

SUDO=""
if [ "$(id -u)" != 0 ]; then SUDO=sudo; fi

need_pkgs=()
want=(g++-mingw-w64-i686-posix mingw-w64-i686-dev g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev
      cmake make g++ clang libclang-rt-14-dev libgtest-dev libexpat1-dev
      xvfb xauth imagemagick dpkg-dev fonts-wqy-microhei locales python3
      libdjvulibre-dev djvulibre-bin
      wine wine32:i386 wine64 nginx-light tinyproxy openssl)
have_pkg() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }
for p in "${want[@]}"; do have_pkg "$p" || need_pkgs+=("$p"); done

# The HTTP tests run their own nginx and tinyproxy (scripts/http-servers.sh)
# on free loopback ports. Packages installed here start no services: while
# apt runs, a policy-rc.d of ours (only when the system has none) tells
# invoke-rc.d not to start them; services already there are left as they are.
# The file goes when the script ends, on an interrupt or a kill as well; one
# left behind by a run killed outright (SIGKILL) carries our marker line and
# goes at the next run.
policy=/usr/sbin/policy-rc.d
marker="# Written by Printvane UI set-up while it installs packages; removed after."
own_policy=""
drop_policy() { [ -n "$own_policy" ] && $SUDO rm -f "$policy"; own_policy=""; }
if [ -f "$policy" ] && grep -qxF "$marker" "$policy"; then
  $SUDO rm -f "$policy"
fi
if [ ${#need_pkgs[@]} -gt 0 ]; then
  echo "setup: installing ${need_pkgs[*]}"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
  fi
  trap drop_policy EXIT
  trap 'exit 129' HUP
  trap 'exit 130' INT
  trap 'exit 143' TERM
  if [ ! -e "$policy" ]; then
    own_policy=1
    printf '#!/bin/sh\n%s\nexit 101\n' "$marker" | $SUDO tee "$policy" >/dev/null && $SUDO chmod 755 "$policy"
  fi
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${need_pkgs[@]}" >/dev/null
  drop_policy
fi

# Locales used by the translated screenshots and the language tests (Wine
# takes the user language from the Unix locale), built into a folder of the
# project's own: the system's locale archive and /etc/locale.gen stay as they
# are. scripts/wine-env.sh points LOCPATH there for a program started in one
# of them.
locales="$cache/locale"
for l in en_US ja_JP de_DE de_AT de_CH fr_FR fr_CA fr_BE zh_CN zh_TW zh_SG; do
  [ -f "$locales/$l.UTF-8/LC_CTYPE" ] && continue
  mkdir -p "$locales"
  localedef --no-archive -i "$l" -c -f UTF-8 "$locales/$l.UTF-8" || [ -f "$locales/$l.UTF-8/LC_CTYPE" ] \
    || { echo "setup: could not build the locale $l.UTF-8" >&2; exit 1; }
done

# Debian's source package PKG unpacked (with Debian's patches) into DEST,
# through the project's own apt configuration.
fetch_source() { # PKG DEST
  bash "$here/scripts/apt-source.sh" "$cache" "$1" "$2"
}

# Expat for the Windows targets, built from Debian's source package.
srcdir="$cache/expat-src"
for proc in i686 x86_64; do
  expat_prefix="$cache/expat-mingw-$proc"
  [ -f "$expat_prefix/lib/libexpat.a" ] && continue
  [ -d "$srcdir" ] || fetch_source expat "$srcdir" || exit 1
  b="$cache/expat-build-$proc"
  rm -rf "$b"
  cmake -S "$srcdir/expat" -B "$b" -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-w64-$proc.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DEXPAT_SHARED_LIBS=OFF -DEXPAT_BUILD_TESTS=OFF -DEXPAT_BUILD_TOOLS=OFF \
    -DEXPAT_BUILD_EXAMPLES=OFF -DEXPAT_BUILD_DOCS=OFF -DEXPAT_BUILD_PKGCONFIG=OFF \
    -DCMAKE_INSTALL_PREFIX="$expat_prefix" >/dev/null
  # Debian's backported patches test "#if XML_DTD == 1"; give both macros a value.
  sed -i -e 's/^#define XML_DTD *$/#define XML_DTD 1/' -e 's/^#define XML_NS *$/#define XML_NS 1/' "$b/expat_config.h"
  cmake --build "$b" -j2 >/dev/null
  cmake --install "$b" >/dev/null
  rm -rf "$b"
  echo "setup: Expat for Windows ($proc) in $expat_prefix"
done

# DjVuLibre (the converter stand-in's codec) from Debian's source package:
# its C++ headers serve the native build (which links Debian's
# libdjvulibre), and cmake/djvulibre builds the static library for each
# Windows target. A change to that recipe rebuilds the library.
djvu_src="$cache/djvulibre-src"
[ -f "$djvu_src/libdjvu/IW44Image.h" ] || fetch_source djvulibre "$djvu_src" || exit 1
recipe=$(cat "$here/cmake/djvulibre/CMakeLists.txt" "$here/cmake/djvulibre/config.h" | sha256sum | cut -d' ' -f1)
for proc in i686 x86_64; do
  djvu_prefix="$cache/djvulibre-mingw-$proc"
  if [ -f "$djvu_prefix/lib/libdjvu.a" ] && [ "$(cat "$djvu_prefix/recipe" 2>/dev/null)" = "$recipe" ]; then
    continue
  fi
  b="$cache/djvulibre-build-$proc"
  rm -rf "$b" "$djvu_prefix"
  t0=$(date +%s)
  cmake -S "$here/cmake/djvulibre" -B "$b" -DDJVU_SRC="$djvu_src" \
    -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-w64-$proc.cmake" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$djvu_prefix" >/dev/null || exit 1
  cmake --build "$b" -j"${PV_JOBS:-2}" >"$b.log" 2>&1 || { tail -n 30 "$b.log"; exit 1; }
  cmake --install "$b" >/dev/null || exit 1
  echo "$recipe" >"$djvu_prefix/recipe"
  rm -rf "$b" "$b.log"
  echo "setup: DjVuLibre for Windows ($proc) in $djvu_prefix ($(( $(date +%s) - t0 )) s)"
done

# 32-bit code: natively, through QEMU, or not at all.
bash "$here/scripts/setup-qemu.sh" "$cache" || exit 1
echo "setup: done"
