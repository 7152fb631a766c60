-- Twin of procs.vl: each worker is a coroutine that yields after every iteration.
local scheduler = dofile((arg[0]:match("^(.*/)") or "") .. "_scheduler.lua")
local scale = tonumber(arg[1]) or 1
local workers, finished, total = 100, 0, 0

local function worker(k, n)
  local i, s = 0, 0
  while i < n do
    s = s + (i + k) % 7
    i = i + 1
    coroutine.yield()
  end
  total = total + s
  finished = finished + 1
  if finished == workers then print(total) end
end

local n = 2000 // scale
for k = 0, workers - 1 do scheduler.spawn(function() worker(k, n) end) end
scheduler.run()
