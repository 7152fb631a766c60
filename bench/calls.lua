local function add(a, b) return a + b end
local s = 0
for i = 1, 1000000 do s = add(s, 1) end
print(s)
