// block!: the storage layer of blocks and the makers of block values.
#include "datatypes/block.h"

#include "datatypes/datatype.h"
#include "datatypes/word.h"
#include "evaluator/symbol.h"
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

Cell* rs_head(const Cell* block) { return reinterpret_cast<Cell*>(series_of(block)->offset_addr()) + block->head(); }

Cell* rs_tail(const Cell* block) { return reinterpret_cast<Cell*>(series_of(block)->tail_addr()); }

uint32_t rs_length_q(const Cell* block) {
    uint32_t n = series_of(block)->count();
    return block->head() < n ? n - block->head() : 0;
}

Cell* rs_append(Cell* block, const Cell* value) {
    Cell v = *value;
    return copy_cell(&v, alloc_tail(block));
}

Cell* append_global_word(uint32_t symbol, Cell* block) {
    Cell w{TYPE_UNSET, 0, 0, 0};
    word::make_at(symbol, &w);
    return copy_cell(&w, alloc_tail(block));
}

Cell* append_word(const char* text, Cell* block) { return append_global_word(symbol::make(text), block); }

// ---- Registration --------------------------------------------------------------

// Own slots marked `pending` are not written yet and count as unsupported.
void init() {
    using namespace datatype;
    datatype::register_type<TYPE_BLOCK>(
        /*  1 make            */ pending,
        /*  2 random          */ inherit,
        /*  3 reflect         */ inherit,
        /*  4 to              */ pending,
        /*  5 form            */ pending,
        /*  6 mold            */ pending,
        /*  7 path evaluation */ pending,
        /*  8 path setting    */ unsupported,
        /*  9 comparison      */ pending,
        /* 10 absolute        */ unsupported,
        /* 11 add             */ unsupported,
        /* 12 divide          */ unsupported,
        /* 13 multiply        */ unsupported,
        /* 14 negate          */ unsupported,
        /* 15 power           */ unsupported,
        /* 16 remainder       */ unsupported,
        /* 17 round           */ unsupported,
        /* 18 subtract        */ unsupported,
        /* 19 even?           */ unsupported,
        /* 20 odd?            */ unsupported,
        /* 21 and~            */ unsupported,
        /* 22 complement      */ unsupported,
        /* 23 or~             */ unsupported,
        /* 24 xor~            */ unsupported,
        /* 25 append          */ pending,
        /* 26 at              */ inherit,
        /* 27 back            */ inherit,
        /* 28 change          */ pending,
        /* 29 clear           */ inherit,
        /* 30 copy            */ pending,
        /* 31 find            */ pending,
        /* 32 head            */ inherit,
        /* 33 head?           */ inherit,
        /* 34 index?          */ inherit,
        /* 35 insert          */ pending,
        /* 36 length?         */ inherit,
        /* 37 move            */ inherit,
        /* 38 next            */ inherit,
        /* 39 pick            */ inherit,
        /* 40 poke            */ inherit,
        /* 41 put             */ pending,
        /* 42 remove          */ inherit,
        /* 43 reverse         */ inherit,
        /* 44 select          */ pending,
        /* 45 sort            */ pending,
        /* 46 skip            */ inherit,
        /* 47 swap            */ pending,
        /* 48 tail            */ inherit,
        /* 49 tail?           */ inherit,
        /* 50 take            */ pending,
        /* 51 trim            */ pending,
        /* 52 create          */ unsupported,
        /* 53 close           */ unsupported,
        /* 54 delete          */ unsupported,
        /* 55 modify          */ inherit,
        /* 56 open            */ unsupported,
        /* 57 open?           */ unsupported,
        /* 58 query           */ unsupported,
        /* 59 read            */ unsupported,
        /* 60 rename          */ unsupported,
        /* 61 update          */ unsupported,
        /* 62 write           */ unsupported);
}

}  // namespace block
