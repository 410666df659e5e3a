local x, b = 1, {}
for i = 1, 1000000 do x = (x * 1021 + 12345) & 1048575 b[i] = x end
table.sort(b)
print(b[1], b[500000], b[#b])
