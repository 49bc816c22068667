#!/usr/bin/env python3
"""Runs every case of GoogleTest programs, each in a process of its own, as
ctest does in scripts/test.sh (cases share nothing but the machine): for the
Windows workflow, where the build folder's ctest files name Linux paths.

  run_cases.py [--runner CMD] [--timeout S] PROGRAM.exe[:FILTER] ...

FILTER, after the ".exe:", is a GoogleTest filter ("-Suite.*:Other.Case"
leaves those out).
Prints one line per case and, last, the failed ones; the exit code is the
number of failed cases (at most 100).
"""
import argparse
import shlex
import subprocess
import sys
import time


def cases(runner, program, gtest_filter):
    command = runner + [program, "--gtest_list_tests"]
    if gtest_filter:
        command.append("--gtest_filter=" + gtest_filter)
    listing = subprocess.run(command, capture_output=True, text=True, check=True).stdout
    suite = None
    found = []
    for line in listing.splitlines():
        if not line.strip() or line.startswith("Running main()"):
            continue
        if not line.startswith(" "):
            suite = line.split("#")[0].strip()
        elif suite:
            found.append(suite + line.split("#")[0].strip())
    return found


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--runner", default="", help="a program that runs each one (wine, say)")
    parser.add_argument("--timeout", type=float, default=300)
    parser.add_argument("programs", nargs="+")
    args = parser.parse_args()
    runner = shlex.split(args.runner)
    failed = []
    total = 0
    for argument in args.programs:
        # Windows paths hold a colon of their own: the filter follows ".exe:".
        program, found, gtest_filter = argument.partition(".exe:")
        program += ".exe" if found else ""
        for case in cases(runner, program, gtest_filter):
            total += 1
            started = time.monotonic()
            try:
                result = subprocess.run(runner + [program, "--gtest_filter=" + case], capture_output=True,
                                        text=True, timeout=args.timeout)
                ok = result.returncode == 0
                output = result.stdout + result.stderr
            except subprocess.TimeoutExpired as expired:
                ok = False
                output = (expired.stdout or b"").decode(errors="replace") + "\n(timed out)"
            print("%-6s %6.1f s  %s" % ("ok" if ok else "FAILED", time.monotonic() - started, case), flush=True)
            if not ok:
                failed.append(case)
                print(output, flush=True)
    print("run_cases: %d of %d cases failed" % (len(failed), total))
    for case in failed:
        print("    " + case)
    sys.exit(min(len(failed), 100))


if __name__ == "__main__":
    main()
