-- Twin of sim.vl: each mover is a coroutine that yields after every tick.
local scheduler = dofile((arg[0]:match("^(.*/)") or "") .. "_scheduler.lua")
local scale = tonumber(arg[1]) or 1

local Body = {}
Body.__index = Body
function Body.new(x, y, vx, vy) return setmetatable({x = x, y = y, vx = vx, vy = vy}, Body) end
function Body:move()
  self.x = self.x + self.vx
  if self.x < 0 or self.x > 1000 then self.vx = -self.vx; self.x = self.x + self.vx end
  self.y = self.y + self.vy
  if self.y < 0 or self.y > 1000 then self.vy = -self.vy; self.y = self.y + self.vy end
end

local movers = 8
local bodies = {}
local finished = 0

local function mover(first, ticks)
  local t = 0
  while t < ticks do
    local j = first
    while j < #bodies do
      bodies[j + 1]:move()
      j = j + movers
    end
    t = t + 1
    coroutine.yield()
  end
  finished = finished + 1
  if finished == movers then
    local s = 0
    for j = 1, #bodies do s = s + bodies[j].x * 3 + bodies[j].y end
    print(s)
  end
end

for j = 0, 49 do bodies[#bodies + 1] = Body.new(j * 17 % 1000, j * 31 % 1000, j % 7 + 1, j % 5 + 2) end
local ticks = 3000 // scale
for k = 0, movers - 1 do scheduler.spawn(function() mover(k, ticks) end) end
scheduler.run()
