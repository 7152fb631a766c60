#!/usr/bin/env python3
"""Sources far bigger than anyone writes by hand still compile and run: a million statements of
several shapes, two megabytes on one line, and a million-line script that does not parse. The scripts
are generated into a temporary directory; only the output and the exit status are checked.

Usage: big_sources.py VORLA
"""

import os
import re
import subprocess
import sys
import tempfile

from checklist import check, run_tests, without_sanitizer_notice

MILLION = 10 ** 6


def run(vorla, directory, name, text):
    path = os.path.join(directory, name)
    with open(path, "w", encoding="utf-8") as f:
        f.write(text)
    done = subprocess.run([vorla, path], stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE, timeout=600)
    # A parse failure echoes the rest of the text: only its head is worth a message.
    return done.returncode, done.stdout.decode()[:4000], without_sanitizer_notice(done.stderr.decode()[:4000])


def test_a_million_assignments(vorla, directory):
    body = "".join("  x = x + 1;\n" for _ in range(MILLION))
    code, out, err = run(vorla, directory, "assignments.vl",
                         "process main() {\n  int x = 0;\n" + body + "  using::write(x);\n}\n")
    check((code, out, err) == (0, "1000000", ""), "assignments: %r" % ((code, out, err),))


def test_a_million_mixed_statements(vorla, directory):
    # Calls, declarations in blocks, branches and loops, in turn: every statement kind the compiler
    # builds a tree for, each seen hundreds of thousands of times.
    shapes = [
        "  x = step(x);\n",
        "  { int t = x * 2; x = t - x; }\n",
        "  if (x % 2 == 0) x = x + 3; else x = x - 1;\n",
        "  while (false) x = 0;\n",
    ]
    lines = [shapes[i % len(shapes)] for i in range(MILLION)]
    x = 0
    for i in range(MILLION):
        kind = i % len(shapes)
        if kind == 0:
            x += 1
        elif kind == 2:
            x = x + 3 if x % 2 == 0 else x - 1
    text = ("int step(int v) { return v + 1; }\nprocess main() {\n  int x = 0;\n" + "".join(lines) +
            "  using::write(x);\n}\n")
    code, out, err = run(vorla, directory, "mixed.vl", text)
    check((code, out, err) == (0, str(x), ""), "mixed statements: %r, want %d" % ((code, out, err), x))


def test_two_megabytes_on_one_line(vorla, directory):
    statements = 2 * MILLION // len(" x = x + 1;")
    line = "process main() { int x = 0;" + " x = x + 1;" * statements + " using::write(x); }\n"
    code, out, err = run(vorla, directory, "statements_line.vl", line)
    check((code, out, err) == (0, str(statements), ""), "statements on one line: %r" % ((code, out, err),))
    # One expression of half a million operands, folded link by link.
    operands = 2 * MILLION // len(" + 1")
    line = "process main() { int s = 0" + " + 1" * operands + "; using::write(s); }\n"
    code, out, err = run(vorla, directory, "sum_line.vl", line)
    check((code, out, err) == (0, str(operands), ""), "sum on one line: %r" % ((code, out, err),))


def test_a_million_lines_that_do_not_parse(vorla, directory):
    body = "".join("  x = x + 1;\n" for _ in range(MILLION))
    # The last statement lacks its semicolon: the place is found however much went before.
    text = "process main() {\n  int x = 0;\n" + body + "  x = x + 1\n}\n"
    code, out, err = run(vorla, directory, "broken.vl", text)
    # The report quotes the text that did not parse with its repeated lines folded, not all of it.
    check(code == 1 and "identical lines omitted" in out and len(out) < 2000,
          "broken: status %d, stdout %r" % (code, out))
    check(re.search(r"broken\.vl:%d:1: error: the script does not parse here\n" % (MILLION + 4), err) is not None,
          "broken: stderr %r" % err)


def main():
    if len(sys.argv) != 2:
        print(__doc__)
        return 2
    tests = [test_a_million_assignments, test_a_million_mixed_statements, test_two_megabytes_on_one_line,
             test_a_million_lines_that_do_not_parse]
    with tempfile.TemporaryDirectory() as directory:
        return run_tests(tests, sys.argv[1], directory)


if __name__ == "__main__":
    sys.exit(main())
