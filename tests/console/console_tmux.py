"""The console as a user meets it in a real terminal (tmux): the real `zem`
binary with its prompt, continuation cue, editing keys, history, Tab
completion, Esc, halt, Ctrl-C, the settings file it leaves behind and the
terminal mode it leaves behind."""
import os
import re
import shutil
import signal
import sys
import tempfile
import time
import unicodedata

from tmux import Terminal, run

ZEM = os.path.abspath(sys.argv[1])
TAB, ENTER = ("Tab",), ("Enter",)


class Console:
    """One run of `zem` in a shell that reports, once it ends, its status and
    whether the terminal mode is the one it found (`stty -g` before/after)."""

    def __init__(self, width=60, height=20, settings=None, cwd=None, command=None):
        self.dir = tempfile.mkdtemp(prefix="zem-console-")
        self.cache = os.path.join(self.dir, "cache")
        self.cfg = os.path.join(self.cache, "zem", "Zem-Console", "console-cfg.zem")
        if settings is not None:
            os.makedirs(os.path.dirname(self.cfg))
            with open(self.cfg, "w", encoding="utf-8") as f:
                f.write(settings)
        before = os.path.join(self.dir, "before")
        after = os.path.join(self.dir, "after")
        shell = ("stty -g > %s; %s; echo status=$?; stty -g > %s; "
                 "if cmp -s %s %s; then echo mode=same; else echo mode=changed; fi; "
                 "stty -a | tr ' ' '\\n' | grep -x -e -icanon -e icanon -e -echo -e echo | tr '\\n' ' '; "
                 "echo; sleep 60") % (before, command or ZEM, after, before, after)
        if cwd:
            shell = "cd %s && %s" % (cwd, shell)
        quoted = shell.replace("\\", "\\\\").replace('"', '\\"').replace("$", "\\$")
        self.t = Terminal('sh -c "%s"' % quoted, width=width, height=height,
                          env={"XDG_CACHE_HOME": self.cache})
        if command is None:
            self.prompt()

    def prompt(self, count=1):
        """Waits for the `count`th prompt, the cursor just behind it."""
        def ready(s):
            rows = [r for r in s.split("\n") if r.startswith(">>")]
            if len(rows) < count or rows[-1] != ">>":
                return False
            x, y = self.t.cursor()
            return x == 3 and s.split("\n")[y] == ">>"
        return self.t.wait_for(ready)

    def line(self):
        """The row the cursor is on."""
        return self.t.rows()[self.t.cursor()[1]]

    def wait_line(self, text):
        """Waits until the cursor's row reads `text`; gives the screen then."""
        self.t.wait_for(lambda s: self.line() == text)
        return self.t.screen()

    def enter(self, text):
        self.t.text(text)
        self.t.keys("Enter")

    def steps(self, table):
        """Each step (typed, keys, line[, shown]) types its text, presses its
        keys, waits until the cursor's row reads `line` (when given), then
        until `shown` is on the screen (when given)."""
        for typed, keys, line, *shown in table:
            if typed:
                self.t.text(typed)
            if keys:
                self.t.keys(*keys)
            if line is not None:
                self.wait_line(line)
            if shown:
                self.t.wait_for(shown[0])

    def quit(self):
        """Ctrl-C at the prompt: zem ends; gives its exit status."""
        self.t.keys("C-c")
        s = self.t.wait_for(lambda s: "status=" in s and ("icanon" in s.split("mode=")[-1]))
        status = int(s.split("status=")[1].split()[0])
        assert "mode=same" in s, s
        mode = s.split("mode=same")[1].split()
        assert "icanon" in mode and "echo" in mode, s
        return status

    def settings(self):
        with open(self.cfg, encoding="utf-8") as f:
            return f.read()

    def close(self):
        # A zem still running would save its settings on the hang-up that
        # closing the terminal sends, after the folder is gone: end it first.
        try:
            pid = zem_pid(int(self.t.tmux("display-message", "-p", "-t", "t", "#{pane_pid}")))
        except (OSError, ValueError):
            pid = None
        if pid:
            try:
                os.kill(pid, signal.SIGKILL)
                deadline = time.time() + 5
                while (os.path.exists("/proc/%d" % pid) and time.time() < deadline
                       and "zombie" not in open_or_empty("/proc/%d/status" % pid)):
                    time.sleep(0.02)
            except OSError:
                pass
        self.t.close()
        shutil.rmtree(self.dir, ignore_errors=True)


def scenario(fn):
    def wrapped():
        c = Console()
        try:
            fn(c)
        finally:
            c.close()
    wrapped.__name__ = fn.__name__
    return wrapped


@scenario
def prompt_and_continuation(c):
    c.enter("[1 2")
    c.t.wait_for(lambda s: c.t.rows()[c.t.cursor()[1]] == "[" and c.t.cursor()[0] == 5)
    c.enter("3]")
    s = c.prompt(2)
    assert "[    3]\n== [1 2\n3]\n>>" in s, s
    # Inside a multi-line string the cue is its brace.
    c.enter("{a")
    c.t.wait_for(lambda s: c.line() == "{" and c.t.cursor()[0] == 5)
    c.enter("b}")
    c.t.wait_for('{    b}\n== "a^/b"')
    c.prompt(3)


@scenario
def text_as_typed(c):
    # UTF-8 as typed; bytes that are not UTF-8 become U+FFFD, and a byte that
    # breaks a sequence off still counts on its own.
    c.enter('"\u00e9\u4e2d"')
    c.t.wait_for('== "\u00e9\u4e2d"')
    c.t.tmux("send-keys", "-t", "t", "-H", "22", "ff", "61", "c3", "22")
    c.t.keys("Enter")
    c.t.wait_for('== "\ufffda\ufffd"')


# Home and End as terminals send them: the tmux key names, then the raw
# sequences of the common terminal families.
HOME_END = [("Home", "End"), ("\x1b[H", "\x1b[F"), ("\x1bOH", "\x1bOF"),
            ("\x1b[1~", "\x1b[4~"), ("\x1b[7~", "\x1b[8~")]


def send(c, key):
    if key.startswith("\x1b"):
        c.t.tmux("send-keys", "-t", "t", "-H", *["%02x" % b for b in key.encode()])
    else:
        c.t.keys(key)


@scenario
def editing_keys(c):
    n = 1
    for home, end in HOME_END:
        c.t.text('bc')
        send(c, home)
        c.t.text('"a')
        send(c, end)
        c.t.text('%d"' % n)
        c.t.keys("Enter")
        c.t.wait_for('== "abc%d"' % n)
        n += 1
    for left, right in [("Left", "Right"), ("\x1b[D", "\x1b[C"), ("\x1bOD", "\x1bOC"), ("C-b", "C-f")]:
        c.t.text('"%dac"' % n)
        send(c, left)
        send(c, left)
        c.t.text("b")
        send(c, right)
        c.t.text("d")
        c.t.keys("Enter")
        c.t.wait_for('== "%dabcd"' % n)
        n += 1
    # Backspace, Delete, Ctrl-D inside the line, Ctrl-A, Ctrl-E, Ctrl-K.
    c.t.text('"xyzwv"')
    c.t.keys("Left", "BSpace", "BSpace", "Home", "Right", "DC", "C-d", "C-e")
    c.wait_line('>> "z"')
    c.t.keys("Enter")
    c.t.wait_for('== "z"')
    c.t.text('"keep" "drop"')
    c.t.keys("C-a")
    for _ in range(6):
        c.t.keys("Right")
    c.t.keys("C-k")
    c.wait_line('>> "keep"')
    c.t.keys("Enter")
    c.t.wait_for('== "keep"')
    assert c.quit() == 0


@scenario
def history(c):
    for line in ("1 + 1", "2 + 2", "3 + 3"):
        c.enter(line)
    c.t.wait_for("== 6")
    c.prompt(4)
    c.t.keys("Up")
    c.wait_line(">> 3 + 3")
    c.t.keys("Up", "Up")
    c.wait_line(">> 1 + 1")
    c.t.keys("Up")  # past the oldest: an empty line
    c.wait_line(">>")
    c.t.keys("Down")  # the entry at the current position first
    c.wait_line(">> 1 + 1")
    c.t.keys("Down")
    c.wait_line(">> 2 + 2")
    c.t.keys("End", "BSpace")
    c.t.text("10")
    c.t.keys("Enter")
    c.t.wait_for("== 12")
    c.prompt(5)
    c.t.keys("Up")
    c.wait_line(">> 2 + 10")
    c.t.keys("C-a", "C-k")
    assert c.quit() == 0
    text = c.settings()
    assert 'history: ["2 + 10" "3 + 3" "2 + 2" "1 + 1"]' in text, text


@scenario
def debugger_prompt_leaves_no_history(c):
    # The debugger reads its commands at "debug> "; what is typed there
    # leaves the history when the debugged run ends.
    c.enter("debug/later [a: 1 @stop b: 2]")
    c.t.wait_for(lambda s: s.count("debug>") == 1)
    c.enter("s")
    c.t.wait_for(lambda s: s.count("debug>") == 2)
    c.enter("c")
    c.prompt(2)
    c.enter("b")
    c.t.wait_for("== 2")
    c.prompt(3)
    c.t.keys("Up", "Up")
    c.wait_line(">> debug/later [a: 1 @stop b: 2]")
    c.t.keys("C-a", "C-k")
    assert c.quit() == 0
    assert 'history: ["b" "debug/later [a: 1 @stop b: 2]"]' in c.settings(), c.settings()


@scenario
def escape_on_a_continuation_line(c):
    c.enter("[1 2")
    c.wait_line("[")
    c.t.text("3")
    c.t.keys("Escape")
    c.t.wait_for("(escape)")
    s = c.prompt(2)
    assert s.rstrip().endswith("[    3\n(escape)\n>>"), s
    c.enter("4")
    s = c.t.wait_for("== 4")
    assert "== [" not in s, s


@scenario
def alt_key_keeps_the_line(c):
    # Alt-3 arrives as ESC 3: the character is typed, nothing is dropped.
    c.t.text("1 + 2")
    c.t.keys("M-3")
    c.wait_line(">> 1 + 23")
    c.t.keys("Enter")
    s = c.t.wait_for("== 24")
    assert "(escape)" not in s, s


@scenario
def halt_at_the_prompt(c):
    c.enter("loop 3 [print 7 halt]")
    s = c.prompt(2)
    assert "]\n7\n(halted)\n>>" in s, s


@scenario
def completion_of_words(c):
    c.steps([
        # Several candidates: listed, and the line comes back with their common part.
        ("pri", TAB, ">> prin", ">> prin print\n>> prin"),
        ("t 5", ENTER, None, "\n5\n>>"),
        # A unique word completes in place.
        ("prob", TAB, ">> probe"),
        (" 8", ENTER, None, "\n8\n== 8"),
        # In the middle of a line, the text after the cursor is kept.
        ("loop 2 [prob 9]", ("Left",) * len(" 9]") + TAB, ">> loop 2 [probe 9]"),
    ])
    assert c.t.cursor()[0] == len(">> loop 2 [probe"), c.t.cursor()
    c.steps([
        ("", ENTER, None, "\n9\n9\n== 9\n"),
        # A word that is its own single candidate, or a word with no candidate:
        # the Tab is typed (drawn as 4 spaces) and evaluates as a blank.
        ("print", TAB, None),
        ("1", (), ">> print    1"),
    ])
    assert c.t.cursor()[0] == len(">> print    1"), c.t.cursor()
    c.steps([("", ENTER, None, "\n1\n>>")])
    c.t.text("1 + qqqqqqqq")
    c.t.keys("Tab")
    c.t.wait_for(lambda s: c.t.cursor()[0] == len(">> 1 + qqqqqqqq") + 4)
    c.t.keys("BSpace")
    for _ in range(len("qqqqqqqq")):
        c.t.keys("BSpace")
    c.t.text("2")
    c.t.keys("Enter")
    c.t.wait_for("== 3")


@scenario
def completion_of_paths(c):
    c.steps([
        ("system/con", TAB, ">> system/console"),
        ("/def-", TAB, ">> system/console/def-", "def-prompt def-result"),
        ("p", TAB, ">> system/console/def-prompt"),
        ("", ENTER, None, '== ">> "'),
        # Refinements of a function.
        ("append/on", TAB, ">> append/only"),
    ])


@scenario
def rebound_words_stay_the_users(c):
    # Words the user sets do not reach the line editor's completion or the
    # settings saved on Ctrl-C: they use the library's own.
    for line in ("try: 1", "if: 2", "save: 3"):
        c.enter(line)
    c.prompt(4)
    c.steps([("prob", TAB, ">> probe"), (" :try", ENTER, None, "\n1\n== 1\n")])
    c.prompt(5)
    assert c.quit() == 0
    assert 'history: ["probe :try" "save: 3" "if: 2" "try: 1"]' in c.settings(), c.settings()


def completion_of_file_names():
    d = tempfile.mkdtemp(prefix="zem-files-")
    try:
        os.makedirs(os.path.join(d, "sub"))
        for name, text in [("alpha-notes.txt", "alpha"), ("beta-1.txt", "b1"), ("beta-2.txt", "b2"),
                           ("sub/inner.txt", "inner")]:
            with open(os.path.join(d, name), "w") as f:
                f.write(text)
        c = Console(cwd=d)
        try:
            c.steps([
                ("read %al", TAB, ">> read %alpha-notes.txt"),
                ("", ENTER, None, '== "alpha"'),
                ("read %be", TAB, ">> read %beta-", "beta-1.txt beta-2.txt"),
                ("2", TAB, ">> read %beta-2.txt"),
                ("", ENTER, None, '== "b2"'),
                ("read %sub/in", TAB, ">> read %sub/inner.txt"),
                ("", ENTER, None, '== "inner"'),
            ])
        finally:
            c.close()
    finally:
        shutil.rmtree(d, ignore_errors=True)


@scenario
def ctrl_c_saves_the_history(c):
    for line in ("x: 10", "x * 2", 'print "done"'):
        c.enter(line)
    c.t.wait_for("\ndone\n")
    c.prompt(4)
    c.t.text("unfinished")
    assert c.quit() == 0
    text = c.settings()
    assert text.startswith("Zem [") and 'Purpose: "Zem Console Configuration File"' in text, text
    assert "buffer-lines: 10000" in text, text
    assert 'history: [{print "done"} "x * 2" "x: 10"]' in text, text
    assert "unfinished" not in text, text


def title_only_on_a_terminal():
    c = Console()
    try:
        c.t.wait_for(lambda s: c.t.tmux("display-message", "-p", "-t", "t", "#{pane_title}").strip()
                     == "Zem Console")
    finally:
        c.close()
    # Standard output to a file, the keyboard still a terminal: no title in
    # the file, the prompt and the echo go to the terminal.
    d = tempfile.mkdtemp(prefix="zem-out-")
    out = os.path.join(d, "out.txt")
    c = Console(command="%s > %s" % (ZEM, out))
    try:
        c.t.wait_for(lambda s: s.rstrip().endswith(">>"))
        c.enter("1 + 2")
        c.t.wait_for(lambda s: s.rstrip().endswith(">> 1 + 2\n>>"))
        assert c.quit() == 0
        with open(out, "rb") as f:
            data = f.read()
        assert b"\x1b" not in data and b"== 3\n" in data and b"--== Zem" in data, data
    finally:
        c.close()
        shutil.rmtree(d, ignore_errors=True)


def settings_with_bad_values():
    # A value of the wrong kind gives way to its default, the rest is kept; a
    # file that does not load or has no header gives way to the defaults.
    # Nothing is printed either way.
    cases = [('Zem []\nhistory: [1 2]\nkeep: 7\n', "history: [1 2]", True),
             ('Zem []\nhistory: "one"\nkeep: 7\n', '"one"', True),
             ('Zem []\nbuffer-lines: "many"\nkeep: 7\n', '"many"', True),
             ('Zem []\nbuffer-lines: 1.5\nkeep: 7\n', "1.5", True),
             ('Zem [\nhistory: ["a"\n', '"a"', False),
             ('history: ["a"]\nkeep: 7\n', '"a"', False)]
    for settings, gone, kept in cases:
        c = Console(settings=settings)
        try:
            c.enter("length? system/console/history")
            s = c.t.wait_for("== 1")  # the line just entered
            assert "***" not in s, s
            c.prompt(2)
            assert c.quit() == 0
            text = c.settings()
            assert gone not in text and "buffer-lines: 10000" in text, text
            assert ("keep: 7" in text) == kept, text
        finally:
            c.close()


def history_cut_to_100():
    lines = " ".join('"%d"' % i for i in range(150))
    c = Console(settings="Zem []\nhistory: [%s]\nbuffer-lines: 500\n" % lines)
    try:
        c.t.keys("Up")
        c.wait_line(">> 0")
        c.t.keys("Up")
        c.wait_line(">> 1")
        c.t.keys("C-a", "C-k")
        c.enter("length? system/console/history")
        c.t.wait_for("== 151")
        c.prompt(2)
        assert c.quit() == 0
        text = c.settings()
        entries = re.findall(r'"[^"]*"', text.split("history: [")[1].split("]")[0])
        assert len(entries) == 100, text
        assert entries[0] == '"length? system/console/history"' and entries[-1] == '"98"', entries
        assert "buffer-lines: 500" in text, text
    finally:
        c.close()


@scenario
def repeats_and_hidden_input_stay_out_of_history(c):
    c.enter('x: "A"')
    c.enter('X: "A"')  # equal to the newest entry, letter case ignored
    c.enter('ask/hide "word? "')
    c.wait_line("word?")
    c.enter("secret")
    c.t.wait_for('word? ******\n== "secret"')
    c.prompt(4)
    c.t.keys("C-d")  # on an empty line: quits
    s = c.t.wait_for("status=")
    assert "status=0" in s, s
    text = c.settings()
    assert 'history: [{ask/hide "word? "} {x: "A"}]' in text, text


def results_fit_the_window():
    c = Console(width=60)
    try:
        c.enter('append/dup copy "" "a" 200')
        s = c.prompt(2)
        line = [r for r in s.split("\n") if r.startswith("== ")][0]
        assert line.startswith("== {aaa") and line.endswith("...") and len(line) <= 60, line
        # A wider window: the next result is cut to the new width.
        c.t.tmux("resize-window", "-t", "t", "-x", "100")
        c.t.wait_for(lambda s: c.t.tmux("display-message", "-p", "-t", "t", "#{pane_width}").strip() == "100")
        c.enter('append/dup copy "" "b" 200')
        s = c.prompt(3)
        line = [r for r in s.split("\n") if r.startswith("== {bbb")][0]
        assert line.endswith("...") and 90 <= len(line) <= 100, line
        # Wide characters take two columns each: the result is cut by columns.
        c.enter('append/dup copy "" "\u4e2d" 200')
        s = c.prompt(4)
        line = [r for r in s.split("\n") if r.startswith('== {\u4e2d')][0]
        columns = sum(2 if unicodedata.east_asian_width(ch) in "WF" else 1 for ch in line)
        assert line.endswith("...") and 90 <= columns <= 100, (columns, line)
    finally:
        c.close()


def line_taller_than_the_window():
    # A line of 7 rows in a window of 5: Home brings the prompt's row back to
    # the top, an insertion there shows in place, End and Enter bring back the
    # end, and the result follows the whole line.
    c = Console(width=20, height=5)
    try:
        text = "".join(chr(97 + i % 26) for i in range(128))
        c.t.text('"' + text + '"')
        c.t.wait_for(lambda s: c.t.cursor() == (13, 4))
        c.t.keys("Home")
        c.t.wait_for(lambda s: c.t.cursor() == (3, 0) and s.startswith('>> "abcdefghijklmnop'))
        c.t.keys("Right")
        c.t.text("X")
        c.t.wait_for(lambda s: c.t.cursor() == (5, 0) and s.startswith('>> "Xabcdefghijklmno'))
        c.t.keys("End")
        shown = '>> "X' + text + '"'
        c.t.wait_for(lambda s: c.t.cursor() == (14, 4) and s.split("\n")[4] == shown[120:])
        c.t.keys("Enter")
        s = c.t.wait_for("== {Xabc")
        rows = s.split("\n")
        assert rows[rows.index([r for r in rows if r.startswith("== {Xabc")][0]) - 1] == shown[120:], s
    finally:
        c.close()


@scenario
def screen_report_counts_input_lines(c):
    # ESC[? reports the row the cursor is on, echoed input lines counted.
    for i in range(3):
        c.enter("1 + %d" % i)
        c.prompt(i + 2)
    c.enter('prin "^[[?"')
    s = c.t.wait_for("max_______")
    rows = s.split("\n")
    row = rows.index("Screen buffer info:")
    cursor = [r for r in rows if r.startswith("   cursor____ ")][0]
    assert cursor == "   cursor____ 0x%d" % row, (row, s)


def hung_up_terminal_quits():
    # The terminal goes away while zem waits for a key (the hang-up signal
    # ignored, as under nohup): zem ends instead of spinning, saving its
    # settings as quit does.
    c = Console(command="trap '' HUP; exec %s" % ZEM)
    try:
        c.t.wait_for(lambda s: s.rstrip().endswith(">>"))
        pid = int(c.t.tmux("display-message", "-p", "-t", "t", "#{pane_pid}").strip())
        c.enter("1 + 1")
        c.t.wait_for("== 2")
        c.t.tmux("kill-server")
        deadline = time.time() + 10
        while os.path.exists("/proc/%d" % pid) and "zem" in open_or_empty("/proc/%d/cmdline" % pid):
            assert time.time() < deadline, "zem still runs after the terminal went away"
            time.sleep(0.05)
        assert 'history: ["1 + 1"]' in c.settings(), c.settings()
    finally:
        c.close()


def open_or_empty(path):
    try:
        with open(path) as f:
            return f.read()
    except OSError:
        return ""


def zem_pid(pid):
    """The zem process among the descendants of `pid`."""
    with open("/proc/%d/task/%d/children" % (pid, pid)) as f:
        children = [int(k) for k in f.read().split()]
    for k in children:
        if open_or_empty("/proc/%d/cmdline" % k).startswith(ZEM):
            return k
        found = zem_pid(k)
        if found:
            return found
    return None


# Signals sent to zem at the prompt (the terminal raw): (signal, the status
# the shell then reports, None when not checked). A hang-up quits as `quit`
# does; the interrupt and the trace trap keep their own ways out (the fatal
# error report); every other signal that ends a process by default still ends
# it, by that signal, with the terminal put back.
ENDING_SIGNALS = [(signal.SIGHUP, 0), (signal.SIGINT, None), (signal.SIGTRAP, None)] + [
    (sig, 128 + sig) for sig in (
        signal.SIGQUIT, signal.SIGABRT, signal.SIGUSR1, signal.SIGUSR2, signal.SIGALRM, signal.SIGTERM,
        signal.SIGSTKFLT, signal.SIGXCPU, signal.SIGXFSZ, signal.SIGVTALRM, signal.SIGPROF, signal.SIGIO,
        signal.SIGPWR, signal.SIGSYS, signal.SIGRTMIN, signal.SIGRTMIN + 5, signal.SIGRTMAX)]


def signals_put_the_terminal_back():
    for sig, status in ENDING_SIGNALS:
        c = Console(command="ulimit -c 0; %s" % ZEM)  # no core files from the signals that dump one
        try:
            c.prompt()
            c.enter("1 + 1")
            c.t.wait_for("== 2")
            c.prompt(2)
            os.kill(zem_pid(int(c.t.tmux("display-message", "-p", "-t", "t", "#{pane_pid}"))), sig)
            s = c.t.wait_for(lambda s: "status=" in s and "icanon" in s.split("mode=")[-1])
            name = signal.strsignal(sig) or str(sig)
            assert "mode=same" in s, "%s left the terminal changed:\n%s" % (name, s)
            if status is not None:
                assert "status=%d\n" % status in s, "%s: %s" % (name, s)
            if sig == signal.SIGHUP:
                assert 'history: ["1 + 1"]' in c.settings(), c.settings()
        finally:
            c.close()


@scenario
def broken_pipe_signal_is_ignored(c):
    # SIGPIPE is ignored (a closed pipe is an error of the write): the session
    # goes on.
    os.kill(zem_pid(int(c.t.tmux("display-message", "-p", "-t", "t", "#{pane_pid}"))), signal.SIGPIPE)
    c.enter("2 + 2")
    c.t.wait_for("== 4")
    c.prompt(2)
    assert c.quit() == 0


run([prompt_and_continuation, text_as_typed, editing_keys, history, debugger_prompt_leaves_no_history,
     escape_on_a_continuation_line,
     alt_key_keeps_the_line,
     halt_at_the_prompt, completion_of_words, completion_of_paths, rebound_words_stay_the_users,
     completion_of_file_names,
     ctrl_c_saves_the_history, repeats_and_hidden_input_stay_out_of_history, results_fit_the_window,
     line_taller_than_the_window, screen_report_counts_input_lines,
     hung_up_terminal_quits, signals_put_the_terminal_back, broken_pipe_signal_is_ignored,
     title_only_on_a_terminal, settings_with_bad_values, history_cut_to_100])
