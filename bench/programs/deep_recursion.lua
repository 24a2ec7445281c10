-- A recursion one million calls deep, as deep_recursion.lisp (beyond Lua's own stack limit).
local function depth(n)
  if n == 0 then return 0 end
  return 1 + depth(n - 1)
end
print(depth(1000000))
