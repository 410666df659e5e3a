n = 0
for _ in range(500000):
    s = "".join(["a", " short-lived string"])
    b = [1, 2, 3, 4]
    n += len(s) + len(b)
print(n)
