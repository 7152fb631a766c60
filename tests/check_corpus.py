#!/usr/bin/env python3
"""--check over every script the project holds: the tests, the examples, the benchmarks and the script
examples of the documents. The warnings it gives must be exactly those listed in check_corpus.txt, each with
the reason it is right there. A new warning is either a false one, to mend in the checker, or a trap the
script really sets, to list with its reason; a listed warning that no longer comes is taken off the list.
The checker's own goldens (tests/scripts/check/) are left out: setting off warnings is their job.

Usage: check_corpus.py VORLA PROJECT_DIR
"""

import os
import re
import subprocess
import sys
import tempfile

from checklist import check, run_tests
import run_doc_examples

WARNING = re.compile(r"^(\S+?):(\d+):(\d+): warning: (.*)$", re.M)


def warnings_of(vorla, directory, name):
    done = subprocess.run([vorla, "--check", name], cwd=directory, stdin=subprocess.DEVNULL,
                          capture_output=True, text=True, timeout=120)
    return [(m.group(1), m.group(2), m.group(4)) for m in WARNING.finditer(done.stderr)]


def script_warnings(vorla, root):
    found = []
    for top in ("tests", "examples", "bench"):
        for directory, subdirectories, files in os.walk(os.path.join(root, top)):
            subdirectories.sort()
            if os.path.relpath(directory, root).startswith(os.path.join("tests", "scripts", "check")):
                continue
            for name in sorted(files):
                if name.endswith(".vl") and not name.startswith("_"):
                    for file, line, message in warnings_of(vorla, directory, name):
                        where = os.path.relpath(os.path.join(directory, file), root)
                        found.append("%s:%s: %s" % (where, line, message))
    return found


def document_warnings(vorla, root):
    found = []
    documents = [os.path.join(root, "README.md")] + sorted(
        os.path.join(root, "docs", n) for n in os.listdir(os.path.join(root, "docs")) if n.endswith(".md"))
    for path in documents:
        for example in run_doc_examples.examples_of(path, []):
            with tempfile.TemporaryDirectory(prefix="vorla-check-corpus-") as directory:
                for helper in example.helpers:
                    name = next(w[5:] for w in helper.words if w.startswith("file="))
                    with open(os.path.join(directory, name), "w", encoding="utf-8") as f:
                        f.write(helper.text)
                with open(os.path.join(directory, example.name), "w", encoding="utf-8") as f:
                    f.write(example.script.text)
                for file, line, message in warnings_of(vorla, directory, example.name):
                    found.append("%s, the example at line %d, %s:%s: %s" % (
                        os.path.relpath(path, root), example.script.line, file, line, message))
    return found


def listed(root):
    """The list's entries: a line each, then the reason on the indented lines under it."""
    entries, last = {}, None
    with open(os.path.join(root, "tests", "check_corpus.txt"), encoding="utf-8") as f:
        for line in f:
            if not line.strip() or line.startswith("//"):
                continue
            if line[0].isspace():
                if last is not None:
                    entries[last] += line.strip() + " "
                continue
            last = line.rstrip("\n")
            entries[last] = ""
    return entries


def test_warnings_are_the_listed_ones(vorla, root):
    expected = listed(root)
    for entry, reason in expected.items():
        check(reason.strip(), "check_corpus.txt gives no reason for: " + entry)
    found = script_warnings(vorla, root) + document_warnings(vorla, root)
    for entry in found:
        check(entry in expected, "a warning not on the list (a false one to mend, or a trap to list): " + entry)
    for entry in expected:
        check(entry in found, "listed, but no longer given: " + entry)


def main():
    vorla, root = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    return run_tests([test_warnings_are_the_listed_ones], vorla, root)


if __name__ == "__main__":
    sys.exit(main())
