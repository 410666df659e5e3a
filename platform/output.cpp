// Standard output: every text reaches it as UTF-8. On a terminal the
// escape interpreter turns ESC[ sequences into the terminal's own; to a file
// or a pipe they pass through unchanged.
#include "platform/output.h"

#include <cstdio>
#include <cstring>
#include <unistd.h>

#include "platform/os.h"
#include "platform/terminal.h"

namespace platform::output {

namespace {

bool terminal_out = false;
uint16_t current_attr = DEFAULT_ATTRIBUTE;
uint16_t default_attr = DEFAULT_ATTRIBUTE;
uint32_t cursor_column = 0;
// The cursor's screen row as far as this layer knows: where the line editor
// last left it, plus the lines written since (the report's best guess).
uint32_t cursor_row = 0;

// Bytes pending for standard output; written once more than this is held.
constexpr size_t FLUSH_AT = 1020;

// Encodes one code point as UTF-8 onto `out` (a code point above
// U+10FFFF as U+FFFD).
void utf8(uint32_t cp, std::string& out) {
    if (cp > 0x10FFFF) cp = 0xFFFD;
    if (cp <= 0x7F) {
        out += static_cast<char>(cp);
    } else if (cp <= 0x7FF) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp <= 0xFFFF) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

uint32_t unit_at(const uint8_t* text, uint32_t i, uint32_t unit) {
    if (unit == 1) return text[i];
    if (unit == 2) {
        uint16_t u;
        std::memcpy(&u, text + i * 2, 2);
        return u;
    }
    uint32_t cp;
    std::memcpy(&cp, text + i * 4, 4);
    return cp;
}

void track(uint32_t cp) {
    if (cp == '\n') {
        cursor_column = 0;
        ++cursor_row;
    } else if (cp == '\r') {
        cursor_column = 0;
    } else if (cp == '\b') {
        if (cursor_column > 0) --cursor_column;
    } else if (cp == '\t') {
        cursor_column = (cursor_column / 8 + 1) * 8;
    } else if (cp >= 32) {
        ++cursor_column;
    }
}

void emit(const std::string& bytes) {
    if (bytes.empty()) return;
    std::fwrite(bytes.data(), 1, bytes.size(), stdout);
}

// Length in units of an ESC[ ... final sequence at text[i] (passed through
// as it is when redirected); 0 when text[i] starts none.
uint32_t sequence_length(const uint8_t* text, uint32_t i, uint32_t count, uint32_t unit) {
    if (i + 1 >= count || unit_at(text, i + 1, unit) != '[') return 0;
    uint32_t j = i + 2;
    while (j < count) {
        uint32_t c = unit_at(text, j, unit);
        ++j;
        if (c >= 0x40 && c <= 0x7E) break;
    }
    return j - i;
}

// Writes code points of `unit` bytes each: interpreted on a terminal (not
// 32-bit text), passed through otherwise.
void write_units(const uint8_t* start, uint32_t bytes, uint32_t unit, bool newline) {
    uint32_t count = bytes / unit;
    bool interpret = terminal_out && unit != 4;
    std::string out;
    out.reserve(count + 8 < FLUSH_AT + 8 ? count + 8 : FLUSH_AT + 8);
    uint32_t i = 0;
    while (i < count) {
        uint32_t cp = unit_at(start, i, unit);
        if (cp == 27) {
            if (interpret) {
                uint32_t used = ansi_escape(start + i * unit, count - i, unit, out);
                if (used > 0) {
                    i += used;
                    continue;
                }
            } else if (uint32_t n = sequence_length(start, i, count, unit)) {
                for (uint32_t k = 0; k < n; ++k) utf8(unit_at(start, i + k, unit), out);
                i += n;
                continue;
            }
        }
        utf8(cp, out);
        track(cp);
        ++i;
        if (out.size() > FLUSH_AT) {
            emit(out);
            out.clear();
        }
    }
    if (newline) {
        out += '\n';
        track('\n');
    }
    emit(out);
}

void append_number(std::string& out, const char* format, uint32_t n) {
    char text[16];
    int k = std::snprintf(text, sizeof text, format, n);
    out.append(text, static_cast<size_t>(k));
}

// The ESC[? report: the terminal's size, the cursor and the attributes.
void screen_report(std::string& out) {
    uint32_t w = 80, h = 24;
    terminal_size(STDOUT_FILENO, w, h);
    uint32_t row = cursor_row < h ? cursor_row : h - 1;
    out += "Screen buffer info:\n   size______ ";
    append_number(out, "%u", w);
    out += 'x';
    append_number(out, "%u", h);
    out += "\n   cursor____ ";
    append_number(out, "%u", cursor_column);
    out += 'x';
    append_number(out, "%u", row);
    out += "\n   attribute_ ";
    append_number(out, "%08X", current_attr);
    out += ' ';
    append_number(out, "%08X", default_attr);
    out += "\n   left______ 0 top: 0\n   right_____ ";
    append_number(out, "%u", w - 1);
    out += " bottom: ";
    append_number(out, "%u", h - 1);
    out += "\n   max_______ ";
    append_number(out, "%u", w);
    out += 'x';
    append_number(out, "%u", h);
    out += '\n';
    cursor_column = 0;
    cursor_row += 7;
}

// Erasing writes cells of the default attribute, whatever is in force.
void erase(std::string& out, const char* sequence) {
    bool swap = current_attr != default_attr;
    if (swap) out += render_attribute(default_attr);
    out += sequence;
    if (swap) out += render_attribute(current_attr);
}

void move(std::string& out, uint32_t n, char direction) {
    if (n == 0) return;  // a count of 0 moves nothing (the terminal would take it as 1)
    out += "\x1b[";
    append_number(out, "%u", n);
    out += direction;
    if (direction == 'C') cursor_column += n;
    if (direction == 'D') cursor_column = n > cursor_column ? 0 : cursor_column - n;
}

}  // namespace

void init() {
    terminal_out = is_terminal(STDOUT_FILENO);
    save_attributes();
}
bool output_is_terminal() { return terminal_out; }
void set_terminal(bool terminal) { terminal_out = terminal; }

void save_attributes() {
    // A terminal does not tell its colours: its own default is the default.
    default_attr = DEFAULT_ATTRIBUTE;
    current_attr = DEFAULT_ATTRIBUTE;
}

void write_bytes(const char* text, uint32_t length) {
    std::fwrite(text, 1, length, stdout);
    for (uint32_t i = 0; i < length; ++i) {
        auto b = static_cast<uint8_t>(text[i]);
        if ((b & 0xC0) != 0x80) track(b);
    }
}

void print_latin1(const uint8_t* s, uint32_t bytes) { write_units(s, bytes, 1, false); }
void print_ucs2(const uint8_t* s, uint32_t bytes) { write_units(s, bytes, 2, false); }
void write_ucs4(const uint8_t* s, uint32_t bytes) { write_units(s, bytes, 4, false); }
void print_latin1_line(const uint8_t* s, uint32_t bytes) { write_units(s, bytes, 1, true); }
void print_ucs2_line(const uint8_t* s, uint32_t bytes) { write_units(s, bytes, 2, true); }
void print_ucs4_line(const uint8_t* s, uint32_t bytes) { write_units(s, bytes, 4, true); }

void flush() { std::fflush(stdout); }

uint32_t column() { return cursor_column; }

void cursor_moved(int32_t row, uint32_t rows) {
    cursor_column = 0;
    cursor_row = row >= 0 ? static_cast<uint32_t>(row) : cursor_row + rows;
}

// ---- Escape interpreter --------------------------------------------------------

uint16_t attribute() { return current_attr; }
uint16_t default_attribute() { return default_attr; }
void set_attribute(uint16_t a) { current_attr = a; }

uint16_t apply_sgr(uint16_t a, uint32_t code) {
    static const uint16_t fg[8] = {0, 4, 2, 6, 1, 5, 3, 7};
    static const uint16_t bg[8] = {0, 0x40, 0x20, 0x60, 0x10, 0x50, 0x30, 0x70};
    switch (code) {
    case 0: return default_attr;
    case 1: return a | 0x88;
    case 4: return a | 0x8000;
    case 7: return static_cast<uint16_t>(((a & 0x0F) << 4) | ((a & 0xF0) >> 4));
    case 39: return a | 8;
    case 49: return a | 0x80;
    default: break;
    }
    if (code >= 30 && code <= 37) return static_cast<uint16_t>((a & 0xF8) | fg[code - 30]);
    if (code >= 40 && code <= 47) return static_cast<uint16_t>((a & 0x8F) | bg[code - 40]);
    return a;  // other codes leave the attribute as it is
}

std::string render_attribute(uint16_t a) {
    // Attribute colour bits are blue 1, green 2, red 4; the terminal's colour
    // index has red 1, green 2, blue 4.
    auto index = [](uint32_t bits) { return ((bits & 1) << 2) | (bits & 2) | ((bits & 4) >> 2); };
    std::string s = "\x1b[0";
    if (a & 0x8000) s += ";4";
    uint32_t f = a & 0x0F, b = (a >> 4) & 0x0F;
    if (f != (default_attr & 0x0F)) {
        s += ';';
        s += std::to_string(((f & 8) ? 90 : 30) + index(f));
    }
    if (b != ((default_attr >> 4) & 0x0F)) {
        s += ';';
        s += std::to_string(((b & 8) ? 100 : 40) + index(b));
    }
    s += 'm';
    return s;
}

uint32_t ansi_escape(const uint8_t* text, uint32_t count, uint32_t unit, std::string& out) {
    if (count < 2 || unit_at(text, 1, unit) != '[') return 0;
    uint32_t p1 = 0, p2 = 0;
    uint16_t a = current_attr;
    int state = 1;
    uint32_t i = 2;
    auto set = [&](uint16_t value) {
        current_attr = value;
        out += render_attribute(value);
    };
    while (i < count) {
        uint32_t c = unit_at(text, i++, unit);
        bool digit = c >= '0' && c <= '9';
        switch (state) {
        case 1:
            if (digit) { p1 = c - '0'; state = 2; continue; }
            if (c == ';') continue;
            if (c == 's') out += "\x1b[s";
            else if (c == 'u') out += "\x1b[u";
            else if (c == 'K') erase(out, "\x1b[K");
            else if (c == 'J') erase(out, "\x1b[1K\x1b[J");
            else if (c == 'H' || c == 'f') { out += "\x1b[H"; cursor_column = 0; }
            else if (c == '?') screen_report(out);
            return i;
        case 2:
            if (digit) { p1 = (p1 * 10 + (c - '0')) % 65535; continue; }
            if (c == ';') { state = 3; continue; }
            if (c == 'm') set(apply_sgr(a, p1));
            else if (c == 'A') move(out, p1, 'A');
            else if (c == 'B') move(out, p1, 'B');
            else if (c == 'C') move(out, p1, 'C');
            else if (c == 'D') move(out, p1, 'D');
            else if (c == 'J') {
                if (p1 == 1) erase(out, "\x1b[1J");
                else if (p1 == 2) { erase(out, "\x1b[2J\x1b[H"); cursor_column = 0; }
            } else if (c == 'K') {
                if (p1 == 1) { erase(out, "\x1b[1K\r"); cursor_column = 0; }
                else if (p1 == 2) { erase(out, "\x1b[2K\r"); cursor_column = 0; }
            }
            return i;
        case 3:
            if (digit) { p2 = c - '0'; state = 4; continue; }
            if (c == ';') continue;
            return i;
        case 4:
            if (digit) { p2 = (p2 * 10 + (c - '0')) % 65535; continue; }
            if (c == 'm') {
                set(apply_sgr(apply_sgr(a, p1), p2));
            } else if (c == ';') {
                a = apply_sgr(apply_sgr(a, p1), p2);
                p1 = p2 = 0;
                state = 1;
                continue;
            } else if (c == 'H' || c == 'f') {
                out += "\x1b[";
                append_number(out, "%u", p2 + 1);
                out += ';';
                append_number(out, "%u", p1 + 1);
                out += 'H';
                cursor_column = p1;
            }
            return i;
        default: return i;
        }
    }
    return i;  // cut off by the end of the text: dropped
}

}  // namespace platform::output
