// The storage layer of blocks: making block values and the rs_ operations.
#include "evaluator/block_storage.h"

#include "evaluator/stack.h"
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

Cell* make_at(Cell* cell, uint32_t size) { return make_with(cell, false, size); }

Cell* push(const Cell* block) { return stack::push(block); }

// ---- Cursor and addresses -------------------------------------------------------------

Cell* rs_head(const Cell* block) { return reinterpret_cast<Cell*>(series_of(block)->offset_addr()) + block->head(); }

Cell* rs_clamp_head(Cell* block) {
    uint32_t n = series_of(block)->count();
    if (block->head() > n) block->data1 = n;
    return reinterpret_cast<Cell*>(series_of(block)->offset_addr()) + block->head();
}

Cell* rs_tail(const Cell* block) { return reinterpret_cast<Cell*>(series_of(block)->tail_addr()); }

uint32_t rs_length_q(const Cell* block) {
    uint32_t n = series_of(block)->count();
    return block->head() < n ? n - block->head() : 0;
}

int32_t rs_length_signed(const Cell* block) {
    return static_cast<int32_t>(series_of(block)->count()) - static_cast<int32_t>(block->head());
}

bool rs_next(Cell* block) {
    uint32_t n = series_of(block)->count();
    if (block->head() + 1 <= n) block->data1 += 1;
    return block->head() >= n;
}

bool rs_tail_q(const Cell* block) { return block->head() == series_of(block)->count(); }

Cell* rs_abs_at(const Cell* block, uint32_t index) {
    return reinterpret_cast<Cell*>(series_of(block)->offset_addr()) + index;
}

void rs_clear(const Cell* block, uint32_t index) {
    SeriesBuffer* s = series_of(block);
    memory::cells_changed(s);
    s->tail = s->offset + index * static_cast<uint32_t>(sizeof(Cell));
}

void rs_remove_last(Cell* block) {
    SeriesBuffer* s = series_of(block);
    if (s->tail == s->offset) return;
    s->tail -= sizeof(Cell);
    if (block->head() > s->count()) block->data1 = s->count();
}

Cell* rs_append(Cell* block, const Cell* value) {
    Cell v = *value;
    return copy_cell(&v, alloc_tail(block));
}

}  // namespace block
