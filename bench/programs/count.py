i = s = 0
for _ in range(10000000):
    i += 1
    s += i % 7
print(s)
