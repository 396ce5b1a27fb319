#!/usr/bin/env bash
# Runs every test suite and ends with "N passed, N failed" over all of them:
#  1. native: the portable units under AddressSanitizer and UBSan (built
#             with clang), and every libFuzzer target for a few seconds;
#  2. x86_64: the Windows build for 64-bit Windows under 64-bit Wine;
#  3. i686:   the product, 32-bit, under 32-bit Wine (through QEMU's i386
#             emulator where the kernel runs no 32-bit code);
#  4. scripts: the demo script's own checks (a failing step fails the demo).
# A suite that cannot run counts as a failure. Installs what it needs first.
set -uo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
start=$(date +%s)
bash scripts/setup.sh || exit 1

jobs=${PV_JOBS:-2}
status=0

elapsed() { echo "$(( ($(date +%s) - start) / 60 )) min $(( ($(date +%s) - start) % 60 )) s"; }

run_build() { # folder, cmake args...
  local dir=$1; shift
  mkdir -p "$dir"
  rm -rf "$dir/results" "$dir/ctest-junit.xml"
  cmake -S . -B "$dir" "$@" >"$dir.configure.log" 2>&1 || { cat "$dir.configure.log"; return 1; }
  # The whole build output is kept; warnings are shown, and on failure the
  # log's tail gives the context of the error.
  if ! cmake --build "$dir" -j"$jobs" >"$dir.build.log" 2>&1; then
    grep -E 'warning:' "$dir.build.log"
    echo "-- build failed in $dir; the last lines of $dir.build.log:"
    tail -n 60 "$dir.build.log"
    return 1
  fi
  grep -E 'warning:' "$dir.build.log"
  (cd "$dir" && ctest -j"$jobs" --output-on-failure --output-junit ctest-junit.xml)
}

# Screenshots taken by the dialog tests are kept as BMP; PNG copies for people.
png_shots() {
  if compgen -G "$1/screenshots/*.bmp" >/dev/null; then
    for f in "$1"/screenshots/*.bmp; do convert "$f" "${f%.bmp}.png" 2>/dev/null && rm -f "$f"; done
    echo "screenshots: $here/$1/screenshots"
  fi
}

echo "== native build (sanitizers, and the fuzz targets run briefly on their seeds)"
run_build build-native -DCMAKE_BUILD_TYPE=Debug -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ || status=1
echo "== native suite done after $(elapsed)"

echo "== x86_64 Windows build under 64-bit Wine"
run_build build-win64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=Release || status=1
png_shots build-win64
echo "== x86_64 suite done after $(elapsed)"

run32=$(cat .cache/run32 2>/dev/null || echo none)
echo "== i686 Windows build (the product) under 32-bit Wine ($run32)"
rm -rf build-win/results build-win/ctest-junit.xml
if [ "$run32" = none ]; then
  echo "i686 suite: this machine cannot run 32-bit code (see scripts/setup.sh's messages); counted as failed"
  status=1
else
  run_build build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake -DCMAKE_BUILD_TYPE=Release || status=1
  png_shots build-win
fi
echo "== i686 suite done after $(elapsed)"

echo "== demo script checks"
bash scripts/test-demo.sh build-win build-scripts || status=1

python3 scripts/summarize.py build-native build-win64 build-win build-scripts || status=1
echo "whole run: $(elapsed)"
exit $status
