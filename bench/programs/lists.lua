-- Building and walking a long list, as lists.lisp: a million pairs, summed and measured by
-- recursion through an accumulator.
local function build(n, acc)
  if n == 0 then return acc end
  return build(n - 1, { n, acc })
end
local function sum(cells, acc)
  if cells == nil then return acc end
  return sum(cells[2], acc + cells[1])
end
local function len(cells, n)
  if cells == nil then return n end
  return len(cells[2], n + 1)
end
local numbers = build(1000000, nil)
print(sum(numbers, 0))
print(len(numbers, 0))
