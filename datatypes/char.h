// char!: one Unicode code point, with integer!'s layout (the code point in
// word 2) and arithmetic that keeps every result a code point.
#pragma once
#include <cstdint>

#include "runtime/cell.h"

namespace char_ {

constexpr int32_t max_code_point = 0x10FFFF;

// Pushes a new char! on the value stack; answers it.
Cell* box(uint32_t cp);
// Appends a char! to the block; answers it.
Cell* make_in(Cell* block, uint32_t cp);

// Appends the molded form of a code point inside quotes: caret escapes for
// control characters, "^(XX)" hexadecimal for 30, 128-159 and, with `all`,
// everything above 127. Answers the number of characters appended.
int32_t append_escaped(Cell* buffer, uint32_t cp, bool all);

// The arithmetic actions of a char! left operand (also the result slot):
// results outside 0..10FFFF raise math overflow, division truncates.
Cell* do_math(Cell* left, Cell* right, int32_t op);

Cell* make(Cell* proto, Cell* spec, uint32_t type);
int32_t form(Cell* value, Cell* buffer, Cell* part, int32_t limit);
int32_t mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part, int32_t limit,
             int32_t indent);
int32_t compare(Cell* value1, Cell* value2, int32_t op);
Cell* add(Cell* value1, Cell* value2);
Cell* subtract(Cell* value1, Cell* value2);
Cell* multiply(Cell* value1, Cell* value2);
Cell* divide(Cell* value1, Cell* value2);
Cell* remainder(Cell* value1, Cell* value2);
Cell* and_(Cell* value1, Cell* value2);
Cell* or_(Cell* value1, Cell* value2);
Cell* xor_(Cell* value1, Cell* value2);


}  // namespace char_
