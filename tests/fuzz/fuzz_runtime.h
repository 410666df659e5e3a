// The runtime the libFuzzer targets run in, and the guard each piece of
// work on an input runs under.
#pragma once
#include <cstdint>

#include "app/runtime.h"
#include "evaluator/errors.h"
#include "evaluator/stack.h"

namespace fuzz {

inline uint32_t runs = 0;

// Starts the runtime afresh every few hundred inputs, so that values left by
// earlier inputs (nothing collects them here) never fill memory.
inline void boot() {
    if (runs++ % 500 != 0) return;
    if (runs > 1) runtime::cleanup();
    runtime::machine_start(0, nullptr);
    runtime::init();
    memory::starting = 0;
}

// Runs the work; an error it raises is an ordinary outcome. The stacks are
// put back afterwards.
template <typename Work>
void guarded(Work work) {
    Cell* top = stack::top;
    Cell* arguments = stack::arguments;
    stack::Frame* ctop = stack::ctop;
    try {
        work();
    } catch (const ErrorThrown&) {
    }
    stack::top = top;
    stack::arguments = arguments;
    stack::ctop = ctop;
}

}  // namespace fuzz
