-- Sorts n (the first argument) pseudo-random integers from a linear
-- congruential generator, in a table.
local n = tonumber(arg[1])
local v = {}
local i, x = 0, 1
while i < n do
  v[#v + 1] = x
  x = (x * 1103515245 + 12345) % 2147483648
  i = i + 1
end
table.sort(v)
print(v[1] + v[n // 2 + 1] + v[n])
