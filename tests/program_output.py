#!/usr/bin/env python3
"""Runs a program and compares its standard output with an expected file.

Usage: program_output.py EXPECTED PROGRAM [ARG ...]

The program must exit with status 0 and print exactly the expected text; on a difference the unified diff
is shown. Used for the example host, whose output is fixed (the random sequence of its scripts is never
seeded).
"""

import difflib
import subprocess
import sys


def main():
    expected_path, program = sys.argv[1], sys.argv[2:]
    with open(expected_path, encoding="utf-8") as f:
        expected = f.read()
    result = subprocess.run(program, capture_output=True, text=True, timeout=60)
    ok = True
    if result.returncode != 0:
        print(f"exit status {result.returncode}\n{result.stderr}")
        ok = False
    if result.stdout != expected:
        sys.stdout.writelines(difflib.unified_diff(expected.splitlines(True), result.stdout.splitlines(True),
                                                   expected_path, "actual"))
        ok = False
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
