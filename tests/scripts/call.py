#!/usr/bin/env python3
# Runs the real zem on scripts that use `call` and `browse`, with python's
# subprocess and shlex as the peers: exit statuses, the shell, the command
# split into words, input and output as strings, binaries and files, pipes
# that fill before the child reads, descriptors and zombies left behind.
import os
import shlex
import subprocess
import sys
import tempfile
import time

ZEM = os.path.abspath(sys.argv[1])
failures = []


def check(name, got, expected):
    if got != expected:
        failures.append(f"{name}:\n    expected {expected!r}\n    got      {got!r}")


def write(path, text, mode=None):
    with open(path, "w", encoding="utf-8") as f:
        f.write(text)
    if mode:
        os.chmod(path, mode)


def run(tmp, body, env=None, popen=False):
    """Runs the script body in tmp; answers its status and its output lines."""
    write(os.path.join(tmp, "t.zem"), "Zem []\n" + body)
    e = dict(os.environ)
    e["XDG_CACHE_HOME"] = os.path.join(tmp, ".cache")
    e.update(env or {})
    p = subprocess.Popen([ZEM, "t.zem"], cwd=tmp, env=e, stdin=subprocess.DEVNULL,
                         stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    out, _ = p.communicate(timeout=120)
    lines = out.decode("utf-8", "replace").splitlines()
    return (p.returncode, lines, p.pid) if popen else (p.returncode, lines)


def read(path, mode="rb"):
    with open(path, mode) as f:
        return f.read()


def read_when(path, done):
    """The text of a file a detached child writes, once `done` says it is all there."""
    for _ in range(200):
        if os.path.exists(path):
            text = read(path, "r")
            if done(text):
                return text
        time.sleep(0.05)
    return read(path, "r") if os.path.exists(path) else None


def statuses(tmp):
    # the exit status of a waited child, as python's subprocess gives it
    # (128 plus the signal for one killed)
    commands = ["true", "false", "sh -c 'exit 7'", "sh -c 'kill -9 $$'"]
    cases = [(f"call/wait {{{c}}}", c) for c in commands] + [
        ('call/wait/shell "exit 5"', 5),
        # not a program: through the shell, which does not find it either
        ('call/wait "no-such-program-here"', 127),
        # a shell built-in, not a program
        ('call/wait "cd /"', 0),
        ('call ""', 0),
        ('call/wait %""', 0),
    ]
    rc, out = run(tmp, "".join(f"print {code}\n" for code, _ in cases))
    expected = []
    for code, peer in cases:
        if isinstance(peer, str):
            peer = subprocess.run(shlex.split(peer)).returncode
            peer = peer if peer >= 0 else 128 - peer
        expected.append((code, str(peer)))
    check("statuses", (rc, list(zip([c for c, _ in cases], out))), (0, expected))


def words_and_shell(tmp):
    # the command split into words as the shell splits it, without expansion
    line = r'''printf [%s] a "b c" 'd "e"' f\ g "" "h\"i\\j" $HOME' x' k'l'm'''
    write(os.path.join(tmp, "line.txt"), line)
    rc, out = run(tmp, 'o: copy "" call/output read %line.txt o write/binary %words.out o\n')
    check("split status", rc, 0)
    peer = subprocess.run(shlex.split(line), capture_output=True).stdout
    check("split as shlex", read(os.path.join(tmp, "words.out")), peer)
    # through the shell: expansion, pipes and exit status
    script = "echo \"$HOME\" | tr a-z A-Z; printf 'x\\ty\\n' >&2; exit 3"
    write(os.path.join(tmp, "shell.txt"), script)
    rc, out = run(tmp, 'o: copy "" e: copy ""\n'
                       'print call/shell/output/error read %shell.txt o e\n'
                       'write/binary %o.out o write/binary %e.out e\n')
    peer = subprocess.run(script, shell=True, capture_output=True)
    check("shell", (out, read(os.path.join(tmp, "o.out")), read(os.path.join(tmp, "e.out"))),
          ([str(peer.returncode)], peer.stdout, peer.stderr))
    # a file! is one program, spaces and quotes in its name included
    write(os.path.join(tmp, "my 'prog'.sh"), "#!/bin/sh\necho ran \"$#\"\n", 0o755)
    rc, out = run(tmp, 'o: copy "" call/output %"my ' + "'prog'" + '.sh" o prin o\n'
                       'o: copy "" call/shell/output %"my ' + "'prog'" + '.sh" o prin o\n')
    check("file! command", out, ["ran 0", "ran 0"])


def streams(tmp):
    # ls into a string, against python's view of the folder
    os.makedirs(os.path.join(tmp, "dir"))
    for name in ("b", "a c", "é"):
        write(os.path.join(tmp, "dir", name), "")
    rc, out = run(tmp, 'out: copy "" call/output "ls -1 dir" out write/binary %ls.out out\n')
    check("ls", read(os.path.join(tmp, "ls.out")), subprocess.run(["ls", "-1", "dir"], cwd=tmp,
                                                                   capture_output=True).stdout)
    # strings: UTF-8 in, UTF-8 out with CR LF as LF, appended to what is there;
    # binaries: the bytes, both ways; input from the index
    rc, out = run(tmp, 'o: copy "old " call/input/output "cat" "héllo^/wörld ✓" o print mold o\n'
                       "o: copy {} call/output {printf 'a\\r\\nb\\r\\n'} o print mold o\n"
                       'b: #{00} call/input/output "cat" #{FF0D0A} b print mold b\n'
                       'o: copy "" call/input/output "cat" next next "abcd" o print mold o\n'
                       "b: copy #{} call/output {printf '\\377'} b print mold b\n"
                       'print call/wait/input "cat" ""\n'
                       "print error? e: try [call/output {printf '\\377'} copy {}] print e/id\n")
    check("strings and binaries", (rc, out),
          (0, ['"old héllo^/wörld ✓"', '"a^/b^/"', "#{00FF0D0A}", '"cd"', "#{FF}", "0", "true", "invalid-utf8"]))
    # files: input read from one, output appended to an existing one, and
    # created when missing; -1 for a file that cannot be opened
    write(os.path.join(tmp, "in.txt"), "from a file\n")
    write(os.path.join(tmp, "log.txt"), "kept\n")
    rc, out = run(tmp, "print call/input/output/error {sh -c 'cat; echo err >&2'} %in.txt %log.txt %new.txt\n"
                       'print call/input "cat" %missing.txt\n'
                       'print call/output "echo x" %dir\n'
                       'print call/input "cat" %dir\n')
    check("files", (out, read(os.path.join(tmp, "log.txt"), "r"), read(os.path.join(tmp, "new.txt"), "r")),
          (["0", "-1", "-1", "-1"], "kept\nfrom a file\n", "err\n"))


def pipes(tmp):
    # a child that writes 1 MB to each of its outputs before it reads 1 MB of
    # input: every pipe is served at once, nothing waits on another
    prog = ("import sys\n"
            "for i in range(64):\n"
            "    sys.stdout.write('o' * 16384); sys.stdout.flush()\n"
            "    sys.stderr.write('e' * 16384); sys.stderr.flush()\n"
            "data = sys.stdin.read()\n"
            "print(len(data), data[-3:])\n")
    write(os.path.join(tmp, "big.py"), prog)
    rc, out = run(tmp, 'i: head insert/dup copy "" "x" 1048573 append i "end"\n'
                       'o: copy "" e: copy ""\n'
                       f'print call/input/output/error "{sys.executable} big.py" i o e\n'
                       'print length? o print length? e prin copy skip tail o -12\n')
    check("1 MB before reading", out, ["0", str(1048576 + 12), "1048576", "1048576 end"])
    # a child that stops reading early: the rest of the input is dropped
    # (no SIGPIPE for us) and its output still arrives
    rc, out = run(tmp, 'o: copy ""\n'
                       'print call/input/output "head -c 5" head insert/dup copy "" "abc" 1000000 o\n'
                       'print mold o print "alive"\n')
    check("early close of input", (rc, out), (0, ["0", '"abcab"', "alive"]))


def processes(tmp):
    # no descriptor of ours reaches the child: ls sees 0, 1, 2 and its own
    rc, out = run(tmp, 'o: copy "" call/output "ls /proc/self/fd" o prin o\n')
    check("descriptors", out, ["0", "1", "2", "3"])
    # we ignore SIGPIPE; the child has its default action back
    rc, out = run(tmp, 'o: copy "" call/output "grep SigIgn /proc/self/status" o prin o\n')
    check("SIGPIPE not ignored", int(out[0].split()[1], 16) & (1 << 12), 0)
    # without /wait: the process id at once; the child is not left to us, so
    # it never becomes our zombie; the shell-run listing of our children
    # shows only that shell
    rc, out, pid = run(tmp, "p: call {sh -c 'echo $PPID > ppid.txt; exit 3'}\n"
                            'print p > 0\n'
                            'wait 0.5\n'
                            'o: copy "" call/shell/output "cat /proc/$PPID/task/$PPID/children" o\n'
                            'print length? split trim o " "\n', popen=True)
    check("detached", out, ["true", "1"])
    ppid = read_when(os.path.join(tmp, "ppid.txt"), lambda t: t.endswith("\n"))
    check("detached parent", ppid is not None and ppid.strip() != str(pid), True)
    # output goes nowhere without /console or a redirection; with /console
    # to ours, after what we printed
    rc, out = run(tmp, 'call/wait "echo hidden"\nprint "before"\ncall/console "echo shown"\n')
    check("console", out, ["before", "shown"])


def browse(tmp):
    bin_dir = os.path.join(tmp, "bin")
    os.makedirs(bin_dir)
    write(os.path.join(bin_dir, "xdg-open"), '#!/bin/sh\nprintf "%s\\n" "$@" >> "$OPENED"\n', 0o755)
    opened = os.path.join(tmp, "opened.txt")
    env = {"PATH": bin_dir + os.pathsep + os.environ["PATH"], "OPENED": opened}
    rc, out = run(tmp, 'print mold browse http://example.com/a?b=c\nbrowse %page.html\n', env)
    # the two openers run on their own, in either order
    opened_lines = sorted((read_when(opened, lambda t: t.count("\n") == 2) or "").splitlines())
    check("browse", (rc, out, opened_lines),
          (0, ["unset"], sorted(["http://example.com/a?b=c", os.path.realpath(tmp) + "/page.html"])))
    # no opener at all: said so
    rc, out = run(tmp, 'print error? e: try [browse http://example.com] print e/id\n', {"PATH": tmp})
    check("no opener", out, ["true", "cannot-open"])


with tempfile.TemporaryDirectory() as tmp:
    for case in (statuses, words_and_shell, streams, pipes, processes, browse):
        os.makedirs(os.path.join(tmp, case.__name__))
        case(os.path.join(tmp, case.__name__))

for f in failures:
    print(f)
print(f"{len(failures)} failed" if failures else "all passed")
sys.exit(1 if failures else 0)
