-- Twin of vector.vl (a Lua sequence counts from 1).
local scale = tonumber(arg[1]) or 1
local n = 1000000 // scale
local v = {}
local i = 0
while i < n do
  v[#v + 1] = i % 100
  i = i + 1
end
local s = 0
i = 0
while i < n do
  v[i + 1] = v[i + 1] + 1
  s = s + v[i + 1]
  i = i + 1
end
print(#v .. " " .. s)
