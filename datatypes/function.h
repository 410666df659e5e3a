// function!: functions made from a spec and a body, and routine! (functions
// whose body is C++ code). A function! cell:
//   word 0  header: 24 | 0x400 (trace) | 0x200 (no-trace)
//   word 1  node of its context (on the stack, no self, kind 1)
//   word 2  node of this spec block
//   word 3  node of the "more" block of 5 cells: the body, the argument
//           cache, the entry of compiled code, the function itself once an
//           op! is made from it, the creator's extra word
#pragma once
#include <cstdint>

#include "evaluator/actions.h"
#include "runtime/cell.h"

namespace function {

constexpr uint32_t FLAG_TRACE = 0x400;
constexpr uint32_t FLAG_NO_TRACE = 0x200;

enum More : uint32_t { MORE_BODY, MORE_CACHE, MORE_ENTRY, MORE_OP, MORE_EXTRA, MORE_CELLS };

// Cell i of a callable's more block (valid until the next allocation).
Cell* more(const Cell* callable, uint32_t i);
// A block value on the callable's spec, at its head.
Cell spec_of(const Cell* callable);

// The one empty block shared by functions without a body (made at start-up).
extern Cell empty_body;
void make_empty_body();

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
// Pushes logic false and n - 1 none cells: the locals of a call.
void init_locals(uint32_t n);

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
