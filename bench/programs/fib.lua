-- Naive recursive Fibonacci of the number given as the first argument.
local function fib(k)
  if k < 2 then
    return k
  end
  return fib(k - 1) + fib(k - 2)
end

print(fib(tonumber(arg[1])))
