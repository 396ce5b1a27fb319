#!/usr/bin/env bash
# Runs one libFuzzer target for a while:
#   bash scripts/fuzz.sh TARGET SECONDS [libFuzzer options...]
# TARGET is one of: pipe page_image url date format utf escape_xml profile_xml http_range ini_text
# (or fuzz_<name>).
# The target is built in build-native (configured with clang, as
# scripts/test.sh does). New inputs go to build-native/fuzz-corpus/<target>
# (the seeds in fuzz/seeds/<target> are read, never written); crashes and
# hangs land in build-native/fuzz-crashes/<target>/. One process, one job:
# the machine's cores are shared. Prints the executions run at the end.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
if [ $# -lt 2 ]; then
  echo "usage: $0 TARGET SECONDS [libFuzzer options...]" >&2
  exit 2
fi
target=$1; seconds=$2; shift 2
case "$target" in fuzz_*) ;; *) target=fuzz_$target ;; esac
if [ ! -f "$here/fuzz/$target.cpp" ]; then
  echo "no fuzz target $target (see fuzz/fuzz_*.cpp)" >&2
  exit 2
fi
build=${PV_FUZZ_BUILD:-$here/build-native}
if ! grep -q 'CMAKE_CXX_COMPILER:.*clang' "$build/CMakeCache.txt" 2>/dev/null; then
  cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=Debug \
        -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
fi
mkdir -p "$build/fuzz-logs"
if ! cmake --build "$build" -j2 --target "$target" >"$build/fuzz-logs/build.log" 2>&1; then
  cat "$build/fuzz-logs/build.log" >&2
  exit 1
fi

corpus=$build/fuzz-corpus/$target
crashes=$build/fuzz-crashes/$target
logs=$build/fuzz-logs/$target
mkdir -p "$corpus" "$crashes" "$logs"
cd "$logs"
status=0
"$build/bin/$target" -jobs=1 -workers=1 -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
  -print_final_stats=1 -artifact_prefix="$crashes/" "$@" "$corpus" "$here/fuzz/seeds/$target" \
  >/dev/null 2>&1 || status=$?
log=$logs/fuzz-0.log
runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' | tail -1)
echo "$target: ${runs:-?} executions in $seconds s, corpus $(ls "$corpus" | wc -l) inputs, exit $status"
if [ "$status" != 0 ]; then
  grep -E 'ERROR|SUMMARY|Test unit written' "$log" | head -5
  echo "full log: $log"
fi
exit $status
