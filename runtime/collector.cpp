// The garbage collector: the active flag, the stress switch and the entry
// points the allocator calls. The cycle itself is still empty.
#include "runtime/collector.h"

#include <cstring>

#include "runtime/sys.h"

namespace collector {

uint32_t active = 0;
bool stress = false;
uint32_t cycles = 0;
uint32_t relocations = 0;
uint32_t relocation_allowed = 1;
bool running = false;

void static_init() {
    char value[16];
    uint32_t n = sys::get_env("ZEM_GC_STRESS", value, sizeof value);
    // A value too long for the buffer reports its size: it is set and not "0".
    stress = n > 0 && !(n < sizeof value && std::strcmp(value, "0") == 0);
}

void do_cycle() {
    // Marking, compaction and the node passes come here.
    cycles++;
}

void collect_if_active() {
    if (active == 1) do_cycle();
}

}  // namespace collector
