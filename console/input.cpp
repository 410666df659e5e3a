// The bridge from the language to the console's input side: the routines
// behind `ask` and `input` (the line editor on a terminal, a plain line read
// when standard input is piped), the raw standard-input reads, and the
// console set-up routine that sets the title and the window size.
#include "console/input.h"

#include <cerrno>
#include <cstdio>
#include <optional>
#include <string>
#include <unistd.h>

#include "console/output.h"
#include "console/terminal.h"
#include "datatypes/binary.h"
#include "datatypes/block.h"
#include "evaluator/context.h"
#include "datatypes/routine.h"
#include "datatypes/string.h"
#include "datatypes/word.h"
#include "evaluator/interpreter.h"
#include "evaluator/routines.h"
#include "evaluator/stack.h"
#include "runtime/memory.h"
#include "runtime/typesets.h"
#include "services/lexer/lexer.h"

namespace input {

using namespace terminal;

namespace {

bool console_q = true;  // standard input is a terminal
LineEditor* editor = nullptr;
// Position in the root block of a two-cell block holding the line being read
// and the history block in use (so both survive collections and moves).
uint32_t state_index = 0;

Cell* state_cells() {
    if (state_index == 0) {
        Cell* slot = stack::push_slot();
        block::make_at(slot, 2);
        Cell none{TYPE_NONE, 0, 0, 0};
        block::rs_append(slot, &none);
        block::rs_append(slot, &none);
        block::rs_append(&memory::root_block, slot);
        stack::pop(1);
        state_index = block::rs_length_q(&memory::root_block);  // 1-based
    }
    Cell* holder = block::rs_abs_at(&memory::root_block, state_index - 1);
    return block::rs_abs_at(holder, 0);
}

// The text of a string from its index to its tail.
std::u32string text_of(const Cell* str) {
    Cell s = *str;
    std::u32string out;
    SeriesBuffer* b = series_of(&s);
    uint32_t unit = b->unit();
    const uint8_t* p = string::rs_head(&s);
    const uint8_t* end = string::rs_tail(&s);
    for (; p < end; p += unit) out.push_back(string::get_char(p, unit));
    return out;
}

void append_text(Cell* str, const std::u32string& text) {
    for (char32_t cp : text) string::append_char(series_of(str), cp);
}

Cell make_string(const std::u32string& text) {
    Cell* slot = stack::push_slot();
    string::rs_make_at(slot, static_cast<uint32_t>(text.size()) + 1);
    append_text(slot, text);
    Cell s = *slot;
    stack::pop(1);
    return s;
}

// The history block of the current read, newest entry first.
class BlockHistory : public History {
public:
    int32_t count() override {
        Cell h = state_cells()[1];
        if (h.type() != TYPE_BLOCK) return 0;
        return static_cast<int32_t>(block::rs_length_q(&h));
    }
    std::u32string entry(int32_t index) override {
        Cell h = state_cells()[1];
        if (h.type() != TYPE_BLOCK || index < 0 || index >= count()) return {};
        Cell e = *(block::rs_clamp_head(&h) + index);
        return in(ANY_STRING, e.type()) ? text_of(&e) : std::u32string();
    }
    void add(const std::u32string& line) override {
        Cell h = state_cells()[1];
        if (h.type() != TYPE_BLOCK) return;
        if (count() > 0) {
            Cell first = *block::rs_clamp_head(&h);
            Cell s = make_string(line);
            if (in(ANY_STRING, first.type()) && string::compare_text(&s, &first, 0, false) == 0) return;
        }
        Cell s = make_string(line);
        h = state_cells()[1];
        block::insert_value(&h, &s, false, false);
    }
};

// Runs the language's completion on the line at the cursor, under a guard:
// a failing completion completes nothing.
std::vector<Completion> complete(const std::u32string& line, size_t cursor) {
    std::vector<Completion> out;
    Cell ctx = *word::load("zem-complete-ctx");
    context::bind_library_word(&ctx);  // library code: the library's words
    if (context::get(&ctx)->type() != TYPE_OBJECT) return out;
    static const char code[] = "try/all [zem-complete-ctx/complete-input none true]";
    Cell* slot = stack::push_slot();
    uint32_t consumed = 0;
    lexer::scan(slot, reinterpret_cast<const uint8_t*>(code), sizeof code - 1, false, false, false, &consumed);
    context::bind_library(slot);
    Cell text = make_string(line);
    text.data1 = static_cast<uint32_t>(cursor);  // the line, positioned at the cursor
    Cell guarded = *slot;
    Cell inner = *(block::rs_clamp_head(&guarded) + 1);
    Cell* target = block::rs_clamp_head(&inner) + 1;
    *target = text;
    Unwind u = interpreter::eval(&guarded, true);
    Cell r = *stack::arguments;
    stack::pop(1);
    if (u != Unwind::none || r.type() != TYPE_BLOCK) return out;
    uint32_t n = block::rs_length_q(&r);
    for (uint32_t i = 0; i < n; ++i) {
        Cell e = *(block::rs_clamp_head(&r) + i);
        if (!in(ANY_STRING, e.type())) continue;
        Cell from_head = e;
        from_head.data1 = 0;
        out.push_back({text_of(&from_head), static_cast<size_t>(e.head())});
    }
    return out;
}

Cell* arg(uint32_t i) { return stack::arguments + i; }
void result(const Cell& v) { stack::set_last_keep(&v); }

std::string text_utf8(const Cell* str) {
    std::string out;
    if (!in(ANY_STRING, str->type())) return out;
    for (char32_t cp : text_of(str)) {
        if (cp < 0x80) out += static_cast<char>(cp);
        else if (cp < 0x800) out += static_cast<char>(0xC0 | (cp >> 6)), out += static_cast<char>(0x80 | (cp & 0x3F));
        else if (cp < 0x10000)
            out += static_cast<char>(0xE0 | (cp >> 12)), out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F)),
                out += static_cast<char>(0x80 | (cp & 0x3F));
        else
            out += static_cast<char>(0xF0 | (cp >> 18)), out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F)),
                out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F)), out += static_cast<char>(0x80 | (cp & 0x3F));
    }
    return out;
}

void set_console_size(int columns, int rows) {
    // system/console/size, when the console object is there.
    std::string code = "if all [value? 'system  object? system/console] [system/console/size: " +
                       std::to_string(columns) + "x" + std::to_string(rows) + "]";
    Cell* slot = stack::push_slot();
    uint32_t consumed = 0;
    lexer::scan(slot, reinterpret_cast<const uint8_t*>(code.data()), static_cast<uint32_t>(code.size()), false, false,
                false, &consumed);
    context::bind_library(slot);  // library code: the library's words
    Cell block = *slot;
    Unwind u = interpreter::eval(&block, true);
    (void)u;
    stack::pop(1);
}

}  // namespace

void init() {
    console_q = isatty(STDIN_FILENO);
    if (!editor) editor = new LineEditor(STDIN_FILENO, console::output_is_terminal() ? STDOUT_FILENO : STDERR_FILENO);
}

bool size(int& columns, int& rows) {
    return window_size(STDOUT_FILENO, columns, rows) || window_size(STDIN_FILENO, columns, rows);
}

void set_title(const char* title) {
    if (!console::output_is_terminal()) return;
    std::string osc = std::string("\x1b]0;") + title + "\x07";
    console::flush();
    ssize_t n = ::write(STDOUT_FILENO, osc.data(), osc.size());
    (void)n;  // a title that cannot be set is no reason to stop
}

namespace {

// ---- Routine bodies ---------------------------------------------------------------------

void r_set_buffer_history() {
    Cell* state = state_cells();
    state[0] = *arg(0);
    state[1] = *arg(1);
}

void r_read_input() {
    std::u32string prompt = in(ANY_STRING, arg(0)->type()) ? text_of(arg(0)) : std::u32string();
    bool hidden = !(arg(1)->type() == TYPE_NONE || (arg(1)->type() == TYPE_LOGIC && arg(1)->data1 == 0));
    init();
    std::u32string line;
    bool read = true;  // false at the end of input
    if (console_q) {
        BlockHistory history;
        std::optional<std::u32string> edited = editor->edit(prompt, hidden, &history, complete);
        read = edited.has_value();
        if (read) line = *edited;
        console::cursor_moved(editor->screen_row(), static_cast<uint32_t>(editor->rows_used()));
        // The window may have changed size while the line was typed: results
        // are cut to the width it has now.
        int columns = 0, rows = 0;
        if (size(columns, rows) && columns > 0 && rows > 0) set_console_size(columns, rows);
    } else {
        console::flush();
        read = read_piped_line(STDIN_FILENO, line);
    }
    Cell target = state_cells()[0];
    if (in(ANY_STRING, target.type())) append_text(&target, line);
    result(Cell{TYPE_LOGIC, read ? 1u : 0u, 0, 0});
}

void r_input_stdin() {
    std::u32string line;
    console::flush();
    if (read_piped_line(STDIN_FILENO, line)) result(make_string(line));
    else result(Cell{TYPE_NONE, 0, 0, 0});  // the end of input
}

void r_read_stdin() {
    Cell buffer = *arg(0);
    int32_t want = arg(1)->int_value();
    if (buffer.type() != TYPE_BINARY || want <= 0) {
        result(Cell{TYPE_INTEGER, 0, 0, 0});
        return;
    }
    std::string bytes(static_cast<size_t>(want), '\0');
    ssize_t n;
    do n = ::read(STDIN_FILENO, bytes.data(), bytes.size());
    while (n < 0 && errno == EINTR);
    if (n > 0) binary::rs_append(&buffer, reinterpret_cast<const uint8_t*>(bytes.data()), static_cast<uint32_t>(n));
    result(buffer);
}

void r_terminate_console() { result(Cell{TYPE_UNSET, 0, 0, 0}); }

// A result's text wider than `limit` columns is cut, by display columns
// (wide characters take two), to what fits before the prompt's width, and
// "..." appended. The text itself changes.
void r_fit_columns() {
    Cell text = *arg(0);
    int32_t limit = arg(1)->int_value();
    constexpr int WIDE_OPEN = 1 << 30;  // no wrapping while measuring
    std::u32string t = text_of(&text), prompt = text_of(arg(2));
    int width = measure(t, 0, t.size(), 0, WIDE_OPEN, false, nullptr);
    if (width > limit) {
        int keep = std::max(1, limit - measure(prompt, 0, prompt.size(), 0, WIDE_OPEN, false, nullptr)) - 1;
        size_t n = 0;
        for (int used = 0; n < t.size(); ++n) {
            used = measure(t, n, n + 1, used, WIDE_OPEN, false, nullptr);
            if (used > keep) break;
        }
        SeriesBuffer* s = series_of(&text);
        s->tail = s->offset + (text.head() + static_cast<uint32_t>(n)) * s->unit();
        for (char c : {'.', '.', '.'}) s = string::append_char(s, static_cast<uint32_t>(c));
    }
    result(text);
}

void r_console_init() {
    set_title(text_utf8(arg(0)).c_str());
    init();
    int columns = 0, rows = 0;
    if (!size(columns, rows) || columns <= 0 || rows <= 0) columns = 80, rows = 50;
    set_console_size(columns, rows);
    result(Cell{TYPE_UNSET, 0, 0, 0});
}

}  // namespace

void register_routines() {
#define X(index, name, word) routine::register_body(index, r_##name);
    ZEM_CONSOLE_ROUTINES(X)
#undef X
}

}  // namespace input
