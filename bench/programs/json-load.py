import json
parts = []
for i in range(1, 40001):
    parts.append('{"id":%d,"name":"item-%d","price":%r,"tags":["red","green","blue"],"ok":true,"none":null,'
                 '"text":"line one\\nline \\"two\\" \\u00e9 \\\\ tab\\t"}' % (i, i, i + 0.25))
text = "[" + ",".join(parts) + "]"
data = json.loads(text)
print(len(text), len(data), data[-1]["name"])
