// binary!: the byte series, its actions, and the byte helpers that the
// codecs, the I/O services, PARSE and the enbase/debase natives build on.
#pragma once
#include <cstdint>
#include <vector>

#include "evaluator/actions.h"
#include "runtime/cell.h"

namespace binary {

// ---- Raw series helpers ------------------------------------------------------------
//
// Addresses are valid until the binary grows or a collection moves it:
// never keep one across an allocation.

// Bytes from the index to the tail (0 for an index at or past the tail).
uint32_t rs_length_q(const Cell* bin);
uint8_t* rs_head(const Cell* bin);
uint8_t* rs_tail(const Cell* bin);
bool rs_tail_q(const Cell* bin);
// Moves the index by n when the result stays between the head and the tail.
void rs_skip(Cell* bin, int32_t n);
inline void rs_next(Cell* bin) { rs_skip(bin, 1); }
// The byte at the index (the index must lie before the tail).
uint8_t rs_abs_at(const Cell* bin);
// Cuts the binary at its index.
void rs_clear(Cell* bin);
// Copies `count` bytes (from outside the binary's buffer) to its tail;
// answers their new address.
uint8_t* rs_append(Cell* bin, const uint8_t* src, uint32_t count);
// Inserts `count` bytes at index + offset; answers their address.
uint8_t* rs_insert(Cell* bin, uint32_t offset, const uint8_t* src, uint32_t count);
// Writes `count` bytes at index + offset, growing the buffer and moving the
// tail up only when they end beyond it.
uint8_t* rs_overwrite(Cell* bin, uint32_t offset, const uint8_t* src, uint32_t count);
// Writes the integer as 4 bytes, most significant first, at the tail; the
// caller has made room.
void rs_append_be32(uint32_t value, Cell* bin);

// Turns the cell into an empty binary! (index 0) with room for `size`
// bytes (16 for 0); answers the cell.
Cell* make_at(Cell* cell, uint32_t size);
// The same in a new cell at the tail of the block.
Cell* make_in(Cell* block, uint32_t size);
// A new binary holding a copy of the bytes (which must not lie in a series
// buffer that an allocation could move), appended to the block or pushed
// on the value stack when the block is null.
Cell* load_in(const uint8_t* src, uint32_t length, Cell* block);
inline Cell* load(const uint8_t* src, uint32_t length) { return load_in(src, length, nullptr); }
// Pushes a copy of the cell.
Cell* push(const Cell* bin);

// The low 8 bits of a char! or integer!; any other value raises
// invalid-arg.
uint8_t byte_of(const Cell* value);

// ---- Comparing and matching -------------------------------------------------------

// Compares the bytes of a binary with a binary or the UTF-8 text of a
// string-like value under a comparison code: -1, 0, 1, or -2 when value 2
// is of another type. In match mode only as many bytes as value 2 has are
// compared (0 = they match).
int32_t compare_bytes(const Cell* value1, const Cell* value2, int32_t op, bool match);
// Whether the byte at the binary's index is in the bitset (a byte beyond
// its stored bits answers the complement flag). False at the tail.
bool match_bitset_q(const Cell* bin, const Cell* bits);
// Whether the input at the binary's index matches a binary or text value
// (its bytes), or a char! (one byte equal to its code point).
bool match_value_q(const Cell* bin, const Cell* value, int32_t op);

// ---- Bytes of a value --------------------------------------------------------------

// The bytes of a value as append, insert, change and `to` take them.
// Mode 0 measures, 1 writes, 2 writes when `dst` is given and measures
// otherwise; modes 0 and 1 raise bad-to-arg for a value with no byte form,
// mode 2 uses its formed text. `limit` (above 0, else none) caps the
// elements taken from the value: bytes of a binary or tuple, code points of
// a text, values of a block (with `only`: bytes across the values). Answers
// the byte count.
uint32_t value_to_bytes(int32_t mode, bool only, int32_t limit, const Cell* value, uint8_t* dst);
// The same bytes, collected into a vector (mode 0/1 rules when `form_others`
// is false, mode 2 rules when it is true).
void collect_bytes(const Cell* value, bool only, int32_t limit, bool form_others, std::vector<uint8_t>& out);

// ---- Base encodings --------------------------------------------------------------------

// Length of the text of `count` bytes in base 2, 16, 58 (an upper bound)
// and 64.
uint32_t encoded_size(int32_t base, uint32_t count);
// Write the text of `count` bytes (one byte per character) at dst; answer
// the address after the last character.
uint8_t* encode_2(uint8_t* dst, const uint8_t* src, uint32_t count);
uint8_t* encode_16(uint8_t* dst, const uint8_t* src, uint32_t count);
uint8_t* encode_58(uint8_t* dst, const uint8_t* src, uint32_t count);
uint8_t* encode_64(uint8_t* dst, const uint8_t* src, uint32_t count);

// Decode `length` characters of text stored in units of `unit` bytes (1, 2
// or 4) into `out`; false when the text is not valid in that base. ";"
// starts a comment up to the next line feed. Base 16 and base 64 reject
// every code point above 127; base 58 stops at the first one.
bool decode_2_bytes(const uint8_t* text, uint32_t length, uint32_t unit, std::vector<uint8_t>& out);
bool decode_16_bytes(const uint8_t* text, uint32_t length, uint32_t unit, std::vector<uint8_t>& out);
bool decode_58_bytes(const uint8_t* text, uint32_t length, uint32_t unit, std::vector<uint8_t>& out);
bool decode_64_bytes(const uint8_t* text, uint32_t length, uint32_t unit, std::vector<uint8_t>& out);
// The same into a new byte series: its node, or 0 when the text is invalid.
// The text may lie in a series buffer: it is read before anything is
// allocated.
Node decode_2(const uint8_t* text, uint32_t length, uint32_t unit);
Node decode_16(const uint8_t* text, uint32_t length, uint32_t unit);
Node decode_58(const uint8_t* text, uint32_t length, uint32_t unit);
Node decode_64(const uint8_t* text, uint32_t length, uint32_t unit);

// The issue's spelling read as hexadecimal into a binary! in the target;
// invalid-data with the issue when it is not.
Cell* from_issue(const Cell* issue, Cell* target);

// ---- Actions ----------------------------------------------------------------------------

// The #{...} text: `part` tells whether a /part limit is in force, `indent`
// is the nesting level of the enclosing molds. Answers the budget left.
int32_t mold_bytes(const Cell* bin, Cell* buffer, bool only, bool flat, bool part, int32_t limit,
                   int32_t indent);

// to binary! (and make binary! of anything but a size): the result is
// written into the prototype's cell.
ZEM_ACTION_DECL(to);
ZEM_ACTION_DECL(form);
ZEM_ACTION_DECL(mold);
ZEM_ACTION_DECL(compare);
// Bitwise operations (codes 6 and, 5 or, 7 xor): a new binary as long as
// the longer operand, written into value1's cell.
Cell* do_bitwise(Cell* value1, Cell* value2, int32_t op);
ZEM_ACTION_DECL(and_);
ZEM_ACTION_DECL(or_);
ZEM_ACTION_DECL(xor_);
ZEM_ACTION_DECL(complement);
// append and insert: `part` is the /part count on the value (-1 absent),
// `dup` the /dup count (1 absent).
ZEM_ACTION_DECL(insert);
// The same entry under the name PARSE's collect uses.
inline Cell* append(Cell* series, Cell* value, int32_t part, bool only, int32_t dup, bool at_tail) {
    return insert(series, value, part, only, dup, at_tail);
}
// change: `part` is the /part count on the series (-1 absent).
ZEM_ACTION_DECL(change);
ZEM_ACTION_DECL(trim);


}  // namespace binary
