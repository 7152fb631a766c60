"""Twin of fannkuch.vl."""
import sys

scale = int(sys.argv[1]) if len(sys.argv) > 1 else 1
checksum = 0
max_flips = 0


def fannkuch(n):
    global checksum, max_flips
    perm = [0] * n
    perm1 = list(range(n))
    count = [0] * n
    r = n
    permutations = 0
    more = True
    while more:
        while r != 1:
            count[r - 1] = r
            r -= 1
        for i in range(n):
            perm[i] = perm1[i]
        flips = 0
        k = perm[0]
        while k != 0:
            lo, hi = 0, k
            while lo < hi:
                t = perm[lo]
                perm[lo] = perm[hi]
                perm[hi] = t
                lo += 1
                hi -= 1
            flips += 1
            k = perm[0]
        if flips > max_flips:
            max_flips = flips
        if permutations % 2 == 0:
            checksum += flips
        else:
            checksum -= flips
        rotated = False
        while not rotated:
            if r == n:
                more = False
                rotated = True
            else:
                first = perm1[0]
                for i in range(r):
                    perm1[i] = perm1[i + 1]
                perm1[r] = first
                count[r] -= 1
                if count[r] > 0:
                    rotated = True
                else:
                    r += 1
        permutations += 1


def main():
    n = 9
    if scale > 1:
        n = 7
    fannkuch(n)
    print("%d\nPfannkuchen(%d) = %d" % (checksum, n, max_flips))


main()
