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

Cell* push(bool flag);
Cell* make_in(Cell* block, bool flag);
// Word 1 of a logic! cell.
inline uint32_t get(const Cell* value) { return value->data1; }

// none! and a logic! whose value word is not 1 are false; everything else
// is true. With check_unset, an unset! raises no-value naming `word`.
bool value_true_q(const Cell* value, bool check_unset, const Cell* word);

}  // namespace logic
