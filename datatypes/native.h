// native!, action! and op!: built-in callables as values. Their cells:
//   word 1  entry id: a native's index in the natives table (1-120), or
//           ACTION_ENTRY_BASE + an action's slot (1-62) for an action!
//   word 2  node of this spec block
//   word 3  node of the more block: [context! cell of the arguments, cache]
// An op! keeps the three words of the callable it was made from and that
// callable's type in header bits 16-23.
#pragma once
#include <cstdint>

#include "evaluator/actions.h"
#include "evaluator/cell.h"
#include "evaluator/natives.h"
#include "evaluator/stack.h"

namespace native {

// More block of a native or action: the argument context and the argument
// cache of the interpreter.
enum More : uint32_t { MORE_CONTEXT, MORE_CACHE, MORE_CELLS };

// The type an op! was made from (the value's own type for the others).
inline uint32_t source_type(const Cell* callable) {
    return callable->type() == TYPE_OP ? (callable->header >> OP_SOURCE_SHIFT) & 0xFF : callable->type();
}
// The entry point of a native! or action! (or an op! made from one); null
// when its id names no entry. Inline: every native call looks here.
inline NativeEntry entry_of(const Cell* callable) {
    uint32_t id = callable->data1;
    if (id >= ACTION_ENTRY_BASE) return actions::entry(id - ACTION_ENTRY_BASE);
    return natives::entry(id);
}
// Whether an op! or native-like value is backed by the action table.
inline bool action_q(const Cell* callable) { return callable->data1 >= ACTION_ENTRY_BASE; }

// Number of arguments and refinements an op! source's spec must give; used
// by op! make: exactly two plain arguments.
bool two_argument_spec_q(const Cell* spec);

Cell* make(Cell* proto, Cell* spec, uint32_t type);
Cell* reflect(Cell* value, Cell* field);
int32_t form(Cell* value, Cell* buffer, Cell* part, int32_t limit);
int32_t mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part, int32_t limit,
             int32_t indent);
int32_t compare(Cell* value1, Cell* value2, int32_t op);

void init();

}  // namespace native
