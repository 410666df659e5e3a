// percent!: a float! that reads and prints as a percentage (12.5% holds
// 0.125); everything but its text is float!'s.
#pragma once
#include <cstdint>

#include "runtime/cell.h"

namespace percent {

// Writes a percent! of the double made of the two halves into the cell.
Cell* make_at(Cell* cell, uint32_t high, uint32_t low);
// Appends such a percent! to the block; answers it.
Cell* make_in(Cell* block, uint32_t high, uint32_t low);

int32_t form(Cell* value, Cell* buffer, Cell* part, int32_t limit);
int32_t mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part, int32_t limit,
             int32_t indent);


}  // namespace percent
