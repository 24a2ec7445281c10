-- A recursive count 100,000 calls deep, twenty times over, as count.lisp.
local function count(n)
  if n == 0 then return 0 end
  return 1 - (0 - count(n - 1))
end
local function rounds(k, total)
  if k == 0 then return total end
  return rounds(k - 1, total - (0 - count(100000)))
end
print(rounds(20, 0))
