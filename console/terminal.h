// The console's input side: the single-line editor over the terminal, with
// its history and Tab completion.
#pragma once
#include <climits>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "runtime/terminal.h"

namespace terminal {

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
