// pair!: two signed 32-bit integers, x in word 2 and y in word 3.
#pragma once
#include "evaluator/actions.h"
#include "runtime/cell.h"

namespace pair {

// Turns the slot into a pair! (flags kept).
Cell* make_at(Cell* slot, int32_t x, int32_t y);
// Appends a pair! to the block.
Cell* make_in(Cell* block, int32_t x, int32_t y);
// Pushes a pair! on the value stack.
Cell* push(int32_t x, int32_t y);
inline int32_t x_of(const Cell* p) { return static_cast<int32_t>(p->data2); }
inline int32_t y_of(const Cell* p) { return static_cast<int32_t>(p->data3); }

// Arithmetic with value1 (a pair!) as the result cell: 0 add, 1 subtract,
// 2 multiply, 3 divide, 4 remainder, 5 or, 6 and, 7 xor. A result may be a
// point2D! (fractions, or a component leaving the 32-bit range).
Cell* do_math(Cell* value1, Cell* value2, int32_t op);
ZEM_ACTION_DECL(compare);


}  // namespace pair
