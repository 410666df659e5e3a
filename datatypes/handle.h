// handle!: an operating-system handle or other opaque 32-bit value with its
// class (word 1 class 0..6, word 2 the value, word 3 always -1).
#pragma once
#include "runtime/cell.h"

namespace handle {

// Handle classes.
enum Class : uint32_t { NONE = 0, NULL_ = 1, FD = 2, MONITOR = 3, WINDOW = 4, FONT = 5, RICH_TEXT = 6 };

// Writes a whole handle! (header 46, every flag cleared) into the cell.
Cell* make_at(Cell* cell, uint32_t value, uint32_t cls);
// make_at on the current call's result slot.
Cell* box(uint32_t value, uint32_t cls);
// Pushes a new handle! on the value stack; push_null pushes (0, 0).
Cell* push(uint32_t value, uint32_t cls);
Cell* push_null();


}  // namespace handle
