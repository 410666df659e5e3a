// word!: a symbol with a binding. The word family (word!, set-word!,
// lit-word!, get-word!, refinement!, issue!) shares one cell layout:
//   word 1  ctx     node of the context the word is bound to (0: unbound)
//   word 2  symbol  symbol id, as spelled
//   word 3  index   position in the context's words list, -1 unresolved
// The word operations of the whole family are in evaluator/word_storage.h;
// this file holds the actions of word!; the other members only change how
// they mold.
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
