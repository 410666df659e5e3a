// money!: exact decimal amounts with a sign and an optional currency.
//
//   bytes 0-3   header; bit 14 (0x4000) the sign (1 = negative)
//   byte  4     currency index: 0 none, n the n-th code of the currency list
//   bytes 5-15  22 packed decimal digits, most significant first (digit 1 the
//               high nibble of byte 5); the amount is that integer x 10^-5
#pragma once
#include <cstdint>

#include "evaluator/actions.h"
#include "runtime/cell.h"

namespace money {

constexpr uint32_t SIGN_FLAG = 0x4000;
constexpr int32_t DIGITS = 22;      // digits in all
constexpr int32_t INT_DIGITS = 17;  // integer digits
constexpr int32_t SCALE = 5;        // decimal places

int32_t get_sign(const Cell* m);
void set_sign(Cell* m, int32_t negative);
void flip_sign(Cell* m);
void set_currency(Cell* m, uint32_t index);
inline uint32_t currency_of(const Cell* m) { return m->data1 & 0xFF; }
// 1-based position of the code in the currency list (compared without case),
// -1 when absent.
int32_t get_currency_index(uint32_t symbol);
// The same for a code's text.
int32_t get_currency_index(const char* code, uint32_t length);

// -1, 0, 1; a zero amount is 0 whatever its sign bit.
int32_t sign_q(const Cell* m);
bool zero_q(const Cell* m);
bool negative_q(const Cell* m);
bool positive_q(const Cell* m);

// The lexer's builder: sign, currency code (null for none), integer digits
// from `int_start` to `frac_start` (or `end`), fraction digits from
// `frac_start` to `end` (ASCII; "'" and the decimal mark skipped). Digits
// beyond 17 integer or 5 decimal places are dropped. Answers the slot, or
// null when the code is not in the currency list.
Cell* from_digits(Cell* slot, bool negative, const char* code, const uint8_t* int_start,
                  const uint8_t* frac_start, const uint8_t* end);
// The same with the code given as `code_length` bytes (0 for none).
Cell* from_digits(Cell* slot, bool negative, const uint8_t* code, uint32_t code_length,
                  const uint8_t* int_start, const uint8_t* frac_start, const uint8_t* end);
// Turns the slot into a money! of these parts (ZEMBIN decoders).
Cell* make_at(Cell* slot, bool negative, uint32_t currency, const uint8_t* amount);
Cell* push(bool negative, uint32_t currency, const uint8_t* amount);
// Push a money! of the value, no currency.
Cell* from_integer(int32_t n);
// Refuses (bad-make-arg) infinities, NaN, 0 < |x| < 0.00001, |x| >= 1e17,
// and in strict mode more than five decimals (non-strict truncates them).
Cell* from_float(double x, bool strict);
// The same into a given cell.
Cell* make_integer_at(Cell* slot, int32_t n);
Cell* make_float_at(Cell* slot, double x, bool strict);
double to_float(const Cell* m);
// The integer part; beyond the 32-bit range raises type-limit (integer!).
int32_t to_integer(const Cell* m);

// Amount operations (currencies ignored); the first cell gets the result.
int32_t compare_amounts(const Cell* a, const Cell* b);
Cell* add_amounts(Cell* a, const Cell* b);
Cell* subtract_amounts(Cell* a, const Cell* b);
Cell* multiply_amounts(Cell* a, const Cell* b);
Cell* divide_amounts(Cell* a, const Cell* b, bool remainder);

// The comparison slot.
ZEM_ACTION_DECL(compare);
// The arithmetic of money!, integer!, float! or percent! operands where one
// is money! (0 add, 1 subtract, 2 multiply, 3 divide, 4 remainder); value1
// is the result cell.
Cell* do_math(Cell* value1, Cell* value2, int32_t op);

// Library values: the currency list block (system/locale/currencies/list)
// and the number of places shown (system/options/money-digits). Until the
// library installs them, the built-in list of 170 codes and 2 places serve.
extern Cell* (*currency_list_hook)();
extern int32_t (*money_digits_hook)();

// The money! written in `length` characters of `unit` bytes each into the
// slot: an optional sign, an optional three-letter currency code followed by
// "$" (else an optional "$"), digits with "'" separators (not first, last,
// doubled or in the fraction) and one optional "." (not first or last).
// `error` gets 0, or -1 when the text does not read as money, its currency
// is unknown or it has more than 17 integer digits.
void text_to_money(const uint8_t* chars, int32_t length, int unit, int& error, Cell* slot);


}  // namespace money
