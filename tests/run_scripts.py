#!/usr/bin/env python3
"""Golden-output script tests: runs every *.vl test through vorla (or vorla-parse) and compares the results.

Usage: run_scripts.py [--vorla BIN] --parse BIN [--update] [--heavy] [--timeout SECONDS]
                      [--engine tree | --engine vm --cannot-run LIST [--write-cannot-run]] DIR [FILTER ...]

Every *.vl file under DIR is a test, except helpers: files (or directories) whose name starts with "_", and
everything below a directory holding C++ sources (a host program, whose scripts need its natives).
Tests below a directory named "parse" run through the parse tool, all others through vorla (counted as
skipped when --vorla is not given).

Diagnostics name absolute paths (the interpreter's directory, the script's full path), so every test runs
in a fixed sandbox, rebuilt at each start under an exclusive lock (concurrent runs wait for each other):

    /tmp/vorla-script-tests/bin/vorla         link to the interpreter under test
    /tmp/vorla-script-tests/bin/vorla-parse   link to the parse tool under test
    /tmp/vorla-script-tests/bin/...           copies of the files in DIR/_bin (found as the interpreter's own
                                              directory: the include directory of last resort)
    /tmp/vorla-script-tests/scripts/...       a copy of DIR

A test runs with its sandbox directory as working directory and stdin from <name>.in when that file
exists (else /dev/null), as `/tmp/vorla-script-tests/bin/TOOL <name>.vl [words of <name>.args, one per line]`. A <name>.script file,
when present, holds the words (one per line) given in place of `<name>.vl`: a path that does not exist, say,
or nothing at all when the file is empty, which runs the tool without a script. The whole stdout must equal
<name>.out and the exit code <name>.code (0 when that file is absent). When <name>.err exists, the whole
stderr must equal it too (the script's own view of an error: position, source line, call stack); tests
without one ignore stderr.

A test with a <name>.memory file runs with its address space capped (setrlimit RLIMIT_AS) at the number of
MiB that the file's first word gives, so that a script can run out of memory within seconds. A sanitizer's
shadow memory cannot start under such a cap: those tests are heavy too.

A test with a <name>.heavy file (its text says why) builds values millions deep or large: it runs only
when --heavy is given, which the build gives in the optimised build without sanitizers (a sanitizer
build would take minutes over it); otherwise it is counted as skipped.

The only normalisation: where a diagnostic names a place in the interpreter's own sources, such as
"factor/boolean.hpp(123)" or "semantic/semantic.cpp(1,234)", the file and line together read as "SOURCE(N)"
on both sides, so moving code within or between the interpreter's files changes no expected output. (Older
goldens hold the file name with "(N)", such as "factor/boolean.hpp(N)"; that reads as "SOURCE(N)" too.)

--update rewrites <name>.out (and <name>.code, removed when the code is 0, and <name>.err where one exists)
in DIR from the actual results; read every rewritten file before keeping it. FILTER words restrict the run
to tests whose path relative to DIR contains one of them.

Without --engine the interpreter chooses its engine as it does by default. --engine tree runs every
interpreter test with `--engine=tree` first on the command line (parse tests are then skipped). --engine vm
does the same with `--engine=vm`: the same expected results hold, except for the programs the vm refuses (exit code 3 and
"vorla: the vm cannot run this program yet: ..." on stderr, or the command line refusing an option with
it). LIST names those tests, one relative path a line: a test on it must be refused (one the vm now runs
fails until it is taken off), and every other test must pass. --write-cannot-run rewrites LIST from this
run's refusals, keeping the entries of tests this run did not reach (a filter, or heavy tests without
--heavy).
"""

import argparse
import difflib
import fcntl
import os
import re
import resource
import shutil
import subprocess
import sys

from checklist import without_sanitizer_notice

SANDBOX = "/tmp/vorla-script-tests"
LOCK = "/tmp/vorla-script-tests.lock"
# A source path relative to src/ and a line number as the diagnostic streams it (grouped by three), or "N".
SOURCE_PLACE = re.compile(r"(?<![\w./-])(?:[A-Za-z_]\w*/)*[A-Za-z_]\w*\.(?:[ch]pp|h)\((?:N|\d{1,3}(?:,\d{3})*)\)")


def normalise(text):
    return SOURCE_PLACE.sub("SOURCE(N)", text)


def find_tests(root):
    tests = []
    for dirpath, dirnames, filenames in os.walk(root):
        if any(name.endswith(".cpp") for name in filenames):
            dirnames[:] = []
            continue
        dirnames[:] = sorted(d for d in dirnames if not d.startswith("_"))
        for name in sorted(filenames):
            if name.endswith(".vl") and not name.startswith("_"):
                tests.append(os.path.relpath(os.path.join(dirpath, name), root))
    return tests


def is_parse_test(relative):
    return "parse" in relative.split(os.sep)[:-1]


def read_text(path):
    with open(path, "rb") as f:
        return f.read().decode("utf-8", errors="surrogateescape")


def write_text(path, text):
    with open(path, "wb") as f:
        f.write(text.encode("utf-8", errors="surrogateescape"))


def read_words(path):
    """The lines of a file, one word each; a missing file gives none."""
    if not os.path.exists(path):
        return []
    lines = read_text(path).split("\n")
    if lines and lines[-1] == "":
        lines.pop()
    return lines


def build_sandbox(root, tools):
    """Rebuilds the sandbox: the tools under test and DIR/_bin in bin/, a copy of DIR in scripts/."""
    if os.path.lexists(SANDBOX):
        shutil.rmtree(SANDBOX)
    bin_dir = os.path.join(SANDBOX, "bin")
    os.makedirs(bin_dir)
    extras = os.path.join(root, "_bin")
    if os.path.isdir(extras):
        for name in sorted(os.listdir(extras)):
            source = os.path.join(extras, name)
            if os.path.isdir(source):
                shutil.copytree(source, os.path.join(bin_dir, name))
            else:
                shutil.copy(source, bin_dir)
    links = {}
    for name, target in tools.items():
        if target:
            link = os.path.join(bin_dir, name)
            if os.path.lexists(link):
                sys.exit("run_scripts.py: %s/_bin must not hold a file named %s" % (root, name))
            os.symlink(target, link)
            links[name] = link
    shutil.copytree(root, os.path.join(SANDBOX, "scripts"), symlinks=True)
    return links


def difference(expected, actual, expected_name, actual_name):
    diff = difflib.unified_diff(expected.splitlines(True), actual.splitlines(True), expected_name, actual_name)
    return "".join(line if line.endswith("\n") else line + "\n\\ no newline\n" for line in diff)


def run_one(tool, root, relative, timeout, engine_words=()):
    base = os.path.join(root, relative[:-3])
    directory, name = os.path.split(os.path.join(SANDBOX, "scripts", relative))
    script = read_words(base + ".script") if os.path.exists(base + ".script") else [name]
    command = [tool] + list(engine_words) + script + read_words(base + ".args")
    stdin = open(base + ".in", "rb") if os.path.exists(base + ".in") else subprocess.DEVNULL
    cap = None
    if os.path.exists(base + ".memory"):
        mib = int(read_words(base + ".memory")[0].split()[0])
        cap = lambda: resource.setrlimit(resource.RLIMIT_AS, (mib << 20, mib << 20))
    try:
        done = subprocess.run(command, cwd=directory, stdin=stdin, stdout=subprocess.PIPE,
                              stderr=subprocess.PIPE, timeout=timeout, preexec_fn=cap)
    except subprocess.TimeoutExpired as e:
        out = (e.stdout or b"").decode("utf-8", errors="surrogateescape")
        return out, None, "timed out after %s s" % timeout
    finally:
        if stdin is not subprocess.DEVNULL:
            stdin.close()
    out = done.stdout.decode("utf-8", errors="surrogateescape")
    err = without_sanitizer_notice(done.stderr.decode("utf-8", errors="surrogateescape"))
    return out, done.returncode, err


def refused_by_engine(code, err):
    """Whether a run under another engine was refused before running: the vm's refusal, or the command line's."""
    return (code == 3 and err.startswith("vorla: the vm cannot run this program yet")) or \
        (code == 2 and "'--engine=vm'" in err)


def run_all(options, root, links, cannot_run, refusals, reached):
    passed = failed = skipped = 0
    engine_words = ["--engine=" + options.engine] if options.engine else []
    for relative in find_tests(root):
        if options.filter and not any(f in relative for f in options.filter):
            continue
        tool = links.get("vorla-parse" if is_parse_test(relative) else "vorla")
        base = os.path.join(root, relative[:-3])
        if not tool or (os.path.exists(base + ".heavy") and not options.heavy) or \
                (engine_words and is_parse_test(relative)):
            skipped += 1
            continue
        reached.add(relative)
        actual, code, err = run_one(tool, root, relative, options.timeout, engine_words)
        actual = normalise(actual)

        if options.engine == "vm":
            refused = code is not None and refused_by_engine(code, err)
            if refused:
                refusals.append(relative)
            if refused and (relative in cannot_run or options.write_cannot_run):
                passed += 1
                continue
            if refused:
                failed += 1
                print("FAIL %s: refused by --engine=%s and not on the list of tests it cannot run\n%s" %
                      (relative, options.engine, err.rstrip("\n")))
                continue
            if relative in cannot_run:
                failed += 1
                print("FAIL %s: runs under --engine=%s now: take it off the list of tests it cannot run" %
                      (relative, options.engine))
                continue

        if options.update and code is not None:
            write_text(base + ".out", actual)
            if os.path.exists(base + ".err"):
                write_text(base + ".err", normalise(err))
            if code != 0:
                write_text(base + ".code", "%d\n" % code)
            elif os.path.exists(base + ".code"):
                os.remove(base + ".code")
            print("updated %s (exit %d)" % (relative, code))
            passed += 1
            continue

        problems = []
        if os.path.exists(base + ".out"):
            expected = normalise(read_text(base + ".out"))
        else:
            expected = None
            problems.append("missing %s.out" % os.path.basename(base))
        expected_code = 0
        if os.path.exists(base + ".code"):
            expected_code = int(read_text(base + ".code").strip())
        if code is None:
            problems.append(err)
        elif code != expected_code:
            problems.append("exit code %d, expected %d" % (code, expected_code))
        if expected is not None and actual != expected:
            problems.append(difference(expected, actual, relative[:-3] + ".out", "actual stdout"))
        if code is not None and os.path.exists(base + ".err"):
            expected_err = normalise(read_text(base + ".err"))
            if normalise(err) != expected_err:
                problems.append(difference(expected_err, normalise(err), relative[:-3] + ".err", "actual stderr"))

        if problems:
            failed += 1
            print("FAIL %s" % relative)
            for p in problems:
                print(p.rstrip("\n"))
            if err and code is not None and not os.path.exists(base + ".err"):
                print("stderr:\n" + err.rstrip("\n"))
        else:
            passed += 1
    return passed, failed, skipped


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--vorla", help="the interpreter; without it, interpreter tests are skipped")
    parser.add_argument("--parse", required=True, help="the parse tool, for tests below parse/")
    parser.add_argument("--update", action="store_true", help="rewrite .out/.code files from actual results")
    parser.add_argument("--heavy", action="store_true", help="also run the tests marked by a .heavy file")
    parser.add_argument("--timeout", type=float, default=120.0, help="seconds allowed per test")
    parser.add_argument("--engine", choices=["tree", "vm"], help="the engine to run the tests on (else the default)")
    parser.add_argument("--cannot-run", help="with --engine vm: the list of tests the vm refuses")
    parser.add_argument("--write-cannot-run", action="store_true", help="rewrite that list from this run")
    parser.add_argument("dir", help="the directory holding the tests")
    parser.add_argument("filter", nargs="*", help="run only tests whose relative path contains one of these")
    options = parser.parse_args()
    if (options.engine == "vm") != bool(options.cannot_run):
        parser.error("--engine vm goes with --cannot-run LIST")
    listed = set(read_words(options.cannot_run)) if options.cannot_run and os.path.exists(options.cannot_run) else set()
    cannot_run = listed if not options.write_cannot_run else set()
    refusals, reached = [], set()

    root = os.path.abspath(options.dir)
    tools = {"vorla": options.vorla and os.path.abspath(options.vorla), "vorla-parse": os.path.abspath(options.parse)}
    with open(LOCK, "a") as lock:
        # Held for the whole run: a second run (another build's) waits here instead of rebuilding the sandbox.
        fcntl.flock(lock, fcntl.LOCK_EX)
        links = build_sandbox(root, tools)
        passed, failed, skipped = run_all(options, root, links, cannot_run, refusals, reached)
    if options.write_cannot_run:
        refusals += [r for r in listed if r not in reached and os.path.exists(os.path.join(root, r))]
        write_text(options.cannot_run, "".join(r + "\n" for r in sorted(refusals)))
        print("wrote %s: %d tests the vm cannot run" % (options.cannot_run, len(refusals)))

    summary = "%d passed, %d failed" % (passed, failed)
    if skipped:
        summary += ", %d skipped" % skipped
    print(summary)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
