// Writing text to standard output: C-strings, 8-bit, 16-bit and 32-bit
// code-point text, always as UTF-8.
#pragma once
#include <cstdint>

namespace console {

// Records whether standard output is a terminal.
void init();
bool output_is_terminal();

// Writes the C-string and passes it to the C-string print hooks.
void write_cstring(const char* text);
// Writes `length` bytes and passes them to the C-string print hooks.
void write_bytes(const char* text, uint32_t length);

// Text of code points in units of 1 (Latin-1), 2 (UCS-2) or 4 bytes;
// `bytes` is the length in bytes. The -line forms add a newline.
void print_latin1(const uint8_t* start, uint32_t bytes);
void print_ucs2(const uint8_t* start, uint32_t bytes);
void write_ucs4(const uint8_t* start, uint32_t bytes);
void print_latin1_line(const uint8_t* start, uint32_t bytes);
void print_ucs2_line(const uint8_t* start, uint32_t bytes);
void print_ucs4_line(const uint8_t* start, uint32_t bytes);

void flush();

}  // namespace console
