// routine!: functions whose body is C++ code registered in the routine
// table (the cell layout and the table are in evaluator/callable_cells.h):
// making them and the routine! actions.
#pragma once
#include <cstdint>

#include "evaluator/actions.h"
#include "evaluator/callable_cells.h"
#include "runtime/cell.h"

namespace routine {

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
