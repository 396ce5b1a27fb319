#!/usr/bin/env bash
# Decides how this machine runs 32-bit x86 Linux code, which Wine's 32-bit side
# (and so the 32-bit product) needs, and writes the answer to CACHE/run32:
#   native  the kernel runs it;
#   qemu    the kernel does not, and QEMU's i386 user-mode emulator is
#           registered for 32-bit programs in binfmt_misc;
#   none    the kernel does not and the emulator could not be registered; only
#           the 64-bit Windows build can be tested here.
# QEMU 10 comes from the distribution's backports suite, downloaded with a
# sources list of its own so that the system's apt sources stay as they are
# (Debian 12's own QEMU 7.2 takes about a minute per Wine process start).
# Idempotent: a registered emulator is kept; a second run downloads nothing.
# The entry lasts until the machine restarts; `setup-qemu.sh --remove [CACHE]`
# takes it away at once, with the installed emulator, and forgets the answer
# (CACHE is the project's .cache unless named).
set -uo pipefail
remove=""
if [ "${1:-}" = --remove ]; then remove=1; shift; fi
cache=${1:-$(dirname "$0")/../.cache}
mkdir -p "$cache" && cache=$(cd "$cache" && pwd)
SUDO=""
if [ "$(id -u)" != 0 ]; then SUDO=sudo; fi
answer() { echo "$1" >"$cache/run32"; echo "setup: 32-bit code runs: $1"; exit 0; }

binfmt=/proc/sys/fs/binfmt_misc
# Our entry has a name of its own, so a distribution's "qemu-i386" entry (or
# anyone else's) is never replaced or removed.
entry=$binfmt/printvane-i386
interp=/usr/local/libexec/printvane/i386-binfmt-P
probe() { /lib/ld-linux.so.2 --version >/dev/null 2>&1; }

# Our entry and emulator only: another entry for 32-bit programs stays.
if [ -n "$remove" ]; then
  if [ -f "$entry" ]; then
    echo -1 | $SUDO tee "$entry" >/dev/null || exit 1
    rm -f "$cache/run32"
    echo "setup: binfmt entry printvane-i386 removed"
  fi
  $SUDO rm -f "$interp"
  $SUDO rmdir "$(dirname "$interp")" 2>/dev/null
  echo "setup: $interp removed"
  exit 0
fi

# Our emulator already answers for 32-bit programs (the kernel does not change
# between runs, so it was registered because the kernel could not).
if [ -f "$entry" ] && grep -qx enabled "$entry" && grep -q "interpreter $interp" "$entry" && probe; then
  answer qemu
fi
# Another enabled entry for 32-bit x86 programs (a distribution's QEMU, say)
# already runs them: it is left as it is and used.
foreign_i386() {
  local f
  for f in "$binfmt"/*; do
    [ "$f" = "$entry" ] && continue
    [ -f "$f" ] && grep -qx enabled "$f" 2>/dev/null \
      && grep -q '^magic 7f454c46010101000000000000000000020003' "$f" && { basename "$f"; return 0; }
  done
  return 1
}
if probe; then
  if name=$(foreign_i386); then
    echo "setup: 32-bit programs run through the existing binfmt entry \"$name\"; it is left as it is"
    answer qemu
  fi
  answer native
fi

echo "setup: this kernel runs no 32-bit code; installing QEMU's i386 emulator for 32-bit Wine"
qdir="$cache/qemu"
mkdir -p "$qdir/lists/partial"
if [ ! -x "$qdir/qemu-i386" ]; then
  # The base suite's address from the system's own sources, with "-backports".
  . "$(dirname "$0")/apt-uri.sh"
  uri=$(debian_archive_uri)
  codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")
  if [ -z "$uri" ]; then
    echo "setup: no Debian archive address in the apt sources; cannot fetch QEMU" >&2
    answer none
  fi
  echo "deb [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] $uri $codename-backports main" >"$qdir/sources.list"
  aptq=(-o Dir::Etc::sourcelist="$qdir/sources.list" -o Dir::Etc::sourceparts=- -o Dir::State::Lists="$qdir/lists"
        -o Dir::State::status=/dev/null -o APT::Architecture=amd64 -o APT::Architectures=amd64)
  if ! apt-get "${aptq[@]}" update -qq >/dev/null 2>&1; then
    echo "setup: could not read $codename-backports from $uri" >&2
    answer none
  fi
  rm -f "$qdir"/qemu-user_*.deb
  ( cd "$qdir" && apt-get "${aptq[@]}" download qemu-user >/dev/null 2>&1 )
  deb=$(ls "$qdir"/qemu-user_*.deb 2>/dev/null | head -n1)
  ver=$(dpkg-deb -f "$deb" Version 2>/dev/null)
  case "$ver" in
    1:1[0-9].*|1:[2-9][0-9].*) ;;
    *) echo "setup: QEMU from backports is '${ver:-missing}', version 10 or later is needed" >&2; answer none ;;
  esac
  rm -rf "$qdir/root"
  dpkg-deb -x "$deb" "$qdir/root" && cp "$qdir/root/usr/bin/qemu-i386" "$qdir/qemu-i386" || answer none
  rm -rf "$qdir/root" "$deb"
fi

# The name ending in "-binfmt-P" makes QEMU take the kernel's argument layout
# for the P (preserve argv[0]) flag.
$SUDO install -D -m 755 "$qdir/qemu-i386" "$interp" || answer none
if [ ! -e "$binfmt/register" ]; then
  $SUDO mount -t binfmt_misc binfmt_misc "$binfmt" 2>/dev/null
fi
if [ ! -e "$binfmt/register" ]; then
  echo "setup: binfmt_misc cannot be mounted here: 32-bit programs cannot be run; only the 64-bit Windows build will be tested" >&2
  answer none
fi
# Replace our own earlier registration (another interpreter path, or disabled).
[ -f "$entry" ] && echo -1 | $SUDO tee "$entry" >/dev/null
magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
# O: QEMU is given the open program; P: argv[0] kept; F: the emulator is opened
# now, so it works inside other mount namespaces and chroots as well.
printf '%s' ":printvane-i386:M::$magic:$mask:$interp:OPF" | $SUDO tee "$binfmt/register" >/dev/null
if probe; then
  answer qemu
fi
echo "setup: the i386 emulator is registered but 32-bit programs still do not start" >&2
answer none
