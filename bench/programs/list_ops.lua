local function numbers(n) local t = {} for i = n - 1, 0, -1 do t[#t + 1] = i end return t end
local function map(f, t) local r = {} for i = 1, #t do r[i] = f(t[i]) end return r end
local function filter(f, t) local r = {} for i = 1, #t do if f(t[i]) then r[#r + 1] = t[i] end end return r end
local function reduce(f, t) local acc = t[1] for i = 2, #t do acc = f(acc, t[i]) end return acc end
local function round(k)
  local squares = map(function(x) return x + k end, numbers(5000))
  local even = filter(function(x) return x < 2500 end, squares)
  return reduce(function(a, b) return a + b end, even) + #even
end
local total = 0
for k = 0, 19 do total = total + round(k) end
print(total)
