// The storage layer of text, which every part of the runtime builds text
// with: string! cells hold mutable Unicode text, one code point per element
// in units of 1, 2 or 4 bytes, widened as wider code points arrive.
#pragma once
#include <cstdint>

#include "runtime/cell.h"

namespace string {

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
// Clamps a stale index back to the buffer's length.
inline void clamp_head(Cell* str) {
    uint32_t n = series_of(str)->count();
    if (str->data1 > n) str->data1 = n;
}
// The string node and index a text value stands for: a symbol! stands for
// its spelling, read from its start.
Cell text_cell(const Cell* c);
// Makes room for `bytes` bytes of data after the buffer's offset: to the
// exact need when that is at least twice the size, else doubled.
SeriesBuffer* ensure_bytes(SeriesBuffer* s, uint64_t bytes);

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
// Allocates the scratch buffer at its usual size (start-up: a previous
// run's buffer, if any, went with the tracked heap).
void init_scratch();

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

}  // namespace string
