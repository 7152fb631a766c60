-- Twin of jsonish.vl: records are tables, arrays are sequences marked as such; the text grows in a buffer.
local scale = tonumber(arg[1]) or 1
local keys = {"id", "name", "score", "active", "tags", "where", "x", "y"}
local out = {}

local function put(s) out[#out + 1] = s end

local emit

local function emit_array(v)
  put("[")
  for i = 1, #v do
    if i > 1 then put(",") end
    emit(v[i])
  end
  put("]")
end

local function emit_object(h)
  put("{")
  local first = true
  for i = 1, #keys do
    local value = h[keys[i]]
    if value ~= nil then
      if not first then put(",") end
      first = false
      emit(keys[i])
      put(":")
      emit(value)
    end
  end
  put("}")
end

function emit(x)
  local t = type(x)
  if t == "number" then
    if math.type(x) == "integer" then put(tostring(x)) else put(string.format("%g", x)) end
  elseif t == "string" then
    put("\"" .. x .. "\"")
  elseif t == "boolean" then
    put(x and "true" or "false")
  elseif x.array then
    emit_array(x)
  else
    emit_object(x)
  end
end

local function record(i)
  local tags = {array = true}
  for t = 0, i % 4 - 1 do tags[#tags + 1] = "t" .. (i + t) % 10 end
  return {id = i, name = "item" .. i, score = i / 8.0, active = i % 3 == 0, tags = tags,
          where = {x = i % 100, y = i // 100}}
end

local n = 10000 // scale
local text
for _ = 1, 5 do
  local items = {array = true}
  for i = 0, n - 1 do items[#items + 1] = record(i) end
  out = {}
  emit(items)
  text = table.concat(out)
end
print(#text)
local step = #text // 7
local at = 0
while at + 4 <= #text do
  print(at .. ": " .. text:sub(at + 1, at + 4))
  at = at + step
end
