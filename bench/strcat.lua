-- Twin of strcat.vl.
local scale = tonumber(arg[1]) or 1
local n = 20000 // scale
local s = ""
local i = 0
while i < n do
  s = s .. "x" .. (i % 10)
  i = i + 1
end
print(#s .. " " .. s:sub(-1))
