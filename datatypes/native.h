// native!, action! and op!: built-in callables as values (their cell layout
// is in evaluator/callable_cells.h): the entries' own argument blocks and
// the actions.
#pragma once
#include <cstdint>

#include "evaluator/actions.h"
#include "evaluator/callable_cells.h"
#include "runtime/cell.h"

namespace native {

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
// Once the library is loaded (called at the end of the boot, before the
// library's context is made): the entries it did not make (the action slots
// that only the interpreter calls) fit no argument block, and the others
// keep theirs. Entries registered later take the block of their first make.
void seal_entries();

ZEM_ACTION_DECL(make);
ZEM_ACTION_DECL(reflect);
ZEM_ACTION_DECL(form);
ZEM_ACTION_DECL(mold);
ZEM_ACTION_DECL(compare);


}  // namespace native
