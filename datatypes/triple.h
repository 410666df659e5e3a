// triple!: three signed 32-bit integers in words 1-3, with a text form only.
#pragma once
#include "runtime/cell.h"

namespace triple {

// Writes a whole triple! into the cell.
Cell* make_at(Cell* cell, int32_t a, int32_t b, int32_t c);


}  // namespace triple
