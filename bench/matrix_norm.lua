-- Twin of matrix_norm.vl.
local scale = tonumber(arg[1]) or 1

local function a(i, j)
  return 1.0 / ((i + j) * (i + j + 1) // 2 + i + 1)
end

local function times(v, av)
  local n = #v
  for i = 0, n - 1 do
    local sum = 0.0
    for j = 0, n - 1 do sum = sum + a(i, j) * v[j + 1] end
    av[i + 1] = sum
  end
end

local function times_transposed(v, atv)
  local n = #v
  for i = 0, n - 1 do
    local sum = 0.0
    for j = 0, n - 1 do sum = sum + a(j, i) * v[j + 1] end
    atv[i + 1] = sum
  end
end

local function times_ata(v, atav)
  local t = {}
  for i = 1, #v do t[i] = 0.0 end
  times(v, t)
  times_transposed(t, atav)
end

local n = 450 // scale
local u, v = {}, {}
for i = 1, n do u[i] = 1.0; v[i] = 0.0 end
for _ = 1, 10 do
  times_ata(u, v)
  times_ata(v, u)
end
local vbv, vv = 0.0, 0.0
for i = 1, n do
  vbv = vbv + u[i] * v[i]
  vv = vv + v[i] * v[i]
end
print(string.format("%g", math.sqrt(vbv / vv)))
