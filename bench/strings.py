"""Twin of strings.vl."""
import sys

scale = int(sys.argv[1]) if len(sys.argv) > 1 else 1


def main():
    n = 200000 // scale
    less = same = length = 0
    i = 0
    while i < n:
        a = "item" + str(i)
        b = "item" + str(i * 7 % 1000)
        if a < b:
            less += 1
        if a == b:
            same += 1
        length += len(a)
        i += 1
    print(less, same, length)


main()
