parts = []
for _ in range(1000000):
    parts.append("abc")
print(len("".join(parts)))
