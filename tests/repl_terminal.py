#!/usr/bin/env python3
"""vorla -i as a person at a terminal meets it, under a pseudo-terminal: prompts, continuation lines,
history, errors that leave the session going, and Ctrl-C stopping what an input started.

Usage: repl_terminal.py VORLA
"""

import contextlib
import os
import re
import pty
import signal
import subprocess
import sys
import tempfile
import termios
import time

from checklist import check, run_tests
from console_terminal import LIMIT, close, read_until, stop, wait_exit


@contextlib.contextmanager
def session(vorla):
    """vorla -i on a fresh pseudo-terminal: (the process, the terminal's master side), both ended after use."""
    master, slave = pty.openpty()
    process = subprocess.Popen([vorla, "-i"], stdin=slave, stdout=slave, stderr=slave, start_new_session=True)
    os.close(slave)
    try:
        yield process, master
    finally:
        stop(process)
        close(master)


def wait_editing(master):
    """Waits until the line editor has the terminal in its raw mode. It writes the prompt first and only then
    leaves line mode, so a Ctrl-D sent in between reaches it as a NUL byte instead of an end of input."""
    end = time.monotonic() + LIMIT
    while termios.tcgetattr(master)[3] & termios.ICANON and time.monotonic() < end:
        time.sleep(0.01)


def signal_state(pid):
    """What the process does with signals and where it waits: said when a Ctrl-C went unanswered."""
    try:
        with open("/proc/%d/status" % pid) as f:
            lines = [l.strip() for l in f if l.startswith(("State", "SigBlk", "SigIgn", "SigCgt", "SigPnd", "ShdPnd"))]
        with open("/proc/%d/wchan" % pid) as f:
            lines.append("wchan " + f.read())
        return "; ".join(lines)
    except OSError as e:
        return str(e)


def say(master, line):
    os.write(master, line.encode("utf-8") + b"\r")


def test_prompt_values_continuation_and_history(vorla, directory):
    with session(vorla) as (process, master):
        check("vorla> " in read_until(master, "vorla> "), "no prompt")
        say(master, "int x = 4;")
        read_until(master, "vorla> ")
        say(master, "x * 2")
        check("int(8)" in read_until(master, "int(8)"), "an expression's value was not shown")
        say(master, "int next(int n) {")
        check("...> " in read_until(master, "...> "), "an open brace did not ask for the next line")
        say(master, "return n + 1; }")
        read_until(master, "vorla> ")
        say(master, "next(x)")
        check("int(5)" in read_until(master, "int(5)\n"), "a definition typed over two lines was not kept")
        say(master, "missing")
        # Read up to the report itself: the prompt after int(5) may still be unread.
        shown = read_until(master, "no variable named 'missing'")
        check("no variable named 'missing'" in shown, "an error was not reported: %r" % shown)
        # The up arrow brings back the line before the last one typed: next(x) after missing.
        os.write(master, b"\x1b[A\x1b[A\r")
        check("int(5)" in read_until(master, "int(5)\n"), "history did not bring back an earlier line")
        read_until(master, "vorla> ")
        wait_editing(master)
        os.write(master, b"\x04")  # Ctrl-D at an empty prompt ends the session
        check(wait_exit(process) == 0, "Ctrl-D did not end the session with status 0")


def test_ctrl_c_stops_what_the_input_started(vorla, directory):
    with session(vorla) as (process, master):
        read_until(master, "vorla> ")
        say(master, "process spin() { int i = 0; while (true) { ++i; } }")
        read_until(master, "vorla> ")
        say(master, "process::spin s(); using::write(\"spinning\\n\");")
        # The written line, not the echo of the input that writes it.
        shown = read_until(master, "spinning\n")
        check("spinning\n" in shown, "the spinning process did not start: %r" % shown)
        os.killpg(process.pid, signal.SIGINT)
        shown = read_until(master, "vorla> ")
        # One process, or two when the Ctrl-C comes before the input's own process took the step that ends it.
        check(re.search(r"interrupted: [12] process(es)? stopped", shown),
              "Ctrl-C did not stop the spinning process: %r (%s)" % (shown, signal_state(process.pid)))
        say(master, "\"still here\"")
        check("string(still here)" in read_until(master, "string(still here)"), "the session did not go on")
        say(master, "process::spin again(); using::write(\"again\\n\");")
        shown = read_until(master, "again\n")
        check("again\n" in shown, "the second run did not start: %r" % shown)
        os.killpg(process.pid, signal.SIGINT)
        check("interrupted" in read_until(master, "vorla> "), "a second Ctrl-C did not stop the second run")


def test_ctrl_c_at_the_prompt_drops_the_input(vorla, directory):
    with session(vorla) as (process, master):
        read_until(master, "vorla> ")
        wait_editing(master)
        os.write(master, b"int half")
        read_until(master, "int half")
        os.killpg(process.pid, signal.SIGINT)
        shown = read_until(master, "\nvorla> ")
        check("\nvorla> " in shown, "Ctrl-C at the prompt did not give a fresh prompt: %r" % shown)
        say(master, "1 + 1")
        check("int(2)" in read_until(master, "int(2)"), "the session did not go on after Ctrl-C at the prompt")
        read_until(master, "vorla> ")
        say(master, "int f() {")
        read_until(master, "...> ")
        wait_editing(master)
        os.killpg(process.pid, signal.SIGINT)
        shown = read_until(master, "\nvorla> ")
        check("\nvorla> " in shown, "Ctrl-C at a continuation line did not drop the whole input: %r" % shown)
        say(master, "2 + 2")
        check("int(4)" in read_until(master, "int(4)"), "the input before Ctrl-C was kept")
        check(process.poll() is None, "Ctrl-C at the prompt ended the session")


def main():
    vorla = os.path.abspath(sys.argv[1])
    with tempfile.TemporaryDirectory(prefix="vorla-repl-") as directory:
        return run_tests([test_prompt_values_continuation_and_history, test_ctrl_c_stops_what_the_input_started,
                          test_ctrl_c_at_the_prompt_drops_the_input],
                         vorla, directory)


if __name__ == "__main__":
    sys.exit(main())
