// series!: the positional and structural actions that every series type
// shares, written over the buffer's unit (1, 2, 4 or 16 bytes per element).
#pragma once
#include <cstdint>

#include "runtime/cell.h"

namespace series {

// Elements in the whole buffer of a series value.
uint32_t rs_length_q(const Cell* value);
// Whether the index is at or past the tail.
bool rs_tail_q(const Cell* value);
// Adds n to the index when that does not pass the tail; answers whether the
// attempted position is at or past the tail.
bool rs_skip(Cell* value, int32_t n);
// Elements from the index (from 0 with from_head) to the tail; an index past
// the tail is first set to the tail's index and 0 answered.
uint32_t get_length(Cell* value, bool from_head);
// Sets an index past the tail to the tail's index; answers the index.
uint32_t clamp(Cell* value);

// The element at the 1-based offset n from the index, boxed as pick gives it
// (the cell itself for the any-block types), written into `out`; none! out
// of range. Answers out.
Cell* pick_into(const Cell* value, int32_t n, Cell* out);
// Stores the value at element `index` (absolute, in range) of the series:
// a copy for the any-block types, a code point, a byte or a vector element
// otherwise (invalid-arg for a value the series cannot hold).
void store(Cell* value, uint32_t index, const Cell* item);

// ---- Actions --------------------------------------------------------------------------

Cell* random(Cell* value, bool seed, bool secure, bool only);
Cell* reflect(Cell* value, Cell* field);
Cell* at(Cell* series, Cell* index);
Cell* back(Cell* series);
Cell* clear(Cell* series);
// Shallow copy of the elements from the index (with /part) into `result`.
Cell* copy(Cell* value, Cell* result, Cell* part, bool deep, Cell* types);
Cell* head(Cell* series);
Cell* head_q(Cell* series);
Cell* index_q(Cell* series);
int32_t length_q(Cell* series);
Cell* move(Cell* origin, Cell* target, Cell* part);
Cell* next(Cell* series);
Cell* pick(Cell* series, int32_t index, Cell* boxed);
Cell* poke(Cell* series, int32_t index, Cell* value, Cell* boxed);
Cell* remove(Cell* series, Cell* part, Cell* key);
Cell* reverse(Cell* series, Cell* part, Cell* skip);
Cell* skip(Cell* series, Cell* offset);
Cell* tail(Cell* series);
Cell* tail_q(Cell* series);
// The taken elements as a new series of the series' type written into the
// series cell (one element without /part), or none! when nothing is left.
Cell* take(Cell* series, Cell* part, bool deep, bool last);
Cell* modify(Cell* target, Cell* field, Cell* value, bool case_);


}  // namespace series
