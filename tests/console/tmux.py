"""A real terminal for the console tests: a private tmux server with one
window of a fixed size, keys sent as a user types them, the screen read back.
Every wait has a deadline, so a scenario fails instead of hanging."""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time


class Terminal:
    def __init__(self, command, width=60, height=20, env=None):
        if shutil.which("tmux") is None:
            print("tmux is not installed", file=sys.stderr)
            sys.exit(1)
        self.dir = tempfile.mkdtemp(prefix="zem-tmux-")
        self.socket = os.path.join(self.dir, "socket")
        self.env = dict(os.environ)
        self.env.update(env or {})
        self.env.pop("TMUX", None)
        self.tmux("-f", "/dev/null", "new-session", "-d", "-x", str(width), "-y", str(height),
                  "-s", "t", command)
        self.tmux("set-option", "-g", "remain-on-exit", "on")

    def tmux(self, *args):
        return subprocess.run(["tmux", "-S", self.socket] + list(args), env=self.env,
                              capture_output=True, text=True, timeout=20).stdout

    def keys(self, *keys):
        self.tmux("send-keys", "-t", "t", *keys)

    def text(self, text):
        self.tmux("send-keys", "-t", "t", "-l", text)

    def screen(self):
        return self.tmux("capture-pane", "-p", "-t", "t")

    def rows(self):
        return self.screen().split("\n")

    def cursor(self):
        out = self.tmux("display-message", "-p", "-t", "t", "#{cursor_x} #{cursor_y}").split()
        return int(out[0]), int(out[1])

    def styled(self):
        """The screen with its colour and attribute sequences."""
        return self.tmux("capture-pane", "-e", "-p", "-t", "t")

    def wait_for(self, what, timeout=30):
        """Waits until the screen holds `what` (a string, or a predicate on the screen)."""
        deadline = time.time() + timeout
        while True:
            s = self.screen()
            if (what(s) if callable(what) else what in s):
                return s
            if time.time() > deadline:
                raise AssertionError("timed out waiting for %r; the screen holds:\n%s" % (what, s))
            time.sleep(0.05)

    def wait_styled(self, pattern, timeout=30):
        """Waits until the styled screen matches the regular expression; returns it."""
        deadline = time.time() + timeout
        while True:
            s = self.styled()
            if re.search(pattern, s):
                return s
            if time.time() > deadline:
                raise AssertionError("timed out waiting for %r; the screen holds:\n%r" % (pattern, s))
            time.sleep(0.05)

    def wait_until(self, test, what, timeout=30):
        """Waits until test() is true; `what` names it in the failure."""
        deadline = time.time() + timeout
        while not test():
            if time.time() > deadline:
                raise AssertionError("timed out waiting for %s; the screen holds:\n%s" % (what, self.screen()))
            time.sleep(0.05)

    def wait_dead(self, timeout=10):
        deadline = time.time() + timeout
        while self.tmux("display-message", "-p", "-t", "t", "#{pane_dead}").strip() != "1":
            if time.time() > deadline:
                raise AssertionError("the program did not end; the screen holds:\n" + self.screen())
            time.sleep(0.05)
        return int(self.tmux("display-message", "-p", "-t", "t", "#{pane_dead_status}").strip() or -1)

    def close(self):
        self.tmux("kill-server")
        shutil.rmtree(self.dir, ignore_errors=True)


def run(scenarios):
    """Runs each scenario function; reports every failure, exits non-zero on any."""
    failed = 0
    for scenario in scenarios:
        try:
            scenario()
            print("ok  ", scenario.__name__)
        except AssertionError as e:
            failed += 1
            print("FAIL", scenario.__name__, "\n", e)
    sys.exit(1 if failed else 0)
