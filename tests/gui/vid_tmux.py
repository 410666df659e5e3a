"""VID in a real terminal: windows written as one line of VID are shown by
`view` inside tmux, used with keys and SGR mouse reports and closed; the
script goes on after each one, with the values the window left behind."""
import os
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "console"))
from tmux import Terminal, run  # noqa: E402

ZEM = sys.argv[1]
DIR = tempfile.mkdtemp(prefix="zem-vid-")


def start(name, body, width=80, height=24):
    """zem runs the script in tmux; "END" is printed after it."""
    path = os.path.join(DIR, name + ".zem")
    with open(path, "w") as f:
        f.write("Zem []\n" + body + '\nprint "script done"\n')
    return Terminal("sh -c '%s %s; echo END; sleep 60'" % (ZEM, path), width=width, height=height)


def row_of(t, text):
    for i, row in enumerate(t.rows()):
        if text in row:
            return i, row.index(text)
    raise AssertionError("%r is not on the screen:\n%s" % (text, t.screen()))


def click(t, text, dx=0):
    """A left click (press and release) on a cell of the first place that shows text."""
    y, x = row_of(t, text)
    t.text("\x1b[<0;%d;%dM\x1b[<0;%d;%dm" % (x + dx + 1, y + 1, x + dx + 1, y + 1))


def text_and_button_closed_by_enter():
    t = start("hi", 'view [text "Hi" button "OK" [unview]]')
    try:
        s = t.wait_for(lambda s: "Hi" in s and "OK" in s)
        y1, x1 = row_of(t, "Hi")
        y2, x2 = row_of(t, "OK")
        assert y1 == y2 and x2 > x1, s
        # The button is the window's first focusable face: Enter presses it.
        t.keys("Enter")
        t.wait_for("script done")
        t.wait_for("END")
    finally:
        t.close()


def alert_closed_by_enter_escape_and_space():
    t = start("alert", '\n'.join('alert "Saved %d" print "closed %d"' % (i, i) for i in range(3)))
    try:
        # Each key closes one alert; the script then goes on to the next.
        for i, key in enumerate(["Enter", "Escape", "Space"]):
            t.wait_for(lambda s: "Saved %d" % i in s and "OK" in s)
            t.keys(key)
        s = t.wait_for("END")
        assert "closed 2" in s, s
    finally:
        t.close()


FORM = """
view [
    below
    f: field 20 hint "name"
    c: check "agree"
    l: text-list 12x4 data ["red" "green" "blue"]
    across
    button "OK" [print ["ok" mold f/text c/data l/selected] unview]
    button "Cancel" [print "cancelled" unview]
]
"""


def form_by_keyboard_and_mouse():
    t = start("form", FORM)
    try:
        # Keys: type into the field, Tab to the check box and Space to tick it.
        t.wait_for("agree")
        t.text("bob")
        t.wait_for(" bob")
        t.keys("Tab")
        t.keys("Space")
        t.wait_for("\U0001F795 agree")
        # The mouse: pick a list item, then click OK.
        click(t, "green")
        t.wait_styled(r"\x1b\[7mgreen")
        click(t, "OK", 2)
        t.wait_for('ok "bob" true 2')
        t.wait_for("END")
    finally:
        t.close()


def form_cancelled_by_tab_and_enter():
    t = start("cancel", FORM)
    try:
        t.wait_for("agree")
        # Field, check box, list, OK, then Cancel.
        for _ in range(4):
            t.keys("Tab")
        t.keys("Enter")
        s = t.wait_for("END")
        assert "cancelled" in s and "ok " not in s, s
    finally:
        t.close()


def draw_block_shows_lines_and_boxes():
    t = start("draw", 'view [base 12x5 draw [box 0x0 11x4 line 1x2 10x2 text 3x1 "hi"] button "X" [unview]]')
    try:
        s = t.wait_for(lambda s: all(part in s for part in ("\u2514", "\u250c", "hi", "X")))
        rows = s.split("\n")
        y = next(i for i, row in enumerate(rows) if "\u250c" in row)
        x = rows[y].index("\u250c")
        assert rows[y][x:x + 12] == "\u250c" + "\u2500" * 10 + "\u2510", s
        assert rows[y + 1][x:x + 12] == "\u2502  hi      \u2502", s
        assert rows[y + 2][x:x + 12] == "\u2502" + "\u2500" * 10 + "\u2502", s
        assert rows[y + 4][x:x + 12] == "\u2514" + "\u2500" * 10 + "\u2518", s
        t.keys("Enter")
        t.wait_for("END")
    finally:
        t.close()


def rich_text_styles_its_ranges():
    t = start("rich", 'view [rich-text 20x2 data ["plain " b "strong" /b] button "X" [unview]]')
    try:
        styled = t.wait_styled(r"\x1b\[1mstrong")
        assert "\x1b[1mplain" not in styled, repr(styled)
        t.keys("Enter")
        t.wait_for("END")
    finally:
        t.close()


def double_click_whose_click_closes_the_window():
    # The second click closes the window in its click actor: the double
    # click that follows must not reach the freed button.
    t = start("twice", 'n: 0 view [button "Twice" [n: n + 1 if n = 2 [unview]]] print ["clicks" n]')
    try:
        t.wait_for("Twice")
        y, x = row_of(t, "Twice")
        click_twice = "\x1b[<0;%d;%dM\x1b[<0;%d;%dm" % (x + 1, y + 1, x + 1, y + 1)
        t.text(click_twice * 2)
        s = t.wait_for("END")
        assert "clicks 2" in s and "script done" in s, s
    finally:
        t.close()


def focus_keyword_and_set_focus_move_the_focus():
    # `focus` gives the second field the focus at once; Enter in the first
    # runs set-focus on the third, and the next keys land there.
    t = start("focus", 'view [text "Form" f1: field 10 on-enter [set-focus f3] f2: field 10 focus f3: field 10]\n'
                       'print ["texts" mold f1/text mold f2/text mold f3/text]')
    try:
        t.wait_for("Form")
        t.text("ab")
        t.wait_for(" ab")
        t.keys("BTab")
        t.text("x")
        t.wait_for(" x ")
        t.keys("Enter")
        t.text("cd")
        t.wait_for(" cd")
        t.keys("Escape")
        s = t.wait_for("END")
        assert 'texts "x" "ab" "cd"' in s, s
    finally:
        t.close()


run([focus_keyword_and_set_focus_move_the_focus, double_click_whose_click_closes_the_window, text_and_button_closed_by_enter, rich_text_styles_its_ranges, alert_closed_by_enter_escape_and_space,
     form_by_keyboard_and_mouse, form_cancelled_by_tab_and_enter, draw_block_shows_lines_and_boxes])
