-- The sum of the integers from 1 to the number given as the first argument.
local n = tonumber(arg[1])
local i, acc = 1, 0
while i <= n do
  acc = acc + i
  i = i + 1
end
print(acc)
