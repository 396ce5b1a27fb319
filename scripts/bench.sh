#!/usr/bin/env bash
# Builds and runs the benchmarks: natively (without sanitizers) and, for the
# product, the Windows build under Wine. Each prints ratios against its own
# baseline measured in the same run.
#
#   scripts/bench.sh                      every benchmark
#   scripts/bench.sh storage memstorage   only bench_*storage* and bench_*memstorage*
#   PV_BENCH_WIN=x86_64 scripts/bench.sh  the 64-bit Windows build (machines
#                                         whose kernel runs no 32-bit code)
set -uo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
arch=${PV_BENCH_WIN:-i686}
case "$arch" in
  i686) win=build-bench-win ;;
  x86_64) win=build-bench-win64 ;;
  *) echo "PV_BENCH_WIN must be i686 or x86_64" >&2; exit 2 ;;
esac
wanted() {  # wanted FILE: true when no names were given or one matches
  [ $# -gt 0 ] || return 0
  local f=$1; shift
  [ ${#names[@]} -eq 0 ] && return 0
  for n in "${names[@]}"; do case "$(basename "$f")" in bench_*"$n"*) return 0 ;; esac; done
  return 1
}
names=("$@")
bash scripts/setup.sh >/dev/null || exit 1
cmake -S . -B build-bench-native -DCMAKE_BUILD_TYPE=Release -DPV_SANITIZE=OFF >/dev/null && cmake --build build-bench-native -j2 >/dev/null || exit 1
cmake -S . -B "$win" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-$arch.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null && cmake --build "$win" -j2 >/dev/null || exit 1
for b in build-bench-native/bin/bench_*; do
  [ -x "$b" ] || continue
  wanted "$b" || continue
  echo "== native: $(basename "$b")"; "$b"
done
scripts/wine-env.sh start "$win" >/dev/null
for b in "$win"/bin/bench_*.exe; do
  [ -f "$b" ] || continue
  wanted "$b" || continue
  echo "== windows (Wine): $(basename "$b")"; scripts/wine-run.sh "$b"
done
scripts/wine-env.sh stop "$win" >/dev/null
