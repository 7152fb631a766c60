"""Twin of strcat.vl."""
import sys

scale = int(sys.argv[1]) if len(sys.argv) > 1 else 1


def main():
    n = 20000 // scale
    s = ""
    i = 0
    while i < n:
        s += "x" + str(i % 10)
        i += 1
    print(len(s), s[-1])


main()
