#!/usr/bin/env bash
# Builds the release a driver ships and packs it:
#   dist/printvane-ui-<version>-win32.zip and dist/printvane-ui-<version>-win32.sha256
#
#   package.sh [BUILD_DIR]           configure and build the i686 product in
#                                    BUILD_DIR (default build-release), install
#                                    it into BUILD_DIR/stage and pack it
#   package.sh --pack BUILD_DIR OUT  only install and pack an existing build
#                                    into the folder OUT (the archive test)
#
# Reproducible: the build date is the commit's (SOURCE_DATE_EPOCH, from git
# unless the environment gives one), the programs carry no link time, source
# paths are relative (see cmake/PvVersion.cmake and CMakeLists.txt), and the
# archive's entries have fixed times and order (scripts/pack_zip.py). Two
# builds of one commit give the same archive byte for byte.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"

if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  SOURCE_DATE_EPOCH=$(git -C "$here" log -1 --format=%ct 2>/dev/null || echo 0)
fi
export SOURCE_DATE_EPOCH

pack() { # build folder, output folder
  local build=$1 out=$2
  local name
  name=$(cat "$build/archive-name")
  rm -rf "$build/stage"
  cmake --install "$build" --prefix "$build/stage" >/dev/null
  mkdir -p "$out"
  rm -f "$out/$name.zip" "$out/$name.sha256"
  python3 "$here/scripts/pack_zip.py" "$build/stage" "$out/$name.zip" "$SOURCE_DATE_EPOCH"
  echo "$out/$name.zip"
}

if [ "${1:-}" = "--pack" ]; then
  pack "$(cd "${2:?build folder}" && pwd)" "${3:?output folder}"
  exit 0
fi

build=${1:-build-release}
launcher=()
if command -v ccache >/dev/null; then
  # ccache's base folder would hand the compiler relative source names that
  # depend on where the build folder lies; with absolute names
  # -ffile-prefix-map makes them relative to the tree, wherever it is.
  unset CCACHE_BASEDIR
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake -DCMAKE_BUILD_TYPE=Release \
  "${launcher[@]}" >"$build.configure.log" 2>&1 || { cat "$build.configure.log"; exit 1; }
# Only what ships (nothing of the tests).
cmake --build "$build" -j"${PV_JOBS:-2}" --target PrintvaneUI tessforge7 language_modules default_profiles
archive=$(pack "$(cd "$build" && pwd)" "$here/dist")
echo "== $archive ($(stat -c %s "$archive") bytes)"
python3 -m zipfile -l "$archive"
cat "${archive%.zip}.sha256"
