-- Appends n integers (n the first argument) to a table.
local n = tonumber(arg[1])
local v = {}
local i = 0
while i < n do
  v[#v + 1] = i
  i = i + 1
end
print(#v + v[n // 2 + 1])
