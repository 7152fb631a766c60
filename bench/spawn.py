"""Twin of spawn.vl: main is a generator that starts one short generator per iteration."""
import sys

from _scheduler import run, spawn

scale = int(sys.argv[1]) if len(sys.argv) > 1 else 1
started = 0
finished = 0
total = 0


def tiny(k):
    global finished, total
    total += k % 7
    finished += 1
    if finished == started:
        print(total)
    yield  # makes tiny a generator, which is what the scheduler runs


def main():
    global started
    n = 500000 // scale
    started = n
    i = 0
    while i < n:
        spawn(tiny(i))
        i += 1
        yield


spawn(main())
run()
