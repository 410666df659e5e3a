// Exact conversions between doubles and decimal text: correctly rounded text
// to double, and the shortest (or n-digit) decimal digits of a double.
#pragma once
#include <cstdint>

namespace dtoa {

// Decimal point values that mark the special results of to_digits.
constexpr int special_point = 9999;  // infinities and NaN
constexpr int zero_point = 9998;     // zero of either sign

// Reads a decimal number in [start, end): an optional "+" or "-", digits, an
// optional "." with fraction digits, and an optional exponent ("e"/"E", an
// optional sign and at least one digit; otherwise reading stops at the
// letter). `exponent_adjust` is added to the decimal exponent (-2 reads 12.5
// as 0.125 in one rounding). The result is the correctly rounded double
// (ties to even); too large gives an infinity, too small a zero, both with
// the text's sign. One digit followed by ".#I" (any case) reads as an
// infinity, by ".#N" as the quiet NaN; the rest of "INF" / "NaN" is read
// with them. `left` gets the number of characters after the place where
// reading stopped (0 when the whole text was read; all of them when no
// digit was found, and the result is then 0.0).
double strtod(const uint8_t* start, const uint8_t* end, int exponent_adjust, int& left);

// Decimal digits of `value`. With `digits` <= 0, the shortest digits that
// read back as the same double; with `digits` > 0, that many significant
// digits correctly rounded from the exact binary value (ties to even),
// trailing zeros removed. The value is 0.d1d2... times 10^`point`; `sign` is
// 1 for a negative value. The returned text is NUL-terminated and begins
// with "-" for a negative value; `length` counts the characters after that
// sign. Infinities and NaN give point 9999 and "1.#INF", "-1.#INF" or
// "1.#NaN"; zero gives point 9998 and "0.0" / "-0.0" with
// `zero_with_fraction`, else "0" / "-0". The text lives in a static buffer
// that the next call overwrites.
const char* to_digits(double value, int digits, int& point, int& sign, int& length,
                      bool zero_with_fraction);

// The text of `value` from to_digits(value, digits, ...): plain decimal
// notation for decimal points from -6 to 17, else "d.ddde<exp>". A text
// ending in "." gets "0" with `keep_fraction` (3.0, 1.0e17), else loses the
// "." (3, 1e17). NUL-terminated, static, valid until the next call.
const char* form_float(double value, int digits, bool keep_fraction);

}  // namespace dtoa
