"""Twin of binarytrees.vl: each node holds its children in a list, grown in place."""
import sys

scale = int(sys.argv[1]) if len(sys.argv) > 1 else 1


class Node:
    def __init__(self):
        self.kids = []


def grow(n, depth):
    if depth > 0:
        n.kids.append(Node())
        n.kids.append(Node())
        grow(n.kids[0], depth - 1)
        grow(n.kids[1], depth - 1)


def check(n):
    if not n.kids:
        return 1
    return 1 + check(n.kids[0]) + check(n.kids[1])


def main():
    max_depth = 15
    if scale > 1:
        max_depth = 8
    stretch = Node()
    grow(stretch, max_depth + 1)
    print("stretch tree of depth %d check %d" % (max_depth + 1, check(stretch)))
    long_lived = Node()
    grow(long_lived, max_depth)
    depth = 4
    while depth <= max_depth:
        iterations = 1
        k = 0
        while k < max_depth - depth + 4:
            iterations *= 2
            k += 1
        iterations //= 8
        total = 0
        i = 0
        while i < iterations:
            t = Node()
            grow(t, depth)
            total += check(t)
            i += 1
        print("%d trees of depth %d check %d" % (iterations, depth, total))
        depth += 2
    print("long lived tree of depth %d check %d" % (max_depth, check(long_lived)))


main()
