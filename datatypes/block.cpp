// block!: the storage layer of blocks and the makers of block values.
#include "datatypes/block.h"

#include "runtime/memory.h"

namespace block {

namespace {

uint32_t cells_of(int32_t size) { return size < 0 ? 1u : static_cast<uint32_t>(size); }

// The slot becomes unset! with head 0 and gets its node before it is typed
// block!, so that a collection during the allocation never sees a half-made
// block.
Cell* make_with(Cell* slot, bool fixed, uint32_t cells) {
    set_header(slot, TYPE_UNSET);
    slot->data1 = 0;
    slot->data2 = 0;
    Node node = fixed ? memory::alloc_fixed_series(cells, 16, 0) : memory::alloc_cells(cells);
    slot->data2 = node;
    set_type(slot, TYPE_BLOCK);
    return slot;
}

Cell* new_slot(Cell* parent) { return parent ? alloc_tail(parent) : &memory::root_block; }

}  // namespace

Cell* make_fixed_in(Cell* parent, int32_t size) { return make_with(new_slot(parent), true, cells_of(size)); }

Cell* make_in(Cell* parent, int32_t size) { return make_with(new_slot(parent), false, cells_of(size)); }

}  // namespace block
