-- Concatenates the integers below n (the first argument), and joins them
-- with commas.
local n = tonumber(arg[1])
local parts = {}
for i = 0, n - 1 do parts[#parts + 1] = tostring(i) end
print(#table.concat(parts) + #table.concat(parts, ","))
