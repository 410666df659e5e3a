// vector!: a packed series of numbers of one element type (char!, integer!,
// float! or percent!), each element 1, 2, 4 or 8 bytes wide. Word 3 of the
// cell holds the element type; the buffer's unit is the element size.
#pragma once
#include <cstdint>

#include "evaluator/actions.h"
#include "runtime/cell.h"

namespace vector {

// ---- Elements ----------------------------------------------------------------------
//
// Element addresses are valid until the vector grows or a collection moves
// it: never keep one across an allocation.

// The element at p, `size` bytes wide: integer! elements of 8 and 16 bits
// are sign-extended, char! elements (`type`) are code points and read
// unsigned; 32-bit floats are widened to double.
int32_t get_integer(const uint8_t* p, uint32_t size, uint32_t type = TYPE_INTEGER);
double get_float(const uint8_t* p, uint32_t size);
// The element boxed as a value of the element type.
Cell get_value(const uint8_t* p, uint32_t size, uint32_t type);
// Writes a char!, integer!, float! or percent! into the element: the low
// bits of an integer, a double narrowed to single precision in 4 bytes. Any
// other value raises invalid-type with its datatype.
void set_value(uint8_t* p, const Cell* value, uint32_t size);

// Turns the slot into a new empty vector (index 0) of the element type and
// size (in bytes) with room for `count` elements; a room that no series can
// have raises no-memory.
Cell* make_at(Cell* slot, uint32_t count, uint32_t type, uint32_t size);

// Whether the element type and size are ones a vector can have.
bool valid_element_q(uint32_t type, uint32_t size);

// The arithmetic of a scalar on the left of a vector (integer!, char! and
// float! arithmetic call it): the vector is changed in place, each element
// becoming scalar op element, and is written into the scalar's cell (the
// result slot).
Cell* scalar_math(Cell* scalar, Cell* vec, int32_t op);

// Element a (`size_a` bytes) against element b (`size_b` bytes) of the
// element type: -1, 0 or 1, as signed integers, code points or doubles (a
// pair with a NaN counts as equal).
int32_t compare_elements(const uint8_t* a, uint32_t size_a, const uint8_t* b, uint32_t size_b, uint32_t type);

// ---- Actions ----------------------------------------------------------------------------

ZEM_ACTION_DECL(make);
ZEM_ACTION_DECL(form);
ZEM_ACTION_DECL(mold);
ZEM_ACTION_DECL(compare);
// append and insert: `part` limits the values of a block value (-1 absent),
// `dup` repeats them (1 absent).
ZEM_ACTION_DECL(insert);
// change: `part` is the number of elements replaced (-1 absent).
ZEM_ACTION_DECL(change);

}  // namespace vector
