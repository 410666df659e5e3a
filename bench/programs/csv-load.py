import csv
import io
parts = []
for i in range(1, 100001):
    parts.append('%d,item-%d,%r,"quoted, field","say ""hi""",plain\n' % (i, i, i + 0.25))
text = "".join(parts)
rows = list(csv.reader(io.StringIO(text, newline="")))
print(len(text), len(rows), rows[-1][1])
