// The loop steps that foreach, remove-each, forall and set share: whether a
// series has an element at its index, and setting a block of words from a
// value.
#pragma once
#include <cstdint>

#include "runtime/cell.h"

namespace natives {

// Raises script expect-arg for an argument of the current native: the
// native's name, the datatype refused and the argument's name.
[[noreturn]] void refuse_arg(const char* argument, const Cell& value);

// Whether the series has an element at its index (an index past the tail
// has none).
bool has_more_q(const Cell* series);

// Sets the first n words of `words` (from its index) from `value`. A
// block-like value gives word i its element i (none beyond the tail), unless
// `only`, which gives every word the whole value; any other value goes to
// every word. `some` leaves a word alone when its new value is none.
// Without `any`, an unset! element raises need-value; a cell of `words`
// that is not a word, set-word, get-word or lit-word raises invalid-arg.
void set_many(const Cell* words, const Cell* value, uint32_t n, bool any, bool only, bool some);

}  // namespace natives
