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

// Turns the cell into a new empty block! with room for `size` cells.
Cell* make_at(Cell* cell, uint32_t size);

// The first cell at the block's index, the cell past its last cell, and
// the number of cells from the index (0 when the index lies past the tail).
// Addresses are valid until the block grows or a collection moves it.
Cell* rs_head(const Cell* block);
Cell* rs_tail(const Cell* block);
uint32_t rs_length_q(const Cell* block);
// Copies the value to the tail of the block; answers the new cell.
Cell* rs_append(Cell* block, const Cell* value);

// Appends a word! of the global context for the symbol (added with an
// unset! value when new); answers it.
Cell* append_global_word(uint32_t symbol, Cell* block);
// The same from a NUL-terminated UTF-8 spelling.
Cell* append_word(const char* text, Cell* block);

void init();

}  // namespace block
