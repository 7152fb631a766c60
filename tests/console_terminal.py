#!/usr/bin/env python3
"""The console as a person at a terminal meets it, run under a pseudo-terminal.

Usage: console_terminal.py VORLA

- Standard output that is a terminal shows each line as soon as the script writes it, even while the
  script goes on running; a pipe keeps full buffering.
- After a diagnostic, a terminal's first Enter (typed after the diagnostic appeared) ends the wait,
  which says "press Enter to close" on standard error; input that is not a terminal is read as one
  integer, or ends, and nothing asks for an Enter.

Every wait here has a generous limit; a test fails only when something that must happen did not happen
within it (or something that must not happen did within a short look).
"""

import os
import pty
import select
import subprocess
import sys

from checklist import check, run_tests
import tempfile
import time

LIMIT = 30.0  # seconds allowed for something that must happen
LOOK = 0.5    # seconds to look for something that must not happen

# Writes one line, then a partial one, then runs a function that never returns (a time budget ends it).
SPINNER = """int spin() { bool on = true; while (on) { } return 0; }
process main() { using::write("first line\\n"); using::write("partial"); spin(); }
"""

# Reads one word, echoes it and fails with a diagnostic.
READ_THEN_FAIL = """process main() { string s; using::read(s); using::write("read " + s + "\\n"); throw 7; }
"""

# What a read brought in after the needle it waited for, kept for the next read of that terminal.
UNREAD = {}


def read_until(fd, needle, limit=LIMIT):
    """Reads from fd until `needle` has been seen or the limit passes. Returns what was read up to the end of
    the needle's first appearance, or everything when it never came; what came after it is kept for the next
    call, so a prompt that arrives in one piece with the output before it is still there to wait for."""
    data = UNREAD.pop(fd, b"")
    wanted = needle.encode("utf-8")
    end = time.monotonic() + limit
    while wanted not in data.replace(b"\r\n", b"\n"):
        left = end - time.monotonic()
        if left <= 0:
            break
        ready, _, _ = select.select([fd], [], [], left)
        if not ready:
            break
        try:
            chunk = os.read(fd, 4096)
        except OSError:  # the terminal closed: the program is gone
            break
        if not chunk:
            break
        data += chunk
    text = data.replace(b"\r\n", b"\n")
    at = text.find(wanted)
    if at >= 0:
        UNREAD[fd] = text[at + len(wanted):]
        text = text[:at + len(wanted)]
    return text.decode("utf-8", "replace")


def close(fd):
    """Closes a terminal's master side and forgets what was read ahead from it (its number is reused)."""
    UNREAD.pop(fd, None)
    os.close(fd)


def wait_exit(process, limit=LIMIT):
    try:
        return process.wait(timeout=limit)
    except subprocess.TimeoutExpired:
        return None


def stop(process):
    if process.poll() is None:
        process.kill()
        process.wait()


def script(directory, name, text):
    path = os.path.join(directory, name)
    with open(path, "w", encoding="utf-8") as f:
        f.write(text)
    return path


def test_terminal_output_is_flushed_at_each_line(vorla, directory):
    path = script(directory, "spinner.vl", SPINNER)
    master, slave = pty.openpty()
    process = subprocess.Popen([vorla, "--max-time", "120", path], stdin=slave, stdout=slave, stderr=slave)
    os.close(slave)
    try:
        shown = read_until(master, "first line\n")
        check("first line\n" in shown, "terminal: a written line was not shown while the script ran: %r" % shown)
        check(process.poll() is None, "terminal: the spinning script ended early")
    finally:
        stop(process)
        close(master)


def test_pipe_output_stays_buffered(vorla, directory):
    path = script(directory, "spinner.vl", SPINNER)
    master, slave = pty.openpty()
    process = subprocess.Popen([vorla, "--max-time", "120", path], stdin=slave, stdout=subprocess.PIPE,
                               stderr=slave)
    os.close(slave)
    try:
        ready, _, _ = select.select([process.stdout], [], [], LOOK * 2)
        check(not ready, "pipe: output arrived while the script was still running")
        check(process.poll() is None, "pipe: the spinning script ended early")
    finally:
        stop(process)
        process.stdout.close()
        close(master)


def test_enter_ends_the_wait_on_a_terminal(vorla, directory):
    path = script(directory, "read_then_fail.vl", READ_THEN_FAIL)
    master, slave = pty.openpty()
    process = subprocess.Popen([vorla, path], stdin=slave, stdout=slave, stderr=slave)
    os.close(slave)
    try:
        os.write(master, b"word\n")
        shown = read_until(master, "catch unexpected throw int(7)\n")
        check("read word\n" in shown, "terminal: the script's output is missing: %r" % shown)
        check("catch unexpected throw int(7)\n" in shown, "terminal: no diagnostic: %r" % shown)
        shown += read_until(master, "press Enter to close\n")
        check("press Enter to close\n" in shown, "terminal: the wait does not say what it waits for: %r" % shown)
        # The newline after "word" was typed before the diagnostic: it must not end the wait.
        check(wait_exit(process, LOOK) is None, "terminal: the wait ended without an Enter typed after it")
        os.write(master, b"\n")  # a bare Enter, no number
        code = wait_exit(process)
        check(code == 1, "terminal: Enter did not end the wait with status 1 (got %r)" % code)
    finally:
        stop(process)
        close(master)


def test_other_input_waits_for_one_integer(vorla, directory):
    path = script(directory, "fail.vl", "process main() { throw 7; }\n")
    master, slave = pty.openpty()
    process = subprocess.Popen([vorla, path], stdin=subprocess.PIPE, stdout=slave, stderr=slave)
    os.close(slave)
    try:
        shown = read_until(master, "catch unexpected throw int(7)\n")
        check("catch unexpected throw int(7)\n" in shown, "pipe input: no diagnostic: %r" % shown)
        shown += read_until(master, "press Enter", LOOK)
        check("press Enter" not in shown, "pipe input: the wait asked for an Enter: %r" % shown)
        process.stdin.write(b"\n\n")
        process.stdin.flush()
        check(wait_exit(process, LOOK) is None, "pipe input: empty lines ended the wait")
        process.stdin.write(b"12\n")
        process.stdin.flush()
        code = wait_exit(process)
        check(code == 1, "pipe input: an integer did not end the wait with status 1 (got %r)" % code)
    finally:
        stop(process)
        process.stdin.close()
        close(master)

    # End of input ends the wait as well.
    process = subprocess.Popen([vorla, path], stdin=subprocess.PIPE, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
    try:
        process.stdin.close()
        code = wait_exit(process)
        check(code == 1, "pipe input: end of input did not end the wait (got %r)" % code)
    finally:
        stop(process)


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    vorla = os.path.abspath(sys.argv[1])
    tests = [test_terminal_output_is_flushed_at_each_line, test_pipe_output_stays_buffered,
             test_enter_ends_the_wait_on_a_terminal, test_other_input_waits_for_one_integer]
    with tempfile.TemporaryDirectory() as directory:
        return run_tests(tests, vorla, directory)


if __name__ == "__main__":
    sys.exit(main())
