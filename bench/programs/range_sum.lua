local total = 0
for i = 0, 100000 - 1 do total = total + i end
print(total)
