// series!: the positional and structural actions that every series type
// shares, written over the buffer's unit (1, 2, 4 or 16 bytes per element).
#pragma once
#include <cstdint>

#include "evaluator/actions.h"
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

ZEM_ACTION_DECL(random);
ZEM_ACTION_DECL(reflect);
ZEM_ACTION_DECL(at);
ZEM_ACTION_DECL(back);
ZEM_ACTION_DECL(clear);
// Shallow copy of the elements from the index (with /part) into `result`.
ZEM_ACTION_DECL(copy);
ZEM_ACTION_DECL(head);
ZEM_ACTION_DECL(head_q);
ZEM_ACTION_DECL(index_q);
ZEM_ACTION_DECL(length_q);
ZEM_ACTION_DECL(move);
ZEM_ACTION_DECL(next);
ZEM_ACTION_DECL(pick);
ZEM_ACTION_DECL(poke);
ZEM_ACTION_DECL(remove);
ZEM_ACTION_DECL(reverse);
ZEM_ACTION_DECL(skip);
ZEM_ACTION_DECL(tail);
ZEM_ACTION_DECL(tail_q);
// The taken elements as a new series of the series' type written into the
// series cell (one element without /part), or none! when nothing is left.
ZEM_ACTION_DECL(take);
ZEM_ACTION_DECL(modify);


}  // namespace series
