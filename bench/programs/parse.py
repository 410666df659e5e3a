import re
text = "word 1234 " * 100000
words = numbers = 0
for m in re.finditer(r"([a-z]+)|([0-9]+)| ", text):
    if m.group(1):
        words += 1
    elif m.group(2):
        numbers += 1
print(words, numbers)
