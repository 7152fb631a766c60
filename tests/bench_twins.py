#!/usr/bin/env python3
"""Checks that every benchmark in bench/ and its Lua and Python twins print the same result.

Usage: bench_twins.py --vorla BIN [--scale N] [--timeout SECONDS] BENCH_DIR

Each NAME.vl in BENCH_DIR (names starting with "_" are helpers) must have NAME.lua and NAME.py beside it. The
check runs the benchmarks at a reduced size, SCALE times smaller (default 50), to stay fast: the vorla scripts
take their scale from the global of _scale.vl, so they run from a scratch copy of BENCH_DIR whose _scale.vl
says `int scale = SCALE;`, and the twins take it as their command-line argument. vorla must exit with 0 and
print something; each twin must print exactly the same. A twin is compared only when its interpreter is
installed (`lua5.4` on PATH, Debian's /usr/bin/python3), otherwise it is reported as skipped.
"""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile

PYTHON = "/usr/bin/python3"


def run(command, cwd, timeout):
    """The stdout of a command, or None with a complaint on stdout when it fails."""
    try:
        done = subprocess.run(command, cwd=cwd, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                              stderr=subprocess.PIPE, timeout=timeout)
    except subprocess.TimeoutExpired:
        print("  %s: timed out after %s s" % (" ".join(command), timeout))
        return None
    if done.returncode != 0:
        print("  %s: exit code %d\n%s%s" % (" ".join(command), done.returncode,
                                             done.stdout.decode(errors="replace"), done.stderr.decode(errors="replace")))
        return None
    return done.stdout.decode("utf-8", errors="replace")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--vorla", required=True, help="the interpreter")
    parser.add_argument("--scale", type=int, default=50, help="how many times smaller than full size")
    parser.add_argument("--timeout", type=float, default=60.0, help="seconds allowed per run")
    parser.add_argument("dir", help="the benchmark directory")
    options = parser.parse_args()

    bench = os.path.abspath(options.dir)
    vorla = os.path.abspath(options.vorla)
    names = sorted(f[:-3] for f in os.listdir(bench) if f.endswith(".vl") and not f.startswith("_"))
    if not names:
        sys.exit("bench_twins.py: no benchmarks in %s" % bench)
    twins = []
    lua = shutil.which("lua5.4")
    if lua:
        twins.append(("lua", lambda name: [lua, name + ".lua", str(options.scale)]))
    if os.access(PYTHON, os.X_OK):
        twins.append(("py", lambda name: [PYTHON, "-B", name + ".py", str(options.scale)]))

    failed = 0
    with tempfile.TemporaryDirectory(prefix="vorla-bench-") as scratch:
        for entry in os.listdir(bench):
            if entry.endswith(".vl"):
                shutil.copy(os.path.join(bench, entry), scratch)
        with open(os.path.join(scratch, "_scale.vl"), "w") as f:
            f.write("// The reduced size of the twin check.\nint scale = %d;\n" % options.scale)

        for name in names:
            problems = []
            expected = run([vorla, name + ".vl"], scratch, options.timeout)
            if expected is None:
                problems.append("vorla failed")
            elif not expected.strip():
                problems.append("vorla printed nothing")
            for suffix, command in twins:
                if not os.path.exists(os.path.join(bench, name + "." + suffix)):
                    problems.append("missing twin %s.%s" % (name, suffix))
                    continue
                if expected is None:
                    continue
                actual = run(command(name), bench, options.timeout)
                if actual is None:
                    problems.append("%s.%s failed" % (name, suffix))
                elif actual != expected:
                    problems.append("%s.%s prints %r, %s.vl prints %r" % (name, suffix, actual, name, expected))
            if problems:
                failed += 1
                print("FAIL %s: %s" % (name, "; ".join(problems)))

    compared = ", ".join(suffix for suffix, _ in twins) or "no twins (neither lua5.4 nor %s installed)" % PYTHON
    print("%d benchmarks, %d failed; compared with %s at 1/%d size" % (len(names), failed, compared, options.scale))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
