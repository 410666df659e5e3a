"""The View engine in a real terminal: faces built by hand are shown by
`view` in tmux, driven with keys and mouse reports, and closed again; the
terminal must come back as it was (mouse reporting off, cursor shown, main
screen, line editing)."""
import os
import re
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "console"))
from tmux import Terminal, run  # noqa: E402

ZEM = os.path.abspath(sys.argv[1])
DIR = tempfile.mkdtemp(prefix="zem-view-")

PRELUDE = """Zem []
unless value? 'white [white: 255.255.255]
"""

FORM = PRELUDE + """
win: make face! [type: 'window size: 40x10 pane: reduce [
	fld: make face! [type: 'field offset: 1x1 size: 20x1 flags: 'focusable options: [hint "name"]]
	pg: make face! [type: 'progress offset: 1x3 size: 12x1 data: 0.5]
	r1: make face! [type: 'radio offset: 1x5 size: 10x1 text: "one" data: true]
	r2: make face! [type: 'radio offset: 12x5 size: 10x1 text: "two"]
	chk: make face! [type: 'check offset: 24x5 size: 10x1 text: "c" data: true]
	btn: make face! [type: 'button offset: 1x7 size: 8x1 text: "OK" flags: 'focusable actors: make object! [
		on-click: func [f e][print ["clicked" mold fld/text] unview]
	]]
]]
view win
print ["after" mold fld/text mold win/text win/offset r1/data r2/data chk/data "data" mold fld/data]
"""

LISTS = PRELUDE + """
seen: copy []
w1: make face! [type: 'window size: 20x2 offset: 0x0 text: "one" actors: make object! [on-resize: func [f e][append seen 'w1 print "resized w1"]]]
w2: make face! [type: 'window size: 30x6
	flags: either find system/options/args "full" ['fullscreen][none]
	actors: make object! [on-resize: func [f e][append seen 'w2 print "resized w2"]]
	pane: reduce [
		tl: make face! [type: 'text-list offset: 1x1 size: 10x3 data: ["a" "b" "c"] selected: 9 flags: 'focusable
			actors: make object! [on-key: func [f e][
				if e/key = #"p" [print "printed from an actor"]
				if e/key = #"n" [print ["no-wait gives the window:" same? w1 view/no-wait w1]]
				if e/key = #"q" [quit/return 3]
			]]
		]
	]
]
view w2
print ["seen" mold sort seen "windows" length? system/view/screens/1/pane "selected" tl/selected]
"""

MADE = PRELUDE + """
f: make-face/offset/size 'field 1x1 20x1
b: make-face/spec/offset 'button ["Save" [print ["saved" mold f/text] unview]] 1x3
c: make-face/spec/offset/size 'check ["keep"] 10x3 8x1
w: make face! [type: 'window size: 30x5 text: "Form" pane: reduce [f b c]]
view w
print ["done" mold f/text c/data]
"""

for name, text in (("form.zem", FORM), ("lists.zem", LISTS), ("made.zem", MADE)):
    with open(os.path.join(DIR, name), "w") as f:
        f.write(text)


def console():
    t = Terminal(ZEM, width=80, height=24)
    t.wait_for(">>")
    return t


def modes(t):
    """Mouse reporting, cursor shown, alternate screen, as tmux sees them."""
    return t.tmux("display-message", "-p", "-t", "t",
                  "#{mouse_any_flag} #{cursor_flag} #{alternate_on}").split()


def wait_mode(t, index, value):
    """Waits until one of the modes above has the value."""
    t.wait_until(lambda: modes(t)[index] == value, "mode %d to be %s (%r)" % (index, value, modes(t)))


def row_of(t, text):
    """The last place of text on the screen (the newest window is lowest)."""
    rows = t.rows()
    for i in range(len(rows) - 1, -1, -1):
        if text in rows[i]:
            return i, rows[i].index(text)
    raise AssertionError("%r is not on the screen:\n%s" % (text, t.screen()))


def click(t, text):
    """A left click (press and release, SGR reports) on the first cell of text."""
    y, x = row_of(t, text)
    t.text("\x1b[<0;%d;%dM" % (x + 1, y + 1))
    t.text("\x1b[<0;%d;%dm" % (x + 1, y + 1))


def run_script(t, name, shown):
    """Runs a script at the prompt and waits until its window shows `shown`."""
    t.text("do %" + os.path.join(DIR, name))
    t.keys("Enter")
    t.wait_for(shown)


def restored(t):
    t.wait_until(lambda: modes(t) == ["0", "1", "0"], "the terminal's modes back (%r)" % modes(t))
    # The line editor reads keys again.
    t.text("1 + 1")
    t.keys("Enter")
    t.wait_for("== 2")


def form_typing_tab_and_click():
    t = console()
    try:
        run_script(t, "form.zem", "[#####     ]")
        # The empty field shows its hint, dim.
        t.wait_styled(r"\x1b\[2m(\x1b\[[0-9;]*m)*name")
        wait_mode(t, 0, "1")  # mouse reporting is on while a window is shown
        t.text("ab")
        t.wait_for(" ab")
        # Tab takes the focus away from the field, Shift-Tab gives it back.
        t.keys("Tab")
        t.text("x")
        t.keys("BTab")
        t.text("c")
        t.wait_for(" abc")
        assert "abcx" not in t.screen() and "abxc" not in t.screen()
        # A click on the second radio clears the first, not the check box.
        click(t, "○ two")
        t.wait_for(lambda s: "◉ two" in s and "○ one" in s)
        time.sleep(0.7)  # past the double-click time: this is a single click
        click(t, "OK")
        s = t.wait_for("after ")
        assert 'clicked "abc"' in s, s
        assert 'after "abc" "Zem: untitled" 20x7 false true true data abc' in s, s
        t.wait_for(">>")
        restored(t)
    finally:
        t.close()


def form_enter_on_button():
    t = console()
    try:
        run_script(t, "form.zem", "[#####     ]")
        t.text("42")
        t.wait_for(" 42")
        # The button is the next focusable face: one Tab gives it the focus
        # (drawn in reverse video).
        t.keys("Tab")
        t.wait_styled(r"\x1b\[7m(\x1b\[[0-9;]*m)*OK")
        t.keys("Enter")
        s = t.wait_for("after ")
        assert 'clicked "42"' in s and "data 42" in s, s
        restored(t)
    finally:
        t.close()


def escape_closes_every_window_and_resize_reaches_each():
    t = console()
    try:
        # A text-list whose selected is past its items highlights the last.
        run_script(t, "lists.zem", " c")
        t.wait_styled(r"\x1b\[7mc")
        # Printing from an actor: the text stays, the window is drawn again below it.
        t.text("p")
        s = t.wait_for(lambda s: "printed from an actor" in s and " c" in s.split("printed from an actor")[1])
        t.text("n")
        t.wait_for("no-wait gives the window: true")
        t.tmux("resize-window", "-t", "t", "-x", "70", "-y", "20")
        t.wait_for(lambda s: "resized w1" in s and "resized w2" in s)
        t.keys("Escape")
        s = t.wait_for("seen [")
        assert "seen [w1 w2] windows 0 selected 3" in s, s
        t.wait_for(">>")
        restored(t)
    finally:
        t.close()


def errors_and_no_window():
    t = console()
    try:
        t.text("unless value? 'white [white: 255.255.255]")
        t.keys("Enter")
        for code, message in (
            ("show make face! [type: 'base]", "VIEW - face not linked to a window"),
            ("view make face! [type: 'base]", "VIEW - expected a window root face"),
            ("show [1]", "VIEW - invalid face type: 1"),
        ):
            t.text(code)
            t.keys("Enter")
            t.wait_for(message)
        t.text("unview print 'done")
        t.keys("Enter")
        t.wait_for("done")
        # view/no-wait gives the window back; do-events then runs it.
        t.text("w: make face! [type: 'window size: 20x3 pane: reduce [make face! [type: 'text offset: 1x1 size: 10x1 text: {waiting}]]] print same? w view/no-wait w")
        t.keys("Enter")
        t.wait_for("true")
        t.text("do-events print 'served")
        t.keys("Enter")
        t.wait_for(" waiting")
        wait_mode(t, 0, "1")
        t.keys("Escape")
        t.wait_for("served")
        # A closed window can be viewed again.
        t.text("view w print 'again")
        t.keys("Enter")
        t.wait_for(lambda s: " waiting" in s.split("print 'again")[-1])
        t.keys("Escape")
        t.wait_for("\nagain")
        restored(t)
    finally:
        t.close()


def quit_inside_a_window():
    for full in (False, True):
        cmd = "sh -c '%s %s %s; echo status $?; stty -a; sleep 60'" % (
            ZEM, os.path.join(DIR, "lists.zem"), "full" if full else "")
        t = Terminal(cmd, width=80, height=24)
        try:
            t.wait_for(" c")
            if full:
                wait_mode(t, 2, "1")  # a full-screen window uses the alternate screen
            t.text("q")
            s = t.wait_for("status ")
            assert "status 3" in s, s
            assert modes(t) == ["0", "1", "0"], modes(t)
            words = t.wait_for("-parenb").split()
            assert "icanon" in words and "echo" in words, s
        finally:
            t.close()


def form_of_made_faces():
    """A form of faces made with make-face, used with keys and the mouse."""
    t = console()
    try:
        run_script(t, "made.zem", "Save")
        t.text("hello")
        t.wait_for(" hello")
        click(t, "keep")
        t.wait_for("\U0001F795 keep")
        time.sleep(0.7)  # past the double-click time
        click(t, "Save")
        s = t.wait_for("done ")
        assert 'saved "hello"' in s and 'done "hello" true' in s, s
        restored(t)
    finally:
        t.close()


def alert_and_requesters():
    files = os.path.join(DIR, "files")
    os.makedirs(os.path.join(files, "sub"), exist_ok=True)
    open(os.path.join(files, "only.txt"), "w").close()
    t = Terminal("sh -c 'cd %s && %s'" % (files, ZEM), width=100, height=40)
    try:
        t.wait_for(">>")
        t.text("unless value? 'white [white: 255.255.255] alert [\"Hello\" 1 + 2] print 'closed")
        t.keys("Enter")
        t.wait_for("Hello 3")
        t.keys("Space")
        t.wait_for("\nclosed")
        # The file requester: the right arrow moves from the folder list to
        # the file list, Enter copies the name into the field, then Open.
        t.text("print mold request-file")
        t.keys("Enter")
        t.wait_for("only.txt")
        t.keys("Right")
        t.keys("Down")
        t.keys("Enter")
        t.wait_for("Selected:  only.txt")
        t.keys("Tab")
        t.keys("Tab")
        t.keys("Enter")
        t.wait_for("%%%s/only.txt" % files)
        # Cancel gives none.
        t.text("print mold request-file/save")
        t.keys("Enter")
        t.wait_for(" Save ")
        click(t, "Cancel")
        t.wait_for("\nnone")
        # The folder requester: Enter on sub/ opens it and fills the field.
        t.text("print mold request-dir")
        t.keys("Enter")
        t.wait_for("sub/")
        t.keys("Down")
        t.keys("Enter")
        t.wait_for("Selected:  %s/sub/" % files)
        t.keys("Tab")
        t.keys("Tab")
        t.keys("Enter")
        t.wait_for("%%%s/sub/\n" % files)
        restored(t)
    finally:
        t.close()


run([form_typing_tab_and_click, form_enter_on_button, escape_closes_every_window_and_resize_reaches_each,
     errors_and_no_window, quit_inside_a_window, form_of_made_faces, alert_and_requesters])
