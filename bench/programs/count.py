# A recursive count 100,000 calls deep, twenty times over, as count.lisp.
import sys

sys.setrecursionlimit(1_000_000)


def count(n):
    return 0 if n == 0 else 1 - (0 - count(n - 1))


def rounds(k, total):
    while k != 0:
        k, total = k - 1, total - (0 - count(100000))
    return total


print(rounds(20, 0))
