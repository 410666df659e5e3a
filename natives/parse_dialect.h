// PARSE: matches a series (any-block!, any-string! or binary!) against a
// block of rules in the parse dialect. The engine is a state machine over
// two runtime blocks used as stacks, never the processor stack:
//
//   input stack  one copy of a series cell per input in use; the bottom entry
//                of a run is its input, `into` pushes the nested series, and
//                the entry below the top keeps the outer resume position in
//                its index
//   rule stack   frames of exactly three cells (the /trace callback sees it):
//                  block frame    none!, triple! (rule offset in the
//                                 enclosing block, input index, input
//                                 length), the enclosing rules block
//                  command frame  triple! (min, max, counter) or the target
//                                 word of copy/set, triple! (offset of the
//                                 command's last keyword cell, input index
//                                 at the attempt's start, input length),
//                                 pair! (command code, 1 for `keep pick`)
//
// A run works above the heads (block indexes) it finds; a parse started from
// user code inside another parse shifts both heads past the outer run's
// entries and puts them back when it ends, normally or by error.
#pragma once
#include <cstdint>

#include "runtime/cell.h"
#include "evaluator/stack.h"

namespace parse_dialect {

// Largest number of cells either stack may hold before a push is refused
// with script error parse-stack (outer runs' entries count too).
constexpr uint32_t STACK_LIMIT = 10001;

// Start-up: makes the input stack (room 8) and the rule stack (room 100) in
// the root block, and the keyword table.
void init();

// Runs `rules` over `input`. `mode` is 0 (case-insensitive) or 2 (strict);
// `part` is an absolute index of the input that ends it (0: the tail);
// `trace` is the /trace callback (function!) or null. The result (logic!,
// or the block of an outermost `collect`) is written into *result. Answers
// the non-local exit that left a paren or callback (the stacks are then
// already reset); errors propagate as ErrorThrown after the reset.
[[nodiscard]] Unwind process(const Cell* input, const Cell* rules, int32_t mode, uint32_t part, const Cell* trace,
                             Cell* result);

// The two stacks (for tests and the collector's view of the root block).
Cell* input_stack();
Cell* rule_stack();

}  // namespace parse_dialect
