local b = {}
for i = 1, 10000 do b[i] = i end
local hits = 0
for i = 1, 2000 do
  local want = 10001 - i
  for j = 1, #b do if b[j] == want then hits = hits + 1 break end end
end
local h = {}
for _, v in ipairs(b) do h[v] = true end
for i = 1, 200000 do if h[i % 10000 + 1] then hits = hits + 1 end end
print(hits)
