"""The line editor in a real terminal (tmux): editing keys, Home and End as
the terminal sends them, history, completion, wrapping, wide characters,
Ctrl-C, and the terminal left in cooked mode."""
import sys

from tmux import Terminal, run

PROBE = sys.argv[1]
# The probe runs in a shell that reports the terminal mode once it ends.
COMMAND = "%s; echo status=$?; stty -a | tr ' ' '\\n' | grep -x -e -icanon -e icanon -e echo -e -echo | tr '\\n' ' '; echo; sleep 30" % PROBE


def session(width=40):
    t = Terminal(COMMAND, width=width, height=12)
    t.wait_for(">>")  # the screen as read back has no trailing spaces
    return t


def editing_keys():
    t = session()
    try:
        t.text("abc")
        t.keys("Left", "Left")
        t.text("X")
        t.keys("Home")
        t.text("<")
        t.keys("End")
        t.text(">")
        t.keys("Enter")
        t.wait_for("got: [<aXbc>]")
        t.text("hello world")
        t.keys("C-a", "C-f", "C-k")
        t.text("i")
        t.keys("BSpace", "Enter")
        t.wait_for("got: [h]")
        t.text("xyz")
        t.keys("Home", "DC", "Enter")
        t.wait_for("got: [yz]")
        t.text("ab")
        t.keys("Escape")
        t.wait_for("got: [ab<ESC>]")
    finally:
        t.close()


def history():
    t = session()
    try:
        for line in ("one", "two"):
            t.text(line)
            t.keys("Enter")
            t.wait_for("got: [%s]" % line)
        t.keys("Up", "Up")
        t.wait_for(lambda s: s.rstrip().endswith(">> one"))
        t.keys("Down")  # the entry at the current position first
        t.wait_for(lambda s: s.rstrip().endswith(">> one"))
        t.keys("Down")
        t.wait_for(lambda s: s.rstrip().endswith(">> two"))
        t.keys("Down")
        t.wait_for(lambda s: s.rstrip().endswith(">>"))
        t.keys("Up", "Enter")
        t.wait_for(lambda s: s.count("got: [two]") == 2)
    finally:
        t.close()


def completion():
    t = session()
    try:
        t.text("qu")
        t.keys("Tab")
        t.wait_for(">> quit")
        t.keys("Enter")
        t.wait_for("got: [quit]")
        t.text("pr")
        t.keys("Tab")
        t.wait_for("print probe prin")
        t.wait_for("got: []")
        t.wait_for(lambda s: s.rstrip().endswith(">> pr"))  # the common part carried over
        t.text("obe")
        t.keys("Enter")
        t.wait_for("got: [probe]")
        t.text("x")
        t.keys("Tab", "Enter")
        t.wait_for("got: [x<TAB>]")
    finally:
        t.close()


def wrapping():
    t = session(width=20)
    try:
        text = "abcdefghijklmnopqrstuvwxyz0123456789"
        t.text(text)
        t.wait_for(text[17:])  # the screen is read once the whole echo is there
        rows = t.rows()
        assert rows[0] == ">> " + text[:17], rows
        assert rows[1] == text[17:37], rows
        t.keys("Home")
        t.text("Z")
        t.wait_for(lambda s: ">> Zabcdefghijklmnop" in s and t.cursor() == (4, 0))
        rows = t.rows()
        assert rows[1] == "qrstuvwxyz0123456789", rows
        t.keys("End")
        t.wait_for(lambda s: t.cursor() == (0, 2))
        t.keys("Enter")
        t.wait_for(lambda s: "got: [Z" + text + "]" in s.replace("\n", ""))
        rows = t.rows()
        assert rows[2].startswith("got: "), rows  # no blank row after a full row
    finally:
        t.close()


def wide_characters():
    t = session(width=20)
    try:
        t.text("abcdefghijklmnop")  # prompt and 16 characters: column 19 is left
        t.text("\u4e2d\u6587")
        t.wait_for(lambda s: "\u4e2d\u6587" in s and t.cursor() == (4, 1))
        rows = t.rows()
        assert rows[0].rstrip() == ">> abcdefghijklmnop", rows
        assert rows[1].startswith("\u4e2d\u6587"), rows
        assert t.cursor() == (4, 1), t.cursor()
        t.keys("Left")
        t.wait_for(lambda s: t.cursor() == (2, 1))
        t.keys("Enter")
        t.wait_for(lambda s: "got: [abcdefghijklmnop\u4e2d\u6587]" in s.replace("\n", ""))
    finally:
        t.close()


def ctrl_c_quits_and_restores_the_terminal():
    t = session()
    try:
        t.text("unfinished")
        t.keys("C-c")
        t.wait_for("got: [q]")
        t.wait_for("status=0")
        s = t.wait_for(" echo")
        assert "-icanon" not in s and "icanon" in s, s
    finally:
        t.close()


def ctrl_d_on_an_empty_line():
    t = session()
    try:
        t.keys("C-d")
        t.wait_for("got: [q]")
        t.wait_for("status=0")
    finally:
        t.close()


def resize_redraws():
    t = session(width=40)
    try:
        t.text("abcdefghij" * 3)
        t.tmux("resize-window", "-t", "t", "-x", "20")
        t.text("!")
        t.keys("Enter")
        t.wait_for(lambda s: "got: [" + "abcdefghij" * 3 + "!]" in s.replace("\n", ""))
    finally:
        t.close()


run([editing_keys, history, completion, wrapping, wide_characters,
     ctrl_c_quits_and_restores_the_terminal, ctrl_d_on_an_empty_line, resize_redraws])
