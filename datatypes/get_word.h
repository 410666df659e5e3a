// get-word!: a word that gets its value without calling it; molds as `:a`.
#pragma once
#include <cstdint>

#include "runtime/cell.h"

namespace get_word {

// Pushes a copy of the word typed get-word!.
Cell* push(const Cell* word);
// Pushes a copy of the word's value, unset! included.
Cell* get(const Cell* word);

}  // namespace get_word
