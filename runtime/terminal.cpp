// The terminal as a device: raw mode, signals, key decoding, display widths
// and the plain read of piped input.
#include "runtime/terminal.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include "platform/terminal.h"

namespace terminal {

namespace {

// ---- Width tables -------------------------------------------------------------------
struct Range {
    uint32_t first, last;
};
#include "runtime/char_width_tables.inc"

template <size_t N>
bool in_table(const Range (&table)[N], uint32_t cp) {
    if (cp < table[0].first || cp > table[N - 1].last) return false;
    size_t lo = 0, hi = N;
    while (lo < hi) {
        size_t mid = (lo + hi) / 2;
        if (table[mid].last < cp) lo = mid + 1;
        else hi = mid;
    }
    return lo < N && table[lo].first <= cp;
}

// ---- Resize signal ------------------------------------------------------------------------
volatile sig_atomic_t resized = 0;
void on_resize(int) { resized = 1; }

// ---- Hang-up and termination signals ---------------------------------------------------------
// A hang-up while a line is read ends the read as the end of input does (the
// console then quits as `quit` does); any other time, and for every other
// signal that ends the process, the terminal is put back before the process
// ends by the signal, so that its parent still sees the true cause.
volatile sig_atomic_t editing = 0;
volatile sig_atomic_t hung_up = 0;
void on_stop(int sig) {
    if (sig == SIGHUP && editing) {
        hung_up = 1;
        return;
    }
    platform::restore_terminal();
    signal(sig, SIG_DFL);
    raise(sig);  // delivered when the handler returns
}

// ---- Raw mode -------------------------------------------------------------------------------
struct termios saved_mode;
int saved_fd = -1;

// Decodes the rest of a UTF-8 sequence whose lead byte is `lead`, reading
// continuation bytes with `next` (which answers false when none comes). A
// byte that does not continue the sequence is handed to `unread`.
template <typename Next, typename Unread>
char32_t decode_utf8(uint8_t lead, Next next, Unread unread) {
    if (lead < 0x80) return lead;
    int extra;
    char32_t cp;
    if ((lead & 0xE0) == 0xC0) extra = 1, cp = lead & 0x1F;
    else if ((lead & 0xF0) == 0xE0) extra = 2, cp = lead & 0x0F;
    else if ((lead & 0xF8) == 0xF0) extra = 3, cp = lead & 0x07;
    else return 0xFFFD;
    for (int i = 0; i < extra; ++i) {
        uint8_t b;
        if (!next(b)) return 0xFFFD;
        if ((b & 0xC0) != 0x80) {
            unread(b);
            return 0xFFFD;
        }
        cp = (cp << 6) | (b & 0x3F);
    }
    static const char32_t least[] = {0, 0x80, 0x800, 0x10000};
    if (cp < least[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0xFFFD;
    return cp;
}

}  // namespace

// ---- Display widths --------------------------------------------------------------------------

int char_width(uint32_t cp) {
    if (cp == 0) return 0;
    if (cp < 32 || (cp >= 127 && cp < 160)) return 1;
    if (in_table(zero_width, cp)) return 0;
    if (in_table(wide, cp)) return 2;
    return 1;
}

int char_width_cjk(uint32_t cp) { return in_table(ambiguous, cp) ? 2 : char_width(cp); }

// ---- Terminal ---------------------------------------------------------------------------------

bool raw_mode_on(int fd) {
    if (!isatty(fd)) return false;
    struct termios mode;
    if (tcgetattr(fd, &mode) != 0) return false;
    if (saved_fd < 0) {
        saved_mode = mode;
        saved_fd = fd;
    }
    mode.c_iflag &= ~static_cast<tcflag_t>(BRKINT | ICRNL | INPCK | ISTRIP | IXON);
    mode.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    mode.c_cflag |= CS8;
    mode.c_lflag &= ~static_cast<tcflag_t>(ECHO | ICANON | IEXTEN | ISIG);
    mode.c_cc[VMIN] = 1;
    mode.c_cc[VTIME] = 0;
    if (tcsetattr(fd, TCSANOW, &mode) != 0) return false;
    platform::note_raw_mode(saved_fd, &saved_mode);  // put back on every way out
    return true;
}

void raw_mode_off() {
    if (saved_fd < 0) return;
    tcsetattr(saved_fd, TCSANOW, &saved_mode);
    saved_fd = -1;
    platform::note_raw_mode(-1, nullptr);
}

bool window_size(int fd, int& columns, int& rows) {
    struct winsize ws;
    if (ioctl(fd, TIOCGWINSZ, &ws) != 0 || ws.ws_col == 0) return false;
    columns = ws.ws_col;
    rows = ws.ws_row;
    return true;
}

void watch_resize() {
    static bool installed = false;
    if (installed) return;
    installed = true;
    struct sigaction sa {};
    sa.sa_handler = on_resize;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = 0;  // no restart: the wait for a key returns to redraw
    sigaction(SIGWINCH, &sa, nullptr);
    // Every signal whose default action ends the process, but only where it
    // keeps that default: one ignored (nohup) stays so, and those that have
    // handlers already (the interrupt, the machine faults that go to the
    // fatal error report, the ignored SIGPIPE) keep them.
    sa.sa_handler = on_stop;
    auto watch = [&](int sig) {
        struct sigaction old {};
        if (sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_DFL) sigaction(sig, &sa, nullptr);
    };
    for (int sig : {SIGHUP, SIGINT, SIGQUIT, SIGILL, SIGTRAP, SIGABRT, SIGBUS, SIGFPE, SIGUSR1, SIGSEGV, SIGUSR2,
                    SIGPIPE, SIGALRM, SIGTERM, SIGSTKFLT, SIGXCPU, SIGXFSZ, SIGVTALRM, SIGPROF, SIGIO, SIGPWR, SIGSYS})
        watch(sig);
    for (int sig = SIGRTMIN; sig <= SIGRTMAX; ++sig) watch(sig);
}

bool take_resize() {
    if (!resized) return false;
    resized = 0;
    return true;
}

void note_screen_modes(bool alternate_screen, bool mouse_reporting, bool cursor_hidden) {
    platform::note_alternate_screen(alternate_screen);
    platform::note_mouse_reporting(mouse_reporting);
    platform::note_cursor_hidden(cursor_hidden);
}

// ---- Keys ------------------------------------------------------------------------------------------

namespace {
// Bytes read by another reader of the terminal (the GUI's event loop) and
// handed back, read before the terminal itself.
std::deque<uint8_t> handed_back;
}  // namespace

void unread_input(const uint8_t* bytes, size_t n) { handed_back.insert(handed_back.end(), bytes, bytes + n); }

int KeyReader::read_byte(uint8_t& byte, int timeout_ms) {
    if (!pending_.empty()) {
        byte = pending_.front();
        pending_.pop_front();
        return 1;
    }
    if (!handed_back.empty()) {
        byte = handed_back.front();
        handed_back.pop_front();
        return 1;
    }
    for (int failures = 0;;) {
        if (hung_up) return -1;
        if (resized) return -3;
        struct pollfd p {fd_, POLLIN, 0};
        int r = poll(&p, 1, timeout_ms);
        if (r == 0) return 0;
        if (r < 0) {
            if (errno == EINTR) continue;
            if (++failures > 100) return -1;
            continue;
        }
        ssize_t n = ::read(fd_, &byte, 1);
        if (n == 1) return 1;
        if (n == 0) return -1;  // end of input, or the terminal hung up
        if (errno == EINTR || errno == EAGAIN) continue;
        return -1;
    }
}

int32_t KeyReader::read_key() {
    uint8_t b;
    int r = read_byte(b, -1);
    if (r == -3) {
        resized = 0;
        return KEY_RESIZED;
    }
    if (r <= 0) return KEY_HUNG_UP;
    if (b == 27) {
        uint8_t next;
        r = read_byte(next, 50);
        if (r != 1) return 27;
        if (next == '[' || next == 'O') return read_sequence(next);
        pending_.push_front(next);
        // A printable byte right behind ESC is an Alt-key: the character
        // alone goes on, as it would with Alt held, and the line is kept.
        if (next >= 32 && next != 127) return KEY_IGNORED;
        return 27;
    }
    if (b < 0x80) return b;
    return static_cast<int32_t>(decode_utf8(
        b, [&](uint8_t& c) { return read_byte(c, 50) == 1; }, [&](uint8_t c) { pending_.push_front(c); }));
}

// After ESC [ or ESC O: parameters (digits and ';'), then the final byte.
int32_t KeyReader::read_sequence(uint8_t introducer) {
    int first = -1;
    bool in_first = true;
    uint8_t b;
    for (int count = 0; count < 32; ++count) {
        if (read_byte(b, 50) != 1) return KEY_IGNORED;
        if (b >= '0' && b <= '9') {
            if (in_first) first = (first < 0 ? 0 : first) * 10 + (b - '0');
            if (first > 1000) first = 1000;
            continue;
        }
        if (b == ';' || b == ':' || b == '?' || b == '<' || b == '>' || b == '=') {
            in_first = false;
            continue;
        }
        if (b < 0x40 || b > 0x7E) continue;
        switch (b) {
            case 'A': return KEY_UP;
            case 'B': return KEY_DOWN;
            case 'C': return KEY_RIGHT;
            case 'D': return KEY_LEFT;
            case 'H': return KEY_HOME;
            case 'F': return KEY_END;
            case '~':
                switch (first) {
                    case 1: case 7: return KEY_HOME;
                    case 4: case 8: return KEY_END;
                    case 2: return KEY_INSERT;
                    case 3: return KEY_DELETE;
                    case 5: return KEY_PAGE_UP;
                    case 6: return KEY_PAGE_DOWN;
                    default: return KEY_IGNORED;
                }
            default: (void)introducer; return KEY_IGNORED;
        }
    }
    return KEY_IGNORED;
}

// ---- Piped input -----------------------------------------------------------------------------------

bool read_piped_line(int fd, std::u32string& line) {
    line.clear();
    bool any = false;
    int held = -1;  // a byte read ahead that did not continue a sequence
    auto next = [&](uint8_t& b) {
        if (held >= 0) {
            b = static_cast<uint8_t>(held);
            held = -1;
            return true;
        }
        for (;;) {
            ssize_t n = ::read(fd, &b, 1);
            if (n == 1) return true;
            if (n < 0 && errno == EINTR) continue;
            return false;
        }
    };
    uint8_t b;
    while (next(b)) {
        any = true;
        if (b == '\n') return true;
        char32_t cp = decode_utf8(b, next, [&](uint8_t c) { held = c; });
        line.push_back(cp);
    }
    if (held >= 0) line.push_back(held == '\n' ? 0xFFFD : static_cast<char32_t>(held));
    return any;
}

// ---- Line editing ---------------------------------------------------------------------------------

void note_editing(bool on) { editing = on ? 1 : 0; }

}  // namespace terminal
