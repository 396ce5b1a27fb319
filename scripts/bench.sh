#!/usr/bin/env bash
# Builds and runs every benchmark: natively (without sanitizers) and the
# Windows build under Wine. Each prints ratios against its own baseline
# measured in the same run. The Windows build is the 32-bit product where the
# kernel runs 32-bit code, else the 64-bit build (under QEMU's emulator the
# figures would measure the emulator); PV_BENCH_ARCH=i686|x86_64 chooses.
# Names given as arguments run only those benchmarks:
#   scripts/bench.sh diskstorage memstorage   (bench_*diskstorage*, bench_*memstorage*)
set -uo pipefail
names=("$@")
wanted() {  # wanted PROGRAM: true when no names were given or one matches
  [ ${#names[@]} -eq 0 ] && return 0
  for n in "${names[@]}"; do case "$(basename "$1")" in bench_*"$n"*) return 0 ;; esac; done
  return 1
}
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
bash scripts/setup.sh >/dev/null || exit 1
cmake -S . -B build-bench-native -DCMAKE_BUILD_TYPE=Release -DPV_SANITIZE=OFF >/dev/null && cmake --build build-bench-native -j2 >/dev/null || exit 1
arch=${PV_BENCH_ARCH:-}
if [ -z "$arch" ]; then
  if [ "$(cat .cache/run32 2>/dev/null)" = native ]; then arch=i686; else arch=x86_64; fi
fi
echo "Windows benchmarks: $arch build"
cmake -S . -B build-bench-win-$arch -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-$arch.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null && cmake --build build-bench-win-$arch -j2 >/dev/null || exit 1
for b in build-bench-native/bin/bench_*; do
  [ -x "$b" ] || continue
  wanted "$b" || continue
  echo "== native: $(basename "$b")"; "$b"
done
scripts/wine-env.sh start build-bench-win-$arch >/dev/null
for b in build-bench-win-$arch/bin/bench_*.exe; do
  [ -f "$b" ] || continue
  wanted "$b" || continue
  echo "== windows (Wine): $(basename "$b")"; scripts/wine-run.sh "$b"
done
scripts/wine-env.sh stop build-bench-win-$arch >/dev/null
