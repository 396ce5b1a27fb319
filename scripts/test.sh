#!/usr/bin/env bash
# Runs every test: the portable units natively under AddressSanitizer and
# UBSan, then the Windows build (unit, dialog and end-to-end tests) under Wine
# and Xvfb. Installs what it needs first. Ends with "N passed, N failed".
set -uo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
bash scripts/setup.sh || exit 1

jobs=${PV_JOBS:-2}
status=0

run_build() { # name, cmake args...
  local dir=$1; shift
  rm -rf "$dir/results"
  cmake -S . -B "$dir" "$@" >"$dir.configure.log" 2>&1 || { cat "$dir.configure.log"; return 1; }
  cmake --build "$dir" -j"$jobs" 2>&1 | grep -E 'error|warning:|Error' ; test "${PIPESTATUS[0]}" = 0 || return 1
  (cd "$dir" && ctest -j"$jobs" --output-on-failure --output-junit ctest-junit.xml)
}

echo "== native build (sanitizers)"
mkdir -p build-native
run_build build-native -DCMAKE_BUILD_TYPE=Debug || status=1

echo "== Windows build under Wine"
mkdir -p build-win
run_build build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake -DCMAKE_BUILD_TYPE=Release || status=1

# Screenshots taken by the dialog tests are kept as BMP; PNG copies for people.
if compgen -G "build-win/screenshots/*.bmp" >/dev/null; then
  for f in build-win/screenshots/*.bmp; do convert "$f" "${f%.bmp}.png" 2>/dev/null; done
  echo "screenshots: $here/build-win/screenshots"
fi

python3 scripts/summarize.py build-native build-win || status=1
exit $status
