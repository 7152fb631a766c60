-- Twin of methods.vl.
local scale = tonumber(arg[1]) or 1
local Counter = {}
Counter.__index = Counter
function Counter.new() return setmetatable({total = 0}, Counter) end
function Counter:add(k) self.total = self.total + k; return self.total end

local n = 1000000 // scale
local c = Counter.new()
local i, last = 0, 0
while i < n do
  last = c:add(i % 3)
  i = i + 1
end
print(last .. " " .. c.total)
