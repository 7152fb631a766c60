"""Twin of procloop.vl: the loop as the body of the one generator the scheduler runs."""
import sys

from _scheduler import run, spawn

scale = int(sys.argv[1]) if len(sys.argv) > 1 else 1


def main():
    n = 1000000 // scale
    i = 0
    s = 0
    while i < n:
        s += i % 7
        i += 1
    print(s)
    yield  # makes main a generator, which is what the scheduler runs


spawn(main())
run()
