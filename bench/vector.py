"""Twin of vector.vl."""
import sys

scale = int(sys.argv[1]) if len(sys.argv) > 1 else 1


def main():
    n = 1000000 // scale
    v = []
    i = 0
    while i < n:
        v.append(i % 100)
        i += 1
    s = 0
    i = 0
    while i < n:
        v[i] = v[i] + 1
        s += v[i]
        i += 1
    print(len(v), s)


main()
