// refinement!: a word written with a leading slash (`/a`), naming an option
// of a function.
#pragma once
#include <cstdint>

#include "runtime/cell.h"

namespace refinement {

// Pushes a copy of the word typed refinement!.
Cell* push(const Cell* word);
// Pushes word `index` of the context's words list typed refinement!.
Cell* push_local(Node ctx, int32_t index);
// Appends an unbound refinement! of the spelling to the root block and
// answers it.
Cell* make_root(const char* text);

}  // namespace refinement
