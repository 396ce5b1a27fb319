#!/usr/bin/env bash
# The terminal server stress run (not part of the test suite): JOBS print jobs
# at once under Wine (default 32), each a page dialog answered and a progress
# window fed to its last page, some sharing a settings name, all sharing the
# profile repository while two profile editors save profiles into it; then
# the same jobs one after the other. Prints the table of
# bench/stress_terminal_server_win.cpp and exits 1 when a check fails.
#
#   scripts/stress-ts.sh [JOBS]
#   PV_STRESS_WIN=i686|x86_64   the Windows build to run (default x86_64;
#                               i686 only where the kernel runs 32-bit code)
#   PV_STRESS_BUILD=FOLDER      its build folder (default build-win64 or build-win)
#
# Needs the packages and libraries scripts/setup.sh installs.
set -uo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here" || exit 1
jobs=${1:-32}
case "$jobs" in ''|*[!0-9]*) echo "stress-ts: JOBS must be a number" >&2; exit 2 ;; esac
arch=${PV_STRESS_WIN:-x86_64}
case "$arch" in
  x86_64) build=${PV_STRESS_BUILD:-build-win64} ;;
  i686) build=${PV_STRESS_BUILD:-build-win} ;;
  *) echo "stress-ts: PV_STRESS_WIN must be i686 or x86_64" >&2; exit 2 ;;
esac
mkdir -p "$build"
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE="cmake/mingw-w64-$arch.cmake" -DCMAKE_BUILD_TYPE=Release -DPV_BENCHMARKS=ON \
  >"$build/stress-configure.log" 2>&1 || { tail -n 30 "$build/stress-configure.log"; exit 1; }
cmake --build "$build" -j2 --target stress_terminal_server language_modules >"$build/stress-build.log" 2>&1 \
  || { grep -E "error|Error" "$build/stress-build.log" | head -n 30; exit 1; }
scripts/wine-env.sh start "$build" >/dev/null || { echo "stress-ts: Wine could not start for $build"; exit 1; }
eval "$(scripts/wine-env.sh env "$build")"
echo "machine: $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg)"
"$PV_WINE" "$build/bin/stress_terminal_server.exe" --jobs "$jobs" --editors 2 2>&1 | tr -d '\r'
rc=${PIPESTATUS[0]}
scripts/wine-env.sh stop "$build" >/dev/null
exit "$rc"
