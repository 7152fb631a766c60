-- Twin of procloop.vl: the loop as the body of the one coroutine the scheduler runs.
local scheduler = dofile((arg[0]:match("^(.*/)") or "") .. "_scheduler.lua")
local scale = tonumber(arg[1]) or 1
scheduler.spawn(function()
  local n = 1000000 // scale
  local i, s = 0, 0
  while i < n do
    s = s + i % 7
    i = i + 1
  end
  print(s)
end)
scheduler.run()
