"""Counts test cases over the CTest and GoogleTest reports of one scripts/test run.

A CTest test that wrote a GoogleTest report counts as its test cases; one that
did not (a crash, a time-out, a test that is not GoogleTest) counts as one case.
Extra results come as name=pass|fail|skip arguments. Prints the summary line and
exits non-zero when anything failed.
"""
import os
import sys
import xml.etree.ElementTree as ElementTree


def gtest_counts(path):
    root = ElementTree.parse(path).getroot()
    passed = failed = skipped = 0
    for case in root.iter("testcase"):
        if case.find("failure") is not None or case.find("error") is not None:
            failed += 1
        elif case.get("result") == "skipped" or case.find("skipped") is not None or case.get("status") == "notrun":
            skipped += 1
        else:
            passed += 1
    return passed, failed, skipped


def main():
    results = sys.argv[1]
    passed = failed = skipped = 0
    for tree in sorted(os.listdir(results)):
        if not tree.endswith(".junit.xml"):
            continue
        report_dir = os.path.join(results, tree[: -len(".junit.xml")])
        for case in ElementTree.parse(os.path.join(results, tree)).getroot().iter("testcase"):
            name = case.get("name")
            ctest_failed = case.find("failure") is not None or case.get("status") == "fail"
            ctest_skipped = case.find("skipped") is not None or case.get("status") in ("notrun", "disabled")
            report = os.path.join(report_dir, name + ".xml")
            if os.path.exists(report):
                p, f, s = gtest_counts(report)
                if ctest_failed and f == 0:
                    f = 1  # it failed after its cases: a crash at exit, a sanitizer report
                passed, failed, skipped = passed + p, failed + f, skipped + s
            elif ctest_failed:
                failed += 1
            elif ctest_skipped:
                skipped += 1
            else:
                passed += 1
    for item in sys.argv[2:]:
        name, _, outcome = item.partition("=")
        if outcome == "pass":
            passed += 1
        elif outcome == "skip":
            skipped += 1
        else:
            failed += 1
            print(f"failed: {name}", file=sys.stderr)
    line = f"{passed} passed, {failed} failed"
    if skipped:
        line += f", {skipped} skipped"
    print(line)
    return 1 if failed or passed == 0 else 0


if __name__ == "__main__":
    sys.exit(main())
