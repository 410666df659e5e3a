b = list(range(1, 10001))
hits = 0
for i in range(1, 2001):
    if (10001 - i) in b:
        hits += 1
h = set(b)
for i in range(1, 200001):
    if i % 10000 + 1 in h:
        hits += 1
print(hits)
