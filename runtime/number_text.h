// Number text converters: integer and float values from the characters of a
// string (1, 2 or 4 bytes per codepoint), and the number syntax check that
// the float and percent loaders share.
#pragma once
#include <cstdint>

namespace number_text {

// The codepoint at character `i` of a text of `unit` bytes per character
// (little-endian units).
uint32_t char_at(const uint8_t* chars, int32_t i, int unit);

// Longest text the float converters accept, in bytes.
constexpr int32_t max_number_text = 312;

// The integer written in `length` characters of `unit` bytes each: an
// optional "+" or "-", then digits, with "'" separators skipped anywhere.
// `error` gets 0, or -1 for any other character (or a text without a
// digit), -2 when the value leaves the 32-bit range; the result is then 0.
int32_t text_to_integer(const uint8_t* chars, int32_t length, int unit, int& error);

// The float written in `length` characters of `unit` bytes each, correctly
// rounded: "," counts as the decimal point and "'" separators are dropped,
// after number_syntax_q accepted the text. `error` gets 0, or -1 with the
// quiet NaN as result when the text is longer than 312 characters, holds a
// character outside ASCII, fails the syntax check or is not wholly read.
double text_to_float(const uint8_t* chars, int32_t length, int unit, int& error);

// True when the bytes [start, end) form a decimal number of the accepted
// shape (sign, digits with "'" separators, fraction, exponent) and are at
// most 312 bytes long.
bool number_syntax_q(const uint8_t* start, const uint8_t* end);

}  // namespace number_text
