// The garbage collector: for now only what the allocator calls, the flag
// that gates automatic collection and the stress switch.
#pragma once
#include <cstdint>

namespace collector {

// Automatic collection runs only while this is exactly 1; 0 until the
// library's top level begins.
extern uint32_t active;
// Collect at every series allocation (when active): set once at start-up
// from the environment variable ZEM_GC_STRESS, non-empty and not "0".
extern bool stress;
// Number of cycles run; a new node frame keeps it as its stamp.
extern uint32_t cycles;
// Number of cycles that moved nodes; tables keyed by node handles compare it
// with their stamp to learn that they must rehash.
extern uint32_t relocations;
// 1 while cycles may plan node compaction; hash-table growth clears it for
// its duration.
extern uint32_t relocation_allowed;
// True while a cycle runs.
extern bool running;

// Reads the stress switch from the environment.
void static_init();
// One whole collection.
void do_cycle();
// do_cycle when the active flag is 1; called only by the series allocator.
void collect_if_active();

}  // namespace collector
