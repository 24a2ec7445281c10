counts = {}
for i in range(100):
    counts["key" + str(i)] = 0
for round_ in range(500):
    for i in range(100):
        key = "key" + str(i)
        counts[key] = 1 + counts[key]
print(counts["key7"])
