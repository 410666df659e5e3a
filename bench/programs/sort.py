import random
random.seed(1)
b = [random.randint(1, 1000000) for _ in range(1000000)]
b.sort()
print(b[0])
