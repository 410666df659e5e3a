#!/usr/bin/env python3
# `sort` of blocks against python's sorted(): integers (the extremes, many
# equal keys, runs already in order either way), records sorted by one
# field, /reverse, /stable and a block mixing integers with other numbers.
import os
import random
import subprocess
import sys
import tempfile

ZEM = os.path.abspath(sys.argv[1])
rng = random.Random(30)
LO, HI = -2**31, 2**31 - 1

lists = {
    "random": [rng.randint(LO, HI) for _ in range(20000)],
    "equal-keys": [rng.randint(-3, 3) for _ in range(5000)],
    "ascending": list(range(-500, 1500)),
    "descending": list(range(1500, -500, -1)),
    "extremes": [HI, LO, 0, -1, 1, HI, LO] * 50,
}
records = [(rng.randint(0, 9), i) for i in range(3000)]  # key, then its position

script = ["Zem []", "out: func [v][print mold/only v]"]
for name, xs in lists.items():
    block = "[" + " ".join(map(str, xs)) + "]"
    script.append(f"out sort copy {block}")
    script.append(f"out sort/reverse copy {block}")
    script.append(f"out sort/stable copy {block}")
flat = "[" + " ".join(f"{k} {i}" for k, i in records) + "]"
script.append(f"out sort/stable/skip/compare copy {flat} 2 1")
script.append(f"out sort/stable/skip/compare/reverse copy {flat} 2 1")
script.append(f"out sort/skip/compare copy {flat} 2 1")
mixed = [rng.choice([rng.randint(-50, 50), rng.randint(-50, 50) + 0.5]) for _ in range(2000)]
script.append("out sort copy [" + " ".join(map(str, mixed)) + "]")

with tempfile.NamedTemporaryFile("w", suffix=".zem", delete=False) as f:
    f.write("\n".join(script) + "\n")
out = subprocess.run([ZEM, f.name], capture_output=True, text=True, timeout=120)
os.unlink(f.name)
if out.returncode != 0:
    sys.exit(f"zem failed: {out.stderr}")
lines = out.stdout.splitlines()
failures = []


def check(label, got, want):
    if got != want:
        failures.append(label)


at = 0
for name, xs in lists.items():
    want = [str(x) for x in sorted(xs)]
    check(f"{name} sort", lines[at].split(), want)
    check(f"{name} sort/reverse", lines[at + 1].split(), [str(x) for x in sorted(xs, reverse=True)])
    check(f"{name} sort/stable", lines[at + 2].split(), want)
    at += 3


def pairs(line):
    t = line.split()
    return [(int(t[j]), int(t[j + 1])) for j in range(0, len(t), 2)]


check("records stable", pairs(lines[at]), sorted(records, key=lambda r: r[0]))
# python's reverse keeps equal keys in their order, as a stable sort must
check("records stable reverse", pairs(lines[at + 1]), sorted(records, key=lambda r: r[0], reverse=True))
plain = pairs(lines[at + 2])
check("records by key", [k for k, _ in plain], sorted(k for k, _ in records))
check("records kept whole", sorted(plain), sorted(records))
got_mixed = [float(x) for x in lines[at + 3].split()]
check("mixed numbers", got_mixed, sorted(float(x) for x in mixed))

if failures:
    sys.exit("failed: " + ", ".join(failures))
print("sort agrees with python on", len(lines), "sorts")
