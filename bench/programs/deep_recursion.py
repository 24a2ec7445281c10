# A recursion one million calls deep, as deep_recursion.lisp.
import sys

sys.setrecursionlimit(2_000_000)


def depth(n):
    return 0 if n == 0 else 1 + depth(n - 1)


print(depth(1000000))
