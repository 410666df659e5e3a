// percent!: a float! that reads and prints as a percentage (12.5% holds
// 0.125); everything but its text is float!'s.
#pragma once
#include <cstdint>

#include "evaluator/actions.h"
#include "runtime/cell.h"

namespace percent {

// Writes a percent! of the double made of the two halves into the cell.
Cell* make_at(Cell* cell, uint32_t high, uint32_t low);
// Appends such a percent! to the block; answers it.
Cell* make_in(Cell* block, uint32_t high, uint32_t low);

ZEM_ACTION_DECL(form);
ZEM_ACTION_DECL(mold);


}  // namespace percent
