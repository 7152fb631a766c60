-- Twin of spawn.vl: main is a coroutine that starts one short coroutine per iteration.
local scheduler = dofile((arg[0]:match("^(.*/)") or "") .. "_scheduler.lua")
local scale = tonumber(arg[1]) or 1
local started, finished, total = 0, 0, 0

local function tiny(k)
  total = total + k % 7
  finished = finished + 1
  if finished == started then print(total) end
end

scheduler.spawn(function()
  local n = 500000 // scale
  started = n
  local i = 0
  while i < n do
    local k = i
    scheduler.spawn(function() tiny(k) end)
    i = i + 1
    coroutine.yield()
  end
end)
scheduler.run()
