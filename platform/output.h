// Writing text to standard output: bytes, 8-bit, 16-bit and 32-bit
// code-point text, always as UTF-8 with LF line ends. On a terminal the
// escape sequences of 8- and 16-bit text are interpreted here and turned into
// the terminal's own sequences; to a file or a pipe they pass unchanged.
#pragma once
#include <cstdint>
#include <string>

namespace platform::output {

// Records whether standard output is a terminal and saves the default
// attribute.
void init();
bool output_is_terminal();
// For tests: treat standard output as a terminal (true) or not.
void set_terminal(bool terminal);

// Keeps the text attribute of this moment as the default one (the reset
// colour of SGR 0 and the colour of erased cells).
void save_attributes();

// Writes `length` bytes as they are.
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

// The column of the cursor as the output has left it: code points written
// since the last line feed or carriage return (escape sequences excluded).
uint32_t column();
// The line editor, writing past this layer, has left the cursor at column 0
// of screen row `row`, or, when it does not know the row (-1), `rows` rows
// below where the output had left it.
void cursor_moved(int32_t row, uint32_t rows);

// ---- Escape interpreter --------------------------------------------------------

// Text attributes, bit by bit: foreground blue 1, green 2, red 4, intensity
// 8; background blue 16, green 32, red 64, intensity 128; underscore 0x8000.
constexpr uint16_t DEFAULT_ATTRIBUTE = 0x07;

// The attribute in force and the default one saved at start-up.
uint16_t attribute();
uint16_t default_attribute();
void set_attribute(uint16_t attribute);

// The attribute after applying one SGR code to `a`.
uint16_t apply_sgr(uint16_t a, uint32_t code);
// The terminal's SGR sequence that shows attribute `a`.
std::string render_attribute(uint16_t a);

// Interprets the escape sequence that starts at text[0] (the escape
// character), `count` units of `unit` bytes long, appending the terminal
// sequences (and, for ESC[?, the report text) that carry it out to `out`.
// Answers the units consumed, the escape included; 0 when the escape is not
// followed by "[" (it is then an ordinary character). A sequence cut off by
// the end of the text is consumed and dropped.
uint32_t ansi_escape(const uint8_t* text, uint32_t count, uint32_t unit, std::string& out);

}  // namespace platform::output
