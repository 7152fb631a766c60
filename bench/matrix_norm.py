"""Twin of matrix_norm.vl."""
import math
import sys

scale = int(sys.argv[1]) if len(sys.argv) > 1 else 1


def a(i, j):
    return 1.0 / ((i + j) * (i + j + 1) // 2 + i + 1)


def times(v, av):
    n = len(v)
    for i in range(n):
        total = 0.0
        for j in range(n):
            total += a(i, j) * v[j]
        av[i] = total


def times_transposed(v, atv):
    n = len(v)
    for i in range(n):
        total = 0.0
        for j in range(n):
            total += a(j, i) * v[j]
        atv[i] = total


def times_ata(v, atav):
    t = [0.0] * len(v)
    times(v, t)
    times_transposed(t, atav)


def main():
    n = 450 // scale
    u = [1.0] * n
    v = [0.0] * n
    for _ in range(10):
        times_ata(u, v)
        times_ata(v, u)
    vbv = vv = 0.0
    for i in range(n):
        vbv += u[i] * v[i]
        vv += v[i] * v[i]
    print("%g" % math.sqrt(vbv / vv))


main()
