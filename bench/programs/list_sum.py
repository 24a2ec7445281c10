# Builds a 100,000-element list and sums it, both recursively, five times over, as
# list_sum.lisp: the list is made of pairs, as Velune's cells.
import sys

sys.setrecursionlimit(1_000_000)


def build(n):
    return None if n == 0 else (n, build(n - 1))


def total(cells):
    return 0 if cells is None else cells[0] - (0 - total(cells[1]))


def rounds(k, acc):
    while k != 0:
        k, acc = k - 1, acc - (0 - total(build(100000)))
    return acc


print(rounds(5, 0))
