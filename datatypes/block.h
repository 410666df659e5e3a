// block!: the storage layer of blocks and the makers of block values.
#pragma once
#include <cstdint>

#include "evaluator/cell.h"

namespace block {

// Appends a new block! to the parent (or, with a null parent, uses the
// runtime's root slot memory::root_block) whose buffer is fixed, with room
// for `size` cells; answers the new cell.
Cell* make_fixed_in(Cell* parent, int32_t size);
// Appends a new empty block! with room for `size` cells (a negative size
// counts as 1) to the parent, or puts it in the root slot when the parent
// is null; answers it.
Cell* make_in(Cell* parent, int32_t size);

}  // namespace block
