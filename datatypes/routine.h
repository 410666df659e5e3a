// routine!: functions whose body is C++ code registered in the routine
// table; the cell is laid out as function!'s, with the argument count in
// header bits 25-29.
#pragma once
#include <cstdint>

#include "runtime/cell.h"

namespace routine {

// Header bits of a routine!: the creator's flag and its argument count.
constexpr uint32_t FLAG_CELLS = 0x8000;
constexpr uint32_t ARITY_SHIFT = 25;
constexpr uint32_t ARITY_MASK = 0x3E000000;

// A routine's C++ body: the arguments are the cells of the current call;
// it leaves its result in the result slot.
using Body = void (*)();

// Registers a routine body and answers its entry id (from 1).
int32_t register_body(Body body);
Body body_of(int32_t entry);

// Pushes a new routine! (context made from this spec, more block with the
// entry id and the extra word, argument count in the header).
Node push(const Cell* spec, const Cell* body, int32_t entry, int32_t extra, bool flag);
uint32_t arity(const Cell* routine);
void set_arity(Cell* routine);

Cell* make(Cell* proto, Cell* spec, uint32_t type);
int32_t form(Cell* value, Cell* buffer, Cell* part, int32_t limit);
int32_t mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part, int32_t limit,
             int32_t indent);
int32_t compare(Cell* value1, Cell* value2, int32_t op);


}  // namespace routine
