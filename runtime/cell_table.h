// The runtime cell table: a block of cells kept in a global cell, where the
// runtime can park values that the collector must keep alive.
#pragma once
#include <cstdint>

#include "runtime/cell.h"

namespace cell_table {

// The block! cell of the table (its buffer is a collector root).
extern Cell table;
constexpr uint32_t INITIAL_CAPACITY = 100;

// Makes the table: 100 cells, all free and linked in order (each free cell
// is an integer! holding the 0-based index of the next, -1 in the last).
void init();
// Copies the value into the first free cell and answers its 1-based index;
// the table doubles when no cell is free.
uint32_t store(const Cell* value);
// Turns the cell of a 1-based index back into a free cell (each stored
// index is freed once; an index outside the table is ignored).
void free(uint32_t index);
// The cell of a 1-based index; null for an index outside the table.
Cell* at(uint32_t index);
uint32_t capacity();

}  // namespace cell_table
