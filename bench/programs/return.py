def first_over(limit):
    i = 0
    while True:
        i += 1
        if i > limit:
            return i
n = 0
for _ in range(1000000):
    n += first_over(3)
print(n)
