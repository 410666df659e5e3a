x = 1
b = []
for _ in range(1000000):
    x = (x * 1021 + 12345) & 1048575
    b.append(x)
b.sort()
print(b[0], b[499999], b[-1])
