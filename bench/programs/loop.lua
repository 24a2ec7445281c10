-- A long loop written with recursion through an accumulator, as loop.lisp.
local function loop(i, acc)
  if i == 0 then return acc end
  return loop(i - 1, acc + i)
end
print(loop(1000000, 0))
print(loop(1000000, 1))
print(loop(1000000, 2))
