"""What the piped-console drivers share: zem run on text piped to it, and
the failures collected by their checks."""
import subprocess
import sys

ZEM = sys.argv[1]
failures = []


def run(code):
    """The console's output for `code` without the banner."""
    p = subprocess.run([ZEM], input=code.encode(), capture_output=True, timeout=60)
    return "\n".join(p.stdout.decode("utf-8").split("\n")[3:])


def check(name, got, want):
    if got != want:
        failures.append("%s\n--- expected\n%s\n--- got\n%s" % (name, want, got))
