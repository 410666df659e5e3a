// issue!: a word written with a leading "#" that is never looked up: bound
// to the global context with index -1, and left alone by binding.
#pragma once
#include <cstdint>

#include "evaluator/word_storage.h"
#include "runtime/cell.h"

namespace issue {

Cell* make(Cell* proto, Cell* spec, uint32_t type);
int32_t mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part, int32_t limit,
             int32_t indent);
int32_t compare(Cell* value1, Cell* value2, int32_t op);
void init();

}  // namespace issue
