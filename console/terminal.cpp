// The console's line editor (keys, history, completion, redraw over wrapped
// rows) over the terminal.
#include "console/terminal.h"

#include <algorithm>
#include <string>
#include <unistd.h>

#include "runtime/unicode.h"

namespace terminal {

namespace {

void append_utf8(std::string& out, char32_t cp) {
    uint8_t bytes[4];
    out.append(reinterpret_cast<const char*>(bytes), unicode::encode_utf8_char(static_cast<uint32_t>(cp), bytes));
}

std::string csi(int n, char final) { return "\x1b[" + std::to_string(n) + final; }

}  // namespace

// ---- Measuring ----------------------------------------------------------------------------------------

int measure(const std::u32string& text, size_t from, size_t to, int offset, int columns, bool hidden,
            std::string* out, int lo, int hi) {
    for (size_t i = from; i < to; ++i) {
        char32_t cp = text[i];
        if (cp == '\t') {
            if (out && offset + 3 >= lo && offset + 3 < hi) *out += "    ";
            offset += 4;
            continue;
        }
        if (!hidden && cp == 27 && i + 1 < to && (text[i + 1] == '[' || text[i + 1] == '(')) {
            // An escape sequence: written as it is, no column.
            size_t j = i + 2;
            while (j < to && ((text[j] >= '0' && text[j] <= '9') || text[j] == ';')) ++j;
            if (j < to) ++j;
            if (out)
                for (size_t k = i; k < j; ++k) append_utf8(*out, text[k]);
            i = j - 1;
            continue;
        }
        if (hidden) cp = '*';
        int w = (cp >= 0x1F300 && cp <= 0x1F5FF) ? 2 : char_width(cp);
        if (w == 2 && offset % columns == columns - 1) offset += 1;  // the blank cell left behind
        offset += w;
        if (!out || (w > 0 && (offset - 1 < lo || offset - 1 >= hi))) continue;
        // Control characters would drive the terminal: they are shown as '?'.
        if (cp < 32 || (cp >= 127 && cp < 160)) *out += '?';
        else append_utf8(*out, cp);
    }
    return offset;
}

// ---- The line editor --------------------------------------------------------------------------------------

void LineEditor::emit(const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(out_fd_, bytes.data() + done, bytes.size() - done);
        if (n > 0) done += static_cast<size_t>(n);
        else if (n < 0 && errno == EINTR) continue;
        else return;
    }
}

void LineEditor::refresh_size() {
    int c, r;
    if (window_size(out_fd_, c, r) || window_size(in_fd_, c, r)) {
        columns_ = c;
        if (r > 0) rows_ = r;
    }
}

// Asks the terminal where the cursor is (the prompt may follow text on its
// row); the column is 0 when no answer comes in time, and the row then the
// last one (which assumes the least room below the prompt).
int LineEditor::start_column(int* row) {
    *row = rows_ - 1;
    located_ = false;
    emit("\x1b[6n");
    std::vector<uint8_t> other;
    int col = 0;
    for (int guard = 0; guard < 256; ++guard) {
        uint8_t b;
        if (keys_.read_byte(b, 200) != 1) break;
        if (b != 27) {
            other.push_back(b);
            continue;
        }
        // The answer is ESC [ row ; column R; any other sequence is a key typed ahead.
        std::string seq;
        bool reply = false;
        while (seq.size() < 16) {
            if (keys_.read_byte(b, 200) != 1) break;
            seq += static_cast<char>(b);
            if (seq.size() == 1 && b == '[') continue;
            if (seq.size() > 1 && ((b >= '0' && b <= '9') || b == ';')) continue;
            reply = seq[0] == '[' && b == 'R' && seq.find(';') != std::string::npos;
            break;
        }
        if (reply) {
            col = std::max(0, std::atoi(seq.c_str() + seq.find(';') + 1) - 1);
            *row = std::clamp(std::atoi(seq.c_str() + 1) - 1, 0, rows_ - 1);
            located_ = true;
            break;
        }
        other.push_back(27);
        other.insert(other.end(), seq.begin(), seq.end());
    }
    for (uint8_t b : other) keys_.push_back(b);
    return col % columns_;
}

void LineEditor::redraw(bool full) {
    std::string out;
    if (first_draw_) {
        first_draw_ = false;
        start_col_ = start_column(&prompt_row_);
        cur_row_ = 0;
        full = true;
    }
    int p = measure(prompt_, 0, prompt_.size(), start_col_, columns_, false, nullptr);
    int k = measure(line_, 0, cursor_, p, columns_, hidden_, nullptr);
    int e = measure(line_, cursor_, line_.size(), k, columns_, hidden_, nullptr);
    if (cursor_ < line_.size() && k % columns_ == columns_ - 1 && char_width(line_[cursor_]) == 2) ++k;
    int krow = k / columns_, kcol = k % columns_;
    int last = e / columns_;  // the row of the end (a new row after a full one)
    int here = std::clamp(prompt_row_ + cur_row_, 0, rows_ - 1);  // the cursor's screen row
    // A cursor row off the screen is brought onto it by drawing again.
    if (!full && (prompt_row_ + krow < 0 || prompt_row_ + krow >= rows_)) full = true;
    int at = cur_row_;  // the row the cursor stands on before the final move
    if (full) {
        // Where the prompt's row goes: the cursor's row on the screen, and
        // above the top only as many rows as the bottom would leave empty.
        int top = std::clamp(prompt_row_, -krow, rows_ - 1 - krow);
        if (top < 0) top = std::min(0, std::max(top, rows_ - 1 - last));
        if (top < prompt_row_) {
            // Up: the rows below come in from the bottom of the screen.
            if (here < rows_ - 1) out += csi(rows_ - 1 - here, 'B');
            out.append(static_cast<size_t>(prompt_row_ - top), '\n');
            here = rows_ - 1;
        }
        int first = std::max(0, -top), shown = std::min(last, rows_ - 1 - top);
        int from = top + first;
        if (from < here) out += csi(here - from, 'A');
        else if (from > here) out += csi(from - here, 'B');
        out += '\r';
        if (first == 0 && start_col_ > 0) out += csi(start_col_, 'C');
        out += "\x1b[J";
        int lo = first * columns_, hi = (shown + 1) * columns_;
        measure(prompt_, 0, prompt_.size(), start_col_, columns_, false, &out, lo, hi);
        measure(line_, 0, line_.size(), p, columns_, hidden_, &out, lo, hi);
        if (shown == last && e > 0 && e % columns_ == 0) out += "\r\n";  // the terminal waits to wrap: make it
        at = shown;
        prompt_row_ = top;
    }
    if (krow < at) out += csi(at - krow, 'A');
    else if (krow > at) out += csi(krow - at, 'B');
    out += '\r';
    if (kcol > 0) out += csi(kcol, 'C');
    cur_row_ = krow;
    emit(out);
}

// Echoes a character added at the end of the line, without a redraw.
void LineEditor::append_at_end(char32_t cp) {
    int p = measure(prompt_, 0, prompt_.size(), start_col_, columns_, false, nullptr);
    int before = measure(line_, 0, line_.size() - 1, p, columns_, hidden_, nullptr);
    std::string out;
    int e = measure(line_, line_.size() - 1, line_.size(), before, columns_, hidden_, &out);
    (void)cp;
    if (e > 0 && e % columns_ == 0 && e != before) out += "\r\n";
    cur_row_ = e / columns_;
    if (prompt_row_ + cur_row_ > rows_ - 1) prompt_row_ = rows_ - 1 - cur_row_;  // the screen scrolled
    emit(out);
}

void LineEditor::insert(char32_t cp) {
    line_.insert(line_.begin() + static_cast<std::ptrdiff_t>(cursor_), cp);
    ++cursor_;
    if (cursor_ == line_.size()) append_at_end(cp);
    else redraw(true);
}

void LineEditor::fetch(History* history, int32_t index) {
    line_ = history->entry(index);
    cursor_ = line_.size();
}

std::optional<std::u32string> LineEditor::edit(const std::u32string& prompt, bool hidden, History* history,
                                               const Completer& complete) {
    std::fflush(stdout);
    watch_resize();
    bool raw = raw_mode_on(in_fd_);
    prompt_ = prompt;
    hidden_ = hidden;
    first_draw_ = true;
    line_.clear();
    cursor_ = 0;
    if (!carry_.empty()) {
        line_ = carry_;
        cursor_ = std::min(carry_cursor_, line_.size());
    }
    refresh_size();
    redraw(true);
    bool fresh_row = false;  // the cursor already stands on an empty row below
    std::optional<std::u32string> result;
    note_editing(true);
    try {
        result = loop(history, complete, fresh_row);
    } catch (...) {
        note_editing(false);
        if (raw) raw_mode_off();
        throw;
    }
    note_editing(false);
    emit(fresh_row ? "\r" : "\r\n");
    rows_used_ = cur_row_ + (fresh_row ? 0 : 1);
    final_row_ = std::clamp(prompt_row_ + rows_used_, 0, rows_ - 1);
    if (raw) raw_mode_off();
    return result;
}

std::optional<std::u32string> LineEditor::loop(History* history, const Completer& complete, bool& fresh_row) {
    int32_t count = history ? history->count() : 0;
    int32_t position = -1;
    for (;;) {
        int32_t key = keys_.read_key();
        if (key == '\t' && complete) {
            std::vector<Completion> found = complete(line_, cursor_);
            if (found.size() == 1) {
                line_ = found[0].text;
                cursor_ = std::min(found[0].cursor, line_.size());
                redraw(true);
                continue;
            }
            if (found.size() >= 2) {
                carry_ = found[0].text;
                carry_cursor_ = found[0].cursor;
                line_.clear();
                for (size_t i = 1; i < found.size(); ++i) line_ += found[i].text + U" ";
                cursor_ = line_.size();
                redraw(true);
                line_.clear();
                return line_;
            }
        }
        switch (key) {
            case 2: case KEY_LEFT:
                if (cursor_ > 0) --cursor_;
                redraw(false);
                continue;
            case 6: case KEY_RIGHT:
                if (cursor_ < line_.size()) ++cursor_;
                redraw(false);
                continue;
            case 8: case 127:
                if (cursor_ > 0) {
                    --cursor_;
                    line_.erase(cursor_, 1);
                    bool at_end = cursor_ == line_.size();
                    redraw(!at_end);
                    if (at_end) emit("\x1b[J");
                }
                continue;
            case 13: case 10: {  // 10: a Return typed ahead, while the terminal was not raw
                // The cursor goes to the end of the line (its last row drawn
                // when it was off the screen), then below it.
                cursor_ = line_.size();
                redraw(false);
                int p = measure(prompt_, 0, prompt_.size(), start_col_, columns_, false, nullptr);
                int e = measure(line_, 0, line_.size(), p, columns_, hidden_, nullptr);
                fresh_row = e > 0 && e % columns_ == 0;
                if (history && !hidden_ && !line_.empty()) history->add(line_);
                carry_.clear();
                return line_;
            }
            case 14: case KEY_DOWN:
                if (position < 0) line_.clear(), cursor_ = 0;
                else if (history) fetch(history, position--);
                redraw(true);
                continue;
            case 16: case KEY_UP:
                if (position < count - 1 && history) fetch(history, ++position);
                else line_.clear(), cursor_ = 0;
                redraw(true);
                continue;
            case 1: case KEY_HOME:
                cursor_ = 0;
                redraw(false);
                continue;
            case 5: case KEY_END:
                cursor_ = line_.size();
                redraw(false);
                continue;
            case 11:
                if (cursor_ < line_.size()) {
                    line_.erase(cursor_);
                    redraw(true);
                }
                continue;
            case 4:
                if (line_.empty()) {
                    return U"q";
                }
                if (cursor_ < line_.size()) {
                    line_.erase(cursor_, 1);
                    redraw(true);
                }
                continue;
            case KEY_DELETE:
                if (cursor_ < line_.size()) {
                    line_.erase(cursor_, 1);
                    redraw(true);
                }
                continue;
            case 3:
                return U"q";
            case KEY_HUNG_UP:
                return std::nullopt;
            case 27:
                carry_.clear();
                return line_ + U"\x1b";
            case KEY_RESIZED:
                refresh_size();
                redraw(true);
                continue;
            default:
                if (key > 31 || key == '\t') insert(static_cast<char32_t>(key));
                continue;
        }
    }
}

}  // namespace terminal
