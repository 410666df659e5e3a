// The memory statistics behind `stats` and `recycle`.
#pragma once
#include "runtime/cell.h"

namespace memory_stats {

// Mode 1: answers the bytes in use (4 per used node of every node frame,
// the carved bytes of every series frame, the footprint of every big
// series). Mode 2: appends to the block three blocks (the free, used and
// total figures of each node frame one after another, in nodes; the same
// for each series frame, in bytes; the size of each big series), each
// frame's figures or size starting a new line, then the bytes taken from
// the system (node chunks, series frames, big series) and the bytes the
// tracked heap holds (integer! while they fit, else float!); answers the
// same total. The collector's active flag is off while they are gathered.
double stats(int32_t mode, Cell* block);

}  // namespace memory_stats
