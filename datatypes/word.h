// word!: the actions of word!, which the rest of the word family shares;
// the other members only change how they mold. The family's cell layout and
// its word operations are in evaluator/word_storage.h.
#pragma once
#include <cstdint>

#include "evaluator/word_storage.h"
#include "runtime/cell.h"

namespace word {

// ---- Actions ---------------------------------------------------------------------------

// make and to of the whole family; the result, typed `type`, is written into
// the prototype's cell.
Cell* make(Cell* proto, Cell* spec, uint32_t type);
int32_t form(Cell* value, Cell* buffer, Cell* part, int32_t limit);
int32_t mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part, int32_t limit,
             int32_t indent);
int32_t compare(Cell* value1, Cell* value2, int32_t op);
// none! for an unresolved word, else its 1-based position, written into
// the word's cell.
Cell* index_q(Cell* word);

// The text of a word followed or preceded by one character (mold of the
// other members of the family); `suffix` places it after the spelling.
int32_t mold_with(Cell* value, Cell* buffer, const char* mark, bool suffix, int32_t limit);

void init();

}  // namespace word
