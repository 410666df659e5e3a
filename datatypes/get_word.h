// get-word!: a word that gets its value without calling it; molds as `:a`.
#pragma once
#include <cstdint>

#include "runtime/cell.h"

namespace get_word {

// Pushes a copy of the word typed get-word!.
Cell* push(const Cell* word);
// Pushes word `index` of the context's words list typed get-word!.
Cell* push_ctx_word(Node ctx, int32_t index);
// Pushes a copy of the word's value, unset! included.
Cell* get(const Cell* word);

int32_t mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part, int32_t limit,
             int32_t indent);

}  // namespace get_word
