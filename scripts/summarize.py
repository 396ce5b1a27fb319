#!/usr/bin/env python3
"""Counts test cases over the builds named on the command line.

A ctest test that wrote a GoogleTest XML report counts with its test cases;
any other ctest test (a script, the Wine fixture) counts as one. Prints the
closing line "N passed, N failed" and exits 1 when anything failed or no
test ran."""
import os
import sys
import xml.etree.ElementTree as ET

passed = failed = skipped = 0
failures = []  # (build, test, case, first lines of the message)


def first_lines(failure, count=4):
    text = failure.get("message") or failure.text or ""
    lines = [l.strip() for l in text.splitlines() if l.strip()]
    return " | ".join(lines[:count])[:400]

for build in sys.argv[1:]:
    before = (passed, failed, skipped)
    junit = os.path.join(build, "ctest-junit.xml")
    if not os.path.exists(junit):
        print(f"{build}: no results (the suite did not run): 1 failed")
        failed += 1
        continue
    for case in ET.parse(junit).getroot().iter("testcase"):
        name = case.get("name")
        ctest_failed = case.find("failure") is not None or case.get("status") == "fail"
        report = os.path.join(build, "results", name + ".xml")
        if os.path.exists(report):
            try:
                root = ET.parse(report).getroot()
                # Disabled cases are helper entry points that other tests
                # start in a child process, not tests of their own.
                cases = [c for c in root.iter("testcase") if c.get("result") != "suppressed"]
                f = 0
                for c in cases:
                    failure = c.find("failure")
                    if failure is not None:
                        f += 1
                        failures.append((build, name, c.get("classname", "") + "." + c.get("name", ""),
                                         first_lines(failure)))
                s = sum(1 for c in cases if c.get("result") == "skipped" or c.get("status") == "notrun")
                passed += len(cases) - f - s
                failed += f
                skipped += s
                if ctest_failed and f == 0:
                    failed += 1  # crashed or timed out after writing its report
                    failures.append((build, name, "(the whole test)", "crashed or timed out"))
                continue
            except ET.ParseError:
                pass
        if case.find("skipped") is not None:
            skipped += 1
        elif ctest_failed:
            failed += 1
            failures.append((build, name, "(the whole test)", "failed without a report"))
        else:
            passed += 1
    print(f"{build}: {passed - before[0]} passed, {failed - before[1]} failed"
          + (f", {skipped - before[2]} skipped" if skipped != before[2] else ""))
# The failing cases are named last, so that the tail of a long log says
# what failed and why.
for build, test, case, message in failures:
    print(f"FAILED {build} {test}: {case}: {message}")
line = f"{passed} passed, {failed} failed"
if skipped:
    line += f", {skipped} skipped"
print(line)
sys.exit(1 if failed or passed == 0 else 0)
