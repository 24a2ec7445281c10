# A long loop written with recursion through an accumulator, as loop.lisp.
import sys

sys.setrecursionlimit(2_000_000)


def loop(i, acc):
    return acc if i == 0 else loop(i - 1, acc + i)


print(loop(1000000, 0))
print(loop(1000000, 1))
print(loop(1000000, 2))
