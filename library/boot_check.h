// The check that the library's native, action and routine definitions
// agree with the runtime's tables (the Debug build runs it at start-up).
#pragma once
#include <cstdint>
#include <string>

#include "runtime/cell.h"

namespace boot_check {

// Looks through the values of the block from its head, and the blocks and
// parens inside them, for definitions `word: make native! [spec index]`
// (and the same with action! and routine!). Answers what the first
// definition that disagrees with its table says and what the table says:
// the word of the index, and for an action the refinements of its spec
// from the first one on, argument words included. Empty when all agree.
std::string mismatch(const Cell* code);

// Runs `mismatch` over the library's code; a disagreement is a fault of the
// build: it is reported as an internal error and the program stops.
void check_library(const Cell* code);

}  // namespace boot_check
