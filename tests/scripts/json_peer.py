#!/usr/bin/env python3
# The JSON codec against python's json module: the conformance files of
# testdata/json-test-suite (y_ files load to what python reads, n_ files give
# an error value, i_ files end either way, never in a crash or a hang), and
# documents written by python (escapes, surrogate pairs, exponents, deep
# nesting) that load-json reads and to-json writes back for python to read.
import json
import math
import os
import random
import subprocess
import sys
import tempfile

ZEM = os.path.abspath(sys.argv[1])
SUITE = os.path.abspath(sys.argv[2])
failures = []

# A dump of a loaded value, one token per item, the same from Zem and from
# python: strings as their code points, numbers compared by value.
DUMP = r'''
dump-text: func [s /local out][
	out: copy "s:"
	foreach c s [append out rejoin [to-hex/size to integer! c 6 "."]]
	out
]
dump: func [v out][
	case [
		none? :v [append out "null"]
		logic? :v [append out form v]
		integer? :v [append out rejoin ["n:" v]]
		float? :v [append out rejoin ["n:" mold v]]
		string? :v [append out dump-text v]
		block? :v [
			append out "["
			foreach x v [append out " " dump :x out]
			append out " ]"
		]
		map? :v [
			append out "{"
			foreach k words-of v [
				append out " "
				append out dump-text either word? k [form k][k]
				append out " "
				dump select/case v k out
			]
			append out " }"
		]
		true [append out rejoin ["?" mold :v]]
	]
	out
]
'''


def py_dump(v, out):
    if v is None:
        out.append("null")
    elif v is True or v is False:
        out.append("true" if v else "false")
    elif isinstance(v, (int, float)):
        out.append(("n", v))
    elif isinstance(v, str):
        out.append("s:" + "".join("%06X." % ord(c) for c in v))
    elif isinstance(v, list):
        out.append("[")
        for x in v:
            py_dump(x, out)
        out.append("]")
    else:
        out.append("{")
        for k, x in v.items():
            py_dump(k, out)
            py_dump(x, out)
        out.append("}")
    return out


def zem_number(text):
    if text.endswith("#INF"):
        return -math.inf if text.startswith("-") else math.inf
    return float(text)


def same_dump(py, zem_tokens):
    if len(py) != len(zem_tokens):
        return False
    for p, z in zip(py, zem_tokens):
        if isinstance(p, tuple):
            if not z.startswith("n:") or float(p[1]) != zem_number(z[2:]):
                return False
        elif p != z:
            return False
    return True


def run_zem(tmp, body, timeout=120):
    script = os.path.join(tmp, "run.zem")
    with open(script, "w", encoding="utf-8") as f:
        f.write("Zem []\n" + DUMP + body)
    env = dict(os.environ, XDG_CACHE_HOME=os.path.join(tmp, ".cache"))
    p = subprocess.run([ZEM, script], cwd=tmp, env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                       timeout=timeout)
    return p.returncode, p.stdout.decode("utf-8", "replace")


def suite(tmp):
    names = sorted(n for n in os.listdir(SUITE) if n.endswith(".json"))
    if len(names) < 300:
        failures.append(f"suite: only {len(names)} files in {SUITE}")
    # One zem for every file; the name goes out before the file is read, so
    # that a crash shows where it happened.
    body = "dir: to file! %s\n" % json.dumps(SUITE + "/") + \
        "foreach name [%s] [\n" % " ".join(json.dumps(n) for n in names) + \
        """	print ["file" name]
	r: try [load dir/:name]
	either error? :r [print ["error" r/id]][print ["value" dump :r copy ""]]
]
print "end"
"""
    try:
        rc, out = run_zem(tmp, body, timeout=200)
    except subprocess.TimeoutExpired:
        failures.append("suite: hangs")
        return
    lines = out.splitlines()
    if rc != 0 or not lines or lines[-1] != "end":
        failures.append(f"suite: status {rc}, output ends {out[-500:]!r}")
        return
    outcome = {}
    for head, line in zip(lines[0:-1:2], lines[1:-1:2]):
        outcome[head[len("file "):]] = line
    if sorted(outcome) != names:
        failures.append("suite: output out of step: " + out[:500])
    for name, line in outcome.items():
        kind, _, rest = line.partition(" ")
        if name.startswith("n_") and kind != "error":
            failures.append(f"{name}: accepted as {rest[:200]}")
        if name.startswith("y_"):
            with open(os.path.join(SUITE, name), "rb") as f:
                expected = py_dump(json.loads(f.read()), [])
            if kind != "value" or not same_dump(expected, rest.split()):
                failures.append(f"{name}: python reads {expected!r}, zem gives {line[:300]}")
    if os.environ.get("JSON_PEER_REPORT"):
        for name, line in outcome.items():
            if name.startswith("i_"):
                print(name, line[:100])


# ---- Documents written by python -------------------------------------------------

def random_text(rng):
    pieces = ["a", "Z", " ", '"', "\\", "/", "\b", "\f", "\n", "\r", "\t", "\x00", "\x1f", "\x7f", "é", "ÿ",
              "€", "\u2028", "\uffff", "😀", "𝄞", "\U0010ffff", "key", "word-1", "+1", "-2", "a b"]
    return "".join(rng.choice(pieces) for _ in range(rng.randrange(0, 8)))


def random_number(rng):
    return rng.choice([
        rng.randrange(-2**31, 2**31),
        rng.randrange(-10**6, 10**6),
        rng.uniform(-1e6, 1e6),
        rng.uniform(-1, 1) * 10.0 ** rng.randrange(-300, 300),
        0.1 + 0.2, 5e-324, 1.7976931348623157e308, -0.0, 0, 1e22, 2**31, -2**31 - 1,
    ])


def random_doc(rng, depth):
    if depth <= 0 or rng.random() < 0.3:
        return rng.choice([None, True, False, random_number(rng), random_number(rng), random_text(rng)])
    if rng.random() < 0.5:
        return [random_doc(rng, depth - 1) for _ in range(rng.randrange(0, 5))]
    return {random_text(rng): random_doc(rng, depth - 1) for _ in range(rng.randrange(0, 5))}


def equal(a, b):
    """Python's == but numbers by value, whether int or float."""
    if isinstance(a, bool) or isinstance(b, bool):
        return a is b
    if isinstance(a, (int, float)) and isinstance(b, (int, float)):
        return float(a) == float(b)
    if isinstance(a, list) and isinstance(b, list):
        return len(a) == len(b) and all(equal(x, y) for x, y in zip(a, b))
    if isinstance(a, dict) and isinstance(b, dict):
        return list(a) == list(b) and all(equal(a[k], b[k]) for k in a)
    return type(a) is type(b) and a == b


def deep(n):
    doc = "end"
    for i in range(n):
        doc = [doc, i] if i % 2 else {"k": doc, "e": 1.5e-7}
    return doc


def documents(tmp):
    rng = random.Random(20261210)
    docs = [random_doc(rng, 6) for _ in range(60)] + [deep(300)]
    for i, doc in enumerate(docs):
        text = json.dumps(doc, ensure_ascii=bool(i % 2), indent=(2 if i % 3 == 0 else None))
        with open(os.path.join(tmp, f"in-{i}.json"), "w", encoding="utf-8") as f:
            f.write(text)
    body = r'''
n: %s
repeat i n [
	v: load-json read rejoin [%%in- i - 1 %%.json]
	write rejoin [%%plain- i - 1 %%.json] to-json :v
	write rejoin [%%pretty- i - 1 %%.json] to-json/pretty :v "  "
	write rejoin [%%ascii- i - 1 %%.json] to-json/ascii :v
	write rejoin [%%dump- i - 1 %%.txt] dump :v copy ""
]
print "done"
''' % len(docs)
    rc, out = run_zem(tmp, body, timeout=240)
    if (rc, out.strip()) != (0, "done"):
        failures.append(f"documents: status {rc}, output {out[:500]!r}")
        return
    for i, doc in enumerate(docs):
        with open(os.path.join(tmp, f"dump-{i}.txt"), encoding="utf-8") as f:
            if not same_dump(py_dump(doc, []), f.read().split()):
                failures.append(f"document {i}: load-json differs from python")
        for kind in ("plain", "pretty", "ascii"):
            with open(os.path.join(tmp, f"{kind}-{i}.json"), "rb") as f:
                raw = f.read()
            try:
                back = json.loads(raw.decode("utf-8"))
            except ValueError as e:
                failures.append(f"document {i} ({kind}): python cannot read zem's text: {e}")
                continue
            if not equal(doc, back):
                failures.append(f"document {i} ({kind}): python reads back a different value")
            if kind == "ascii" and any(b > 127 for b in raw):
                failures.append(f"document {i} (ascii): bytes outside ASCII")
            if kind == "pretty" and doc not in ([], {}) and isinstance(doc, (list, dict)) and b"\n" not in raw:
                failures.append(f"document {i} (pretty): one line")


with tempfile.TemporaryDirectory() as tmp:
    suite(tmp)
    documents(tmp)

if failures:
    print("\n".join(failures))
    sys.exit(1)
print("ok")
