// hash!: a block that keeps a hash table over its cells (the table's node in
// word 3), and the upkeep every block and series action calls to keep that
// table in step when it moves, adds or removes cells of a hash!.
#pragma once
#include <cstdint>

#include "evaluator/actions.h"
#include "runtime/cell.h"

namespace hash {

// The table node of a hash! value; 0 for any other value.
inline Node table_of(const Cell* value) { return value->type() == TYPE_HASH ? value->data3 : 0; }

// Turns the slot, holding a block value at index 0, into a hash! with a new
// table over its cells (room for `size` keys).
Cell* make_table_at(Cell* slot, uint32_t size);

// ---- Upkeep (each does nothing for a value that is not a hash!) ----------------------

// `count` cells were just inserted at position `at` (the cells after them
// already moved up): shifts the stored positions and indexes the new cells.
void inserted(const Cell* value, uint32_t at, uint32_t count);
// `count` cells at `at` were just cut from a buffer that held `old_length`
// cells: drops their entries and shifts the positions of the cells after.
void removed(const Cell* value, uint32_t at, uint32_t count, uint32_t old_length);
// Drops the entries of cells [at, at + count) before they are cut or
// rewritten.
void forget(const Cell* value, uint32_t at, uint32_t count);
// Cells [at, at + count) were rewritten in place: indexes them again.
void reindex(const Cell* value, uint32_t at, uint32_t count);
// Cells were moved about in ways the other calls do not follow: the whole
// block is indexed again.
void rebuild(const Cell* value);

// ---- Actions ----------------------------------------------------------------------------

ZEM_ACTION_DECL(make);
ZEM_ACTION_DECL(to);
ZEM_ACTION_DECL(mold);
ZEM_ACTION_DECL(copy);
ZEM_ACTION_DECL(sort);
ZEM_ACTION_DECL(trim);


}  // namespace hash
