// word!: the actions of word!, which the rest of the word family shares;
// the other members only change how they mold. The family's cell layout and
// its word operations are in evaluator/word_storage.h.
#pragma once
#include <cstdint>

#include "evaluator/actions.h"
#include "evaluator/word_storage.h"
#include "runtime/cell.h"

namespace word {

// ---- Actions ---------------------------------------------------------------------------

// make and to of the whole family; the result, typed `type`, is written into
// the prototype's cell.
ZEM_ACTION_DECL(make);
ZEM_ACTION_DECL(form);
ZEM_ACTION_DECL(mold);
ZEM_ACTION_DECL(compare);
// none! for an unresolved word, else its 1-based position, written into
// the word's cell.
ZEM_ACTION_DECL(index_q);

// The text of a word followed or preceded by one character (mold of the
// other members of the family); `suffix` places it after the spelling.
int32_t mold_with(Cell* value, Cell* buffer, const char* mark, bool suffix, int32_t limit);


}  // namespace word
