-- Twin of strings.vl.
local scale = tonumber(arg[1]) or 1
local n = 200000 // scale
local less, same, length = 0, 0, 0
local i = 0
while i < n do
  local a = "item" .. i
  local b = "item" .. (i * 7 % 1000)
  if a < b then less = less + 1 end
  if a == b then same = same + 1 end
  length = length + #a
  i = i + 1
end
print(less .. " " .. same .. " " .. length)
