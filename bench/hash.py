"""Twin of hash.vl."""
import sys

scale = int(sys.argv[1]) if len(sys.argv) > 1 else 1


def main():
    n = 200000 // scale
    h = {}
    i = 0
    while i < n:
        h.setdefault("k" + str(i), i)
        i += 1
    s = 0
    i = 0
    while i < n:
        s += h["k" + str(i)] % 1000
        i += 1
    print(len(h), s)


main()
