// time!: durations and times of day as seconds in a double (words 2-3).
#pragma once
#include <cstdint>

#include "evaluator/actions.h"
#include "runtime/cell.h"

namespace time_ {

// Turns the cell into a time! (flags kept) holding the seconds.
Cell* make_at(double seconds, Cell* cell);
// Pushes a new time! on the value stack.
Cell* push(double seconds);
// Appends a time! made of the double's halves to the block.
Cell* make_in(Cell* block, uint32_t high, uint32_t low);

// Whole hours, truncated toward zero.
double get_hours(double seconds);
// Minutes of the magnitude within its hour, 0..59.
int32_t get_minutes(double seconds);
// Field 1 hours (integer!), 2 minutes (integer!), 3 seconds (float!, the
// remainder of the seconds by 60 with their sign).
Cell get_field(const Cell* time, int32_t field);
// Appends h:mm:ss[.fff] (with "-" for a negative value) and answers the
// part budget left.
int32_t form_text(double seconds, Cell* buffer, int32_t part);

// Actions that other datatypes route to.
ZEM_ACTION_DECL(add);


}  // namespace time_
