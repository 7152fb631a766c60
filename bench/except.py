"""Twin of except.vl."""
import sys

scale = int(sys.argv[1]) if len(sys.argv) > 1 else 1


class Thrown(Exception):
    def __init__(self, value):
        super().__init__()
        self.value = value


def fail(k):
    raise Thrown(k)


def main():
    n = 100000 // scale
    s = 0
    i = 0
    while i < n:
        try:
            if i % 2 == 0:
                raise Thrown(i)
            fail(i)
        except Thrown as e:
            s += e.value % 7
        i += 1
    print(s)


main()
