#!/usr/bin/env python3
# Runs the real zem on script files: the command line as the script sees it,
# script headers, preprocessor messages and exit statuses, and files written
# and read by zem checked against python's own view of them.
import os
import subprocess
import sys
import tempfile

ZEM = os.path.abspath(sys.argv[1])
failures = []


def run(args, cwd, stdin=""):
    env = dict(os.environ)
    env["XDG_CACHE_HOME"] = os.path.join(cwd, ".cache")
    p = subprocess.run([ZEM] + args, cwd=cwd, input=stdin.encode(), env=env,
                       stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=60)
    return p.returncode, p.stdout.decode("utf-8", "replace")


def check(name, got, expected):
    if got != expected:
        failures.append(f"{name}:\n    expected {expected!r}\n    got      {got!r}")


def write(path, text):
    os.makedirs(os.path.dirname(path) or ".", exist_ok=True)
    with open(path, "w", encoding="utf-8") as f:
        f.write(text)


def command_line(tmp):
    write(os.path.join(tmp, "sub", "args.zem"),
          "; a comment line before the header\n"
          "Zem [Title: \"args\"]\n"
          "print mold system/script/args\n"
          "print mold system/options/args\n"
          "print mold system/options/script\n"
          "print mold what-dir\n"
          "print system/options/boot = to-local-file system/options/boot\n")
    sub = os.path.join(tmp, "sub") + "/"
    # the raw text after the script name, the arguments as strings
    rc, out = run(["sub/args.zem", "a", "b c", "", "d"], tmp)
    check("script args", (rc, out.splitlines()),
          (0, ['{a "b c" "" d}', '["a" "b c" "" "d"]', "%sub/args.zem", "%" + sub, "true"]))
    rc, out = run(["sub/args.zem"], tmp)
    check("no script args", out.splitlines()[:3], ['""', "[]", "%sub/args.zem"])
    # switches before the script name are not the script's
    rc, out = run(["--x", "--", "sub/args.zem", "--y", "1"], tmp)
    check("switches", out.splitlines()[:2], ['"--y 1"', '["--y" "1"]'])
    # the boot path is the program itself
    write(os.path.join(tmp, "boot.zem"), "Zem []\nprint system/options/boot\n")
    rc, out = run(["boot.zem"], tmp)
    check("boot", out.strip(), ZEM)


def script_mode(tmp):
    write(os.path.join(tmp, "noh.zem"), "x: 1\nprint x\n")
    rc, out = run(["noh.zem"], tmp)
    check("no header", (rc, out), (254, "*** Error: Zem header not found!\n"))

    write(os.path.join(tmp, "err.zem"), "Zem []\nprint 1\n1 / 0\nprint 2\n")
    rc, out = run(["err.zem"], tmp)
    check("error status", (rc, out.splitlines()[:2]), (254, ["1", "*** Math Error: attempt to divide by zero"]))

    rc, out = run(["no-such-script.zem"], tmp, stdin="print 40 + 2\n")
    check("unreadable script fails", (rc, out.startswith("*** Access Error"), "42" in out), (254, True, False))

    # a malformed pattern macro stops the script before it runs
    write(os.path.join(tmp, "macro.zem"),
          "Zem []\nprint \"ran\"\n#macro [integer!] func [s][s/1]\n")
    rc, out = run(["macro.zem"], tmp)
    check("macro error", (rc, out.splitlines()),
          (254, ["*** Macro Error: invalid specification", "*** Where: [[integer!] func [s]]"]))
    rc, out = run(["--catch", "macro.zem"], tmp, stdin="print 6 * 7\n")
    check("macro error with --catch", ("ran" in out, "42" in out), (False, True))

    # #include runs the other script and brings its macros along
    write(os.path.join(tmp, "lib", "mac.zem"),
          "Zem []\n#macro twice: func [x][x * 2]\nlib-value: 40\n")
    write(os.path.join(tmp, "lib", "main.zem"),
          "Zem []\n#include %mac.zem\nprint lib-value + 2\nprint twice 21\n")
    rc, out = run(["lib/main.zem"], tmp)
    check("include", (rc, out.splitlines()), (0, ["42", "42"]))

    write(os.path.join(tmp, "pp.zem"),
          "Zem []\nprint [#if true [1 2] #either false [3][4]]\n"
          "x: 2\nif x = 2 [print \"if\"]\ndo [print \"do\"]\n")
    rc, out = run(["pp.zem"], tmp)
    check("directives", (rc, out), (0, "1 2 4\nif\ndo\n"))

    # ":" and "\\" are ordinary characters of a script's file name
    for name in ("x:y.zem", "a\\b.zem"):
        write(os.path.join(tmp, name), "Zem []\nprint mold system/options/script\n")
        rc, out = run([name], tmp)
        check("script named " + name, (rc, out), (0, '%%"%s"\n' % name))

    # #include-binary reads the file where the directive stood
    with open(os.path.join(tmp, "data.bin"), "wb") as f:
        f.write(b"\x00\x01z")
    write(os.path.join(tmp, "bin.zem"), "Zem []\nprint mold #include-binary %data.bin\n")
    rc, out = run(["bin.zem"], tmp)
    check("include-binary", (rc, out), (0, "#{00017A}\n"))
    # an error in a condition names the directive where it happened
    write(os.path.join(tmp, "pperr.zem"), "Zem []\n#if 1 / 0 [a]\n")
    rc, out = run(["pperr.zem"], tmp)
    check("preprocessor error", out.splitlines()[:3],
          ["*** Preprocessor Error in #if", "*** Math Error: attempt to divide by zero", "*** Where: if"])


def files(tmp):
    os.makedirs(os.path.join(tmp, "f", "dir"))
    write(os.path.join(tmp, "f", "plain.txt"), "x")
    write(os.path.join(tmp, "f", "lines.txt"), "one\n\nthree\n")
    write(os.path.join(tmp, "f", "files.zem"),
          "Zem []\n"
          "write %t.txt \"a^/b\"\n"
          "print mold read %t.txt\n"
          "print mold read/lines %lines.txt\n"
          "write/lines %out.txt [\"x\" \"\" \"zé\"]\n"
          "print mold sort read %./\n"
          "make-dir/deep %a/b/c/\n")
    rc, out = run(["f/files.zem"], tmp)
    lines = out.splitlines()
    with open(os.path.join(tmp, "f", "t.txt"), "rb") as f:
        check("write bytes", f.read(), b"a\nb")
    check("read back", lines[0], '"a^/b"')
    check("read/lines", lines[1], '["one" "" "three"]')
    with open(os.path.join(tmp, "f", "out.txt"), "rb") as f:
        check("write/lines", f.read(), "x\n\nzé\n".encode())
    entries = sorted("%" + e + ("/" if os.path.isdir(os.path.join(tmp, "f", e)) else "")
                     for e in ["dir", "plain.txt", "lines.txt", "files.zem", "t.txt", "out.txt"])
    check("listing", lines[2], "[" + " ".join(entries) + "]")
    check("make-dir/deep", os.path.isdir(os.path.join(tmp, "f", "a", "b", "c")), True)
    check("files status", rc, 0)


def line_ends(tmp):
    # read folds CR LF and a lone CR to LF and skips a leading byte-order
    # mark, as python's universal newlines with utf-8-sig do; read/lines
    # splits at LF only, dropping a CR before it.
    raw = b"\xef\xbb\xbfa\rb\r\nc\n\rd\r\xef\xbb\xbfe\n"  # a U+FEFF inside the text stays
    with open(os.path.join(tmp, "cr.txt"), "wb") as f:
        f.write(raw)
    with open(os.path.join(tmp, "cr.txt"), encoding="utf-8-sig", newline=None) as f:
        text = f.read()
    write(os.path.join(tmp, "cr.zem"),
          "Zem []\n"
          "t: read %cr.txt\n"
          "print [length? t none? find t #\"^M\"]\n"
          "foreach line read/lines %cr.txt [print mold line]\n"
          "write %back.txt t\n")
    rc, out = run(["cr.zem"], tmp)
    check("line ends status", rc, 0)
    lines = out.splitlines()
    check("read folds every line end", lines[0], "%d true" % len(text))
    check("read/lines", lines[1:], ['"%s"' % l.rstrip("\r").replace("\r", "^M")
                                    for l in raw[3:].decode().rstrip("\n").split("\n")])
    with open(os.path.join(tmp, "back.txt"), "rb") as f:
        check("the text read", f.read(), text.encode())


def compression(tmp):
    # Raw DEFLATE both ways against python's zlib (wbits=-15): what zem
    # compresses python inflates, and zem inflates python's stored, fixed
    # and dynamic blocks.
    import zlib
    data = ("zem " * 300 + "".join(chr(32 + i % 90) for i in range(5000))).encode()
    for level in (0, 1, 9):
        c = zlib.compressobj(level, zlib.DEFLATED, -15)
        with open(os.path.join(tmp, "py%d.bin" % level), "wb") as f:
            f.write(c.compress(data) + c.flush())
    with open(os.path.join(tmp, "data.bin"), "wb") as f:
        f.write(data)
    write(os.path.join(tmp, "deflate.zem"),
          "Zem []\n"
          "data: read/binary %data.bin\n"
          "write/binary %zem.bin compress data 'deflate\n"
          "write/binary %empty.bin compress #{} 'deflate\n"
          "foreach n [0 1 9] [\n"
          "    print (decompress read/binary rejoin [%py n %.bin] 'deflate) = data\n"
          "]\n")
    rc, out = run(["deflate.zem"], tmp)
    check("deflate status", rc, 0)
    check("zem inflates python's streams", out.splitlines(), ["true", "true", "true"])
    with open(os.path.join(tmp, "zem.bin"), "rb") as f:
        check("python inflates zem's stream", zlib.decompress(f.read(), -15) == data, True)
    with open(os.path.join(tmp, "empty.bin"), "rb") as f:
        packed = f.read()
    check("empty input", (packed, zlib.decompress(packed, -15)), (b"\x03\x00", b""))


with tempfile.TemporaryDirectory() as tmp:
    for case in (command_line, script_mode, files, line_ends, compression):
        os.makedirs(os.path.join(tmp, case.__name__))
        case(os.path.join(tmp, case.__name__))

for f in failures:
    print(f)
print(f"{len(failures)} failed" if failures else "all passed")
sys.exit(1 if failures else 0)
