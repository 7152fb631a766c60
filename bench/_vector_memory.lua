-- Twin of _vector_memory.vl.
local n = tonumber(arg[1])
local v = {}
for i = 0, n - 1 do v[#v + 1] = i end
print(#v)
