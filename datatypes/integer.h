// integer!: 32-bit signed integers. The makers and accessors the whole
// runtime uses, the arithmetic core shared with char!, vector!, pair! and
// tuple!, and the one checked way from a double to a 32-bit integer.
#pragma once
#include <cstdint>

#include "evaluator/actions.h"
#include "runtime/cell.h"

namespace integer {

// Arithmetic operation codes shared by the numeric cores.
inline constexpr int32_t OP_ADD = 0;
inline constexpr int32_t OP_SUB = 1;
inline constexpr int32_t OP_MUL = 2;
inline constexpr int32_t OP_DIV = 3;
inline constexpr int32_t OP_REM = 4;
inline constexpr int32_t OP_OR = 5;
inline constexpr int32_t OP_AND = 6;
inline constexpr int32_t OP_XOR = 7;

// ---- Makers and accessors -------------------------------------------------------

// A new integer! on the value stack.
Cell* push(int32_t value);
// Turns the current call's result slot (stack::arguments) into an integer!.
Cell* box(int32_t value);
// Sets the type of the cell to integer! (other header bits kept) and stores
// the value; answers the cell.
Cell* make_at(Cell* cell, int32_t value);
// Appends a new integer! to the block; answers it.
Cell* make_in(Cell* block, int32_t value);
// The 32-bit value of an integer-like cell (integer!, char!).
inline int32_t get(const Cell* cell) { return cell->int_value(); }
// The current call's first argument as an integer; the same, or 0 when that
// argument is not an integer!.
int32_t first_arg();
int32_t first_arg_or_zero();

// ---- Helpers other datatypes use ----------------------------------------------------

// |n|; -2147483648 raises math overflow.
int32_t abs(int32_t n);
// -1, 0 or 1.
inline int32_t sign(int32_t n) { return n < 0 ? -1 : n > 0 ? 1 : 0; }
// The decimal text of n (NUL-terminated, static, valid until the next call).
const char* form_signed(int32_t n);

// The arithmetic core: left `op` right on 32 bits (see OP_ADD ..). Division and
// remainder by 0 raise math zero-divide, -2147483648 by -1 math overflow.
// With a result cell, the result is also stored in its word 2 (the type
// left alone), except that a sum, difference or product that leaves the
// 32-bit range, or a division that is not exact, turns the cell into a
// float! holding the double result and 0 is answered. Without a result cell
// division truncates, and an out-of-range sum, difference or product
// answers the wrapped (two's complement) value; `overflowed`, when given,
// tells which.
int32_t do_math_op(int32_t left, int32_t right, int32_t op, Cell* result, bool* overflowed = nullptr);
// The arithmetic actions of an integer! left operand (which is also the
// result slot) with any right operand.
Cell* do_math(Cell* left, Cell* right, int32_t op);

// True when the double of a float-like cell is above 2147483647.0, below
// -2147483648.0, or NaN.
bool float_out_of_range_q(const Cell* value);
bool out_of_range_q(double d);
// The 32-bit integer of an integer! or a float! (truncated toward zero); a
// float out of the 32-bit range or NaN raises script out-of-range.
int32_t checked(const Cell* value);
// The double truncated toward zero. Values out of range give the nearest
// end of the range and NaN gives 0, so the result is always defined; callers
// that must refuse them test out_of_range_q first.
int32_t truncate(double d);

// The implementation of an arithmetic slot (0 add .. 7 xor) for a datatype
// (raises expect-arg when the datatype does not support it). Answers the
// result cell.
Cell* dispatch_math(uint32_t type, Cell* left, Cell* right, int32_t op);

// ---- Actions ---------------------------------------------------------------------------

ZEM_ACTION_DECL(make);
ZEM_ACTION_DECL(to);
ZEM_ACTION_DECL(random);
ZEM_ACTION_DECL(form);
ZEM_ACTION_DECL(mold);
ZEM_ACTION_DECL(compare);
ZEM_ACTION_DECL(absolute);
ZEM_ACTION_DECL(add);
ZEM_ACTION_DECL(subtract);
ZEM_ACTION_DECL(multiply);
ZEM_ACTION_DECL(divide);
ZEM_ACTION_DECL(remainder);
ZEM_ACTION_DECL(and_);
ZEM_ACTION_DECL(or_);
ZEM_ACTION_DECL(xor_);
ZEM_ACTION_DECL(negate);
ZEM_ACTION_DECL(complement);
ZEM_ACTION_DECL(power);
ZEM_ACTION_DECL(even_q);
ZEM_ACTION_DECL(odd_q);
ZEM_ACTION_DECL(round);


}  // namespace integer
