#!/usr/bin/env python3
"""The command line as a user meets it: help and version, a script whose name starts with "-", the
README's account of the options agreeing with `vorla --help`, and standard output that cannot be written.

Usage: command_line.py VORLA SOURCE_DIR
"""

import os
import re
import subprocess
import sys

from checklist import check, run_tests, without_sanitizer_notice
import tempfile

OPTION = re.compile(r"(?<![\w-])(--?[a-z][a-z-]*)")


def run(vorla, args, cwd=None):
    done = subprocess.run([vorla] + args, cwd=cwd, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE, timeout=60)
    return done.returncode, done.stdout.decode(), without_sanitizer_notice(done.stderr.decode())


def options_in(text):
    return {o for o in OPTION.findall(text) if o != "--"}


def readme_section(readme, title):
    """The text of the README section with this title, up to the next section of the same level."""
    match = re.search(r"^## " + re.escape(title) + r"\n(.*?)(?=^## |\Z)", readme, re.S | re.M)
    return match.group(1) if match else ""


def test_help_and_readme_agree(vorla, source):
    code, out, err = run(vorla, ["--help"])
    check(code == 0 and err == "", "--help: status %d, stderr %r" % (code, err))
    check(out.startswith("usage: vorla [OPTION...] SCRIPT [WORD...]\n"), "--help does not start with the usage")
    check("README.md" in out and "docs/" in out, "--help does not say where the documentation is")
    with open(os.path.join(source, "README.md"), encoding="utf-8") as f:
        readme = f.read()
    section = readme_section(readme, "Command line")
    check(section != "", "the README has no 'Command line' section")
    in_help, in_readme = options_in(out), options_in(section)
    check(in_help, "--help lists no options")
    check(in_help <= in_readme, "options in --help missing from the README: %s" % sorted(in_help - in_readme))
    check(in_readme <= in_help, "options in the README missing from --help: %s" % sorted(in_readme - in_help))
    check("usage: vorla [OPTION...] SCRIPT [WORD...]" in section, "the README does not show the usage line")


def test_version(vorla, source):
    code, out, err = run(vorla, ["--version"])
    check(code == 0 and err == "", "--version: status %d, stderr %r" % (code, err))
    check(re.fullmatch(r"vorla \d+\.\d+\.\d+\n", out) is not None, "--version printed %r" % out)


def test_script_named_like_an_option(vorla, source):
    with tempfile.TemporaryDirectory() as directory:
        with open(os.path.join(directory, "-dash.vl"), "w", encoding="utf-8") as f:
            f.write('process main(string w) { using::write("ran with " + w + "\\n"); }\n')
        code, out, err = run(vorla, ["--", "-dash.vl", "--help"], cwd=directory)
        check((code, out) == (0, "ran with --help\n"), "-- -dash.vl: status %d, stdout %r, stderr %r" % (code, out, err))
        code, out, err = run(vorla, ["-dash.vl"], cwd=directory)
        check(code == 2 and out == "", "-dash.vl without --: status %d, stdout %r" % (code, out))
        check(err.startswith("vorla: unknown option '-d'") and err.endswith("usage: vorla [OPTION...] SCRIPT [WORD...]\n"),
              "-dash.vl without --: stderr %r" % err)


def code_block_after(text, marker):
    """The first fenced code block after `marker`."""
    start = text.index(marker)
    match = re.search(r"```[^\n]*\n(.*?)```", text[start:], re.S)
    return match.group(1)


def test_readme_example_and_its_trace(vorla, source):
    with open(os.path.join(source, "README.md"), encoding="utf-8") as f:
        readme = f.read()
    script = code_block_after(readme, "Save this as `hello.vl`")
    output = code_block_after(readme, "and run it with")
    command = "$ ./build/vorla --trace hello.vl world >/dev/null\n"
    trace = code_block_after(readme, "`--trace` on the first example")
    check(trace.startswith(command), "the README's trace does not show its command")
    with tempfile.TemporaryDirectory() as directory:
        with open(os.path.join(directory, "hello.vl"), "w", encoding="utf-8") as f:
            f.write(script)
        code, out, err = run(vorla, ["--trace", "hello.vl", "world"], cwd=directory)
    check(code == 0, "the README's example ended with status %d" % code)
    check(out == output, "the README's example printed %r, the README shows %r" % (out, output))
    check(err == trace[len(command):], "the README's trace differs from the run's:\n" + err)


def run_redirected(vorla, directory, script, stdout):
    """Runs a script with its standard output given as `stdout` (a file object, or None for closed)."""
    closed = stdout is None
    done = subprocess.run([vorla, script], cwd=directory, stdin=subprocess.DEVNULL, stderr=subprocess.PIPE,
                          stdout=subprocess.DEVNULL if closed else stdout, timeout=60,
                          preexec_fn=(lambda: os.close(1)) if closed else None)
    return done.returncode, without_sanitizer_notice(done.stderr.decode())


def test_output_that_cannot_be_written(vorla, source):
    # Little output stays in the buffer until the end; much fails on the way, inside using::write.
    little = 'process main() { using::write("hello\\n"); }\n'
    much = 'process main() { int i = 0; while (i < 100000) { using::write("line " + i + "\\n"); ++i; } }\n'
    exits = 'process main() { using::write("bye\\n"); using::exit(0); }\n'
    with tempfile.TemporaryDirectory() as directory:
        for name, text in (("little.vl", little), ("much.vl", much), ("exits.vl", exits)):
            with open(os.path.join(directory, name), "w", encoding="utf-8") as f:
                f.write(text)
        note = "vorla: the script's output could not be written: "
        for name in ("little.vl", "much.vl", "exits.vl"):
            with open("/dev/full", "w") as full:
                code, err = run_redirected(vorla, directory, name, full)
            check(code == 1 and note + "No space left on device" in err,
                  "%s >/dev/full: status %d, stderr %r" % (name, code, err))
            code, err = run_redirected(vorla, directory, name, None)
            check(code == 1 and note + "Bad file descriptor" in err, "%s >&-: status %d, stderr %r" % (name, code, err))
        # A reader that leaves early ends the run by SIGPIPE, as it ends any filter: nothing on stderr.
        writer = subprocess.Popen([vorla, "much.vl"], cwd=directory, stdin=subprocess.DEVNULL,
                                  stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        first = writer.stdout.readline()
        writer.stdout.close()
        err = without_sanitizer_notice(writer.stderr.read().decode())
        code = writer.wait(timeout=60)
        check(first == b"line 0\n" and code == -13 and err == "",
              "| head -1: first line %r, status %d, stderr %r" % (first, code, err))


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    vorla, source = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    tests = [test_help_and_readme_agree, test_version, test_script_named_like_an_option,
             test_readme_example_and_its_trace, test_output_that_cannot_be_written]
    return run_tests(tests, vorla, source)


if __name__ == "__main__":
    sys.exit(main())
