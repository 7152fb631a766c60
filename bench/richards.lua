-- Twin of richards.vl: the classes are metatables, each derived one falling back on Task.
local scale = tonumber(arg[1]) or 1

local tasks = {}
local work_left, seed, checksum = 0, 1, 0

-- A queue of packets, like vorla's list.
local function queue() return {first = 1, last = 0} end

local Task = {}
Task.__index = Task
function Task.init(self, id, priority)
  self.id, self.priority, self.inbox, self.runs = id, priority, queue(), 0
  return self
end
function Task:ready() return self.inbox.first <= self.inbox.last end
function Task:send(to, kind, value)
  local q = tasks[to + 1].inbox
  q.last = q.last + 1
  q[q.last] = {kind = kind, value = value}
end
function Task:take()
  self.runs = self.runs + 1
  local q = self.inbox
  local p = q[q.first]
  q[q.first] = nil
  q.first = q.first + 1
  return p
end

local function class(base)
  local c = setmetatable({}, {__index = base})
  c.__index = c
  return c
end

local Idle = class(Task)
function Idle.new(id) return Task.init(setmetatable({}, Idle), id, 0) end
function Idle:ready() return work_left > 0 end
function Idle:run()
  self.runs = self.runs + 1
  work_left = work_left - 1
  seed = (seed * 1103 + 12345) % 65536
  self:send(1, 0, seed)
end

local Worker = class(Task)
function Worker.new(id)
  local w = Task.init(setmetatable({}, Worker), id, 10)
  w.done = 0
  return w
end
function Worker:run()
  local p = self:take()
  self.done = self.done + 1
  self:send(2 + p.value % 2, 0, p.value // 2 + self.done % 7)
end

local Handler = class(Task)
function Handler.new(id)
  local h = Task.init(setmetatable({}, Handler), id, 20)
  h.total = 0
  return h
end
function Handler:run()
  local p = self:take()
  self.total = self.total + p.value
  local v = p.value
  while v > 0 do
    self:send(2 + self.id, 1, v % 10)
    v = v // 10
  end
end

local Device = class(Task)
function Device.new(id) return Task.init(setmetatable({}, Device), id, 30) end
function Device:run()
  local p = self:take()
  checksum = (checksum * 31 + p.value + self.id) % 1000003
end

local function pick()
  local best = -1
  for i = 0, #tasks - 1 do
    if tasks[i + 1]:ready() then
      if best < 0 then
        best = i
      elseif tasks[i + 1].priority > tasks[best + 1].priority then
        best = i
      end
    end
  end
  return best
end

work_left = 40000 // scale
tasks[1] = Idle.new(0)
tasks[2] = Worker.new(1)
tasks[3] = Handler.new(2)
tasks[4] = Handler.new(3)
tasks[5] = Device.new(4)
tasks[6] = Device.new(5)
local switches = 0
local t = pick()
while t >= 0 do
  tasks[t + 1]:run()
  switches = switches + 1
  t = pick()
end
print(switches .. " switches, checksum " .. checksum)
for i = 0, #tasks - 1 do print("task " .. i .. " ran " .. tasks[i + 1].runs .. " times") end
print("handled " .. tasks[3].total .. " and " .. tasks[4].total)
