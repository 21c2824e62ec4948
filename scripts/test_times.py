#!/usr/bin/env python3
"""Prints the slowest tests of CTest's JUnit files and the time of each part
of a test run.

    test_times.py [--total S] [NAME=SECONDS ...] -- RUN.xml ...
"""
import argparse
import os
import sys
import xml.etree.ElementTree as ET


def minutes(seconds):
    seconds = int(round(seconds))
    return f"{seconds // 60}m{seconds % 60:02d}s"


def main():
    argv = sys.argv[1:]
    files = argv[argv.index("--") + 1:] if "--" in argv else []
    argv = argv[:argv.index("--")] if "--" in argv else argv
    parser = argparse.ArgumentParser()
    parser.add_argument("--total", type=float)
    parser.add_argument("phases", nargs="*")
    args = parser.parse_args(argv)

    cases = []
    for path in files:
        if not os.path.exists(path):
            continue
        run = os.path.splitext(os.path.basename(path))[0]
        for case in ET.parse(path).getroot().iter("testcase"):
            cases.append((float(case.get("time", 0)), case.get("name"), run))
    cases.sort(reverse=True)
    print("\nSlowest tests:")
    for seconds, name, run in cases[:10]:
        print(f"  {seconds:7.1f} s  {name} ({run})")
    parts = []
    for phase in args.phases:
        name, _, seconds = phase.rpartition("=")
        parts.append(f"{name} {minutes(float(seconds))}")
    if args.total is not None:
        parts.append(f"total {minutes(args.total)}")
    print("Time: " + ", ".join(parts) + "\n")


if __name__ == "__main__":
    main()
