#!/usr/bin/env bash
# Checks of the demo script itself, on an existing build folder: a step that
# works passes and the demo exits 0; a step broken on purpose fails and the
# demo exits non-zero. Writes RESULTS/ctest-junit.xml for the summary.
#   test-demo.sh BUILD RESULTS
set -uo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
build=${1:?build folder}
out=${2:?results folder}
mkdir -p "$out"
cases=()

check() { # name, expected exit (0 or nonzero), output must contain, demo args...
  local name=$1 want=$2 needle=$3; shift 3
  local log="$out/$name.log"
  PV_DEMO_BUILD=$build bash scripts/demo.sh "$@" >"$log" 2>&1
  local rc=$?
  local ok=1
  if [ "$want" = 0 ] && [ $rc != 0 ]; then ok=0; fi
  if [ "$want" != 0 ] && [ $rc = 0 ]; then ok=0; fi
  grep -qF -- "$needle" "$log" || ok=0
  if [ $ok = 1 ]; then
    echo "demo check $name: passed"
    cases+=("<testcase name=\"$name\" status=\"run\"/>")
  else
    echo "demo check $name: FAILED (exit $rc; see $log)"
    tail -n 15 "$log"
    cases+=("<testcase name=\"$name\" status=\"fail\"><failure message=\"exit $rc\"/></testcase>")
  fi
}

check demo_steps_pass 0 "step 5: PrintvaneUI.exe exit code -1 - ok" --steps 1,5
check demo_broken_step_fails 1 "FAILED: the converter stand-in ended with 2" --steps 1,5 --fail-step 5

{ echo '<?xml version="1.0" encoding="UTF-8"?>'
  echo "<testsuite name=\"demo-script\" tests=\"${#cases[@]}\">"
  printf '%s\n' "${cases[@]}"
  echo '</testsuite>'; } >"$out/ctest-junit.xml"
