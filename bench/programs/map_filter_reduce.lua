-- Increments the integers below n (the first argument), keeps the even ones
-- and sums them, through tables.
local function inc(x) return x + 1 end
local function even(x) return x % 2 == 0 end
local function add(a, b) return a + b end

local n = tonumber(arg[1])
local xs = {}
for i = 0, n - 1 do xs[#xs + 1] = i end
local ys = {}
for k = 1, #xs do ys[k] = inc(xs[k]) end
local zs = {}
for k = 1, #ys do
  if even(ys[k]) then zs[#zs + 1] = ys[k] end
end
local acc = 0
for k = 1, #zs do acc = add(acc, zs[k]) end
print(acc)
