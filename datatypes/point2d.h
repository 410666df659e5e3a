// point2D!: two single-precision coordinates, x in word 1 and y in word 2.
#pragma once
#include "evaluator/actions.h"
#include "runtime/cell.h"

namespace point2d {

// Turns the slot into a point2D! (flags kept).
Cell* make_at(Cell* slot, float x, float y);
Cell* push(float x, float y);
Cell* make_in(Cell* block, float x, float y);
float x_of(const Cell* p);
float y_of(const Cell* p);

// Arithmetic with value1 (a point2D!) as the result cell: 0 add,
// 1 subtract, 2 multiply, 3 divide, 4 remainder.
Cell* do_math(Cell* value1, Cell* value2, int32_t op);
ZEM_ACTION_DECL(compare);


}  // namespace point2d
