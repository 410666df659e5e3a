// string!: mutable Unicode text, one code point per element in units of 1,
// 2 or 4 bytes. The storage layer every part of the runtime builds text
// with, and the actions of string!, which the rest of the string family
// (file!, url!, tag!, email!, ref!) inherits.
#pragma once
#include <cstdint>

#include "evaluator/actions.h"
#include "runtime/cell.h"

namespace string {

// ---- Storage ---------------------------------------------------------------------

// Makes an empty string! (unit 1, head 0) in the slot with room for `size`
// code points (0 counts as 1); answers the slot.
Cell* rs_make_at(Cell* slot, uint32_t size);
// The same with the given unit (1, 2 or 4); keeps the slot's header flags.
Cell* make_at(Cell* slot, uint32_t size, uint32_t unit);
// Pushes a copy of the string cell on the value stack; answers it.
Cell* push(const Cell* str);

// Code points from the string's index to its tail (0 for an index past it).
uint32_t rs_length_q(const Cell* str);
// The code point at element i of the buffer (from element 0).
uint32_t rs_abs_at(const Cell* str, uint32_t i);
// Address of the element at the index; a stale index is first moved back to
// the tail. Valid until the buffer grows or moves.
uint8_t* rs_head(Cell* str);
uint8_t* rs_tail(const Cell* str);
bool rs_tail_q(const Cell* str);
// Code points of the whole buffer, from element 0.
uint32_t get_length(const Cell* str);
// Moves the index by n when index + n stays at or before the tail; answers
// true when index + n is at or past the tail.
bool rs_skip(Cell* str, int32_t n);
bool rs_next(Cell* str);
// The code point stored at the address in the given unit.
uint32_t get_char(const uint8_t* address, uint32_t unit);

// Offset from the index of the first element equal to the code point, or -1.
int32_t find_char(const Cell* str, uint32_t cp);
// Whether the string from its index begins with the bytes of the text.
bool begins_with_literal_q(const Cell* str, const char* text);

// Appends one code point, widening the buffer when the code point needs a
// wider unit (above 127 for unit 1). Answers the buffer, which may move.
SeriesBuffer* append_char(SeriesBuffer* s, uint32_t cp);
// Writes the code point at element `index` (at most the length: at the
// length it appends), widening (above 255 for unit 1) and growing as needed.
SeriesBuffer* overwrite_char(SeriesBuffer* s, uint32_t index, uint32_t cp);
// Inserts the code point at element `index`, moving the rest up.
SeriesBuffer* insert_char(SeriesBuffer* s, uint32_t index, uint32_t cp);
// Stores the code point at the element address, widening first when it
// does not fit. Answers the buffer, which may move.
SeriesBuffer* poke_char(SeriesBuffer* s, uint8_t* address, uint32_t cp);
// Removes the element at the absolute index (nothing at or past the tail).
Cell* remove_char(Cell* str, uint32_t index);
// Removes `count` elements from the absolute index; the count is clipped to
// the tail.
Cell* remove_part(Cell* str, uint32_t index, uint32_t count);
// Cuts the string after its first n code points when it holds more.
SeriesBuffer* truncate_to(SeriesBuffer* s, uint32_t n);
// Widens the buffer in place from one unit to a wider one.
SeriesBuffer* widen_to(SeriesBuffer* s, uint32_t from, uint32_t to);
// Exchanges two adjacent byte ranges: [start, start + first) and the
// `second` bytes right after it; the second range ends up at the start. The
// smaller range goes through the 64 KB scratch buffer, grown for a larger
// range and shrunk back afterwards. A refused larger buffer raises
// no-memory with the bytes untouched.
void rotate_ranges(uint8_t* start, uint32_t first, uint32_t second);
// Current size of the scratch buffer in bytes (65536 between rotations).
uint32_t scratch_size();

// Appends every byte of the NUL-terminated text as one code point.
void concatenate_literal(Cell* str, const char* text);
// Appends `count` bytes as code points.
void concatenate_literal_part(Cell* str, const char* bytes, uint32_t count);
// Appends the source's code points from its index, at most `part` of them
// (-1 = all), at the target's tail, or inserts them at the target's index.
// The source buffer is never changed. Answers the target's buffer.
SeriesBuffer* concatenate(Cell* target, const Cell* source, int32_t part, bool insert);
// The full form: `offset` code points of the source are skipped first; with
// keep false a narrower source buffer is widened in place to the target's
// unit (its text and indexes do not change). A symbol! stands for its
// spelling.
SeriesBuffer* concatenate_ex(Cell* target, const Cell* source, int32_t part, uint32_t offset,
                             bool keep, bool insert);
// Appends UTF-8 text (bytes, count) decoded as code points.
void append_utf8(Cell* str, const char* text, uint32_t count);

// ---- Comparison ------------------------------------------------------------------

// Three-way comparison of two texts from their indexes under an operation
// code (0-12); `match` compares only the length of s2 (PARSE and find).
int32_t compare_text(const Cell* s1, const Cell* s2, int32_t op, bool match);
// Whether the input at its index begins with the value (strings, char!,
// tag!) under the case mode (2 = strict).
bool match_q(const Cell* input, const Cell* value, int32_t mode);
// Whether the input has "<" at its index and ">" right after the tag's text.
bool match_tag_q(const Cell* input, const Cell* tag);

// ---- Loading and small conversions -------------------------------------------------

// Makes a string! from encoded text in the slot (a new stack slot when
// null): encoding 0 is UTF-8, -1 UTF-16LE (`size` then counts 16-bit
// units). Any other encoding raises script invalid-arg with it. Every
// character is kept, a leading U+FEFF too.
Cell* load_at(const uint8_t* src, uint32_t size, Cell* slot, int32_t encoding);
Cell* load(const uint8_t* src, uint32_t size, int32_t encoding);
Cell* load_in(const uint8_t* src, uint32_t size, Cell* parent, int32_t encoding);
// The decimal float written in the bytes; `error` set when it is not one.
double to_float(const uint8_t* src, uint32_t size, bool* error);
// Two upper-case hexadecimal digits (static buffer).
const char* byte_to_hex(uint32_t byte);
// Eight upper-case hexadecimal digits; `shorten` drops leading zeros,
// keeping at least two (static buffer).
const char* to_hex(uint32_t value, bool shorten);

// ---- Form and mold helpers -----------------------------------------------------------

// Appends the code point as mold writes it in the quote form (`quote`
// true) or the brace form; `all` escapes every code point above 127.
// Answers the number of code points appended.
uint32_t append_escaped_char(Cell* buffer, uint32_t cp, bool quote, bool all);
// Appends the text of the value as form writes it (nothing for unset!).
void form_value(Cell* value, Cell* buffer);

// Case changes of a char! or of a string from its index (the `uppercase`
// and `lowercase` natives); `part` is null, an integer! count or a position
// in the same string.
void uppercase(Cell* value, const Cell* part);
void lowercase(Cell* value, const Cell* part);

// ---- Actions ----------------------------------------------------------------------------

ZEM_ACTION_DECL(make);
ZEM_ACTION_DECL(to);
ZEM_ACTION_DECL(form);
ZEM_ACTION_DECL(mold);
ZEM_ACTION_DECL(eval_path);
ZEM_ACTION_DECL(compare);
ZEM_ACTION_DECL(insert);
ZEM_ACTION_DECL(change);
ZEM_ACTION_DECL(find);
ZEM_ACTION_DECL(select);
ZEM_ACTION_DECL(sort);
ZEM_ACTION_DECL(swap);
ZEM_ACTION_DECL(take);
ZEM_ACTION_DECL(trim);

// The code point at a 1-based position relative to the index as char!
// (none outside the buffer), and the store of a char! there (script
// out-of-range outside it, invalid-arg for a value that is not a char!).
ZEM_ACTION_DECL(pick);
Cell* poke(Cell* series, int32_t index, Cell* value);

// Set operations on two strings (op 8 unique, 9 union, 10 intersect,
// 11 exclude, 12 difference); the result replaces s1 (index 0).
Cell* do_set_op(Cell* s1, Cell* s2, bool case_, Cell* skip, int32_t op);


}  // namespace string
