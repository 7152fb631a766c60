-- Twin of wordfreq.vl.
local scale = tonumber(arg[1]) or 1

local Counter = {}
Counter.__index = Counter
function Counter.new() return setmetatable({counts = {}, distinct = 0, best = 0, best_word = ""}, Counter) end
function Counter:add(w)
  local counts = self.counts
  if counts[w] ~= nil then
    counts[w] = counts[w] + 1
  else
    counts[w] = 1
    self.distinct = self.distinct + 1
  end
  local c = counts[w]
  if c > self.best then
    self.best = c
    self.best_word = w
  end
end

local syllables = {"ka", "lo", "mi", "ne", "ru", "so", "ta", "vi", "be", "do", "fu", "gi", "ha", "jo", "pe", "wu"}
local n = 400000 // scale
local counter = Counter.new()
local x = 1
local i = 0
while i < n do
  x = (x * 1103 + 12345) % 65536
  counter:add(syllables[x // 4096 + 1] .. syllables[x // 256 % 16 + 1] .. syllables[x // 16 % 16 + 1])
  i = i + 1
end
print(counter.distinct .. " " .. counter.best_word .. " " .. counter.best)
