"""Twin of queuesim.vl."""
import collections
import sys

scale = int(sys.argv[1]) if len(sys.argv) > 1 else 1


def main():
    n = 2000000 // scale
    line = collections.deque()
    served = {}
    longest = 0
    x = 1
    i = 0
    while i < n:
        x = (x * 1103 + 12345) % 65536
        line.append(x % 50)
        if len(line) > longest:
            longest = len(line)
        if x % 4 != 0:
            c = line.popleft()
            if c in served:
                served[c] += 1
            else:
                served[c] = 1
        i += 1
    left = len(line)
    while line:
        c = line.popleft()
        served[c] += 1
    print("%d kinds, longest line %d, %d left at closing" % (len(served), longest, left))
    print("".join("%d " % served[k] for k in range(0, 50, 7)))


main()
