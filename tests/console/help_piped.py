"""The help system and the reactive framework's printed output, as a user
meets them at the piped console: help pages, searches, source, about,
dump-reactions and a failing reaction."""
import re
import subprocess
import sys

from piped import check, failures, run


USAGE = ("\n\tUse HELP or ? to view built-in docs for functions, values \n\tfor contexts, or all values of a given"
         " datatype:\n\n\t\thelp append\n\t\t? system\n\t\t? function!\n\n\tTo search for values by name, use a"
         " word:\n\n\t\t? pri\n\t\t? to-\n\n\tTo also search in function specs, use a string:\n\n\t\t? \"pri\"\n"
         "\t\t? \"issue!\"\n\n\tTo buffer and return output, rather than printing results, \n\tuse help-string:\n\n"
         "\t\thelp-string append\n\n\tOther useful functions:\n\n\t\t??     - Display a word and the value it"
         " references\n\t\tprobe  - Print a molded value\n\t\tsource - Show a function's source code\n\t\twhat   -"
         " Show a list of known functions or words\n\t\tabout  - Display version number and build date\n\t\tquit"
         "   - Leave the Zem console\n\t")

PAGES = [
    ("help", USAGE + "\n"),
    ("help append", """USAGE:
     APPEND series value

DESCRIPTION:
     APPEND is an action! value.

ARGUMENTS:
     series       [series! bitset! map! port!] 
     value        [any-type!] 

REFINEMENTS:
     /part        => 
        length       [number! series!] 
     /only        => 
     /dup         => 
        count        [integer!] 
"""),
    ("help first", """USAGE:
     FIRST s

DESCRIPTION:
     Returns the first value in a series.
     FIRST is a function! value.

ARGUMENTS:
     s            [series! tuple! pair! any-point! date! time!] 
"""),
    # Only refinements: no ARGUMENTS section; a return: gives RETURNS.
    ('f: func ["Two  words" /a "doc a" /b x [integer!] return: [logic!] "yes or no"] [true] 1\n? f',
     """== 1
USAGE:
     F 

DESCRIPTION:
     Two words.
     F is a function! value.

REFINEMENTS:
     /a           => doc a.
     /b           => 
        x            [integer!] 

RETURNS:
     yes or no.
     [logic!]
"""),
    ("help +", """USAGE:
     value1 + value2

DESCRIPTION:
     + is an op! value.

ARGUMENTS:
     value1       [scalar! vector!] 
     value2       [scalar! vector!] 
"""),
    ("? xyzzy", "No matching values were found in the global context.\n"),
    ("? pri", "     prin            native!       [value [any-type!]]\n"
              "     print           native!       [value [any-type!]]\n"),
    ('? "issue!"', "     hex-to-rgb      function!     Converts a color in hex format to a tuple...\n"
                   "     issue!          datatype!     issue!\n"
                   "     to-issue        function!     Convert to issue! value.\n"),
    ("source first", 'first: func ["Returns the first value in a series" s [series! tuple! pair! any-point! date!'
                     ' time!]][pick s 1]\n'),
    ("source quit-return", "; QUIT-RETURN is a routine! value; its body is Zem/System code. \n\n"
                           "quit-return: routine [{Stops evaluation and exits the program with a given status}"
                           " status [integer!]][]\n"),
    ("source append", "APPEND is an action! value, so source is not available.\n"),
    ("x: 5\n? x", "== 5\nX is an integer! value: 5\n"),
    ("? 12", "12 is an integer! value.\n"),
    ("b: [1 2 3]\n? b", "== [1 2 3]\nB is a block! value.  length: 3 [1 2 3]\n"),
    ('m: #[a: 1 bb: "x"]\n? m', '== #[\n    a: 1\n    bb: "x"\n]\nM is a map! with the following words and values:\n'
                               '     a   integer!      1\n     bb  string!       "x"\n'),
    ("o: context [n: 1 blk: [a b]]\n? o", "== make object! [\n    n: 1\n    blk: [a b]\n]\n"
                                         "O is an object! with the following words and values:\n"
                                         "     n    integer!      1\n     blk  block!        length: 2 [a b]\n"),
    ('length? help-string', "== %d\n" % (len(USAGE) + 1)),
    ('a-an "integer!"', '== "an"\n'),
    ('a-an/pre "block!"', '== "a block!"\n'),
    ('ellipsize-at "abcdef" 5', '== "ab..."\n'),
    ('ellipsize-at "abcde" 5', '== "abcde"\n'),
]

REACTIVE = [
    ("r: reactor [a: 1] s: reactor [b: 0] react [s/b: r/a * 2] dump-reactions",
     "1 :---\n  Source: object [a]\n   Field: a\n  Action: [s/b: r/a * 2]\n"),
    ("m: reactor [x: 1] n: reactor [y: 0] react/link func [m n][n/y: m/x] [m n] dump-reactions",
     "1 :---\n  Source: object [x]\n   Field: x\n  Action: func [m n][n/y: m/x]\n"
     "    Args: [object [x: 1] object [y: 1]]\n"),
    ("r: reactor [a: 1 relate b: [a + 1]] dump-reactions",
     "1 :---\n  Source: object [a b]\n   Field: a\n  Action: [a + 1]\n  Target: b\n"),
    ("dump-reactions", "-- no reactions --\n"),
    ("system/reactivity/debug?: on r: reactor [a: 1] r/a: 2 1",
     "-- on-change event --\n\tword : a\n\told  : unset\n\tnew  : integer\n"
     "-- on-change event --\n\tword : a\n\told  : integer\n\tnew  : integer\n== 1\n"),
]


def test_pages():
    for code, want in PAGES:
        check(code, run(code + "\n"), want)


def test_reactive_output():
    for code, want in REACTIVE:
        check(code, run(code + "\n"), want)


def test_failing_reaction():
    # The error is printed with the reaction that raised it; the assignment
    # that ran the reaction still ends normally.
    out = run("e: reactor [v: 1] f: reactor [w: 0] react/later [f/w: e/v / 0] e/v: 2\n")
    check("failing reaction", "*** Math Error: attempt to divide by zero" in out and
          "*** Near: [f/w: e/v / 0]\n== 2\n" in out, True)


def test_fitted_lines():
    # The piped console is 80 columns wide: a fitted line ends in "..." at 79.
    lines = run("what\n").split("\n")[:-1]
    check("what lines fit", max(len(l) for l in lines), 79)
    check("cut lines end in dots", any(len(l) == 79 and l.endswith("...") for l in lines), True)
    check("what lists functions", any(l.startswith("     append ") for l in lines), True)


def test_about():
    out = run("about\n")
    check("about", re.fullmatch(r"Zem \d+\.\d+\.\d+ for Linux built \d+-\w{3}-\d{4}(/\d+:\d+:\d+ commit #[0-9a-f]{7})?\n",
                                out) is not None, True)
    version = subprocess.run(["grep", "-m1", "project(zem VERSION", sys.argv[2]], capture_output=True).stdout.decode()
    check("about version", out.split()[1] in version, True)


for name, fn in list(globals().items()):
    if name.startswith("test_"):
        fn()
for f in failures:
    print(f)
sys.exit(1 if failures else 0)
