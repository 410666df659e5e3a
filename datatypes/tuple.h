// tuple!: 3 to 12 unsigned bytes packed into the cell (bytes 1-4 in word 1
// from its lowest byte up, 5-8 in word 2, 9-12 in word 3), the length in
// header bits 19-22.
#pragma once
#include <cstdint>

#include "evaluator/actions.h"
#include "runtime/cell.h"

namespace tuple {

// The length (3..12) and the bytes of a tuple cell.
inline uint32_t length(const Cell* t) { return (t->header & TUPLE_SIZE_MASK) >> TUPLE_SIZE_SHIFT; }
inline uint8_t* bytes(Cell* t) { return reinterpret_cast<uint8_t*>(&t->data1); }
inline const uint8_t* bytes(const Cell* t) { return reinterpret_cast<const uint8_t*>(&t->data1); }

// Writes a whole tuple! into the slot: header 39 with the length (a length
// below 3 stored as 3), the given bytes, the rest 0. The lexer's maker.
Cell* make_at(Cell* slot, const uint8_t* data, uint32_t count);
// Pushes a tuple! with the given length and payload words.
Cell* push(uint32_t length, uint32_t word1, uint32_t word2, uint32_t word3);
// Fills the target from the binary's bytes (at most 12, padded to 3).
Cell* from_binary(const Cell* binary, Cell* target);
// r.g.b (a = -1) or r.g.b.a.
Cell* from_rgba(Cell* target, int32_t r, int32_t g, int32_t b, int32_t a);
// The issue's hexadecimal colour (#F80, #FF8800, #FF880080); invalid-data
// otherwise.
Cell* from_issue(const Cell* issue, Cell* target);

// The arithmetic core (0 add, 1 subtract, 2 multiply, 3 divide, 4 remainder,
// 5 or, 6 and, 7 xor) with value1 as the result cell. A non-tuple left
// operand is exchanged with the tuple (subtract and divide refused).
Cell* do_math(Cell* value1, Cell* value2, int32_t op);
// The same on the current call's two arguments.
Cell* do_math(int32_t op);
// -1, 0, 1 byte by byte (missing bytes 0), -2 for a non-tuple right value.
ZEM_ACTION_DECL(compare);
bool zero_q(const Cell* t);


}  // namespace tuple
