local parts = {}
for i = 1, 1000000 do parts[i] = "abc" end
print(#table.concat(parts))
