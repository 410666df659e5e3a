"""The text-terminal back end in a real terminal: windows built by hand from
faces (tests/gui/window.zem) shown through system/view/platform inside tmux,
driven by keys and by SGR mouse reports, the screen read back with its
attributes; after the event loop the terminal settings (stty -g) are those
from before, and the alternate screen and mouse reporting are off."""
import contextlib
import os
import re
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "console"))
from tmux import Terminal, run  # noqa: E402

ZEM = sys.argv[1]
SCRIPT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "window.zem")
WORK = tempfile.mkdtemp(prefix="zem-view-")
# Under the collector's stress switch zem starts and draws far more slowly.
SLOW = 30 if os.environ.get("ZEM_GC_STRESS") else 1
_wait_for = Terminal.wait_for
Terminal.wait_for = lambda self, what, timeout=30: _wait_for(self, what, timeout * SLOW)


def start(scenario, width=100, height=14, env=None):
    """zem in tmux between two stty -g readings; "END" is printed after it."""
    before, after = os.path.join(WORK, "before"), os.path.join(WORK, "after")
    for f in (before, after):
        if os.path.exists(f):
            os.remove(f)
    cmd = ("sh -c 'echo start; stty -g > %s; %s %s %s 2>%s/err; echo status $?; stty -g > %s; echo END; sleep 60'"
           % (before, ZEM, SCRIPT, scenario, WORK, after))
    t = Terminal(cmd, width=width, height=height, env=env)
    return t, before, after


def finish(t, before, after):
    s = t.wait_for("END")
    with open(before) as b, open(after) as a:
        assert b.read() == a.read(), "terminal settings changed:\n" + s
    return s


@contextlib.contextmanager
def window(scenario, **options):
    """A scenario's terminal and the call that waits for its end and checks
    that the terminal settings are back."""
    t, before, after = start(scenario, **options)
    try:
        yield t, lambda: finish(t, before, after)
    finally:
        t.close()


def styled(t):
    return t.styled()


def mouse_flag(t):
    return t.tmux("display-message", "-p", "-t", "t", "#{mouse_any_flag}").strip()


def row_of(t, text):
    for i, r in enumerate(t.rows()):
        if text in r:
            return i
    raise AssertionError("%r is not on the screen:\n%s" % (text, t.screen()))


def click(t, x, y):
    """A left click at the 0-based cell, as an SGR mouse report."""
    t.text("\x1b[<0;%d;%dM\x1b[<0;%d;%dm" % (x + 1, y + 1, x + 1, y + 1))


def inline_window_typed_into_and_clicked():
    with window("inline", env={"COLORTERM": "truecolor"}) as (t, end):
        # The hint dim, progress at 0.5 over 10 cells, the button's colour.
        t.wait_for(lambda _: all(part in styled(t) for part in
                                 ("\x1b[2mname", "[#####     ]", "\x1b[48;2;255;0;0m   Go   ")))
        t.text("abc")
        t.keys("Left", "Left", "BSpace")
        t.text("X")
        t.wait_for(" Xbc")
        click(t, 3, row_of(t, "agree"))  # the check box
        t.wait_for("\U0001F795 agree")
        click(t, 4, row_of(t, "Go"))  # the button ends the loop
        s = end()
        log = s.replace("\n", "")
        assert 'text: "Xbc" data: true' in s, s
        assert "click button" in log and "change check" in log, s
        assert "dbl-click" not in log, "two clicks on two widgets are no double click:\n" + s
        assert "status 0" in s, s


def keys_move_the_focus():
    with window("inline") as (t, end):
        t.wait_for("agree")
        t.keys("Tab")
        t.keys("Space")  # the check box has the focus now
        t.wait_for("\U0001F795 agree")
        t.keys("BTab")  # Shift-Tab: back to the field
        t.text("q")
        t.wait_for(" q")
        t.keys("Tab", "Tab", "Enter")  # the button, pressed with Enter
        s = end()
        log = s.replace("\n", "")
        assert 'text: "q" data: true' in s, s
        assert "focus button" in log and "click button" in log, s


def a_long_text_scrolls_in_its_field():
    with window("inline", height=40) as (t, end):
        t.wait_for("agree")
        t.text("abcdefghijklmnopqrstuvwxyz")
        t.wait_for(lambda s: " nopqrstuvwxyz\n" in s)  # the caret after z, in the last cell
        assert "abc" not in t.screen()
        t.keys("Home")
        t.wait_for(lambda s: " abcdefghijklmn\n" in s)
        t.keys("Escape")
        s = end()
        assert 'text: "abcdefghijklmnopqrstuvwxyz"' in s, s


def full_screen_window_and_list():
    with window("full") as (t, end):
        s = t.wait_for(lambda s: all(part in s for part in ("Box", "******", "0123456789abcdefgh", "three")))
        rows = s.split("\n")
        assert rows[0].startswith("\u256d\u2500Box"), s  # round corners, the title on the border
        assert re.search(r"\[#+ *\]", s) and len(re.search(r"\[#+ *\]", s).group(0)) == 12, s
        assert "******" in s and "secret" not in s, s     # a password field is masked
        assert "0123456789abcdefgh\n" in s + "\n", s       # cut at the group box's right edge
        assert "start" not in s, "not on the alternate screen:\n" + s
        t.wait_until(lambda: mouse_flag(t) == "1", "mouse reporting")
        t.wait_for("[##########]")  # ten time events a second fill it
        t.tmux("resize-window", "-t", "t", "-x", "90", "-y", "12")
        t.keys("Down")
        t.wait_for(lambda _: "\x1b[7mtwo" in styled(t))
        y = row_of(t, "three")
        click(t, 3, y)
        click(t, 3, y)  # a second click at once: a double click
        t.wait_for(lambda _: "\x1b[7mthree" in styled(t))
        t.keys("Escape")
        s = end()
        log = s.replace("\n", "")
        assert "start" in s, "the main screen is not back:\n" + s
        assert "selected: 3" in s, s
        assert log.count("dbl-click text-list") == 1, s
        assert "resize window" in log, s


def output_from_an_actor():
    with window("inline") as (t, end):
        t.wait_for("agree")
        t.keys("Tab")
        t.text("p")  # the actor prints; the window is drawn again below the text
        s = t.wait_for("printed from an actor")
        t.wait_for(lambda s: s.find("agree") > s.find("printed from an actor"))
        t.keys("Escape")
        end()


def terminal_restored_on_quit_from_an_actor():
    with window("full") as (t, end):
        t.wait_for("Box")
        t.text("Q")
        s = end()
        assert "status 3" in s and "start" in s, s
        assert t.tmux("display-message", "-p", "-t", "t", "#{mouse_any_flag}").strip() in ("0", ""), s


def an_error_in_an_actor_ends_the_loop():
    with window("inline", height=30) as (t, end):
        t.wait_for("agree")
        t.text("E")
        s = end()
        assert "*** Script Error: invalid argument:" in s, s
        assert "loop: " in s and "status 0" in s, s


def piped_input_touches_no_terminal_mode():
    # Standard input is no terminal: no mode is switched, nothing is read as
    # keys; a timer still runs and ends the loop.
    import subprocess
    r = subprocess.run([ZEM, SCRIPT, "piped"], stdin=subprocess.DEVNULL, capture_output=True, timeout=60 * SLOW)
    out = r.stdout.decode("utf-8", "replace")
    assert r.returncode == 0, out + r.stderr.decode()
    assert "ticker" in out and "loop: false" in out, out
    assert "time text" in out, out
    for mode in ("\x1b[?1049h", "\x1b[?1000h", "\x1b[6n", "\x1b[?25l"):
        assert mode not in out, "%r written with piped input:\n%r" % (mode, out)


def terminal_restored_on_sigterm():
    with window("full") as (t, end):
        t.wait_for("Box")
        pid = t.tmux("display-message", "-p", "-t", "t", "#{pane_pid}").strip()
        # The zem process is the shell's child.
        import subprocess
        out = subprocess.run(["pgrep", "-P", pid], capture_output=True, text=True).stdout.split()
        assert out, "zem is not running"
        os.kill(int(out[0]), 15)
        s = end()
        assert "start" in s, "the main screen is not back:\n" + s
        assert t.tmux("display-message", "-p", "-t", "t", "#{mouse_any_flag}").strip() in ("0", ""), s


def no_mouse_reporting_when_asked_for_none():
    with window("no-mouse") as (t, end):
        t.wait_for("no mouse")
        assert mouse_flag(t) == "0"
        t.keys("Escape")
        end()


run([no_mouse_reporting_when_asked_for_none, inline_window_typed_into_and_clicked, a_long_text_scrolls_in_its_field, keys_move_the_focus, full_screen_window_and_list,
     output_from_an_actor, terminal_restored_on_quit_from_an_actor, an_error_in_an_actor_ends_the_loop,
     piped_input_touches_no_terminal_mode, terminal_restored_on_sigterm])
