// object!: a context with its words and values as a value. Object cell:
// word 1 the context node, word 2 the class id, word 3 the node of the
// change-handler record (0 when none).
#pragma once
#include <cstdint>

#include "evaluator/cell.h"

namespace object {

// Gives the object a fresh context of the given kind: a copy of its words
// (rebound to the new context) and table, the same on-stack and self
// flags, and one unset! value per word. Answers the new node.
Node new_context(Cell* obj, uint32_t kind);

void init();

}  // namespace object
