// unset!, none! and logic!: the smallest values, their constructors and the
// truth test that conditionals and loops use.
#pragma once
#include <cstdint>

#include "runtime/cell.h"

namespace unset {
// The current call's result slot becomes unset!; answers it.
Cell* push_last();
// A new unset! on the value stack; a new unset! at the block's tail.
Cell* push();
Cell* make_in(Cell* block);
}  // namespace unset

namespace none {
Cell* push_last();
Cell* push();
Cell* make_in(Cell* block);
}  // namespace none

namespace logic {

// The shared constants, filled when logic! registers.
extern Cell true_cell;
extern Cell false_cell;

// The current call's result slot becomes a logic! of the flag; answers it.
Cell* box(bool flag);
Cell* push(bool flag);
Cell* make_in(Cell* block, bool flag);
// Word 1 of a logic! cell.
inline uint32_t get(const Cell* value) { return value->data1; }

// none! and a logic! whose value word is not 1 are false; everything else
// is true. With check_unset, an unset! raises no-value naming `word`.
bool value_true_q(const Cell* value, bool check_unset, const Cell* word);
// Truth of the result slot; unset! there raises no-return.
bool true_q();
// Truth of the result slot, unset! counting as true.
bool top_true_q();
// Truth of the last value on the stack: the top cell when the current call
// holds values, else the result slot.
bool last_true_q();
inline bool last_false_q() { return !last_true_q(); }

}  // namespace logic
