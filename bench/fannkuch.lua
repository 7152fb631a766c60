-- Twin of fannkuch.vl (vectors indexed from 0 as there).
local scale = tonumber(arg[1]) or 1
local checksum, max_flips = 0, 0

local function fannkuch(n)
  local perm, perm1, count = {}, {}, {}
  for i = 0, n - 1 do perm[i] = 0; perm1[i] = i; count[i] = 0 end
  local r = n
  local permutations = 0
  local more = true
  while more do
    while r ~= 1 do
      count[r - 1] = r
      r = r - 1
    end
    for i = 0, n - 1 do perm[i] = perm1[i] end
    local flips = 0
    local k = perm[0]
    while k ~= 0 do
      local lo, hi = 0, k
      while lo < hi do
        local t = perm[lo]
        perm[lo] = perm[hi]
        perm[hi] = t
        lo = lo + 1
        hi = hi - 1
      end
      flips = flips + 1
      k = perm[0]
    end
    if flips > max_flips then max_flips = flips end
    if permutations % 2 == 0 then checksum = checksum + flips else checksum = checksum - flips end
    local rotated = false
    while not rotated do
      if r == n then
        more = false
        rotated = true
      else
        local first = perm1[0]
        for i = 0, r - 1 do perm1[i] = perm1[i + 1] end
        perm1[r] = first
        count[r] = count[r] - 1
        if count[r] > 0 then rotated = true else r = r + 1 end
      end
    end
    permutations = permutations + 1
  end
end

local n = 9
if scale > 1 then n = 7 end
fannkuch(n)
print(checksum .. "\nPfannkuchen(" .. n .. ") = " .. max_flips)
