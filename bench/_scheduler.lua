-- Round-robin coroutines, the twin of vorla's scheduler: each pass resumes every live process once,
-- in start order, including processes started during the pass.
local scheduler = {}
local live = {}

function scheduler.spawn(body)
  live[#live + 1] = coroutine.create(body)
end

function scheduler.run()
  while #live > 0 do
    local still = {}
    local i = 1
    while i <= #live do
      local co = live[i]
      local ok, err = coroutine.resume(co)
      if not ok then error(err) end
      if coroutine.status(co) ~= "dead" then still[#still + 1] = co end
      i = i + 1
    end
    live = still
  end
end

return scheduler
