// function!: functions made from a spec and a body (their cell layout is in
// evaluator/callable_cells.h): making them, checking and rewriting specs,
// and the function! actions.
#pragma once
#include <cstdint>

#include "evaluator/actions.h"
#include "evaluator/callable_cells.h"
#include "runtime/cell.h"

namespace function {

// Pushes a new function! (see the cell above) and answers its context. With
// a spec index above 0 this spec is first copied from its index. Without a
// context one is made from this spec. The body (null: the shared empty
// block) is deep-copied and, when the context was made here, bound to it.
Node push(const Cell* spec, const Cell* body, Node ctx, int32_t entry, int32_t extra, uint32_t flags);

// Validates a function spec and answers the flags of its attribute block.
// Raises bad-func-def (with this spec), invalid-type-spec or dup-vars.
uint32_t check_spec(const Cell* spec);
// From the start index: 1 for the first /local plus 1 per word! after it;
// 0 when there is none (-1 with `flag`).
int32_t count_locals(const Cell* spec, uint32_t start, bool flag);
// Adds the body's set-words (and the words of foreach, remove-each and
// repeat) to this spec as locals, honouring /extern (removed from the
// spec). This spec must be the function's own copy.
void collect_words(Cell* spec, const Cell* body);

// A deep copy of a block from its index (nested blocks, parens and paths
// copied too), at head 0, written into `out`.
Cell* clone(const Cell* block, Cell* out);

// ---- Actions ---------------------------------------------------------------------------

ZEM_ACTION_DECL(make);
ZEM_ACTION_DECL(reflect);
ZEM_ACTION_DECL(form);
ZEM_ACTION_DECL(mold);
ZEM_ACTION_DECL(compare);


}  // namespace function
