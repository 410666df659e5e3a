local function first_over(limit) local i = 0 while true do i = i + 1 if i > limit then return i end end end
local n = 0
for _ = 1, 1000000 do n = n + first_over(3) end
print(n)
