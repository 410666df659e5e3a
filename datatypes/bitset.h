// bitset!: sets of non-negative integers (code points in practice) as a bit
// array in a byte series: bit n is bit 0x80 >> (n & 7) of byte n >> 3.
//
// A complemented bitset (series flag SERIES_COMPLEMENT) also holds every
// number beyond its stored bits. Stored bits always give membership
// directly, and every byte of the buffer past the tail holds what a newly
// exposed byte must take: FF for a complemented bitset, 0 otherwise.
#pragma once
#include <cstdint>

#include "evaluator/actions.h"
#include "runtime/cell.h"

namespace bitset {

// Operations of this spec walker.
enum Op : int32_t { OP_MEASURE = 0, OP_SET = 1, OP_TEST = 2, OP_CLEAR = 3 };
// Who walks a spec (chooses the error for a value with no numbers).
enum Caller : int32_t { CALLER_MAKE = 0, CALLER_TO = 1, CALLER_OTHER = 2 };

// ---- Storage ----------------------------------------------------------------------

uint8_t* rs_head(const Cell* bits);
uint8_t* rs_tail(const Cell* bits);
// Stored bytes.
uint32_t rs_length_q(const Cell* bits);
bool complemented_q(const Cell* bits);
// Stores the byte that holds the bit, growing the buffer (new bytes filled
// FF when complemented, else 0) and moving the tail up; answers the first
// byte's address.
uint8_t* rs_expand(Cell* bits, uint32_t bit);
// Inverts every byte of the buffer's capacity.
void invert_bytes(SeriesBuffer* s);

// Whether the number is a member (a number beyond the stored bits answers
// the complement flag; a negative one is never a member).
bool member_q(const Cell* bits, int64_t n);
// Whether the code point at the index of a text is in the bitset (PARSE
// over strings); false at the tail.
bool match_char_q(const Cell* input, const Cell* bits);

// Turns the cell into a new bitset of `bytes` stored bytes, all `fill`,
// complemented or not; answers the cell.
Cell* make_at(Cell* cell, uint32_t bytes, bool complemented);

// ---- Spec walking -------------------------------------------------------------------

// Walks a spec value: measure answers the bytes needed (nested = false) or
// the highest number (nested = true); test answers 1 when every number the
// spec lists is a member, else 0; set and clear answer 0.
int32_t process(const Cell* spec, Cell* bits, int32_t op, bool nested, int32_t caller);
// Sets, tests or clears the numbers low..high.
int32_t process_range(Cell* bits, int64_t low, int64_t high, int32_t op);
// The same for the code points of a text from its index; with no bitset,
// the highest code point (-1 for an empty text).
int64_t process_string(const Cell* str, Cell* bits, int32_t op);

// The make and to core: a new bitset from this spec, written into `out`.
Cell* make_from(const Cell* spec, bool to, Cell* out);

// The set operations: codes 5 and 9 union, 6 and 10 intersection, 7 and
// 12 symmetric difference, 11 exclusion, 8 (unique) the first operand.
// A complemented operand counts as holding every number beyond its bytes;
// the result's flag is the operation applied to the operands' flags. The
// result replaces value1. The stack form takes the current call's first
// two arguments and leaves the result in its result slot.
Cell* do_bitwise(Cell* value1, Cell* value2, int32_t op);
Cell* do_bitwise(int32_t op);

// Appends two uppercase hexadecimal digits per stored byte (inverted
// first when `invert`); stops once a limit in force falls below 0.
int32_t form_bytes(const Cell* bits, Cell* buffer, bool has_limit, int32_t limit, bool invert);

// ---- Actions ---------------------------------------------------------------------------

ZEM_ACTION_DECL(make);
ZEM_ACTION_DECL(reflect);
ZEM_ACTION_DECL(to);
ZEM_ACTION_DECL(form);
ZEM_ACTION_DECL(mold);
ZEM_ACTION_DECL(eval_path);
ZEM_ACTION_DECL(compare);
ZEM_ACTION_DECL(and_);
ZEM_ACTION_DECL(or_);
ZEM_ACTION_DECL(xor_);
ZEM_ACTION_DECL(complement);
ZEM_ACTION_DECL(insert);
ZEM_ACTION_DECL(clear);
ZEM_ACTION_DECL(copy);
ZEM_ACTION_DECL(find);
ZEM_ACTION_DECL(length_q);
ZEM_ACTION_DECL(pick);
ZEM_ACTION_DECL(poke);
ZEM_ACTION_DECL(remove);


}  // namespace bitset
