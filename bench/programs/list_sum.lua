-- Builds a 100,000-element list and sums it, both recursively, five times over, as
-- list_sum.lisp: the list is made of pairs, as Velune's cells.
local function build(n)
  if n == 0 then return nil end
  return { n, build(n - 1) }
end
local function sum(cells)
  if cells == nil then return 0 end
  return cells[1] - (0 - sum(cells[2]))
end
local function rounds(k, total)
  if k == 0 then return total end
  return rounds(k - 1, total - (0 - sum(build(100000))))
end
print(rounds(5, 0))
