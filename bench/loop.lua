-- Twin of loop.vl.
local scale = tonumber(arg[1]) or 1
local function count(n)
  local i, s = 0, 0
  while i < n do
    s = s + i % 7
    i = i + 1
  end
  return s
end
print(count(1000000 // scale))
