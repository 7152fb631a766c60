-- Twin of fields.vl.
local scale = tonumber(arg[1]) or 1
local Point = {}
Point.__index = Point
function Point.new() return setmetatable({x = 0, y = 0}, Point) end

local n = 1000000 // scale
local p = Point.new()
local i = 0
while i < n do
  p.x = p.y % 1000 + 1
  p.y = p.x + i % 3
  i = i + 1
end
print(p.x .. " " .. p.y)
