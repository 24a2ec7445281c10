local Account = {}
Account.__index = Account
local function make_account(owner, balance) return setmetatable({owner = owner, balance = balance}, Account) end
function Account:get_balance() return self.balance end
function Account:set_balance(v) self.balance = v end
local total = 0
for i = 0, 9999 do
  local a = make_account("someone", i)
  a:set_balance(a:get_balance() + 1)
  total = total + a:get_balance()
end
print(total)
