-- Twin of fib.vl.
local scale = tonumber(arg[1]) or 1
local function fib(n) if n < 2 then return n end return fib(n - 1) + fib(n - 2) end
local n, k = 27, scale
while k > 1 do n = n - 1; k = k // 2 end
print("fib(" .. n .. ") = " .. fib(n))
