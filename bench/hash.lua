-- Twin of hash.vl.
local scale = tonumber(arg[1]) or 1
local n = 200000 // scale
local h, size = {}, 0
local i = 0
while i < n do
  local key = "k" .. i
  if h[key] == nil then h[key] = i; size = size + 1 end
  i = i + 1
end
local s = 0
i = 0
while i < n do
  s = s + h["k" .. i] % 1000
  i = i + 1
end
print(size .. " " .. s)
