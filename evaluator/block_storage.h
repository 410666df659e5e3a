// The storage layer of blocks: the makers of block values and the rs_
// operations on a block's cells.
//
// A block value's `head` (word 1) is its index in cells from the buffer's
// first cell; several values may share one buffer, so an index may lie past
// the tail after another value shortened it. The rs_ operations do not check
// their arguments, and only rs_append allocates (it grows the buffer when
// full).
#pragma once
#include <cstdint>

#include "runtime/cell.h"

namespace block {

// ---- Making ----------------------------------------------------------------------------

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

// Pushes a copy of the block value; pushes a new empty block (0 counts as 1).
Cell* push(const Cell* block);

// ---- Cursor and addresses -----------------------------------------------------------

// The first cell at the block's index, the cell past its last cell, and
// the number of cells from the index (0 when the index lies past the tail).
// Addresses are valid until the block grows or a collection moves it.
Cell* rs_head(const Cell* block);
Cell* rs_tail(const Cell* block);
uint32_t rs_length_q(const Cell* block);
// Copies the value to the tail of the block; answers the new cell.
Cell* rs_append(Cell* block, const Cell* value);

// rs_head that also writes: an index past the tail is first set to the
// tail's index in the value.
Cell* rs_clamp_head(Cell* block);
// Cells from the index to the tail, negative when the index lies past it.
int32_t rs_length_signed(const Cell* block);
// Advances the index by one unless that passes the tail; answers whether
// the value is then at its tail.
bool rs_next(Cell* block);
// Whether the index is exactly at the tail (an index past it is not).
bool rs_tail_q(const Cell* block);
// Cell at an absolute index (from the buffer's first cell, not checked).
Cell* rs_abs_at(const Cell* block, uint32_t index);
// Cuts the buffer after `index` cells.
void rs_clear(const Cell* block, uint32_t index);
// Drops the last cell of a non-empty buffer, clamping the index.
void rs_remove_last(Cell* block);

}  // namespace block
