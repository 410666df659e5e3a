local n = 0
for _ = 1, 500000 do
  local s = string.rep("a", 1) .. " short-lived string"
  local b = {1, 2, 3, 4}
  n = n + #s + #b
end
print(n)
