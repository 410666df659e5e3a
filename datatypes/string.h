// string!: mutable Unicode text, one code point per element in units of 1,
// 2 or 4 bytes. For now only the storage helpers that form and mold need;
// the datatype's actions come with the rest of the string family.
#pragma once
#include <cstdint>

#include "evaluator/cell.h"

namespace string {

// Makes an empty string! (unit 1, head 0) in the slot with room for `size`
// code points (0 counts as 1); answers the slot.
Cell* rs_make_at(Cell* slot, uint32_t size);

// Code points from the string's index to its tail (0 for an index past it).
uint32_t rs_length_q(const Cell* str);
// The code point at element i of the buffer (from element 0).
uint32_t rs_abs_at(const Cell* str, uint32_t i);

// Appends one code point, widening the buffer when the code point needs a
// wider unit (above 127 for unit 1). Answers the buffer, which may move.
SeriesBuffer* append_char(SeriesBuffer* s, uint32_t cp);
// Stores the code point at the element address, widening first when it
// does not fit. Answers the buffer, which may move.
SeriesBuffer* poke_char(SeriesBuffer* s, uint8_t* address, uint32_t cp);
// Cuts the string after its first n code points when it holds more.
SeriesBuffer* truncate_to(SeriesBuffer* s, uint32_t n);

// Appends every byte of the NUL-terminated text as one code point.
void concatenate_literal(Cell* str, const char* text);
// Appends `count` bytes as code points.
void concatenate_literal_part(Cell* str, const char* bytes, uint32_t count);
// Appends the source's code points from its index, at most `part` of them
// (-1 = all), at the target's tail, or inserts them at the target's index.
// The source buffer is never changed. Answers the target's buffer.
SeriesBuffer* concatenate(Cell* target, const Cell* source, int32_t part, bool insert);

void init();

}  // namespace string
