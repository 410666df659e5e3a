// Terminal modes over termios and VT sequences, with the state needed to
// restore them on every exit path.
#include "platform/terminal.h"

#include <csignal>
#include <cstring>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace platform {

namespace {

// Written from ordinary code, read from signal handlers.
volatile sig_atomic_t raw_fd = -1;
volatile sig_atomic_t alternate_screen = 0;
volatile sig_atomic_t mouse_reporting = 0;
volatile sig_atomic_t cursor_hidden = 0;
struct termios saved;

void put(const char* text) {
    size_t n = std::strlen(text);
    while (n > 0) {
        ssize_t w = ::write(STDOUT_FILENO, text, n);
        if (w <= 0) return;
        text += w;
        n -= static_cast<size_t>(w);
    }
}

}  // namespace

bool enter_raw_mode(int fd) {
    if (!isatty(fd)) return false;
    struct termios current;
    if (tcgetattr(fd, &current) != 0) return false;
    if (raw_fd < 0) saved = current;
    struct termios raw = current;
    raw.c_iflag &= ~static_cast<tcflag_t>(BRKINT | ICRNL | INPCK | ISTRIP | IXON);
    raw.c_oflag |= OPOST;
    raw.c_cflag |= CS8;
    raw.c_lflag &= ~static_cast<tcflag_t>(ECHO | ICANON | IEXTEN);
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    if (tcsetattr(fd, TCSAFLUSH, &raw) != 0) return false;
    raw_fd = fd;
    return true;
}

void leave_raw_mode() {
    int fd = raw_fd;
    if (fd < 0) return;
    tcsetattr(fd, TCSAFLUSH, &saved);
    raw_fd = -1;
}

void note_raw_mode(int fd, const void* settings) {
    if (fd >= 0 && settings) {
        if (raw_fd < 0) saved = *static_cast<const struct termios*>(settings);
        raw_fd = fd;
    } else {
        raw_fd = -1;
    }
}

void note_alternate_screen(bool on) { alternate_screen = on; }
void note_mouse_reporting(bool on) { mouse_reporting = on; }
void note_cursor_hidden(bool on) { cursor_hidden = on; }

void restore_terminal() {
    if (mouse_reporting) {
        put("\x1b[?1006l\x1b[?1003l\x1b[?1002l\x1b[?1000l");
        mouse_reporting = 0;
    }
    if (cursor_hidden) {
        put("\x1b[?25h");
        cursor_hidden = 0;
    }
    if (alternate_screen) {
        put("\x1b[?1049l");
        alternate_screen = 0;
    }
    int fd = raw_fd;
    if (fd >= 0) {
        tcsetattr(fd, TCSANOW, &saved);
        raw_fd = -1;
    }
}

bool terminal_size(int fd, uint32_t& columns, uint32_t& rows) {
    struct winsize ws;
    if (ioctl(fd, TIOCGWINSZ, &ws) != 0 || ws.ws_col == 0 || ws.ws_row == 0) return false;
    columns = ws.ws_col;
    rows = ws.ws_row;
    return true;
}

}  // namespace platform
