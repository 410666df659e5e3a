import csv
import io
rows = []
for i in range(1, 100001):
    rows.append([i, "item-%d" % i, i + 0.25, "quoted, field", 'say "hi"', "plain"])
out = io.StringIO()
csv.writer(out, lineterminator="\n").writerows(rows)
print(len(out.getvalue()))
