// typeset!: a set of datatypes in one cell, 96 bits over payload words 1-3.
// The bit of type id t is bit (0x80 >> (t & 7)) of byte (t >> 3), bytes
// counted from the first byte of word 1. This file holds the bits and the
// making of typesets, which function specs need.
#pragma once
#include <cstdint>

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
// A typeset of every type but unset!.
Cell default_set();

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

// What a type block entry whose value is a word adds (a datatype! or a
// typeset!); start-up sets it, the default being every type but unset!.
extern Cell word_value;

}  // namespace typeset
