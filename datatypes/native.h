#include "evaluator/actions.h"
// native!, action! and op!: built-in callables as values. Their cells:
//   word 1  entry id: a native's index in the natives table (1-120), or
//           ACTION_ENTRY_BASE + an action's slot (1-62) for an action!
//   word 2  node of this spec block
//   word 3  node of the more block: [context! cell of the arguments, cache]
// An op! keeps the three words of the callable it was made from and that
// callable's type in header bits 16-23.
#pragma once
#include <cstdint>

#include "runtime/cell.h"
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

// ---- The entries' own arguments -------------------------------------------------
// The C++ code of a native, action or routine reads its arguments by
// position and relies on the datatypes its argument block lets through.
// While the library loads, the block last made for an entry is the entry's
// own (the library's `make` replaces the start-up's bare one); once it is
// loaded, a block made for an entry must take the same arguments,
// refinements and locals as its own, in the same order and of the same
// kinds, each argument accepting no datatype its own refuses (names and doc
// strings may differ).

// The argument cache of an argument block made for the entry (type native!,
// action! or routine!; entry: the native's index, the action's slot or the
// routine's table entry) into `cache`, or false when the block does not fit
// the entry's own.
bool entry_cache(uint32_t type, uint32_t entry, const Cell* spec, Cell* cache);
// Whether the entry has its own argument block yet.
bool own_spec_q(uint32_t type, uint32_t entry);
// Once the library is loaded (called by context::make_library): the entries
// it did not make (the action slots that only the interpreter calls) fit no
// argument block, and the others keep theirs. Entries registered later take
// the block of their first make.
void seal_entries();

ZEM_ACTION_DECL(make);
ZEM_ACTION_DECL(reflect);
ZEM_ACTION_DECL(form);
ZEM_ACTION_DECL(mold);
ZEM_ACTION_DECL(compare);


}  // namespace native
