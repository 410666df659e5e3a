// point3D!: three single-precision coordinates in words 1-3.
#pragma once
#include "evaluator/actions.h"
#include "runtime/cell.h"

namespace point3d {

// Turns the slot into a point3D! (flags kept).
Cell* make_at(Cell* slot, float x, float y, float z);
Cell* push(float x, float y, float z);
Cell* make_in(Cell* block, float x, float y, float z);

// Arithmetic with value1 (a point3D!) as the result cell.
Cell* do_math(Cell* value1, Cell* value2, int32_t op);
ZEM_ACTION_DECL(compare);


}  // namespace point3d
