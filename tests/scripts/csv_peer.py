#!/usr/bin/env python3
# The CSV codec against python's csv module: files written by csv.writer
# (CR LF and LF line ends, minimal and full quoting, the delimiters "," ";"
# and TAB, the quote characters '"' and "'") read by load-csv give the rows
# csv.reader gives; rows of strings and integers written by to-csv read
# back in csv.reader to the same texts.
import csv
import io
import json
import os
import random
import subprocess
import sys
import tempfile

ZEM = os.path.abspath(sys.argv[1])
failures = []

PIECES = ["a", "Zz", "1", "2.5", " ", ",", ";", "\t", '"', "'", "\n", "\r", "\r\n", "é", "😀", "x y", ""]
DIALECTS = [  # delimiter, quote character, line end, quoting
    (",", '"', "\r\n", csv.QUOTE_MINIMAL),
    (",", '"', "\n", csv.QUOTE_MINIMAL),
    (";", '"', "\r\n", csv.QUOTE_ALL),
    ("\t", '"', "\n", csv.QUOTE_MINIMAL),
    (",", "'", "\r\n", csv.QUOTE_MINIMAL),
    ("\t", "'", "\n", csv.QUOTE_ALL),
]


def random_rows(rng):
    width = rng.randrange(1, 6)
    rows = []
    for _ in range(rng.randrange(1, 12)):
        rows.append([rng.randrange(-10**6, 10**6) if rng.random() < 0.2 else
                     "".join(rng.choice(PIECES) for _ in range(rng.randrange(0, 4))) for _ in range(width)])
    return rows


def zem_char(c):
    return {"\t": '#"^-"', '"': '#"^""'}.get(c, '#"' + c + '"')


def dump_rows(rows):
    return "\n".join(" ".join("f" + "".join("%06X." % ord(c) for c in field) for field in row) for row in rows)


DUMP = r'''
dump: func [rows /local out][
	out: copy ""
	foreach row rows [
		foreach field row [
			append out " f"
			foreach c field [append out rejoin [to-hex/size to integer! c 6 "."]]
		]
		append out newline
	]
	out
]
'''


def run_zem(tmp, body):
    script = os.path.join(tmp, "run.zem")
    with open(script, "w", encoding="utf-8") as f:
        f.write("Zem []\n" + DUMP + body)
    env = dict(os.environ, XDG_CACHE_HOME=os.path.join(tmp, ".cache"))
    p = subprocess.run([ZEM, script], cwd=tmp, env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                       timeout=240)
    return p.returncode, p.stdout.decode("utf-8", "replace")


def main(tmp):
    rng = random.Random(20261210)
    cases = []
    for i in range(120):
        delimiter, quote, line_end, quoting = DIALECTS[i % len(DIALECTS)]
        rows = random_rows(rng)
        # python writes the file, python reads it: the rows load-csv must give
        text = io.StringIO(newline="")
        csv.writer(text, delimiter=delimiter, quotechar=quote, lineterminator=line_end,
                   quoting=quoting).writerows(rows)
        with open(os.path.join(tmp, f"py-{i}.csv"), "w", encoding="utf-8", newline="") as f:
            f.write(text.getvalue())
        # A blank line is one empty field to load-csv (none to csv.reader),
        # and lines of unequal length are its "Data are not aligned" (python's
        # writer does not quote a lone CR under an LF line end, so its own
        # reader splits such a row).
        expected = [row or [""] for row in csv.reader(io.StringIO(text.getvalue(), newline=""),
                                                      delimiter=delimiter, quotechar=quote)]
        if len({len(row) for row in expected}) > 1:
            expected = "Data are not aligned"
        # the rows for to-csv, as JSON
        with open(os.path.join(tmp, f"rows-{i}.json"), "w", encoding="utf-8") as f:
            json.dump(rows, f)
        cases.append((delimiter, quote, rows, expected))

    body = "cases: [\n" + "\n".join(f"{zem_char(d)} {zem_char(q)}" for d, q, _, _ in cases) + "\n]\n" + r'''
i: 0
foreach [delimiter quote-char] cases [
	rows: load-csv/with/quote to string! read/binary rejoin [%py- i %.csv] delimiter quote-char
	write rejoin [%loaded- i %.txt] either block? rows [dump rows][rows/arg1]
	rows: load-json read rejoin [%rows- i %.json]
	write rejoin [%zem- i %.csv] to-csv/with/quote rows delimiter quote-char
	i: i + 1
]
print "done"
'''
    rc, out = run_zem(tmp, body)
    if (rc, out.strip()) != (0, "done"):
        failures.append(f"status {rc}, output {out[:800]!r}")
        return
    for i, (delimiter, quote, rows, expected) in enumerate(cases):
        with open(os.path.join(tmp, f"loaded-{i}.txt"), encoding="utf-8", newline="") as f:
            got = f.read().strip("\n")
        if got.replace("\n ", "\n").lstrip(" ") != (expected if isinstance(expected, str) else dump_rows(expected)):
            failures.append(f"case {i}: load-csv of python's {open(os.path.join(tmp, f'py-{i}.csv'), newline='').read()!r}"
                            f" gives {got[:300]!r}, csv.reader {expected!r}")
        with open(os.path.join(tmp, f"zem-{i}.csv"), encoding="utf-8", newline="") as f:
            written = f.read()
        back = list(csv.reader(io.StringIO(written, newline=""), delimiter=delimiter, quotechar=quote))
        if back != [[str(field) for field in row] for row in rows]:
            failures.append(f"case {i}: csv.reader of to-csv's {written!r} gives {back!r}, not {rows!r}")


with tempfile.TemporaryDirectory() as tmp:
    main(tmp)

if failures:
    print("\n".join(failures[:20]))
    sys.exit(1)
print("ok")
