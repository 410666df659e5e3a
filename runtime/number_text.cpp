// Number text converters: integer and float values from string characters,
// and the number syntax automaton shared with the float and percent loaders.
#include "runtime/number_text.h"

#include <bit>
#include <cstring>

#include "runtime/dtoa.h"
#include "runtime/sys.h"

namespace number_text {

uint32_t char_at(const uint8_t* chars, int32_t i, int unit) {
    switch (unit) {
    case 1:
        return chars[i];
    case 2: {
        uint16_t c;
        std::memcpy(&c, chars + 2 * i, 2);
        return c;
    }
    case 4: {
        uint32_t c;
        std::memcpy(&c, chars + 4 * i, 4);
        return c;
    }
    default:
        sys::no_switch_matched();
    }
}

namespace {


// The number syntax automaton: byte classes, then states 0-8 with 9 accept
// and 10 reject. "Other" bytes reject from every state.
enum Class { sign, digit, exp_letter, point, quote, other };
constexpr uint8_t accept = 9, reject = 10;
constexpr uint8_t transitions[9][5] = {
    // sign    digit  e/E     .       '
    {0, 1, reject, 4, reject},            // 0 start
    {reject, 1, 6, 5, 2},                 // 1 integer digits
    {reject, 1, reject, reject, reject},  // 2 after ' in the integer part
    {reject, 3, 6, reject, 4},            // 3 fraction digits
    {reject, 3, reject, reject, reject},  // 4 after a leading . or a ' in the fraction
    {reject, 3, reject, reject, reject},  // 5 after the decimal point
    {7, 8, reject, reject, reject},       // 6 after the exponent letter
    {reject, 8, reject, reject, reject},  // 7 after the exponent sign
    {reject, 8, reject, reject, reject},  // 8 exponent digits
};
// What the end of the text leads to, by state.
constexpr uint8_t at_end[9] = {reject, accept, accept, accept, accept, accept, reject, reject, accept};

Class class_of(uint8_t c) {
    if (c >= '0' && c <= '9') return digit;
    switch (c) {
    case '+':
    case '-':
        return sign;
    case 'e':
    case 'E':
        return exp_letter;
    case '.':
        return point;
    case '\'':
        return quote;
    default:
        return other;
    }
}

}  // namespace

int32_t text_to_integer(const uint8_t* chars, int32_t length, int unit, int& error) {
    int32_t i = 0;
    bool negative = false;
    if (length > 0) {
        uint32_t c = char_at(chars, 0, unit);
        if (c == '+' || c == '-') {
            negative = c == '-';
            i = 1;
        }
    }
    // The magnitude may reach 2^31 only with a minus sign.
    const int64_t limit = negative ? int64_t(2147483648) : int64_t(2147483647);
    int64_t value = 0;
    bool any_digit = false;
    for (; i < length; i++) {
        uint32_t c = char_at(chars, i, unit);
        if (c == '\'') continue;
        if (c < '0' || c > '9') {
            error = -1;
            return 0;
        }
        value = value * 10 + (c - '0');
        any_digit = true;
        if (value > limit) {
            error = -2;
            return 0;
        }
    }
    if (!any_digit) {
        error = -1;
        return 0;
    }
    error = 0;
    return static_cast<int32_t>(negative ? -value : value);
}

double text_to_float(const uint8_t* chars, int32_t length, int unit, int& error) {
    const double nan = std::bit_cast<double>(uint64_t(0x7FF8000000000000));
    error = -1;
    if (length > max_number_text) return nan;
    if (length < 0) length = 0;
    uint8_t bytes[max_number_text + 1] = {};
    for (int32_t i = 0; i < length; i++) {
        uint32_t c = char_at(chars, i, unit);
        if (c > 0x7F) return nan;  // no such character belongs to a number
        bytes[i] = c == ',' ? '.' : static_cast<uint8_t>(c);
    }
    if (!number_syntax_q(bytes, bytes + length)) return nan;
    int32_t n = 0;
    for (int32_t i = 0; i < length; i++)
        if (bytes[i] != '\'') bytes[n++] = bytes[i];
    int left = 0;
    double d = dtoa::strtod(bytes, bytes + n, 0, left);
    if (left != 0) return nan;
    error = 0;
    return d;
}

bool number_syntax_q(const uint8_t* start, const uint8_t* end) {
    if (end - start > max_number_text) return false;
    int state = 0;
    for (const uint8_t* p = start; p < end; p++) {
        Class c = class_of(*p);
        if (c == other) return false;
        state = transitions[state][c];
        if (state == reject) return false;
    }
    return at_end[state] == accept;
}

}  // namespace number_text
