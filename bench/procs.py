"""Twin of procs.vl: each worker is a generator that yields after every iteration."""
import sys

from _scheduler import run, spawn

scale = int(sys.argv[1]) if len(sys.argv) > 1 else 1
WORKERS = 100
finished = 0
total = 0


def worker(k, n):
    global finished, total
    i = 0
    s = 0
    while i < n:
        s += (i + k) % 7
        i += 1
        yield
    total += s
    finished += 1
    if finished == WORKERS:
        print(total)


n = 2000 // scale
for k in range(WORKERS):
    spawn(worker(k, n))
run()
