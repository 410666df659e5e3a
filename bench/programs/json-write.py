import json
data = []
for i in range(1, 40001):
    data.append({"id": i, "name": "item-%d" % i, "price": i + 0.25, "tags": ["red", "green", "blue"], "ok": True,
                 "none": None, "text": 'line one\nline "two" \u00e9 \\ tab\t'})
text = json.dumps(data, ensure_ascii=False, separators=(",", ":"))
print(len(text))
