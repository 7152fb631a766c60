"""Twin of fib.vl."""
import sys

scale = int(sys.argv[1]) if len(sys.argv) > 1 else 1


def fib(n):
    if n < 2:
        return n
    return fib(n - 1) + fib(n - 2)


n, k = 27, scale
while k > 1:
    n -= 1
    k //= 2
print("fib(%d) = %d" % (n, fib(n)))
