local t = {}
for i = 1, 100000 do t[i] = "word 1234 " end
local text = table.concat(t)
local words, numbers = 0, 0
for tok in text:gmatch("%S+") do
  if tok:match("^%a+$") then words = words + 1 elseif tok:match("^%d+$") then numbers = numbers + 1 end
end
print(words, numbers)
