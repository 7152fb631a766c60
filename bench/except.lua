-- Twin of except.vl: error and pcall are Lua's throw and catch.
local scale = tonumber(arg[1]) or 1
local function fail(k) error(k) end
local n = 100000 // scale
local s = 0
local i = 0
while i < n do
  local ok, k
  if i % 2 == 0 then ok, k = pcall(error, i) else ok, k = pcall(fail, i) end
  if not ok then s = s + k % 7 end
  i = i + 1
end
print(s)
