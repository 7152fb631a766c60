"""The small harness shared by the suite's Python tests: checks that record failures, and a runner
that runs each test function, prints ok/FAIL per test and the closing 'N passed, N failed' line."""

import re

FAILURES = []

# AddressSanitizer announces once per process, on stderr, that it cannot fully follow the switch to the
# script's own stack. The notice is the sanitizer's, not the interpreter's: stderr is compared without it.
SANITIZER_NOTICE = re.compile(r"^==\d+==WARNING: ASan doesn't fully support makecontext/swapcontext[^\n]*\n", re.M)


def without_sanitizer_notice(text):
    return SANITIZER_NOTICE.sub("", text)


def check(condition, message):
    if not condition:
        FAILURES.append(message)
        print("FAIL " + message)


def run_tests(tests, *arguments):
    """Runs each test with the given arguments; returns the exit status (1 when any check failed)."""
    failed = 0
    for test in tests:
        before = len(FAILURES)
        test(*arguments)
        ok = len(FAILURES) == before
        failed += 0 if ok else 1
        print("%s %s" % ("ok  " if ok else "FAIL", test.__name__))
    print("%d passed, %d failed" % (len(tests) - failed, failed))
    return 1 if failed else 0
