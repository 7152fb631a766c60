-- Twin of binarytrees.vl: a node is a table with a sequence of children, grown in place.
local scale = tonumber(arg[1]) or 1

local function node() return {kids = {}} end

local function grow(n, depth)
  if depth > 0 then
    n.kids[1] = node()
    n.kids[2] = node()
    grow(n.kids[1], depth - 1)
    grow(n.kids[2], depth - 1)
  end
end

local function check(n)
  if #n.kids == 0 then return 1 end
  return 1 + check(n.kids[1]) + check(n.kids[2])
end

local max_depth = 15
if scale > 1 then max_depth = 8 end
local stretch = node()
grow(stretch, max_depth + 1)
print("stretch tree of depth " .. (max_depth + 1) .. " check " .. check(stretch))
local long_lived = node()
grow(long_lived, max_depth)
local depth = 4
while depth <= max_depth do
  local iterations = 1
  local k = 0
  while k < max_depth - depth + 4 do
    iterations = iterations * 2
    k = k + 1
  end
  iterations = iterations // 8
  local sum = 0
  for _ = 1, iterations do
    local t = node()
    grow(t, depth)
    sum = sum + check(t)
  end
  print(iterations .. " trees of depth " .. depth .. " check " .. sum)
  depth = depth + 2
end
print("long lived tree of depth " .. max_depth .. " check " .. check(long_lived))
