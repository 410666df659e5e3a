// routine!: functions whose body is C++ code registered in the routine
// table (the cell layout and the table are in evaluator/callable_cells.h):
// making them and the routine! actions.
#pragma once
#include <cstdint>

#include "evaluator/callable_cells.h"
#include "runtime/cell.h"

namespace routine {

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

void init();

}  // namespace routine
