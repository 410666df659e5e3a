// typeset!: the set operations and the actions of typeset!; its bits and
// its making are in evaluator/typeset_bits.h.
#pragma once
#include <cstdint>

#include "evaluator/actions.h"
#include "evaluator/typeset_bits.h"
#include "runtime/cell.h"

namespace typeset {

// A block of the datatype! of every type in the set, in id order, made in
// the slot.
Cell* to_block(const Cell* ts, Cell* slot);

// ---- Actions ---------------------------------------------------------------------------

// make and to: a typeset spec gives a copy, a block its types; the result
// is written into the prototype's cell.
ZEM_ACTION_DECL(make);
ZEM_ACTION_DECL(form);
ZEM_ACTION_DECL(mold);
ZEM_ACTION_DECL(compare);
// Membership of a datatype!, as logic! written into the typeset's cell.
ZEM_ACTION_DECL(find);
// The set operations on a typeset and a typeset or datatype: op 5 or~ and 9
// union, 6 and~ and 10 intersect, 7 xor~ and 12 difference, 11 exclude, 8
// unique (the first unchanged). The result replaces the first value.
Cell* do_bitwise(Cell* value1, Cell* value2, int32_t op);
ZEM_ACTION_DECL(and_);
ZEM_ACTION_DECL(or_);
ZEM_ACTION_DECL(xor_);
ZEM_ACTION_DECL(complement);


}  // namespace typeset
