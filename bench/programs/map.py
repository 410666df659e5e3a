m = {}
for i in range(1, 200001):
    m[i] = i % 1000
total = 0
for i in range(1, 200001):
    total += m[i]
print(total)
