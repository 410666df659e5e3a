#!/usr/bin/env python3
# Runs the real zem with its address space limited (RLIMIT_AS) and checks
# that natives whose C++ buffers cannot be had fail with the catchable
# no-memory error: the script goes on, its data intact. Not for the
# sanitizer build, which cannot start under a small address space.
import os
import resource
import subprocess
import sys
import tempfile

ZEM = os.path.abspath(sys.argv[1])
LIMIT_KB = 1_500_000

# The script sizes its binary from the room the limit leaves it: b and the
# string s take 80% of it, so that no further copy of either fits.
SCRIPT = """Zem []
t: read %/proc/self/status
parse t [thru "VmSize:" copy v to "kB" to end]
room: 1024 * ((to integer! get-env "ZEM_LIMIT_KB") - to integer! trim v)
size: to integer! room * 0.4
b: append/dup #{} #{41} size
s: append/dup copy "" "A" size
print ["set-up" (length? s) = size]
foreach c [CASES] [r: try c print [mold c either error? r [r/id] ["no error"]]]
recycle
print ["intact" (length? b) = size (length? s) = size (last b) = 65 (last s) = #"A"]
print ["after" enbase copy/part b 3]
"""

CASES = ["enbase b", "enbase/base b 16", "compress b 'zlib", "compress b 'gzip",
         "checksum s 'md5", "checksum s 'sha256", "save/as %out.bin b 'zembin",
         "to string! b", "mold s", "form b", "to binary! s", "append copy b b"]


def limit():
    resource.setrlimit(resource.RLIMIT_AS, (LIMIT_KB * 1024, LIMIT_KB * 1024))


def main():
    with tempfile.TemporaryDirectory() as tmp:
        path = os.path.join(tmp, "no-memory.zem")
        with open(path, "w", encoding="utf-8") as f:
            f.write(SCRIPT.replace("CASES", " ".join(f"[{c}]" for c in CASES)))
        env = dict(os.environ, ZEM_LIMIT_KB=str(LIMIT_KB), XDG_CACHE_HOME=os.path.join(tmp, ".cache"))
        p = subprocess.run([ZEM, path], cwd=tmp, env=env, preexec_fn=limit, stdout=subprocess.PIPE,
                           stderr=subprocess.STDOUT, timeout=120)
    out = p.stdout.decode("utf-8", "replace").splitlines()
    expected = (["set-up true"] + [f"[{c}] no-memory" for c in CASES] +
                ["intact true true true true", "after QUFB"])
    if p.returncode != 0 or out != expected:
        print(f"status {p.returncode}")
        for line in out:
            print(f"    got {line}")
        print("expected:")
        for line in expected:
            print(f"    {line}")
        return 1
    print(f"no-memory: {len(CASES)} cases passed")
    return 0


sys.exit(main())
