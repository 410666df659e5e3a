"""The tracing tools as a user meets them at the piped console: parse-trace,
trace (its columns at the width of 80), a nested trace, the debugger driven
by commands typed at its prompt, and the profiler's report."""
import re
import sys

from piped import check, failures, run


def line(expr, value, left=36):
    """A trace line: the expression at column 0, " => " at column `left`."""
    return expr.ljust(left) + " => " + value


# parse-trace: each nested rule indents its lines by two more spaces.
check("parse-trace", run('parse-trace "ab" ["a" "b"]\n'), "\n".join([
    " -->",
    '   input: "ab" ',
    '   match: ["a" "b"]   ',
    "   ==> matched",
    '   input: "b" ',
    '   match: ["b"]   ',
    "   ==> matched",
    " <--",
    "return: true",
    "== true",
    ""]))
check("parse-trace fails", run('parse-trace "ac" ["a" "b"]\n').split("\n")[-5:-1], [
    "   ==> not matched", " <--", "return: false", "== false"])

# trace: one line per expression; the console's width of 80 puts " => " at
# column 36; a trace inside a trace runs nothing and traces nothing.
check("trace", run("trace [1 + 2]\n"), "\n".join([line("1 + 2", "3"), "== 3", ""]))
check("nested trace", run("trace [a: 1 trace [b: 2] c: 3]\nvalue? 'b\n"), "\n".join([
    line("a: 1", "1"), line("trace [b: 2]", "none"), line("c: 3", "3"), "== 3", "== false", ""]))
check("trace deep", run("f: func [x][x * 2]\ntrace/deep [y: f 5]\n").split("\n")[1:4], [
    "  [F] y: f 5".ljust(79, "`"), "  " + line("x * 2", "10", 34), line("y: f 5", "10")])
check("trace all", run("f: func [x][x * 2]\ntrace/all [z: f 1 + 2]\n").split("\n")[1:3], [
    line("1 + 2", "3"), line("f 3", "6")])
long = run('trace [append copy "' + "x" * 60 + '" "y"]\n').split("\n")[0]
check("trace cuts long expressions", (long[:36], long.index(" => "), long[40:]),
      ("append copy {" + "x" * 20 + "...", 36, "{" + "x" * 32 + "...}"))
check("trace off and on", run("trace [trace false 5 + 5 trace true 6 + 6]\n"),
      "\n".join([line("6 + 6", "12"), "== 12", ""]))
raw = run("trace/raw [1 + 2]\n").split("\n")
check("trace raw", [l.split(" ")[0] for l in raw[:13]],
      ["INIT", "ENTER", "FETCH", "PUSH", "FETCH", "OPEN", "FETCH", "PUSH", "CALL", "RETURN", "EXPR", "EXIT", "END"])

# debug/later runs silently up to @stop, then shows the event and reads
# commands: c runs to the end, q halts back to the console. The options
# come back after the run.
STOP = ["-----> EVAL @stop", "Input: @stop b: 2", "", "-empty stack-", ""]
check("debug continue", run("debug/later [a: 1 @stop b: 2]\nc\nprint [a b]\n"),
      "\n".join(STOP + ["1 2", ""]))
check("debug quit", run("debug/later [a: 1 @stop b: 2]\nq\nprint a\nvalue? 'b\n"),
      "\n".join(STOP + ["(halted)", "1", "== false", ""]))
check("debug next and commands", run(
    "debug [x: 1 + 2]\n\n:x\nw x\nfoo\nc\nsystem/tools/options/debug/active?\nlength? system/tools/watching\n"),
    "\n".join(["-----> EVAL x:", "Input: x: 1 + 2", "", "-empty stack-", "",
               "-----> PUSH x:", "Input: x: 1 + 2", "", "Stack: x:", "",
               "== unset", "Unknown command!", "== false", "== 1", ""]))
steps = run("f: func [a][a * 2]\ndebug [f 3]\n" + "\n" * 8 + "c\n").split("\n")
check("debug shows calls", [l for l in steps if l.startswith("----->")][:7], [
    "-----> EVAL f", "-----> OPEN f", "-----> EVAL 3", "-----> PUSH 3", "-----> CALL f (function!)",
    "-----> EVAL a", "-----> PUSH 3"])

# profile: one line per function, most called first (or by name); the
# duration is a time.
PROFILE = "f: func [][1]\ng: func [][2]\n"


def report(text):
    return [re.sub(r"0:00:00(\.\d+)?", "T", l) for l in text.split("\n")]


check("profile", report(run(PROFILE + "profile [f f g]\n"))[2:], [
    "== 2", "", "#1   f                | 2          | T", "#2   g                | 1          | T", ""])
check("profile by name", report(run(PROFILE + "profile/by [g f g f g] 'name\n"))[2:], [
    "== 2", "", "#1   f                | 2          | T", "#2   g                | 3          | T", ""])
rec = report(run("r: func [n][if n > 0 [r n - 1]]\nt: func [][throw 1]\nprofile [r 3 catch [t]]\n"))
check("profile recursion and a jump", [l for l in rec if l[5:7] in ("r ", "t ")], [
    "#1   r                | 4          | T", "#6   t                | 1          | T   "])

if failures:
    print("\n\n".join(failures))
    sys.exit(1)
print("trace_piped: all cases passed")
