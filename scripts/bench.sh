#!/usr/bin/env bash
# Builds and runs the benchmarks: natively (without sanitizers) and the
# Windows build under Wine. Each prints ratios against its own baseline
# measured in the same run. The Windows build is the 32-bit product where the
# kernel runs 32-bit code, else the 64-bit build (under QEMU's emulator the
# figures would measure the emulator).
#
#   scripts/bench.sh                      every benchmark
#   scripts/bench.sh storage memstorage   only bench_*storage* and bench_*memstorage*
#   PV_BENCH_WIN=i686|x86_64 scripts/bench.sh   choose the Windows build
set -uo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
names=("$@")
wanted() {  # wanted FILE: true when no names were given or one matches
  [ ${#names[@]} -eq 0 ] && return 0
  for n in "${names[@]}"; do case "$(basename "$1")" in bench_*"$n"*) return 0 ;; esac; done
  return 1
}
bash scripts/setup.sh >/dev/null || exit 1
arch=${PV_BENCH_WIN:-}
if [ -z "$arch" ]; then
  if [ "$(cat .cache/run32 2>/dev/null)" = native ]; then arch=i686; else arch=x86_64; fi
fi
case "$arch" in
  i686|x86_64) win=build-bench-win-$arch ;;
  *) echo "PV_BENCH_WIN must be i686 or x86_64" >&2; exit 2 ;;
esac
echo "Windows benchmarks: $arch build"
cmake -S . -B build-bench-native -DCMAKE_BUILD_TYPE=Release -DPV_SANITIZE=OFF >/dev/null && cmake --build build-bench-native -j2 >/dev/null || exit 1
cmake -S . -B "$win" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-$arch.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null && cmake --build "$win" -j2 >/dev/null || exit 1
for b in build-bench-native/bin/bench_*; do
  [ -x "$b" ] || continue
  wanted "$b" || continue
  echo "== native: $(basename "$b")"; "$b"
done
scripts/wine-env.sh start "$win" >/dev/null
# The HTTP benchmark reads from the test servers.
scripts/http-servers.sh start "$win" >/dev/null && export PV_HTTP_INFO="Z:$here/$win/http-servers/info"
for b in "$win"/bin/bench_*.exe; do
  [ -f "$b" ] || continue
  wanted "$b" || continue
  echo "== windows (Wine): $(basename "$b")"; scripts/wine-run.sh "$b"
done
scripts/http-servers.sh stop "$win" >/dev/null
scripts/wine-env.sh stop "$win" >/dev/null
