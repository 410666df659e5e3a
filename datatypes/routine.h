// routine!: functions whose body is C++ code registered in the routine
// table; the cell is laid out as function!'s, with the argument count in
// header bits 25-29.
#pragma once
#include <cstdint>

#include "evaluator/actions.h"
#include "runtime/cell.h"

namespace routine {

// Header bits of a routine!: the creator's flag and its argument count.
constexpr uint32_t FLAG_CELLS = 0x8000;
constexpr uint32_t ARITY_SHIFT = 25;
constexpr uint32_t ARITY_MASK = 0x3E000000;

// A routine's C++ body: the arguments are the cells of the current call;
// it leaves its result in the result slot.
using Body = void (*)();

// Puts a routine body into the table at its entry id (from 1; the ids are
// those of ZEM_ROUTINES in evaluator/routines.h).
void register_body(int32_t entry, Body body);
Body body_of(int32_t entry);

// Pushes a new routine! (context made from this spec, more block with the
// entry id and the extra word, argument count in the header).
Node push(const Cell* spec, const Cell* body, int32_t entry, int32_t extra, bool flag);
uint32_t arity(const Cell* routine);
void set_arity(Cell* routine);

ZEM_ACTION_DECL(make);
ZEM_ACTION_DECL(form);
ZEM_ACTION_DECL(mold);
ZEM_ACTION_DECL(compare);


}  // namespace routine
