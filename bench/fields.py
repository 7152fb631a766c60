"""Twin of fields.vl."""
import sys

scale = int(sys.argv[1]) if len(sys.argv) > 1 else 1


class Point:
    def __init__(self):
        self.x = 0
        self.y = 0


def main():
    n = 1000000 // scale
    p = Point()
    i = 0
    while i < n:
        p.x = p.y % 1000 + 1
        p.y = p.x + i % 3
        i += 1
    print(p.x, p.y)


main()
