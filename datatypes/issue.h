// issue!: a word written with a leading "#" that is never looked up: bound
// to the global context with index -1, and left alone by binding.
#pragma once
#include <cstdint>

#include "evaluator/actions.h"
#include "runtime/cell.h"

namespace issue {

// An issue of the spelling: during start-up appended to the root block,
// otherwise made in a new value-stack slot.
Cell* load(const char* text);
// Writes an issue of the spelling into the slot; answers it.
Cell* make_at(Cell* slot, const char* text);
// Appends an issue of the spelling to the block; answers it.
Cell* append_to(const char* text, Cell* block);
// Pushes a copy of the word typed issue!.
Cell* push(const Cell* word);

ZEM_ACTION_DECL(make);
ZEM_ACTION_DECL(mold);
ZEM_ACTION_DECL(compare);

}  // namespace issue
