"""The small harness shared by the suite's Python tests: checks that record failures, and a runner
that runs each test function, prints ok/FAIL per test and the closing 'N passed, N failed' line."""

FAILURES = []


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
