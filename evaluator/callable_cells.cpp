// The callables' cells: the more block, the shared empty body, the locals
// of a call and the routine table.
#include "evaluator/callable_cells.h"

#include <vector>

#include "evaluator/block_storage.h"
#include "evaluator/stack.h"
#include "runtime/memory.h"

namespace function {

Cell empty_body{};

void make_empty_body() { empty_body = *block::make_in(&memory::root_block, 1); }

Cell spec_of(const Cell* callable) { return Cell{TYPE_BLOCK, 0, callable->data2, 0}; }

void init_locals(uint32_t n) {
    if (n == 0) return;
    Cell f{TYPE_LOGIC, 0, 0, 0};
    stack::push(&f);
    Cell none{TYPE_NONE, 0, 0, 0};
    for (uint32_t i = 1; i < n; ++i) stack::push(&none);
}

}  // namespace function

namespace routine {

namespace {

std::vector<Body>& table() {
    static std::vector<Body> bodies;
    return bodies;
}

}  // namespace

void register_body(int32_t entry, Body body) {
    if (entry < 1) return;
    if (table().size() < static_cast<size_t>(entry)) table().resize(static_cast<size_t>(entry), nullptr);
    table()[static_cast<size_t>(entry) - 1] = body;
}

Body body_of(int32_t entry) {
    return entry >= 1 && static_cast<size_t>(entry) <= table().size() ? table()[static_cast<size_t>(entry) - 1]
                                                                       : nullptr;
}

}  // namespace routine
