// refinement!: a word written with a leading slash (`/a`), naming an option
// of a function.
#pragma once
#include <cstdint>

#include "evaluator/word_storage.h"
#include "runtime/cell.h"

namespace refinement {

int32_t mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part, int32_t limit,
             int32_t indent);
void init();

}  // namespace refinement
