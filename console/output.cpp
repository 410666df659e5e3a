// Console output: every text reaches standard output as UTF-8.
#include "console/output.h"

#include <cstdio>
#include <cstring>
#include <unistd.h>

#include "platform/os.h"
#include "runtime/print.h"

namespace console {

namespace {

bool terminal_out = false;

// Encodes one code point as UTF-8 into `out`; answers the byte count.
int utf8(uint32_t cp, char* out) {
    if (cp < 0x80) { out[0] = static_cast<char>(cp); return 1; }
    if (cp < 0x800) {
        out[0] = static_cast<char>(0xC0 | (cp >> 6));
        out[1] = static_cast<char>(0x80 | (cp & 0x3F));
        return 2;
    }
    if (cp < 0x10000) {
        out[0] = static_cast<char>(0xE0 | (cp >> 12));
        out[1] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out[2] = static_cast<char>(0x80 | (cp & 0x3F));
        return 3;
    }
    out[0] = static_cast<char>(0xF0 | (cp >> 18));
    out[1] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out[2] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out[3] = static_cast<char>(0x80 | (cp & 0x3F));
    return 4;
}

// Writes code points of `unit` bytes each, through a small buffer.
void write_units(const uint8_t* start, uint32_t bytes, uint32_t unit, bool newline) {
    char buf[1024];
    uint32_t n = 0;
    for (uint32_t i = 0; i + unit <= bytes; i += unit) {
        uint32_t cp = 0;
        if (unit == 1) cp = start[i];
        else if (unit == 2) { uint16_t u; std::memcpy(&u, start + i, 2); cp = u; }
        else std::memcpy(&cp, start + i, 4);
        if (cp > 0x10FFFF) cp = 0xFFFD;
        n += static_cast<uint32_t>(utf8(cp, buf + n));
        if (n > sizeof buf - 8) { write_bytes(buf, n); n = 0; }
    }
    if (newline) buf[n++] = '\n';
    if (n) write_bytes(buf, n);
}

}  // namespace

void init() { terminal_out = platform::is_terminal(STDOUT_FILENO); }
bool output_is_terminal() { return terminal_out; }

void write_cstring(const char* text) { write_bytes(text, static_cast<uint32_t>(std::strlen(text))); }

void write_bytes(const char* text, uint32_t length) {
    std::fwrite(text, 1, length, stdout);
    print_hooks::print_cstring(text, length, 0);
}

void print_latin1(const uint8_t* s, uint32_t bytes) { write_units(s, bytes, 1, false); }
void print_ucs2(const uint8_t* s, uint32_t bytes) { write_units(s, bytes, 2, false); }
void write_ucs4(const uint8_t* s, uint32_t bytes) { write_units(s, bytes, 4, false); }
void print_latin1_line(const uint8_t* s, uint32_t bytes) { write_units(s, bytes, 1, true); }
void print_ucs2_line(const uint8_t* s, uint32_t bytes) { write_units(s, bytes, 2, true); }
void print_ucs4_line(const uint8_t* s, uint32_t bytes) { write_units(s, bytes, 4, true); }

void flush() { std::fflush(stdout); }

}  // namespace console
