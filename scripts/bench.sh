#!/usr/bin/env bash
# Builds and runs every benchmark: natively (without sanitizers) and, for the
# product, the Windows build under Wine. Each prints ratios against its own
# baseline measured in the same run.
set -uo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
bash scripts/setup.sh >/dev/null || exit 1
cmake -S . -B build-bench-native -DCMAKE_BUILD_TYPE=Release -DPV_SANITIZE=OFF >/dev/null && cmake --build build-bench-native -j2 >/dev/null || exit 1
cmake -S . -B build-bench-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null && cmake --build build-bench-win -j2 >/dev/null || exit 1
for b in build-bench-native/bin/bench_*; do
  [ -x "$b" ] || continue
  echo "== native: $(basename "$b")"; "$b"
done
scripts/wine-env.sh start build-bench-win >/dev/null
for b in build-bench-win/bin/bench_*.exe; do
  [ -f "$b" ] || continue
  echo "== windows (Wine): $(basename "$b")"; scripts/wine-run.sh "$b"
done
scripts/wine-env.sh stop build-bench-win >/dev/null
