#!/usr/bin/env bash
# Counts the lines of the tracked source files under tests/ against those of
# every other tracked source file (C/C++, resources, CMake, scripts) and
# prints both with their ratio.
set -euo pipefail
cd "$(dirname "$0")/.."
files() { git ls-files -- "$@" | grep -E '(\.(cpp|h|c|rc|inc|cmake|sh|py)|(^|/)CMakeLists\.txt)$' || true; }
count() { local n=0 f; while IFS= read -r f; do [ -f "$f" ] && n=$((n + $(wc -l <"$f"))); done; echo "$n"; }
tests=$(files tests | count)
code=$(files . ':!tests' | count)
awk -v t="$tests" -v c="$code" 'BEGIN { printf "tests: %d lines, code: %d lines, ratio %.2f\n", t, c, t / c }'
