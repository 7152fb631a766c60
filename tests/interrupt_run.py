#!/usr/bin/env python3
"""Ctrl-C (SIGINT) during a run: the run stops where it stands, standard error says where each live process
stood, the output written so far is kept, and the status is 130. A second Ctrl-C ends the program at once,
for a script that waits on something no step boundary will end (a read).

Usage: interrupt_run.py VORLA
"""

import os
import signal
import subprocess
import sys
import tempfile
import time

from checklist import check, run_tests, without_sanitizer_notice
from console_terminal import LIMIT, LOOK, script

# Each script says "ready" on standard error (written at once) when it stands where the test interrupts it.
SPIN_IN_A_CALL = """int spin() { bool on = true; while (on) { } return 0; }
process idler() { int i = 0; while (true) { ++i; } }
process main() {
    process::idler other();
    using::write("before\\n");
    using::error("ready\\n");
    spin();
}
"""

ASLEEP = """process main() { using::write("before\\n"); using::error("ready\\n"); using::sleep(100.0); using::write("never\\n"); }
"""

READING = """process main() { using::error("ready\\n"); string s; using::read(s); using::write("read " + s + "\\n"); }
"""


def start(vorla, path):
    # Run from the script's directory, so that the report names it as it was given.
    process = subprocess.Popen([vorla, os.path.basename(path)], cwd=os.path.dirname(path), stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    ready = process.stderr.readline()
    check(ready == b"ready\n", "the script did not get going: %r" % ready)
    return process


def finish(process):
    try:
        out, err = process.communicate(timeout=LIMIT)
    except subprocess.TimeoutExpired:
        process.kill()
        out, err = process.communicate()
        check(False, "the run went on after Ctrl-C")
    return out.decode("utf-8"), without_sanitizer_notice(err.decode("utf-8"))


def test_ctrl_c_stops_a_step_that_never_ends(vorla, directory):
    process = start(vorla, script(directory, "spin.vl", SPIN_IN_A_CALL))
    process.send_signal(signal.SIGINT)
    out, err = finish(process)
    check(process.returncode == 130, "status %r, not 130" % process.returncode)
    check(out == "before\n", "the output written before was not kept: %r" % out)
    check("spin.vl:1:37: error: interrupted\n" in err, "no report at the loop: %r" % err)
    check("  in function spin() at spin.vl:1:37\n  called from process main#1 at spin.vl:7:5\n" in err,
          "no stack for the running process: %r" % err)
    check("the other live processes stood:\n  in process idler#2 at spin.vl:2:" in err,
          "the other process was not placed: %r" % err)


def test_ctrl_c_wakes_a_sleeping_run(vorla, directory):
    process = start(vorla, script(directory, "asleep.vl", ASLEEP))
    began = time.monotonic()
    process.send_signal(signal.SIGINT)
    out, err = finish(process)
    check(process.returncode == 130, "status %r, not 130" % process.returncode)
    check(time.monotonic() - began < LIMIT, "the sleep was not cut short")
    check(out == "before\n", "the output written before was not kept: %r" % out)
    check("error: interrupted" in err and "in process main#1" in err, "no report: %r" % err)


def test_a_second_ctrl_c_ends_a_read_at_once(vorla, directory):
    process = start(vorla, script(directory, "reading.vl", READING))
    process.send_signal(signal.SIGINT)
    time.sleep(LOOK)
    check(process.poll() is None, "the first Ctrl-C ended a read before any step boundary")
    process.send_signal(signal.SIGINT)
    out, _ = finish(process)
    check(process.returncode == -signal.SIGINT, "status %r, not death by SIGINT" % process.returncode)
    check(out == "", "a read that never ended wrote: %r" % out)


def main():
    vorla = os.path.abspath(sys.argv[1])
    with tempfile.TemporaryDirectory(prefix="vorla-interrupt-") as directory:
        return run_tests([test_ctrl_c_stops_a_step_that_never_ends, test_ctrl_c_wakes_a_sleeping_run,
                          test_a_second_ctrl_c_ends_a_read_at_once], vorla, directory)


if __name__ == "__main__":
    sys.exit(main())
