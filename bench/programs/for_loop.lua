-- A million passes of a loop over a counting iterator closure, as for_loop.lisp.
local function counter(limit)
  local i = 0
  return function()
    if i < limit then
      local v = i
      i = i + 1
      return { v }
    end
    return nil
  end
end
local total = 0
local it = counter(1000000)
while true do
  local item = it()
  if item == nil then break end
  total = total + item[1]
end
print(total)
