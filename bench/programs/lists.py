# Building and walking a long list, as lists.lisp: a million pairs, summed and measured by
# recursion through an accumulator.
import sys

sys.setrecursionlimit(2_000_000)


def build(n, acc):
    return acc if n == 0 else build(n - 1, (n, acc))


def total(cells, acc):
    return acc if cells is None else total(cells[1], acc + cells[0])


def length(cells, n):
    return n if cells is None else length(cells[1], n + 1)


numbers = build(1000000, None)
print(total(numbers, 0))
print(length(numbers, 0))
