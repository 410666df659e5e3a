// typeset!: the set operations and the actions of typeset!; its bits and
// its making are in evaluator/typeset_bits.h.
#pragma once
#include <cstdint>

#include "evaluator/typeset_bits.h"
#include "runtime/cell.h"

namespace typeset {

// A block of the datatype! of every type in the set, in id order, made in
// the slot.
Cell* to_block(const Cell* ts, Cell* slot);

// ---- Actions ---------------------------------------------------------------------------

// make and to: a typeset spec gives a copy, a block its types; the result
// is written into the prototype's cell.
Cell* make(Cell* proto, Cell* spec, uint32_t type);
int32_t form(Cell* value, Cell* buffer, Cell* part, int32_t limit);
int32_t mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part, int32_t limit,
             int32_t indent);
int32_t compare(Cell* value1, Cell* value2, int32_t op);
// Membership of a datatype!, as logic! written into the typeset's cell.
Cell* find(Cell* series, Cell* value, Cell* part, bool only, bool case_, bool same, bool any,
           Cell* with, Cell* skip, bool last, bool reverse, bool tail, bool match);
// The set operations on a typeset and a typeset or datatype: op 5 or~ and 9
// union, 6 and~ and 10 intersect, 7 xor~ and 12 difference, 11 exclude, 8
// unique (the first unchanged). The result replaces the first value.
Cell* do_bitwise(Cell* value1, Cell* value2, int32_t op);
Cell* and_(Cell* value1, Cell* value2);
Cell* or_(Cell* value1, Cell* value2);
Cell* xor_(Cell* value1, Cell* value2);
Cell* complement(Cell* value);

void init();

}  // namespace typeset
