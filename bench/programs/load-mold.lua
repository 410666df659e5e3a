-- Lua has no mold: the source is written by a small serializer, then loaded
-- back as a table constructor.
local b = {}
for i = 1, 200000 do
  local n = #b
  b[n + 1] = i b[n + 2] = "text" b[n + 3] = "word" b[n + 4] = 1.5 b[n + 5] = {"a", "b"}
end
local function mold(v, out)
  local t = type(v)
  if t == "table" then
    out[#out + 1] = "{"
    for i = 1, #v do if i > 1 then out[#out + 1] = "," end mold(v[i], out) end
    out[#out + 1] = "}"
  elseif t == "string" then
    out[#out + 1] = string.format("%q", v)
  else
    out[#out + 1] = tostring(v)
  end
end
local out = {}
mold(b, out)
local source = table.concat(out)
local loaded = load("return " .. source)()
print(#loaded)
