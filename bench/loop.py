"""Twin of loop.vl."""
import sys

scale = int(sys.argv[1]) if len(sys.argv) > 1 else 1


def count(n):
    i = 0
    s = 0
    while i < n:
        s += i % 7
        i += 1
    return s


print(count(1000000 // scale))
