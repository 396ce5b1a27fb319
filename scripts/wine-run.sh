#!/usr/bin/env bash
# Runs one Windows program under the Wine session of its build folder (ctest's
# cross-compiling emulator). The build folder is PV_BUILD_DIR, or the nearest
# folder above the program that holds CMakeCache.txt.
set -u
exe=${1:?program}
shift
build=${PV_BUILD_DIR:-}
if [ -z "$build" ]; then
  d=$(cd "$(dirname "$exe")" && pwd)
  while [ "$d" != / ] && [ ! -f "$d/CMakeCache.txt" ]; do d=$(dirname "$d"); done
  if [ ! -f "$d/CMakeCache.txt" ]; then
    echo "wine-run: $exe lies in no build folder; set PV_BUILD_DIR" >&2
    exit 2
  fi
  build=$d
fi
here=$(cd "$(dirname "$0")" && pwd)
if [ ! -f "$build/wine-session${PV_WINE_SESSION:+-$PV_WINE_SESSION}/display" ]; then
  "$here/wine-env.sh" start "$build" >/dev/null || exit 1
fi
eval "$("$here/wine-env.sh" env "$build")"
# A locale that cannot be loaded leaves Wine in English, and a language test
# would pass for the wrong language.
if [ -n "${LC_ALL:-}" ] && [ -n "$(locale 2>&1 >/dev/null)" ]; then
  echo "wine-run: the locale $LC_ALL is missing (scripts/setup.sh builds it into .cache/locale)" >&2
  exit 2
fi
exec "$PV_WINE" "$exe" "$@"
