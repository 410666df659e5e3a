// Shared pieces of the small scalar datatypes (time!, date!, tuple!, money!,
// pair!, the points, triple!, handle!): error shorthands, text appending with
// the part budget, rounding over float!'s core.
#pragma once
#include <cstdint>

#include "runtime/cell.h"
#include "datatypes/integer.h"
#include "evaluator/errors.h"

namespace scalar {

// ---- Errors ------------------------------------------------------------------------

// Raises `id` with a datatype! of `type` as its first argument, then `arg2`.
[[noreturn]] void fire_type(ErrorId id, uint32_t type, const Cell* arg2 = nullptr);
// bad-to-arg and bad-make-arg: (datatype, spec).
[[noreturn]] void bad_to_arg(uint32_t type, const Cell* spec);
[[noreturn]] void bad_make_arg(uint32_t type, const Cell* spec);
// Raises `id` with the word of the function being called, then a datatype.
[[noreturn]] void fire_caller_type(ErrorId id, uint32_t type);
// The word of an arithmetic operation code (add, subtract, multiply, divide,
// remainder, and~ ...); used as an error argument.
Cell op_word(int32_t op);

// ---- Arithmetic ---------------------------------------------------------------------

// The entry of an arithmetic action over a type's core `Core(value1, value2,
// op)`, for one of the shared operation codes (integer::OP_ADD ..).
template <Cell* (*Core)(Cell*, Cell*, int32_t), int32_t Op>
Cell* math(Cell* value1, Cell* value2) {
    return Core(value1, value2, Op);
}

// The arithmetic entries of such a type, one per shared operation code:
// `Math<do_math>::add` and so on (a type registers the ones it has).
template <Cell* (*Core)(Cell*, Cell*, int32_t)>
struct Math {
    static constexpr auto add = math<Core, integer::OP_ADD>;
    static constexpr auto subtract = math<Core, integer::OP_SUB>;
    static constexpr auto multiply = math<Core, integer::OP_MUL>;
    static constexpr auto divide = math<Core, integer::OP_DIV>;
    static constexpr auto remainder = math<Core, integer::OP_REM>;
    static constexpr auto or_ = math<Core, integer::OP_OR>;
    static constexpr auto and_ = math<Core, integer::OP_AND>;
    static constexpr auto xor_ = math<Core, integer::OP_XOR>;
};

// ---- Values -------------------------------------------------------------------------

// The first value the lexer loads from the text.
Cell load_text(Cell* text);
inline Cell integer(int32_t n) { return Cell{TYPE_INTEGER, 0, static_cast<uint32_t>(n), 0}; }
inline Cell make_float(uint32_t type, double d) {
    Cell c{type, 0, 0, 0};
    c.set_float(d);
    return c;
}
inline Cell none() { return Cell{TYPE_NONE, 0, 0, 0}; }
// The symbol of a word cell compared by its case-insensitive alias.
bool word_is(const Cell* word, uint32_t symbol);

// After a path set changed a scalar (`parent`, a copy the path walk holds),
// stores it back where it was taken from: into the head word's variable
// when `holder` is none!, else through the holder's own path slot with the
// previous element (an object's field, a block's slot), which also tells
// the owner. Nothing without a holder (a direct call).
void store_back(Cell* parent, Cell* path, Cell* holder, Cell* prev, int32_t index);

// ---- Text ------------------------------------------------------------------------------

// Appends the ASCII text to the string and answers limit less its length.
int32_t append(Cell* buffer, const char* text, int32_t limit);

// ---- Doubles ----------------------------------------------------------

// The refinements of round, in their order.
struct RoundMode {
    bool even, down, half_down, floor, ceiling, half_ceiling;
};
// value rounded to a multiple of step (> 0) as float!'s round does.
double round(double value, double step, const RoundMode& mode);

// ---- 32-bit integers ---------------------------------------------------------------------

// a op b computed exactly in 64 bits (0 add ... 4 remainder, 5 or, 6 and,
// 7 xor); divide truncates toward zero. Divide and remainder by 0 raise
// math zero-divide, -2147483648 by -1 math overflow. The caller decides
// what a result outside the 32-bit range means.
int64_t int_op(int32_t a, int32_t b, int32_t op);
inline bool fits_int32(int64_t v) { return v >= INT32_MIN && v <= INT32_MAX; }
// The double truncated toward zero to a 32-bit integer (saturating).
int32_t to_int(double d);

}  // namespace scalar
