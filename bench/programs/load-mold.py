import ast
b = []
for i in range(1, 200001):
    b.extend([i, "text", "word", 1.5, ["a", "b"]])
source = repr(b)
loaded = ast.literal_eval(source)
print(len(loaded))
