"""The console and script mode as a user meets them through pipes and the
command line: the real `zem` binary, its standard output and exit status."""
import os
import shutil
import subprocess
import sys
import tempfile

ZEM = os.path.abspath(sys.argv[1])
failures = []


def zem(args=(), stdin="", cwd=None, cache=None, env=None):
    """Runs zem on `stdin` (text, bytes, or None for /dev/null); gives its
    output and exit status, or "HANG" and None when it does not end."""
    environment = dict(os.environ)
    own = None if cache or env else tempfile.mkdtemp(prefix="zem-cache-")
    environment["XDG_CACHE_HOME"] = cache or own or ""
    environment.update(env or {})
    feed = {"stdin": subprocess.DEVNULL} if stdin is None else \
        {"input": stdin.encode() if isinstance(stdin, str) else stdin}
    try:
        p = subprocess.run([ZEM] + list(args), capture_output=True, cwd=cwd, env=environment, timeout=30, **feed)
    except subprocess.TimeoutExpired:
        return "HANG", None
    finally:
        if own:
            shutil.rmtree(own, ignore_errors=True)
    return p.stdout.decode("utf-8"), p.returncode


def check(name, cond, detail=""):
    if not cond:
        failures.append("%s\n%s" % (name, detail))


def after_banner(out):
    lines = out.split("\n")
    return "\n".join(lines[3:])


def test_banner_and_result():
    out, rc = zem(stdin="1 + 2\n")
    lines = out.split("\n")
    check("banner first line", lines[0].startswith("--== Zem ") and lines[0].endswith("==-- "), out)
    check("banner second line", lines[1] == "Type HELP for starting information. ", out)
    check("banner empty line", lines[2] == "", out)
    check("1 + 2", lines[3:] == ["== 3", ""], out)
    check("status 0", rc == 0, rc)


def test_piped_lines():
    cases = [
        ('"abc"\n', '== "abc"\n'),
        ("1.5\n", "== 1.5\n"),
        ('print "hi"\n', "hi\n"),
        ("[1 2\n3]\n", "== [1 2\n3]\n"),
        ("{a\nb}\n", '== "a^/b"\n'),
        ("x: %{abc\ndef}%\n", '== "abc^/def"\n'),           # a raw string left open after other values
        ("y: %%{a}%\nb}%%\n", '== "a}%^/b"\n'),
        ("\n\n", ""),                                    # empty lines evaluate nothing
        ("halt\n", "(halted)\n"),
        ("loop 3 [print 1 halt]\n", "1\n(halted)\n"),
        ("x: 1\nx\n", "== 1\n== 1\n"),
        ('"\xff"\n'.encode("latin-1"), '== "\ufffd"\n'),  # invalid UTF-8 becomes U+FFFD
    ]
    for text, want in cases:
        out, rc = zem(stdin=text)
        check("piped %r" % (text,), after_banner(out) == want and rc == 0, repr(out))


def test_errors():
    # A lone closing bracket is reported at once; the next line still runs.
    out, _ = zem(stdin=")\n1\n")
    rest = after_banner(out)
    check(") alone", rest.startswith("*** Syntax Error: ") and rest.endswith("== 1\n"), rest)
    # An evaluation error is followed by an empty line.
    out, _ = zem(stdin='1 + "a"\n2\n')
    rest = after_banner(out)
    check("error then empty line", rest.startswith("*** Script Error: ") and "\n\n== 2\n" in rest, rest)
    # An error caught at the prompt saves and loads back: its stack words are
    # bound to the console's objects, which hold routines.
    out, _ = zem(stdin="e: try [1 / 0]\ne2: load/as save/as none e 'zembin 'zembin\n"
                       "print [e2/id e2/stack = e/stack 4 < length? e/stack]\n")
    rest = after_banner(out)
    check("caught error round trip", rest.endswith("zero-divide true true\n"), rest)
    # A throw that nothing catches is reported where it was thrown, not at
    # the console's own catch.
    out, _ = zem(stdin="throw 5\n")
    lines = after_banner(out).split("\n")
    check("uncaught throw", lines[:3] == ["*** Throw Error: no catch for throw: 5", "*** Where: throw",
                                           "*** Near : throw 5"], lines)
    # An escape that decodes to invalid UTF-8 is a syntax error like any
    # other: the console goes on.
    out, rc = zem(stdin="%%d8%ea\n3\n")
    rest = after_banner(out)
    check("invalid file! at the prompt", rest.startswith("*** Syntax Error: (line 1) invalid file at %%d8%ea")
          and rest.endswith("== 3\n") and rc == 0, "%r %d" % (rest, rc))
    # Exits taken in an on-change* handler reach the catch or loop they name.
    out, rc = zem(stdin="o: make object! [a: 1 on-change*: func [w o n] [throw 5]]\ncatch [o/a: 2]\n"
                        "p: make object! [a: 1 on-change*: func [w o n] [break]]\nloop 2 [p/a: 2]\n4\n")
    rest = after_banner(out)
    check("exits of on-change*", "]\n== 5\n" in rest and rest.endswith("]\n== 4\n") and "Error" not in rest
          and rc == 0,
          "%r %d" % (rest, rc))


def test_truncation():
    out, _ = zem(stdin='append/dup copy "" "a" 200\n')
    line = after_banner(out).split("\n")[0]
    check("long result ends in ...", line.startswith('== {aaa') and line.endswith("..."), line)
    check("long result fits 80 columns", len(line) <= 80, len(line))
    out, _ = zem(stdin='system/console/prompt: "a much longer prompt> "\nappend/dup copy "" "a" 200\n')
    line = after_banner(out).split("\n")[1]
    check("cut by the prompt shown", line.endswith("...") and len(line) <= 80, line)


def test_failing_prompt_and_result():
    out, _ = zem(stdin="system/console/prompt: does [1 / 0]\n1\n2\n")
    rest = after_banner(out)
    check("prompt error where", rest.count("*** Where: system/console/prompt") == 1, rest)
    check("prompt falls back", rest.endswith("== 1\n== 2\n"), rest)
    out, _ = zem(stdin="system/console/result: does [1 / 0]\n3\n")
    rest = after_banner(out)
    check("result error where", "*** Where: system/console/result" in rest, rest)
    check("result falls back", rest.endswith("== 3\n"), rest)


def test_quit():
    for text, status in [("quit/return 5\n", 5), ("q\nprint 1\n", 0), ("quit\n", 0), ("", 0)]:
        out, rc = zem(stdin=text)
        check("quit %r" % text, rc == status and after_banner(out) == "", "%r %s" % (out, rc))


def test_end_of_input():
    # The end of input ends the console with status 0, without going through
    # what `q` and `quit` are bound to; a last line without its line end is
    # read first; an entry left open is evaluated once (its syntax error
    # shown once), then the console ends.
    # (input, what is printed, whether a syntax error follows it)
    cases = [
        ("q: 5\n", "== 5\n", False),
        ("quit: 6\nq: 7\n", "== 6\n== 7\n", False),
        ("1 + 2", "== 3\n", False),
        ('x: ask "?"\nabc', '== "abc"\n', False),
        ('print mold ask "?"\n', "none\n", False),
        ('print mold input\n', "none\n", False),
        ("[1 2\n", "", True),
        ("[1 2", "", True),
        ("(1 +\n", "", True),
        ("{abc\n", "", True),
        ("q: 5\nprint [\n", "== 5\n", True),
    ]
    for text, want, error in cases:
        out, rc = zem(stdin=text)
        rest = after_banner(out)
        if error:
            ok = rest.startswith(want + "*** Syntax Error: ") and rest.count("*** Syntax Error: ") == 1 \
                and rest.count("*** Where: ") == 1 and rest.count("==") == want.count("==")
        else:
            ok = rest == want
        check("end of input %r" % text, ok and rc == 0, "%r %s" % (out, rc))
    # Standard input that is empty from the start: the banner, then status 0.
    out, rc = zem(stdin=None)
    check("/dev/null", out.startswith("--== Zem ") and after_banner(out) == "" and rc == 0, "%r %s" % (out, rc))
    # The settings are saved as quit saves them, whatever q has become.
    cache = tempfile.mkdtemp(prefix="zem-cache-")
    try:
        out, rc = zem(stdin="q: 5\nquit: 6\n", cache=cache)
        path = os.path.join(cache, "zem", "Zem-Console", "console-cfg.zem")
        check("settings saved at the end of input", os.path.exists(path) and rc == 0, "%r %s" % (out, rc))
    finally:
        shutil.rmtree(cache, ignore_errors=True)


def test_rebound_words():
    # A word the user sets is the user's, and only the user's: the console and
    # the library go on with their own values. Each word is set, then the
    # console still prints results and errors as usual, the word gives the
    # user's value, and the console ends at the end of input and by quit
    # (unless quit itself was set), saving its settings either way.
    words = ["append", "mold", "length?", "try", "print", "probe", "form", "do", "quit", "q", "if",
             "either", "foreach", "reduce", "set", "get", "make", "copy", "save", "system", "none", "true"]
    error, _ = zem(stdin="1 / 0\n")
    error = after_banner(error)
    check("the error report", error.startswith("*** Math Error: ") and error.endswith("\n\n"), error)
    for w in words:
        out, rc = zem(stdin="%s: 1\n1 + 1\n1 / 0\n:%s\n" % (w, w))
        check("%s: 1, then results and errors" % w,
              after_banner(out) == "== 1\n== 2\n" + error + "== 1\n" and rc == 0, "%r %s" % (out, rc))
        cache = tempfile.mkdtemp(prefix="zem-cache-")
        try:
            out, rc = zem(stdin="%s: 1\nquit\nprint 2\n" % w, cache=cache)
            saved = os.path.exists(os.path.join(cache, "zem", "Zem-Console", "console-cfg.zem"))
            want = "== 1\n== 1\n2\n" if w == "quit" else "== 1\n"
            check("%s: 1, then quit" % w, after_banner(out) == want and rc == 0 and saved,
                  "%r %s saved=%s" % (out, rc, saved))
        finally:
            shutil.rmtree(cache, ignore_errors=True)


def test_settings_file():
    cache = tempfile.mkdtemp(prefix="zem-cache-")
    try:
        zem(stdin="q\n", cache=cache)
        path = os.path.join(cache, "zem", "Zem-Console", "console-cfg.zem")
        with open(path, encoding="utf-8") as f:
            text = f.read()
        check("settings header", 'Purpose: "Zem Console Configuration File"' in text, text)
        check("settings keys", "buffer-lines: 10000" in text and "history: []" in text, text)
        # A hand-edited file with values of the wrong kind falls back to the defaults.
        with open(path, "w", encoding="utf-8") as f:
            f.write('Zem []\nbuffer-lines: "many"\nhistory: [1 2]\nkeep: 7\n')
        out, rc = zem(stdin="length? system/console/history\n", cache=cache)
        check("bad history falls back", after_banner(out) == "== 0\n" and rc == 0, out)
        with open(path, encoding="utf-8") as f:
            text = f.read()
        check("defaults written back", "buffer-lines: 10000" in text and "keep: 7" in text, text)
        # A history of 150 lines is cut to the newest 100 when quitting.
        lines = " ".join('"%d"' % i for i in range(150))
        with open(path, "w", encoding="utf-8") as f:
            f.write("Zem []\nhistory: [%s]\n" % lines)
        out, _ = zem(stdin="q\n", cache=cache)
        out, _ = zem(stdin="length? system/console/history\nlast system/console/history\n", cache=cache)
        check("history cut to 100", after_banner(out) == '== 100\n== "99"\n', out)
        # An XDG_CACHE_HOME that is not an absolute path counts as unset (the
        # empty one too: unit-tested, as its fault would write to /zem/): the
        # settings go under $HOME/.cache, not under the working directory.
        home, work = os.path.join(cache, "home"), os.path.join(cache, "work")
        os.makedirs(home)
        os.makedirs(work)
        out, rc = zem(stdin="print system/options/cache\n", cwd=work,
                      env={"HOME": home, "XDG_CACHE_HOME": "relative"})
        saved = os.path.join(home, ".cache", "zem", "Zem-Console", "console-cfg.zem")
        check("relative XDG_CACHE_HOME", after_banner(out) == "%s/.cache/zem/\n" % home and rc == 0
              and os.path.exists(saved) and os.listdir(work) == [], "%r %s" % (out, rc))
        # A cache folder that cannot be made leaves the defaults; nothing stops.
        out, rc = zem(stdin="1 + 1\nq\n", cache="/proc/no-such-cache")
        check("unwritable cache", after_banner(out) == "== 2\n" and rc == 0, "%r %d" % (out, rc))
    finally:
        shutil.rmtree(cache, ignore_errors=True)


def test_scripts():
    d = tempfile.mkdtemp(prefix="zem-scripts-")
    try:
        def script(name, text):
            path = os.path.join(d, name)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "w", encoding="utf-8") as f:
                f.write(text)
            return path

        s = script("s.zem", '; a comment line first\nZem [title: "s"]\n'
                   "print mold system/options/args\nprint mold system/script/args\n")
        out, rc = zem([s, "a", "b c"])
        check("script args", out == '["a" "b c"]\n{a "b c"}\n' and rc == 0, repr(out))

        out, rc = zem(["--catch", s], stdin="1 + 1\n")
        check("--catch enters the console without banner", out == '[]\n""\n== 2\n' and rc == 0, repr(out))

        # A script that cannot be read, loaded or run: its message, then status
        # 254 as for an error that reaches the top, the console not started;
        # with --catch the console takes over.
        for path, message in [
                (script("nh.zem", "print 1\n"), "*** Error: Zem header not found!\n"),
                (script("sys.zem", "Zem/System []\nprint 1\n"),
                 "*** Error: contains Zem/System code which requires compilation!\n"),
                (script("syntax.zem", 'Zem []\nprint "never"\nprint (1 + \n'), "*** Syntax Error: "),
                (os.path.join(d, "missing.zem"), "*** Access Error: cannot open: ")]:
            out, rc = zem([path], stdin="4\n")
            check("%s fails" % os.path.basename(path),
                  out.startswith(message) and "never" not in out and "== 4" not in out and rc == 254,
                  "%r %s" % (out, rc))
            out, rc = zem(["--catch", path], stdin="4\n")
            check("%s with --catch" % os.path.basename(path),
                  out.startswith(message) and out.endswith("== 4\n") and rc == 0, "%r %s" % (out, rc))

        bad = script("bad.zem", 'Zem []\nprint "before"\n1 + "a"\nprint "after"\n')
        out, rc = zem([bad])
        check("script error exits 254", out.startswith("before\n*** Script Error: ") and rc == 254,
              "%r %d" % (out, rc))
        out, rc = zem(["--catch", bad], stdin="3\n")
        check("script error with --catch", "\nafter\n" not in out and out.endswith("== 3\n") and rc == 0,
              "%r %d" % (out, rc))

        out, rc = zem([script("sub/w.zem", "Zem []\nprint what-dir\n")], cwd="/")
        check("working directory is the script's", out == os.path.join(d, "sub") + "/\n", repr(out))

        dashed = script("--x.zem", "Zem []\nprint \"dashed\"\n")
        out, rc = zem(["--", "--x.zem"], cwd=d)
        check("-- ends the switches", out == "dashed\n" and rc == 0, repr(out))
        del dashed

        # halt in a script run by do at the prompt stops that script, reported once
        script("h.zem", 'Zem []\nprint "in"\nhalt\nprint "no"\n')
        out, rc = zem(stdin="do %h.zem\nprint 1\n", cwd=d)
        check("halt in do", after_banner(out) == "in\n(halted)\n1\n", repr(out))

        out, rc = zem([script("q.zem", "Zem []\nquit/return 3\n")])
        check("quit/return in a script", rc == 3, rc)

        # A script reads its input to the end: ask, input and input-stdin give
        # none there, every time; a last line without its line end comes first.
        reader = script("reader.zem", 'Zem []\nwhile [not empty? line: input] [print ["got" line]]\n'
                        'print mold reduce [input ask "?" input-stdin]\n')
        for stdin, want in [("a\nb\n", "got a\ngot b\n"), ("a\nb", "got a\ngot b\n"), ("", ""), (None, "")]:
            out, rc = zem([reader], stdin=stdin)
            check("script reads to the end %r" % stdin, out == want + "[none none none]\n" and rc == 0,
                  "%r %s" % (out, rc))
        out, rc = zem([script("stdin.zem", 'Zem []\nwhile [line: input-stdin] [print mold line]\n')],
                      stdin="x\n\ny")
        check("input-stdin to the end", out == '"x"\n""\n"y"\n' and rc == 0, "%r %s" % (out, rc))
    finally:
        shutil.rmtree(d, ignore_errors=True)


def test_shell_words():
    d = tempfile.mkdtemp(prefix="zem-shell-")
    try:
        os.makedirs(os.path.join(d, "sub"))
        for name in ["a.txt", "a-name-longer-than-any-column.txt"]:
            open(os.path.join(d, name), "w").close()
        out, _ = zem(stdin="ll\n", cwd=d)
        rows = sorted(after_banner(out).split("\n")[:-1])
        width = 67 - 1                                   # 80 - 13 over one column, less one
        want = sorted("\t%s " % n.ljust(width) for n in
                      ["a.txt", "a-name-longer-than-any-column.txt", "sub/"])
        check("ll: one name per row", rows == want, repr(rows))
        out, _ = zem(stdin="ls\n", cwd=d)
        rows = after_banner(out).split("\n")[:-1]
        cells = rows[0].split("\t")[1:]
        check("ls: three columns of 19", len(rows) == 1 and all(len(c) == 20 for c in cells), repr(rows))
        check("ls: a long name is cut", any(c == "a-name-longer-t...  "
                                            for c in cells), repr(cells))
        # More columns than the width holds: each column keeps 8 cells.
        out, _ = zem(stdin="list-dir/col %. 50\n", cwd=d)
        cells = sorted(after_banner(out).split("\n")[0].split("\t")[1:])
        check("list-dir/col 50", cells == ["a-na...  ", "a.txt    ", "sub/     "], repr(cells))
        out, _ = zem(stdin="cd sub\npwd\ncd %..\nwhat-dir\n", cwd=d)
        rest = after_banner(out)
        check("cd and pwd", "\n%%%s/sub/\n" % d in rest and rest.endswith("== %%%s/\n" % d), rest)
        out, _ = zem(stdin="list-dir 1\n", cwd=d)
        check("list-dir refuses an integer", after_banner(out).startswith("*** Script Error: "), out)
        out, _ = zem(stdin='expand [#if true [a b]]\n')
        check("expand", after_banner(out) == "[a b]\n== [a b]\n", out)
    finally:
        shutil.rmtree(d, ignore_errors=True)


for test in [test_banner_and_result, test_piped_lines, test_errors, test_truncation,
             test_failing_prompt_and_result, test_quit, test_end_of_input, test_rebound_words, test_settings_file,
             test_scripts,
             test_shell_words]:
    test()

for f in failures:
    print("FAIL", f)
sys.exit(1 if failures else 0)
