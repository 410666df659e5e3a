// The runtime cell table: a free list threaded through integer! cells.
#include "runtime/cell_table.h"


namespace cell_table {

Cell table{};

namespace {

uint32_t cap = 0;
int32_t free_head = -1;

Cell* cells() { return reinterpret_cast<Cell*>(series_of(&table)->data_at(0)); }

// Cells first .. count-1 become free cells linked in order; the last one
// links to `then`.
void link(uint32_t first, uint32_t count, int32_t then) {
    Cell* c = cells();
    for (uint32_t i = first; i < count; i++) {
        set_header(&c[i], TYPE_INTEGER);
        c[i].data1 = 0;
        c[i].data2 = static_cast<uint32_t>(i + 1 < count ? static_cast<int32_t>(i + 1) : then);
        c[i].data3 = 0;
    }
}

}  // namespace

void init() {
    cap = INITIAL_CAPACITY;
    set_header(&table, TYPE_UNSET);
    table.data1 = 0;
    table.data2 = memory::alloc_cells(cap);
    set_type(&table, TYPE_BLOCK);
    SeriesBuffer* s = series_of(&table);
    s->tail = s->offset + cap * 16;
    link(0, cap, -1);
    free_head = 0;
}

uint32_t store(const Cell* value) {
    if (free_head < 0) {
        uint32_t old = cap;
        SeriesBuffer* s = memory::expand_series_copy(series_of(&table), old * 2 * 16);
        cap = old * 2;
        s->tail = s->offset + cap * 16;
        link(old, cap, -1);
        free_head = static_cast<int32_t>(old);
    }
    auto i = static_cast<uint32_t>(free_head);
    Cell* c = &cells()[i];
    free_head = static_cast<int32_t>(c->data2);
    *c = *value;
    return i + 1;
}

void free(uint32_t index) {
    if (index < 1 || index > cap) return;
    Cell* c = &cells()[index - 1];
    set_header(c, TYPE_INTEGER);
    c->data1 = 0;
    c->data2 = static_cast<uint32_t>(free_head);
    c->data3 = 0;
    free_head = static_cast<int32_t>(index - 1);
}

Cell* at(uint32_t index) { return index >= 1 && index <= cap ? &cells()[index - 1] : nullptr; }

uint32_t capacity() { return cap; }

}  // namespace cell_table
