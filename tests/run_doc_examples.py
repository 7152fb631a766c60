#!/usr/bin/env python3
"""Runs the script examples of the documentation and compares their output with the output shown beside them.

Usage: run_doc_examples.py --vorla BIN [--update] [--timeout SECONDS] FILE_OR_DIR...
       run_doc_examples.py --self-test      (checks the reading of the marking on a sample, runs nothing)

Markdown files (a directory stands for the *.md files in it) are searched for fenced code blocks. The marking:

    ```vl [file=NAME.vl] [WORD...]     a script. WORDs are the command-line words after the script, handed
                                       to its process main; NAME is the script's file name (example.vl).
    ```input                           optional, right after the script: its standard input.
    ```output [exit=N]                 right after the script (or its input): its whole standard output, and
                                       its exit status N (0 when not given).

A ```vl block with file=NAME that is followed by another ```vl block instead of its output is a helper file:
it is written beside the next script (for #include examples) and not run by itself. Any other ```vl block
without an output block is an error, so nothing marked as a script goes unchecked. Blocks with other info
strings (```sh, plain ```) are not run: write fragments that are not whole scripts that way.
An output block ends with a line end, so a shown script should end its output with one.
The default time allowed per example is generous: the runaway-recursion examples run ten thousand calls
deep, which takes a while on a loaded machine.

Each script runs in a fresh directory of its own, with that directory as working directory. Standard error
is not compared. Places in the interpreter's own sources ("factor/boolean.hpp(15)") are compared as
run_scripts.py compares them, as "SOURCE(N)", so the documents can show real ones without pinning them.
The script's directory is shown as /home/you and the interpreter's own directory as /usr/local/bin, so the
documents show paths a reader could have.

--update rewrites each output block (and its exit=N) from the actual results; read every change (git diff)
before keeping it.
"""

import argparse
import difflib
import os
import re
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from run_scripts import normalise  # noqa: E402

FENCE = re.compile(r"^(\s*)(`{3,})(.*)$")
SHOWN_DIR = "/home/you"
SHOWN_BIN = "/usr/local/bin"


class Block:
    def __init__(self, path, line, info, text, end):
        self.path, self.line, self.text, self.end = path, line, text, end
        words = info.split()
        self.kind = words[0] if words else ""
        self.words = words[1:]

    def where(self):
        return "%s:%d" % (self.path, self.line)


def blocks_of(path):
    """The fenced blocks of a markdown file, in order."""
    with open(path, encoding="utf-8") as f:
        lines = f.read().split("\n")
    out, i = [], 0
    while i < len(lines):
        m = FENCE.match(lines[i])
        if not m:
            i += 1
            continue
        indent, fence, info = m.groups()
        start, body = i + 1, []
        i += 1
        while i < len(lines) and not lines[i].strip().startswith(fence):
            body.append(lines[i][len(indent):] if lines[i].startswith(indent) else lines[i])
            i += 1
        out.append(Block(path, start, info.strip(), "\n".join(body) + "\n" if body else "", i))
        i += 1
    return out


class Example:
    def __init__(self, script, stdin, output, helpers):
        self.script, self.stdin, self.output, self.helpers = script, stdin, output, helpers
        self.name, self.args = "example.vl", []
        for w in script.words:
            if w.startswith("file="):
                self.name = w[5:]
            else:
                self.args.append(w)
        self.exit = 0
        for w in output.words:
            if w.startswith("exit="):
                self.exit = int(w[5:])


def examples_of(path, problems):
    blocks = blocks_of(path)
    examples, helpers, i = [], [], 0
    while i < len(blocks):
        b = blocks[i]
        if b.kind != "vl":
            if b.kind in ("input", "output"):
                problems.append("%s: ```%s without a ```vl script before it" % (b.where(), b.kind))
            i += 1
            continue
        after = blocks[i + 1] if i + 1 < len(blocks) else None
        if after is not None and after.kind == "vl" and any(w.startswith("file=") for w in b.words):
            helpers.append(b)
            i += 1
            continue
        stdin = None
        if after is not None and after.kind == "input":
            stdin, i = after, i + 1
            after = blocks[i + 1] if i + 1 < len(blocks) else None
        if after is None or after.kind != "output":
            problems.append("%s: ```vl script without an ```output block after it" % b.where())
            helpers = []
            i += 1
            continue
        examples.append(Example(b, stdin, after, helpers))
        helpers = []
        i += 2
    return examples


def shown(text, directory, bin_dir):
    return text.replace(directory, SHOWN_DIR).replace(bin_dir, SHOWN_BIN)


def run(example, vorla, timeout):
    directory = tempfile.mkdtemp(prefix="vorla-doc-")
    try:
        for h in example.helpers:
            name = next(w[5:] for w in h.words if w.startswith("file="))
            with open(os.path.join(directory, name), "w", encoding="utf-8") as f:
                f.write(h.text)
        with open(os.path.join(directory, example.name), "w", encoding="utf-8") as f:
            f.write(example.script.text)
        stdin = example.stdin.text.encode("utf-8") if example.stdin else b""
        try:
            done = subprocess.run([vorla, example.name] + example.args, cwd=directory, input=stdin,
                                  stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=timeout)
        except subprocess.TimeoutExpired:
            return None, None, "timed out after %s s" % timeout
        out = done.stdout.decode("utf-8", errors="surrogateescape")
        bin_dir = os.path.dirname(os.path.abspath(vorla))
        return shown(out, directory, bin_dir), done.returncode, done.stderr.decode("utf-8", errors="replace")
    finally:
        shutil.rmtree(directory, ignore_errors=True)


def update(path, results):
    """Rewrites the output blocks of one file: results holds (output block, actual text, exit status)."""
    with open(path, encoding="utf-8") as f:
        lines = f.read().split("\n")
    for block, text, code in sorted(results, key=lambda r: -r[0].line):
        info = "```output" + (" exit=%d" % code if code else "")
        body = text[:-1].split("\n") if text.endswith("\n") else text.split("\n") if text else []
        lines[block.line - 1] = info  # the opening fence; block.line is the first line inside it
        lines[block.line:block.end] = body
    with open(path, "w", encoding="utf-8") as f:
        f.write("\n".join(lines))


def markdown_files(targets):
    for t in targets:
        if os.path.isdir(t):
            for name in sorted(os.listdir(t)):
                if name.endswith(".md"):
                    yield os.path.join(t, name)
        else:
            yield t


SAMPLE = """# sample
```sh
vorla x.vl
```
```vl file=lib.vl
int one() { return 1; }
```
```vl file=main.vl a b
#include "lib.vl"
```
```input
some input
```
```output exit=1
shown
```
```vl
process main() { }
```
text between
```output
```
```vl
process main() { }
```
```output
```
```vl
process main() { }
```
```
not a script
```
"""


def self_test():
    """The marking read from SAMPLE: the helper, words, input, exit status and both kinds of mistake."""
    with tempfile.NamedTemporaryFile("w", suffix=".md", delete=False, encoding="utf-8") as f:
        f.write(SAMPLE + "```output\nstray\n```\n")
        path = f.name
    try:
        problems = []
        found = examples_of(path, problems)
    finally:
        os.remove(path)
    checks = [
        (len(found), 3),
        ([h.text for h in found[0].helpers], ["int one() { return 1; }\n"]),
        ((found[0].name, found[0].args, found[0].exit), ("main.vl", ["a", "b"], 1)),
        ((found[0].stdin.text, found[0].output.text), ("some input\n", "shown\n")),
        ((found[1].name, found[1].args, found[1].exit, found[1].stdin, found[1].output.text),
         ("example.vl", [], 0, None, "")),
        ([p.split(": ", 1)[1] for p in problems],
         ["```vl script without an ```output block after it", "```output without a ```vl script before it"]),
    ]
    bad = [(got, want) for got, want in checks if got != want]
    for got, want in bad:
        print("self-test: got %r, expected %r" % (got, want))
    print("self-test %s" % ("failed" if bad else "passed"))
    return 1 if bad else 0


def main():
    if sys.argv[1:] == ["--self-test"]:
        return self_test()
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--vorla", required=True, help="the interpreter")
    parser.add_argument("--update", action="store_true", help="rewrite the output blocks from actual results")
    parser.add_argument("--timeout", type=float, default=300.0, help="seconds allowed per example")
    parser.add_argument("targets", nargs="+", help="markdown files, or directories of them")
    options = parser.parse_args()
    vorla = os.path.abspath(options.vorla)

    passed = failed = 0
    problems = []
    for path in markdown_files(options.targets):
        results = []
        for ex in examples_of(path, problems):
            actual, code, err = run(ex, vorla, options.timeout)
            if options.update and code is not None:
                results.append((ex.output, actual, code))
                passed += 1
                continue
            issues = []
            if code is None:
                issues.append(err)
            else:
                expected = normalise(ex.output.text)
                if normalise(actual) != expected:
                    diff = difflib.unified_diff(expected.splitlines(True), normalise(actual).splitlines(True),
                                                "shown", "actual")
                    issues.append("".join(l if l.endswith("\n") else l + "\n" for l in diff))
                if code != ex.exit:
                    issues.append("exit status %d, shown %d" % (code, ex.exit))
            if issues:
                failed += 1
                print("FAIL %s" % ex.script.where())
                for i in issues:
                    print(i.rstrip("\n"))
                if err and code is not None:
                    print("stderr:\n" + err.rstrip("\n"))
            else:
                passed += 1
        if results:
            update(path, results)
            print("updated %d output blocks in %s" % (len(results), path))
    for p in problems:
        print("ERROR " + p)
    print("%d examples passed, %d failed" % (passed, failed))
    return 1 if failed or problems or passed == 0 else 0


if __name__ == "__main__":
    sys.exit(main())
