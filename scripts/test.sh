#!/usr/bin/env bash
# Runs every test suite and ends with "N passed, N failed" over all of them:
#  1. native: the portable units under AddressSanitizer and UBSan (built
#             with clang), and every libFuzzer target for a few seconds;
#  2. x86_64: the Windows build for 64-bit Windows under 64-bit Wine;
#  3. i686:   the product, 32-bit, under 32-bit Wine (through QEMU's i386
#             emulator where the kernel runs no 32-bit code);
#  4. scripts: the demo script's own checks (a failing step fails the demo).
# A suite that cannot run counts as a failure. Installs what it needs first
# (scripts/setup.sh); --no-setup leaves that out on a machine already set up.
#   bash scripts/test.sh [--no-setup]
#
# Which Windows build runs what. The product is the i686 build; the x86_64
# build exists for machines that cannot run 32-bit code.
#  - Where 32-bit code runs natively, i686 runs every test. x86_64 runs what
#    only a 64-bit build can show, pointers and handles of 64 bits in struct
#    layouts, window data and message parameters: the unit suites, the
#    dialogs and the end-to-end runs in the default language. The language
#    reruns (label "locale": the language search and the texts' widths are
#    the same code in both builds) and the checks that change the Wine
#    prefix's folders from the Unix side (label "unix-side": file-system
#    behaviour, the same in both) are left to i686.
#  - Where 32-bit code runs through QEMU (each process start 3-5 times
#    slower), x86_64 runs every test, and i686 runs what only the 32-bit
#    product can show: the unit suites (32-bit layouts), the dialogs (32-bit
#    window procedures and callbacks), the end-to-end runs of the 32-bit
#    programs (full exit codes, delay-loaded DLLs) and the release archive.
#    Left to x86_64: the labels "locale" and "unix-side", the windows at the
#    other resolutions (DpiLayout: layout arithmetic and fonts) and the
#    repository's many-process torture (RepositoryTorture: Windows' file
#    semantics); none of them depends on the word size.
#  - Where 32-bit code cannot run, x86_64 runs every test and i686 fails.
# The long stress forms (PV_SAVE_ROUNDS and the like) are never set here:
# the suites run their short forms.
set -uo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
setup=1
for arg in "$@"; do
  case "$arg" in
    --no-setup) setup="" ;;
    *) echo "usage: $0 [--no-setup]" >&2; exit 2 ;;
  esac
done
start=$(date +%s)
if [ -n "$setup" ]; then
  bash scripts/setup.sh || exit 1
elif [ ! -f .cache/run32 ]; then
  echo "test: --no-setup, but this machine was never set up (no .cache/run32): run scripts/setup.sh" >&2
  exit 1
fi

jobs=${PV_JOBS:-2}
status=0
run32=$(cat .cache/run32 2>/dev/null || echo none)
# The selection below is the whole of what runs.
unset GTEST_FILTER

elapsed() { echo "$(( ($(date +%s) - start) / 60 )) min $(( ($(date +%s) - start) % 60 )) s"; }

configure() { # folder, cmake args...
  local dir=$1; shift
  mkdir -p "$dir"
  rm -rf "$dir/results" "$dir/ctest-junit.xml"
  cmake -S . -B "$dir" "$@" >"$dir.configure.log" 2>&1 || { cat "$dir.configure.log"; return 1; }
}

# A Windows build's Wine prefix is made in the background from the start
# (making one takes 30-50 s, much of it waiting), so that the tests' Wine
# fixture finds it ready; the session is stopped again once it is made. A
# start that does not end in 300 s is given up (the fixture then makes the
# prefix under its own time limit), and the session is stopped either way.
prepare_wine() { # folder; sets wine_pid
  (timeout 300 bash scripts/wine-env.sh start "$1"; bash scripts/wine-env.sh stop "$1") >"$1/wine-prepare.log" 2>&1 &
  wine_pid=$!
}

build() { # folder [low: at the lowest priority]
  local dir=$1 nice=()
  [ "${2:-}" = low ] && nice=(nice -n 19)
  "${nice[@]}" cmake --build "$dir" -j"$jobs" >"$dir.build.log" 2>&1
  echo $? >"$dir/build-status"
}

# The build's warnings are shown, and on failure the log's tail gives the
# context of the error (the whole output is kept in FOLDER.build.log).
built() { # folder
  grep -E 'warning:' "$1.build.log"
  [ "$(cat "$1/build-status" 2>/dev/null)" = 0 ] && return 0
  echo "-- build failed in $1; the last lines of $1.build.log:"
  tail -n 60 "$1.build.log"
  return 1
}

run_tests() { # folder, ctest args...
  local dir=$1; shift
  (cd "$dir" && ctest -j"$jobs" --output-on-failure --output-junit ctest-junit.xml "$@")
}

# Screenshots taken by the dialog tests are kept as BMP; PNG copies for people.
png_shots() {
  if compgen -G "$1/screenshots/*.bmp" >/dev/null; then
    for f in "$1"/screenshots/*.bmp; do convert "$f" "${f%.bmp}.png" 2>/dev/null && rm -f "$f"; done
    echo "screenshots: $here/$1/screenshots"
  fi
}

# What each Windows build leaves out (see the top of this file).
win64_ctest=()
win_ctest=()
win_filter=""
case "$run32" in
  native) win64_ctest=(-LE 'locale|unix-side') ;;
  qemu)   win_ctest=(-LE 'locale|unix-side'); win_filter='-DpiLayout.*:RepositoryTorture.*' ;;
esac

# Line tables are all the sanitizers' reports need of the debug information.
native_ok=""; win64_ok=""; win_ok=""
configure build-native -DCMAKE_BUILD_TYPE=Debug -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_C_FLAGS_DEBUG=-gline-tables-only -DCMAKE_CXX_FLAGS_DEBUG=-gline-tables-only && native_ok=1
# The benchmarks build with the i686 build (with the x86_64 one only when
# there is no i686 build).
benches=OFF
[ "$run32" = none ] && benches=ON
configure build-win64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=Release \
  -DPV_BENCHMARKS=$benches && win64_ok=1
rm -rf build-win/results build-win/ctest-junit.xml
if [ "$run32" != none ]; then
  configure build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake -DCMAKE_BUILD_TYPE=Release \
    -DPV_BENCHMARKS=ON && win_ok=1
fi
win64_wine=""; win_wine=""; later=""
# Interrupted: what runs in the background ends, and with it the Wine
# sessions made for the builds.
stop_background() {
  local p d
  for p in $win64_wine $win_wine $later; do kill "$p" 2>/dev/null; done
  for d in build-win64 build-win; do
    [ -d "$d/wine-session" ] && bash scripts/wine-env.sh stop "$d" >/dev/null 2>&1
  done
}
trap 'stop_background; exit 130' INT
trap 'stop_background; exit 143' TERM
[ -n "$win64_ok" ] && prepare_wine build-win64 && win64_wine=$wine_pid
[ -n "$win_ok" ] && prepare_wine build-win && win_wine=$wine_pid

# The Wine tests keep about one core of two busy, so the suites overlap. The
# x86_64 build and then its tests run first; beside them, the native and then
# the i686 build compile at the lowest priority, taking only what the rest
# leaves, and each suite's tests start as soon as its own build is done (the
# native tests at the lowest priority too: they wait on nothing). A suite run
# beside another writes FOLDER/suite.log, shown whole once the x86_64 suite
# has ended, in the order of the suites.
suite_native() {
  echo "== native build (sanitizers, and the fuzz targets run briefly on their seeds)"
  if [ -n "$native_ok" ] && built build-native; then
    run_tests build-native || return 1
  else
    return 1
  fi
}
suite_win() {
  echo "== i686 Windows build (the product) under 32-bit Wine ($run32)${win_filter:+: leaves out the labels ${win_ctest[1]} and $win_filter}"
  if [ "$run32" = none ]; then
    echo "i686 suite: this machine cannot run 32-bit code (see scripts/setup.sh's messages); counted as failed"
    return 1
  fi
  [ -n "$win_ok" ] && built build-win || return 1
  # Its Wine prefix is being made by a process of the main shell.
  while [ -n "$win_wine" ] && kill -0 "$win_wine" 2>/dev/null; do sleep 1; done
  local rc=0
  GTEST_FILTER=${win_filter:-*} run_tests build-win "${win_ctest[@]}" || rc=1
  png_shots build-win
  return $rc
}
# On the product where it runs natively; through QEMU the script's checks
# gain nothing from the slower 32-bit run. They run once that build's own
# tests are done (the demo starts the build's Wine session).
demo_build=build-win
[ "$run32" = native ] || demo_build=build-win64
suite_demo() {
  echo "== demo script checks"
  bash scripts/test-demo.sh "$demo_build" build-scripts
}
# Runs a suite into FOLDER/suite.log; its status goes to FOLDER/suite-status.
in_log() { # folder, suite name, suite function
  local rc=0
  mkdir -p "$1"
  "$3" >"$1/suite.log" 2>&1 || rc=1
  echo "== $2 suite done after $(elapsed)" >>"$1/suite.log"
  echo $rc >"$1/suite-status"
}
for d in build-native build-win64 build-win build-scripts; do
  rm -f "$d/build-status" "$d/suite.log" "$d/suite-status"
  [ "$d" = build-scripts ] && rm -f "$d/ctest-junit.xml"
done

echo "== x86_64 Windows build under 64-bit Wine${win64_ctest[*]:+ (leaves out the labels ${win64_ctest[1]})}"
( if [ -n "$native_ok" ]; then
    build build-native low
    ( renice -n 19 -p "$BASHPID" >/dev/null; in_log build-native native suite_native ) &
  fi
  [ -n "$win_ok" ] && build build-win low
  in_log build-win i686 suite_win
  [ "$demo_build" = build-win ] && in_log build-scripts demo suite_demo
  wait ) </dev/null >/dev/null 2>&1 &
later=$!
[ -n "$win64_ok" ] && build build-win64
if [ -n "$win64_ok" ] && built build-win64; then
  [ -n "$win64_wine" ] && wait "$win64_wine"
  run_tests build-win64 "${win64_ctest[@]}" || status=1
  png_shots build-win64
else
  status=1
fi
echo "== x86_64 suite done after $(elapsed)"
[ "$demo_build" = build-win64 ] && in_log build-scripts demo suite_demo
wait "$later"
for d in build-native build-win build-scripts; do
  cat "$d/suite.log" 2>/dev/null || echo "== $d: the suite did not run"
  [ "$(cat "$d/suite-status" 2>/dev/null)" = 0 ] || status=1
done

python3 scripts/summarize.py build-native build-win64 build-win build-scripts || status=1
echo "whole run: $(elapsed)"
exit $status
