total = 0
for i in range(100000):
    total = total + i
print(total)
