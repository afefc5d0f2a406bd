#!/usr/bin/env python3
"""Reads the JUnit file of a CTest run (ctest --output-junit FILE), prints
the slowest tests and fails when one took longer than the limit, or when
the file records no test at all.

  test-times.py FILE [--limit SECONDS] [--slowest N]
"""
import argparse
import sys
import xml.etree.ElementTree as ET


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("junit")
    parser.add_argument("--limit", type=float, default=60.0)
    parser.add_argument("--slowest", type=int, default=10)
    args = parser.parse_args()

    cases = [(float(case.get("time", "0")), case.get("name", "?"))
             for case in ET.parse(args.junit).getroot().iter("testcase")]
    if not cases:
        print("%s: no test ran" % args.junit)
        return 1
    cases.sort(reverse=True)
    print("%d tests, %.0f s in all; the slowest:" % (len(cases), sum(t for t, _ in cases)))
    for seconds, name in cases[:args.slowest]:
        print("  %6.1f s  %s" % (seconds, name))
    over = [(seconds, name) for seconds, name in cases if seconds > args.limit]
    for seconds, name in over:
        print("over the limit of %.0f s: %s (%.1f s)" % (args.limit, name, seconds))
    return 1 if over else 0


if __name__ == "__main__":
    sys.exit(main())
