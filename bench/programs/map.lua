local m = {}
for i = 1, 200000 do m[i] = i % 1000 end
local total = 0
for i = 1, 200000 do total = total + m[i] end
print(total)
