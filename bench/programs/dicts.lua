local counts = {}
for i = 0, 99 do counts["key" .. tostring(i)] = 0 end
for round = 0, 499 do
  for i = 0, 99 do
    local key = "key" .. tostring(i)
    counts[key] = 1 + counts[key]
  end
end
print(counts["key7"])
