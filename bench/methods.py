"""Twin of methods.vl."""
import sys

scale = int(sys.argv[1]) if len(sys.argv) > 1 else 1


class Counter:
    def __init__(self):
        self.total = 0

    def add(self, k):
        self.total += k
        return self.total


def main():
    n = 1000000 // scale
    c = Counter()
    i = 0
    last = 0
    while i < n:
        last = c.add(i % 3)
        i += 1
    print(last, c.total)


main()
