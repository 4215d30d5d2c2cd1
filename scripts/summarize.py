#!/usr/bin/env python3
"""Sums up a test run: every GoogleTest case counts once; a CTest test without GoogleTest
results (smoke test, fuzz runs) counts as one. Prints 'N passed, N failed' as the last line and
exits 1 when anything failed."""
import glob
import os
import sys
import xml.etree.ElementTree as ET


def gtest_counts(path):
    tree = ET.parse(path)
    passed = failed = skipped = 0
    for case in tree.iter("testcase"):
        if case.find("failure") is not None or case.find("error") is not None:
            failed += 1
        elif case.get("result") == "skipped" or case.find("skipped") is not None:
            skipped += 1
        else:
            passed += 1
    return passed, failed, skipped


def main():
    passed = failed = skipped = 0
    lines = []
    for run in sys.argv[1:]:
        # run = label:ctest-junit.xml:gtest-results-dir:start-time
        label, junit, results, start = run.split(":")
        start = float(start)
        if not os.path.exists(junit):
            lines.append(f"{label}: no results (the run did not complete)")
            failed += 1
            continue
        for case in ET.parse(junit).iter("testcase"):
            name = case.get("name")
            ok = case.get("status") in ("run", "passed") and case.find("failure") is None
            if case.get("status") == "notrun" or case.find("skipped") is not None:
                ok = False
            detail = os.path.join(results, name + ".xml")
            if os.path.exists(detail) and os.path.getmtime(detail) >= start:
                p, f, s = gtest_counts(detail)
                if not ok and f == 0:
                    f = 1  # the program failed outside its test cases (crash, leak, exit code)
                passed, failed, skipped = passed + p, failed + f, skipped + s
                lines.append(f"{label}/{name}: {p} passed, {f} failed" + (f", {s} skipped" if s else ""))
            else:
                passed += ok
                failed += not ok
                lines.append(f"{label}/{name}: {'passed' if ok else 'FAILED'}")
    for line in lines:
        print("  " + line)
    summary = f"{passed} passed, {failed} failed"
    if skipped:
        summary += f", {skipped} skipped"
    print(summary)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
