"""Twin of sieve.vl."""
import sys

scale = int(sys.argv[1]) if len(sys.argv) > 1 else 1


def main():
    n = 600000 // scale
    composite = [False] * (n + 1)
    primes = []
    for i in range(2, n + 1):
        if not composite[i]:
            primes.append(i)
            if i <= 46340:
                j = i * i
                while j <= n:
                    composite[j] = True
                    j += i
    found = 0
    total = 0
    for k in range(2, n + 1):
        prime = True
        d = 0
        searching = True
        while searching:
            p = primes[d]
            if p * p > k:
                searching = False
            elif k % p == 0:
                prime = False
                searching = False
            d += 1
        if prime:
            found += 1
            total = (total + k) % 1000000
    print("%d primes by the sieve, %d by trial division, sum %d" % (len(primes), found, total))
    print("largest %d" % primes[-1])


main()
