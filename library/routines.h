// The library's routines: C++ bodies in the routine table, made into
// routine! values by the library with `make routine! [spec index]`. Their
// indexes and words are in ZEM_LIBRARY_ROUTINES (evaluator/routines.h); the
// Debug build checks at start-up that the word it sets is the routine's.
#pragma once
#include <cstdint>

#include "evaluator/routines.h"

namespace routines {

#define X(index, name, word) void r_##name();
ZEM_LIBRARY_ROUTINES(X)
#undef X

// Puts the library's routines into the routine table (once; later calls do
// nothing).
void init();

}  // namespace routines
