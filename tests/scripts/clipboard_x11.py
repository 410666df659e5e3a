#!/usr/bin/env python3
# The clipboard on a real X server (Xvfb) with xclip as the independent
# peer: text, files and images from zem to xclip and back, large data in
# INCR steps, an empty clipboard, an owner that never answers, a display
# that freezes, and the clipboard kept in the process when there is no
# display. Skipped (exit 77) when Xvfb or xclip is missing or no X server
# starts.
import os
import random
import shutil
import signal
import subprocess
import sys
import tempfile
import time

ZEM = os.path.realpath(sys.argv[1])
SKIP = 77
failures = []

try:
    from PIL import Image
except ImportError:
    print("SKIP: python3's PIL is missing")
    sys.exit(SKIP)


def check(name, got, expected):
    if got != expected:
        failures.append(f"{name}:\n    expected {expected!r}\n    got      {got!r}")


def start_xvfb():
    """An Xvfb on a display number it picks itself; (process, display) or None."""
    if not shutil.which("Xvfb") or not shutil.which("xclip"):
        return None
    r, w = os.pipe()
    try:
        x = subprocess.Popen(["Xvfb", "-displayfd", str(w), "-nolisten", "tcp", "-screen", "0", "64x64x24"],
                             pass_fds=(w,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    except OSError:
        return None
    os.close(w)
    number = b""
    deadline = time.time() + 20
    os.set_blocking(r, False)
    while time.time() < deadline and not number.endswith(b"\n") and x.poll() is None:
        try:
            number += os.read(r, 16)
        except BlockingIOError:
            time.sleep(0.05)
    os.close(r)
    if not number.strip().isdigit():
        x.kill()
        x.wait()
        return None
    return x, ":" + number.decode().strip()


def zem_string(text):
    """The text as a zem string literal."""
    out = []
    for c in text:
        out.append({"^": "^^", '"': '^"', "\n": "^/", "\r": "^M", "\t": "^-"}.get(c, c))
    return '"' + "".join(out) + '"'


class Session:
    def __init__(self, tmp, display):
        self.tmp = tmp
        self.env = dict(os.environ, DISPLAY=display, XDG_CACHE_HOME=os.path.join(tmp, ".cache"))

    def path(self, name):
        return os.path.join(self.tmp, name)

    def zem(self, body, env=None):
        """Runs a script; answers its output lines. (It ends with its output
        read whole: the server it leaves holds none of its pipes.)"""
        with open(self.path("t.zem"), "w", encoding="utf-8") as f:
            f.write("Zem []\n" + body)
        p = subprocess.run([ZEM, "t.zem"], cwd=self.tmp, env=env or self.env, stdin=subprocess.DEVNULL,
                           capture_output=True, timeout=60)
        out = p.stdout.decode("utf-8", "replace")
        if p.returncode != 0:
            failures.append(f"zem failed on {body!r}: {out}{p.stderr.decode('utf-8', 'replace')}")
        return out.splitlines()

    def xclip_out(self, target=None):
        """What xclip reads from the clipboard (None when it gets nothing)."""
        cmd = ["xclip", "-selection", "clipboard", "-o"] + (["-t", target] if target else [])
        p = subprocess.run(cmd, env=self.env, capture_output=True, timeout=30)
        return p.stdout if p.returncode == 0 else None

    def xclip_in(self, data, target):
        subprocess.run(["xclip", "-selection", "clipboard", "-i", "-t", target], input=data, env=self.env,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=30, check=True)

    def servers(self):
        """Our clipboard servers still running on this display."""
        found = []
        for pid in os.listdir("/proc"):
            if not pid.isdigit():
                continue
            try:
                if os.path.realpath(f"/proc/{pid}/exe") != ZEM:
                    continue
                with open(f"/proc/{pid}/environ", "rb") as f:
                    if b"DISPLAY=" + self.env["DISPLAY"].encode() + b"\0" in f.read() + b"\0":
                        found.append(int(pid))
            except OSError:
                pass
        return found


TEXTS = ["hello", "héllo wörld ✓ 日本語 😀", "two\nlines\n", "tab\there ^ \"quoted\"", " "]


def text_cases(s):
    # zem -> xclip: the text as written, under each text target we offer
    for text in TEXTS:
        check("zem writes " + repr(text), s.zem(f"print write-clipboard {zem_string(text)}\n"), ["true"])
        check("xclip reads " + repr(text), s.xclip_out(), text.encode())
        check("xclip reads text/plain;charset=utf-8 of " + repr(text),
              s.xclip_out("text/plain;charset=utf-8"), text.encode())
    targets = (s.xclip_out("TARGETS") or b"").decode().split()
    check("targets offered for text", sorted(targets),
          sorted(["TARGETS", "TIMESTAMP", "UTF8_STRING", "text/plain;charset=utf-8", "text/plain", "TEXT"]))
    # xclip -> zem: UTF-8 with CR LF as LF, Latin-1 as STRING, a bad byte
    # as U+FFFD, and text after a NUL dropped
    cases = [(t.encode(), "UTF8_STRING", t) for t in TEXTS] + [
        (b"dos\r\nlines\r\nlone\rcr", "UTF8_STRING", "dos\nlines\nlone\rcr"),
        (b"caf\xe9", "STRING", "café"),
        (b"bad \xff byte", "UTF8_STRING", "bad \ufffd byte"),
        (b"cut\0here", "UTF8_STRING", "cut"),
    ]
    for data, target, want in cases:
        s.xclip_in(data, target)
        s.zem("write %got.txt read-clipboard\n")
        with open(s.path("got.txt"), "rb") as f:
            check(f"zem reads {target} {data!r}", f.read().decode("utf-8"), want)


def file_cases(s):
    check("zem writes files", s.zem("print write-clipboard [%/tmp/a %/tmp/b%20c.txt %rel]\n"), ["true"])
    want = f"file:///tmp/a\r\nfile:///tmp/b%20c.txt\r\nfile://{s.tmp}/rel\r\n".encode()
    check("xclip reads text/uri-list", s.xclip_out("text/uri-list"), want)
    s.xclip_in(b"# a comment\r\nfile:///tmp/x%20y\r\nfile://localhost/etc/hosts\nfile:/usr\n", "text/uri-list")
    check("zem reads text/uri-list", s.zem("foreach f read-clipboard [print mold f]\n"),
          ['%"/tmp/x y"', "%/etc/hosts", "%/usr"])
    # a list of web links is no list of files
    s.xclip_in(b"http://example.com/\r\n", "text/uri-list")
    check("zem reads a uri-list of links", s.zem("print mold read-clipboard\n"), ["none"])


def image_cases(s):
    rnd = random.Random(7)
    small = Image.new("RGBA", (5, 3))
    small.putdata([(rnd.randrange(256), rnd.randrange(256), rnd.randrange(256), a)
                   for a in [255, 0, 128, 1, 254] * 3])
    # noise that PNG cannot shrink: more than one request, sent in INCR steps
    large = Image.frombytes("RGBA", (400, 400), bytes(rnd.randrange(256) for _ in range(400 * 400 * 4)))
    for name, img in [("small", small), ("large", large)]:
        img.save(s.path("in.png"))
        check(f"zem writes the {name} image", s.zem("print write-clipboard load %in.png\n"), ["true"])
        data = s.xclip_out("image/png")
        if data is None:
            failures.append(f"xclip reads no {name} image")
        else:
            with open(s.path("xclip.png"), "wb") as f:
                f.write(data)
            with Image.open(s.path("xclip.png")) as got:
                check(f"xclip reads the {name} image", (got.size, got.convert("RGBA").tobytes()),
                      (img.size, img.tobytes()))
        with open(s.path("in.png"), "rb") as f:
            s.xclip_in(f.read(), "image/png")
        check(f"zem reads the {name} image", s.zem("save %out.png read-clipboard print 'saved\n"), ["saved"])
        with Image.open(s.path("out.png")) as got:
            check(f"zem's {name} image", (got.size, got.convert("RGBA").tobytes()), (img.size, img.tobytes()))
    # an image in another encoding the owner offers
    small.convert("RGB").save(s.path("in.bmp"))
    with open(s.path("in.bmp"), "rb") as f:
        s.xclip_in(f.read(), "image/bmp")
    check("zem reads image/bmp", s.zem("print (read-clipboard) = load %in.bmp\n"), ["true"])


def empty_cases(s):
    check("zem reads the clipboard no one owns", s.zem("print mold read-clipboard\n"), ["none"])
    s.zem("write-clipboard {held}\n")
    check("a server holds what zem wrote", len(s.servers()), 1)
    # writing again hands over to a new server; the old one ends
    s.zem("write-clipboard {again}\n")
    time.sleep(0.5)
    check("one server after a second write", len(s.servers()), 1)
    check("zem empties the clipboard", s.zem("print write-clipboard none print mold read-clipboard\n"),
          ["true", "none"])
    check("xclip reads the emptied clipboard", s.xclip_out(), None)
    time.sleep(0.5)
    check("servers left after emptying", s.servers(), [])
    # an image of no pixels only empties the clipboard
    s.xclip_in(b"x", "UTF8_STRING")
    check("zem writes an empty image", s.zem("print write-clipboard make image! 0x0 print mold read-clipboard\n"),
          ["true", "none"])
    # another program taking the clipboard ends our server
    s.zem("write-clipboard {mine}\n")
    s.xclip_in(b"theirs", "UTF8_STRING")
    time.sleep(0.5)
    check("servers left after another program took the clipboard", s.servers(), [])
    check("zem reads the other program's text", s.zem("print read-clipboard\n"), ["theirs"])


def same_process(s):
    """What a script writes it reads back through the display, and the
    server it starts is no child of its own left unwaited."""
    with open(s.path("t.zem"), "w") as f:
        f.write("Zem []\n"
                "img: make image! [2x2 #{FF000000FF000000FF808080}]\n"
                "print write-clipboard {één} print read-clipboard\n"
                "print write-clipboard img print (read-clipboard) = img\n"
                "print write-clipboard [%/tmp/one %/tmp/two] print mold read-clipboard\n"
                "print {done} input\n")
    p = subprocess.Popen([ZEM, "t.zem"], cwd=s.tmp, env=s.env, stdin=subprocess.PIPE, stdout=subprocess.PIPE)
    lines = [p.stdout.readline().decode().rstrip("\n") for _ in range(7)]
    check("written and read back in one script", lines,
          ["true", "één", "true", "true", "true", "[%/tmp/one %/tmp/two]", "done"])
    children = []
    for pid in os.listdir("/proc"):
        try:
            with open(f"/proc/{pid}/stat") as f:
                fields = f.read().rsplit(")", 1)[1].split()
            if int(fields[1]) == p.pid:
                children.append((pid, fields[0]))
        except (OSError, ValueError, IndexError):
            pass
    check("children of a script that wrote the clipboard", children, [])
    p.communicate(b"\n", timeout=60)
    check("xclip reads the script's last write", s.xclip_out("text/uri-list"), b"file:///tmp/one\r\nfile:///tmp/two\r\n")


def silent_owner(s):
    """An owner that never answers: reading gives false, in bounded time."""
    x = subprocess.Popen(["xclip", "-selection", "clipboard", "-i", "-quiet", "-t", "UTF8_STRING"],
                         stdin=subprocess.PIPE, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=s.env)
    x.stdin.write(b"stuck")
    x.stdin.close()
    for _ in range(100):
        if s.xclip_out() == b"stuck":
            break
        time.sleep(0.05)
    os.kill(x.pid, signal.SIGSTOP)
    try:
        start = time.time()
        check("zem reads from a silent owner", s.zem("print mold read-clipboard\n"), ["false"])
        check("zem gave up on the silent owner in time", time.time() - start < 15, True)
        # writing needs no answer from the old owner
        check("zem takes over from a silent owner", s.zem("print write-clipboard {over}\n"), ["true"])
        check("xclip reads after the takeover", s.xclip_out(), b"over")
    finally:
        os.kill(x.pid, signal.SIGKILL)
        x.wait()


def frozen_display(s, xvfb):
    """A display that stops answering altogether (even a connection's
    set-up): both operations give false in bounded time, and a server that
    gets through once the display wakes again serves nothing."""
    s.zem("write-clipboard none\n")
    os.kill(xvfb.pid, signal.SIGSTOP)
    try:
        start = time.time()
        check("zem on a frozen display", s.zem("print mold read-clipboard print write-clipboard {late}\n"),
              ["false", "false"])
        check("zem gave up on the frozen display in time", time.time() - start < 20, True)
    finally:
        os.kill(xvfb.pid, signal.SIGCONT)
    time.sleep(1)
    check("the clipboard after the frozen display woke", s.xclip_out(), None)
    check("servers left after the frozen display woke", s.servers(), [])


def no_display(s):
    """Without a display the clipboard lives in the process."""
    script = "print write-clipboard {inside} print read-clipboard print write-clipboard 5\n"
    for name, display in [("unset", None), ("empty", ""), ("no server", ":4097")]:
        env = dict(s.env)
        if display is None:
            env.pop("DISPLAY")
        else:
            env["DISPLAY"] = display
        with open(s.path("t.zem"), "w") as f:
            f.write("Zem []\n" + script)
        p = subprocess.run([ZEM, "t.zem"], cwd=s.tmp, env=env, stdin=subprocess.DEVNULL,
                           capture_output=True, text=True, timeout=60)
        lines = p.stdout.splitlines()
        check(f"no display ({name})", lines[:2], ["true", "inside"])
        check(f"no display ({name}): write-clipboard 5 fails", "invalid argument" in p.stdout + p.stderr, True)
    # and the X clipboard is left alone
    check("the display's clipboard after the fallback", s.xclip_out(), b"over")


def main():
    started = start_xvfb()
    if not started:
        print("SKIP: no X server (Xvfb and xclip) can start here")
        return SKIP
    xvfb, display = started
    try:
        with tempfile.TemporaryDirectory() as tmp:
            s = Session(os.path.realpath(tmp), display)
            empty_cases(s)
            text_cases(s)
            file_cases(s)
            image_cases(s)
            same_process(s)
            silent_owner(s)
            no_display(s)
            frozen_display(s, xvfb)
            s.zem("write-clipboard none\n")
    finally:
        xvfb.terminate()
        xvfb.wait(timeout=30)
    for f in failures:
        print("FAIL", f)
    print(f"{len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
