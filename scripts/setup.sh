#!/usr/bin/env bash
# Installs everything the build and the tests need on a Debian 12 machine and
# builds Expat for both Windows targets once (cached under .cache/, ignored by
# git). On a machine whose kernel runs no 32-bit code it also installs QEMU's
# i386 user-mode emulator and registers it for 32-bit programs, so that 32-bit
# Wine (and with it the product) runs there too.
# Safe to run again: every step checks whether its work is already done.
# Writes .cache/run32 with "native", "qemu" or "none": how 32-bit code runs.
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
      wine wine32:i386 wine64 nginx-light tinyproxy openssl)
have_pkg() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }
for p in "${want[@]}"; do have_pkg "$p" || need_pkgs+=("$p"); done

if [ ${#need_pkgs[@]} -gt 0 ]; then
  echo "setup: installing ${need_pkgs[*]}"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
  fi
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${need_pkgs[@]}" >/dev/null
fi

# The HTTP tests run their own nginx and tinyproxy (scripts/http-servers.sh)
# on free loopback ports; the system services the packages bring must not
# hold port 80 or 8888 or start at boot.
for svc in nginx tinyproxy; do
  if command -v systemctl >/dev/null && [ -d /run/systemd/system ]; then
    $SUDO systemctl disable --now "$svc" >/dev/null 2>&1 || true
  else
    $SUDO service "$svc" stop >/dev/null 2>&1 || true
    $SUDO update-rc.d "$svc" disable >/dev/null 2>&1 || true
  fi
done

# Locales used by the translated screenshots and the language tests (Wine
# takes the user language from the Unix locale). Only missing ones are made,
# each with localedef straight into the locale archive: /etc/locale.gen and
# the machine's other locales stay as they are.
for l in en_US ja_JP de_DE de_AT de_CH fr_FR fr_CA fr_BE zh_CN zh_TW zh_SG; do
  locale -a 2>/dev/null | grep -qix "$l.utf8" && continue
  $SUDO localedef -i "$l" -c -f UTF-8 "$l.UTF-8"
done

# Expat for the Windows targets, built from Debian's source package.
srcdir="$cache/expat-src"
for proc in i686 x86_64; do
  expat_prefix="$cache/expat-mingw-$proc"
  [ -f "$expat_prefix/lib/libexpat.a" ] && continue
  if [ ! -d "$srcdir" ]; then
    # Source packages need a deb-src entry: mirror the base suite's deb entry.
    if ! grep -rqs '^Types: deb-src' /etc/apt/sources.list.d/ && ! grep -qs '^deb-src' /etc/apt/sources.list; then
      src=$(ls /etc/apt/sources.list.d/*.sources 2>/dev/null | head -n1)
      if [ -n "$src" ]; then
        awk 'BEGIN{RS="";ORS="\n\n"} /Types: deb/ && !/security/ {sub(/Types: deb/,"Types: deb-src"); print; exit}' "$src" \
          | $SUDO tee /etc/apt/sources.list.d/printvane-src.sources >/dev/null
      else
        grep -E '^deb ' /etc/apt/sources.list | grep -v security | head -n1 | sed 's/^deb /deb-src /' \
          | $SUDO tee /etc/apt/sources.list.d/printvane-src.list >/dev/null
      fi
      $SUDO apt-get update -qq
    fi
    tmp=$(mktemp -d)
    ( cd "$tmp"
      ok=""
      for v in $(apt-cache showsrc expat | awk '/^Version:/{print $2}' | sort -u); do
        if apt-get source --download-only -qq "expat=$v" >/dev/null 2>&1; then ok=$v; break; fi
      done
      [ -n "$ok" ] || { echo "setup: could not download Expat sources" >&2; exit 1; }
      # Unpacks the sources with Debian's security patches applied.
      dpkg-source -x ./*.dsc src >/dev/null 2>&1
      mv src "$srcdir" ) || exit 1
    rm -rf "$tmp"
  fi
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

# 32-bit code: natively, through QEMU, or not at all.
bash "$here/scripts/setup-qemu.sh" "$cache" || exit 1
echo "setup: done"
