from functools import reduce
import operator
def numbers(n):
    items = []
    for i in range(n):
        items.append(i)
    items.reverse()
    return items
def round_(k):
    squares = list(map(lambda x: x + k, numbers(5000)))
    even = list(filter(lambda x: x < 2500, squares))
    return reduce(operator.add, even) + len(even)
total = 0
for k in range(20):
    total = total + round_(k)
print(total)
