// The console's input side: the terminal in raw mode, key decoding from the
// bytes a VT terminal sends, display widths, the single-line editor with its
// history and Tab completion, and the plain line read of piped input.
#pragma once
#include <climits>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace terminal {

// ---- Keys ----------------------------------------------------------------------
// A key is a code point (control characters included) or one of these codes.
constexpr int32_t KEY_IGNORED = 0;
constexpr int32_t KEY_FAILED = -1;      // a read failed for a moment: ignored
constexpr int32_t KEY_HUNG_UP = -2;     // end of input or a terminal gone
constexpr int32_t KEY_RESIZED = -3;     // the window changed size
constexpr int32_t KEY_UP = -20;
constexpr int32_t KEY_DOWN = -21;
constexpr int32_t KEY_RIGHT = -22;
constexpr int32_t KEY_LEFT = -23;
constexpr int32_t KEY_END = -24;
constexpr int32_t KEY_HOME = -25;
constexpr int32_t KEY_INSERT = -26;
constexpr int32_t KEY_DELETE = -27;
constexpr int32_t KEY_PAGE_UP = -28;
constexpr int32_t KEY_PAGE_DOWN = -29;

// Reads keys from `fd`: UTF-8 characters (an invalid sequence gives U+FFFD),
// and the escape sequences of the cursor and editing keys in the variants
// real terminals send (CSI and SS3 forms, with or without modifiers). An Esc
// not followed within a short while by a sequence is the Esc key itself.
class KeyReader {
public:
    explicit KeyReader(int fd) : fd_(fd) {}
    int32_t read_key();
    // Bytes read ahead of time (a terminal reply, or after a lone Esc).
    void push_back(uint8_t byte) { pending_.push_back(byte); }
    // Reads one byte, waiting at most `timeout_ms` (-1: no limit). 1 for a
    // byte, 0 for a timeout, -1 at end of input or on a failure that lasts,
    // -3 when interrupted by a change of the window size.
    int read_byte(uint8_t& byte, int timeout_ms);

private:
    int32_t read_sequence(uint8_t introducer);
    int fd_;
    std::deque<uint8_t> pending_;
};

// ---- Display widths -------------------------------------------------------------
// Columns a code point takes: 0 for NUL and the zero-width characters, 2 for
// the wide ones, 1 for controls and everything else.
int char_width(uint32_t cp);
// The East Asian variant: ambiguous-width characters take 2 columns.
int char_width_cjk(uint32_t cp);

// ---- Terminal -----------------------------------------------------------------------
// Raw mode on `fd`, settings saved first; false when `fd` is not a terminal.
bool raw_mode_on(int fd);
// Puts back the settings saved by raw_mode_on (nothing when none are saved).
void raw_mode_off();
// The size of the terminal in cells, from the first of `fds` that answers.
bool window_size(int fd, int& columns, int& rows);
// Makes a change of window size interrupt a wait for a key, a hang-up end
// it as the end of input does, and every other signal that ends the process
// (where it keeps its default action) put the terminal back first; the
// process then ends by that signal.
void watch_resize();
// Hands bytes read from the terminal but not used back to the key readers:
// the next key read takes them first.
void unread_input(const uint8_t* bytes, size_t n);
// True once after the window changed size (a resize seen by watch_resize).
bool take_resize();
// Records which screen modes are on (the alternate screen, mouse reporting,
// a hidden cursor), so that every way out of the process switches them off.
void note_screen_modes(bool alternate_screen, bool mouse_reporting, bool cursor_hidden);

// ---- Piped input ------------------------------------------------------------------------
// Reads one line from `fd` a byte at a time (never past its line feed), as
// UTF-8 (invalid sequences give U+FFFD). The line feed is dropped, a carriage
// return is kept. False at end of input when nothing was read.
bool read_piped_line(int fd, std::u32string& line);

// ---- The line editor ----------------------------------------------------------------------
// The history the editor browses and grows: entry 0 is the newest.
class History {
public:
    virtual ~History() = default;
    virtual int32_t count() = 0;
    virtual std::u32string entry(int32_t index) = 0;
    // Inserts the line at the head unless it equals the newest entry
    // (letter case ignored).
    virtual void add(const std::u32string& line) = 0;
};

// A completion: a candidate string and the cursor position within it.
struct Completion {
    std::u32string text;
    size_t cursor = 0;
};
// Completes the line at the cursor: no result, one new line, or a new line
// followed by the candidates to show.
using Completer = std::function<std::vector<Completion>(const std::u32string& line, size_t cursor)>;

class LineEditor {
public:
    LineEditor(int in_fd, int out_fd) : in_fd_(in_fd), out_fd_(out_fd), keys_(in_fd) {}

    // Reads one line, showing `prompt`; `hidden` echoes `*` for each
    // character. Returns the text without its line end: "q" for Ctrl-C and
    // for Ctrl-D on an empty line; the text followed by the escape character
    // for Esc; an empty line after Tab showed a list. No line at the end of
    // input (the terminal hung up or cannot be read): a line being typed
    // then is dropped.
    std::optional<std::u32string> edit(const std::u32string& prompt, bool hidden, History* history,
                                       const Completer& complete);

    // The screen width the editor lays the line out on (80 when unknown).
    int columns() const { return columns_; }
    KeyReader& keys() { return keys_; }
    // After a line was read: the screen row the cursor was left on (at its
    // column 0), or -1 when the terminal did not say where the prompt was;
    // and the rows the prompt and the line took, the line end included.
    int screen_row() const { return located_ ? final_row_ : -1; }
    int rows_used() const { return rows_used_; }

private:
    void refresh_size();
    void redraw(bool full);
    void append_at_end(char32_t cp);
    int start_column(int* row);
    void emit(const std::string& bytes);
    void insert(char32_t cp);
    void fetch(History* history, int32_t index);
    std::optional<std::u32string> loop(History* history, const Completer& complete, bool& fresh_row);

    int in_fd_, out_fd_;
    KeyReader keys_;
    int columns_ = 80;
    std::u32string prompt_;
    std::u32string line_;
    size_t cursor_ = 0;
    bool hidden_ = false;
    bool first_draw_ = true;
    int rows_ = 24;
    int start_col_ = 0;  // the column the prompt starts in
    int cur_row_ = 0;    // the row the cursor is on, counted from the prompt's
    // The screen row of the prompt's row: negative once the line has pushed
    // it above the top of the screen. Only rows on the screen can be reached.
    int prompt_row_ = 0;
    bool located_ = false;  // the terminal told where the prompt starts
    int final_row_ = 0;
    int rows_used_ = 0;
    std::u32string carry_;
    size_t carry_cursor_ = 0;
};

// Measures `text` for display from the offset `offset` (cells counted from
// the start of the prompt's row on a screen `columns` wide), appending what
// is written for it to `out`: only the characters whose last cell lies in
// [lo, hi), and every escape sequence. Answers the offset after it.
int measure(const std::u32string& text, size_t from, size_t to, int offset, int columns, bool hidden,
            std::string* out, int lo = 0, int hi = INT32_MAX);

}  // namespace terminal
