-- Builds a table of n integer keys (n the first argument), then looks every
-- key up.
local n = tonumber(arg[1])
local m = {}
local i = 0
while i < n do
  m[i] = i
  i = i + 1
end
local acc = 0
i = 0
while i < n do
  acc = acc + m[i]
  i = i + 1
end
print(acc)
