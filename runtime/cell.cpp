// The primitive operations on cells that allocate: appending a cell or raw
// bytes at the tail of a series, and the root cells of the boot image.
#include "runtime/cell.h"

namespace {

// The buffer grown by the default step: doubled, or one cell when empty.
SeriesBuffer* grow(SeriesBuffer* s) { return memory::expand_series_copy(s, s->size ? 0 : 16); }

}  // namespace

uint32_t root_base = 0;

Cell* alloc_series_tail(SeriesBuffer* s) {
    memory::cells_changed(s);
    if (s->tail + 16 > s->size) s = grow(s);
    auto* c = reinterpret_cast<Cell*>(s->tail_addr());
    *c = Cell{TYPE_UNSET, 0, 0, 0};
    s->tail += 16;
    return c;
}

Cell* alloc_tail(Cell* block) { return alloc_series_tail(series_of(block)); }

uint8_t* alloc_tail_unit(SeriesBuffer* s, uint32_t n) {
    if (uint64_t{s->tail} + n > s->size) {
        if (n > s->size) {
            uint64_t size = uint64_t{s->size} + 2 * uint64_t{n};
            if (size > memory::MAX_SERIES_SIZE) memory::no_memory();
            s = memory::expand_series_copy(s, static_cast<uint32_t>(size));
        } else {
            s = grow(s);
        }
    }
    uint8_t* p = s->tail_addr();
    s->tail += n;
    return p;
}

Cell* get_root(uint32_t n) {
    return reinterpret_cast<Cell*>(series_of(&memory::root_block)->data_at(0)) + root_base + n;
}

Node get_root_ctx(uint32_t n) { return get_root(n)->data1; }
