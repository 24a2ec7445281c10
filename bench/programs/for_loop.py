# A million passes of a loop over a counting iterator closure, as for_loop.lisp.
def counter(limit):
    i = 0

    def next_item():
        nonlocal i
        if i < limit:
            v = i
            i = i + 1
            return [v]
        return None

    return next_item


total = 0
it = counter(1000000)
while (item := it()) is not None:
    total = total + item[0]
print(total)
