// char!: one Unicode code point, with integer!'s layout (the code point in
// word 2) and arithmetic that keeps every result a code point.
#pragma once
#include <cstdint>

#include "evaluator/actions.h"
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

ZEM_ACTION_DECL(make);
ZEM_ACTION_DECL(form);
ZEM_ACTION_DECL(mold);
ZEM_ACTION_DECL(compare);
ZEM_ACTION_DECL(add);
ZEM_ACTION_DECL(subtract);
ZEM_ACTION_DECL(multiply);
ZEM_ACTION_DECL(divide);
ZEM_ACTION_DECL(remainder);
ZEM_ACTION_DECL(and_);
ZEM_ACTION_DECL(or_);
ZEM_ACTION_DECL(xor_);


}  // namespace char_
