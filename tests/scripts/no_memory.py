#!/usr/bin/env python3
# Runs the real zem with its address space limited (RLIMIT_AS) and checks
# that operations whose buffers cannot be had fail with the catchable
# no-memory error: the script goes on, its data intact. Not for the
# sanitizer build, which cannot start under a small address space.
import os
import resource
import struct
import subprocess
import sys
import tempfile

ZEM = os.path.abspath(sys.argv[1])
LIMIT_KB = 1_500_000

# Each script sizes its data from the room the limit leaves it, runs its
# cases under try, then checks its data and that the runtime still works.
PROLOGUE = """Zem []
t: read %/proc/self/status
parse t [thru "VmSize:" copy v to "kB" to end]
room: 1024 * ((to integer! get-env "ZEM_LIMIT_KB") - to integer! trim v)
"""
RUN = """foreach c [CASES] [r: try c print [mold c either error? r [r/id] ["no error"]]]
"""

# Natives with C++ buffers: b and the string s take 80% of the room, so that
# no further copy of either fits.
NATIVES = ("""size: to integer! room * 0.4
b: append/dup #{} #{41} size
s: append/dup copy "" "A" size
print ["set-up" (length? s) = size]
""", ["enbase b", "enbase/base b 16", "compress b 'zlib", "compress b 'gzip",
      "checksum s 'md5", "checksum s 'sha256", "save/as %out.bin b 'zembin",
      "to string! b", "mold s", "form b", "to binary! s", "append copy b b"],
    """recycle
print ["intact" (length? b) = size (length? s) = size (last b) = 65 (last s) = #"A"]
print ["after" enbase copy/part b 3]
""", ["intact true true true true", "after QUFB"])

# The runtime's own buffers sized by user data: the lexer's UTF-8 copy of a
# string and its output stack, the merge-sort scratch, the decompressed rest
# of a ZEMBIN image claiming a large size, the hash table arrays; and many
# series taking every series frame. The string s takes 80% of the room: a
# sort that went through would bring its spaces first.
RUNTIME = ("""size: 4 * to integer! room * 0.2
s: append/dup copy "" "1 " size / 2
print ["set-up" (length? s) = size]
""", ["load s", "load skip s to integer! size * 0.95", "sort/stable s", "load %packed.zembin",
      "make hash! size / 4", "make map! size / 4", "save/as %out.bin s 'zembin"],
    """recycle
print ["intact" (length? s) = size (copy/part s 4) = "1 1 " (last s) = #" "]
s: none
frames: copy []
r: try [forever [append frames make string! 500000]]
n: length? frames
frames: none
recycle
print ["frames" r/id n > 10]
print ["after" mold load "1 [2 3]" mold sort/stable [3 1 2] length? make map! [a 1 b 2]]
""", ["intact true true true", "frames no-memory true", "after [1 [2 3]] [1 2 3] 2"])


# A compressed ZEMBIN image whose header claims the most output its size
# allows; the stream itself is never read when that output cannot be had.
def packed_image(path):
    stream = 3_000_000
    with open(path, "wb") as f:
        f.write(b"ZEMBIN" + bytes([2, 3]) + struct.pack("<II", stream, 206 * stream) + bytes(stream))


def limit():
    resource.setrlimit(resource.RLIMIT_AS, (LIMIT_KB * 1024, LIMIT_KB * 1024))


def run(tmp, setup, cases, check):
    path = os.path.join(tmp, "no-memory.zem")
    with open(path, "w", encoding="utf-8") as f:
        f.write(PROLOGUE + setup + RUN.replace("CASES", " ".join(f"[{c}]" for c in cases)) + check)
    env = dict(os.environ, ZEM_LIMIT_KB=str(LIMIT_KB), XDG_CACHE_HOME=os.path.join(tmp, ".cache"))
    p = subprocess.run([ZEM, path], cwd=tmp, env=env, preexec_fn=limit, stdout=subprocess.PIPE,
                       stderr=subprocess.STDOUT, timeout=120)
    return p.returncode, p.stdout.decode("utf-8", "replace").splitlines()


def main():
    failed = 0
    with tempfile.TemporaryDirectory() as tmp:
        packed_image(os.path.join(tmp, "packed.zembin"))
        for setup, cases, check, after in (NATIVES, RUNTIME):
            status, out = run(tmp, setup, cases, check)
            expected = ["set-up true"] + [f"[{c}] no-memory" for c in cases] + after
            if status != 0 or out != expected:
                failed += 1
                print(f"status {status}")
                for line in out:
                    print(f"    got {line}")
                print("expected:")
                for line in expected:
                    print(f"    {line}")
    if failed:
        return 1
    print(f"no-memory: {len(NATIVES[1]) + len(RUNTIME[1])} cases passed")
    return 0


sys.exit(main())
