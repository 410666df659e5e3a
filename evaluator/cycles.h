// The cycle stack: every recursive walk over nested values (form, mold,
// compare, deep copy, bind, ownership) records the series and contexts it
// is inside, so that it notices a value containing itself and stops, and so
// that the depth of such walks stays bounded.
#pragma once
#include <cstdint>

#include "runtime/cell.h"

namespace cycles {

constexpr uint32_t SIZE = 1000;

// Records the node. The push that fills the last entry empties the stack
// and raises the internal error too-deep.
void push(Node node);
// Records the series or context a walk descends into. One already on the
// stack (a value that contains itself) empties the stack and raises the
// internal error no-cycle.
void enter(Node node);
// Drops the last entry; an empty stack stays empty.
void pop();
// Drops n entries (never below empty).
void pop_n(uint32_t n);
void reset();
bool find_q(Node node);
// Number of entries and entry i (0 = the oldest), for the collector.
uint32_t size();
Node at(uint32_t i);

// The node a walk records for a value: the context of an object!, error! or
// port!, the series node of anything else.
Node node_of(const Cell* value);

// When the value's node is on the stack: appends the ellipsis form of the
// value to the output string, lowers the part budget `limit` by its length
// and answers true (the caller does not descend).
bool detect_q(Cell* value, Cell* buffer, int32_t* limit, bool mold);

}  // namespace cycles
