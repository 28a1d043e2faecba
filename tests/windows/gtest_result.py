#!/usr/bin/env python3
"""One test's result from a GoogleTest program's XML report, told as the program tells it.

    gtest_result.py REPORT SUITE.NAME

Exits 0 when the test passed or was skipped (with GoogleTest's "[  SKIPPED ]" line and
the reason), 1 when it failed (with its failure messages) or is not in the report.
"""
import sys
import xml.etree.ElementTree as ElementTree


def main(report, wanted):
    try:
        root = ElementTree.parse(report).getroot()
    except (OSError, ElementTree.ParseError) as error:
        print(f"no results of the program's whole run: {error}")
        return 1
    for case in root.iter("testcase"):
        if f"{case.get('classname')}.{case.get('name')}" != wanted:
            continue
        print(f"[ RUN      ] {wanted}")
        failures = case.findall("failure")
        for failure in failures:
            print(failure.text or failure.get("message", ""))
        skipped = case.find("skipped")
        if failures:
            print(f"[  FAILED  ] {wanted}")
            return 1
        if skipped is not None:
            print(f"[  SKIPPED ] {wanted}: {skipped.get('message', '')}")
        else:
            print(f"[       OK ] {wanted}")
        return 0
    print(f"{wanted} is not in {report}: the program ended before it ran")
    return 1


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
