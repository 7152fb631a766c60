-- Twin of sieve.vl.
local scale = tonumber(arg[1]) or 1
local n = 600000 // scale
local composite = {}
for i = 0, n do composite[i] = false end
local primes = {}
for i = 2, n do
  if not composite[i] then
    primes[#primes + 1] = i
    if i <= 46340 then
      for j = i * i, n, i do composite[j] = true end
    end
  end
end
local found, sum = 0, 0
for k = 2, n do
  local prime = true
  local d = 1
  local searching = true
  while searching do
    local p = primes[d]
    if p * p > k then
      searching = false
    elseif k % p == 0 then
      prime = false
      searching = false
    end
    d = d + 1
  end
  if prime then
    found = found + 1
    sum = (sum + k) % 1000000
  end
end
print(#primes .. " primes by the sieve, " .. found .. " by trial division, sum " .. sum)
print("largest " .. primes[#primes])
