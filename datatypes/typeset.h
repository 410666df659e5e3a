// typeset!: a set of datatypes in one cell, 96 bits over payload words 1-3.
// The bit of type id t is bit (0x80 >> (t & 7)) of byte (t >> 3), bytes
// counted from the first byte of word 1.
#pragma once
#include <cstdint>

#include "evaluator/actions.h"
#include "runtime/cell.h"

namespace typeset {

constexpr uint32_t BITS = 96;

// ---- Bits --------------------------------------------------------------------------

inline uint8_t* bytes(Cell* ts) { return reinterpret_cast<uint8_t*>(&ts->data1); }
inline const uint8_t* bytes(const Cell* ts) { return reinterpret_cast<const uint8_t*>(&ts->data1); }
inline bool has_q(const Cell* ts, uint32_t type) {
    return type < BITS && (bytes(ts)[type >> 3] & (0x80u >> (type & 7))) != 0;
}
inline void set_bit(Cell* ts, uint32_t type) {
    if (type < BITS) bytes(ts)[type >> 3] |= static_cast<uint8_t>(0x80u >> (type & 7));
}

void clear(Cell* ts);
// Number of type ids 1..(registered types) in the set.
uint32_t count(const Cell* ts);
// Writes an empty typeset into the slot (flags cleared).
Cell* make_at(Cell* slot);

// ---- Making ---------------------------------------------------------------------------

// Appends a typeset holding the three payload words to the block.
Cell* make_in(Cell* block, uint32_t bits1, uint32_t bits2, uint32_t bits3);
// Appends the default argument typeset: every type but unset!.
Cell* make_default(Cell* block);
// Appends the typeset of a function argument's type block to the block.
Cell* make_from_spec(Cell* block, const Cell* types);
// Adds a value's types: a word! by its value, a datatype! its bit, a
// typeset! all of its bits; anything else raises invalid-arg.
void add(Cell* ts, const Cell* value);
// A block of the datatype! of every type in the set, in id order, made in
// the slot.
Cell* to_block(const Cell* ts, Cell* slot);

// What a type block entry whose value is a word adds (a datatype! or a
// typeset!); start-up sets it, the default being every type but unset!.
extern Cell word_value;

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
