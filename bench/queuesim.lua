-- Twin of queuesim.vl: the waiting line is a table with a head and a tail index.
local scale = tonumber(arg[1]) or 1
local n = 2000000 // scale
local line = {first = 1, last = 0}
local served, kinds = {}, 0
local longest = 0
local x = 1
for _ = 1, n do
  x = (x * 1103 + 12345) % 65536
  line.last = line.last + 1
  line[line.last] = x % 50
  if line.last - line.first + 1 > longest then longest = line.last - line.first + 1 end
  if x % 4 ~= 0 then
    local c = line[line.first]
    line[line.first] = nil
    line.first = line.first + 1
    if served[c] then
      served[c] = served[c] + 1
    else
      served[c] = 1
      kinds = kinds + 1
    end
  end
end
local left = line.last - line.first + 1
while line.first <= line.last do
  local c = line[line.first]
  line[line.first] = nil
  line.first = line.first + 1
  served[c] = served[c] + 1
end
print(kinds .. " kinds, longest line " .. longest .. ", " .. left .. " left at closing")
local parts = {}
for k = 0, 49, 7 do parts[#parts + 1] = served[k] .. " " end
print(table.concat(parts))
