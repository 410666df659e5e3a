#!/usr/bin/env python3
"""Fail when an #include crosses the source layers the wrong way.

Each folder may include its own headers and those of the folders listed for
it below; anything else is a back-edge. Programs (app/, tools/, tests/,
bench/) sit on top and may include everything. Each folder README's "May call"
line says the same.
"""
import pathlib
import re
import sys

MAY_INCLUDE = {
    "platform": [],
    "runtime": ["platform"],
    "evaluator": ["runtime"],
    "datatypes": ["runtime", "evaluator"],
    "services": ["runtime", "evaluator", "datatypes"],
    "natives": ["runtime", "evaluator", "datatypes", "services"],
    "library": ["runtime", "evaluator", "datatypes", "services", "natives"],
    "console": ["runtime", "evaluator", "datatypes", "services", "platform"],
    "gui": ["runtime", "evaluator", "datatypes", "services"],
}
TOP = {"app", "tools", "tests", "bench"}

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"/]+)/')


def main():
    root = pathlib.Path(__file__).resolve().parent.parent
    bad = []
    for path in sorted(root.rglob("*")):
        if path.suffix not in (".h", ".cpp", ".inc") or "build" in path.parts:
            continue
        rel = path.relative_to(root)
        folder = rel.parts[0]
        if folder in TOP or len(rel.parts) < 2:
            continue
        allowed = MAY_INCLUDE.get(folder)
        if allowed is None:
            bad.append(f"{rel}: folder {folder}/ has no place in the layers")
            continue
        for n, line in enumerate(path.read_text(errors="replace").splitlines(), 1):
            m = INCLUDE.match(line)
            if m and m.group(1) != folder and m.group(1) not in allowed:
                bad.append(f"{rel}:{n}: {folder}/ may not include {m.group(1)}/")
    for line in bad:
        print(line)
    if bad:
        print(f"{len(bad)} includes cross the layers the wrong way")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
