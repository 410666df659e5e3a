// Value cells: header writes, copies, growth at the tail, root cells, the
// block makers and the runtime cell table.
#include <gtest/gtest.h>

#include "series_fixture.h"

#include <cstring>

#include "datatypes/block.h"
#include "runtime/cell.h"
#include "runtime/cell_table.h"
#include "runtime/memory.h"
#include "runtime/sys.h"

namespace {

class Cells : public SeriesTest {
protected:
    void TearDown() override {
        root_base = 0;
        SeriesTest::TearDown();
    }
};

TEST(CellHeader, SetTypeKeepsFlagsWholeHeaderWritesClearThem) {
    struct Case {
        uint32_t before, type, after_set_type;
    };
    const Case cases[] = {
        {TYPE_BLOCK | FLAG_NEW_LINE, TYPE_PAIR, TYPE_PAIR | FLAG_NEW_LINE},
        {TYPE_CONTEXT | FLAG_CTX_ON_STACK | FLAG_CTX_SELF, TYPE_TIME,
         TYPE_TIME | FLAG_CTX_ON_STACK | FLAG_CTX_SELF},
        {TYPE_INTEGER, TYPE_MAP, TYPE_MAP},
    };
    for (const auto& c : cases) {
        Cell cell{c.before, 1, 2, 3};
        set_type(&cell, c.type);
        EXPECT_EQ(cell.header, c.after_set_type);
        EXPECT_EQ(cell.type(), c.type);
        EXPECT_EQ(cell.data1, 1u);
        set_header(&cell, TYPE_INTEGER);
        EXPECT_EQ(cell.header, static_cast<uint32_t>(TYPE_INTEGER));
        EXPECT_FALSE(cell.new_line());
    }
    Cell marked{TYPE_WORD | FLAG_NEW_LINE, 0, 0, 0};
    clear_new_line(&marked);
    EXPECT_EQ(marked.header, static_cast<uint32_t>(TYPE_WORD));
}

TEST(CellCopy, WholeCellsAndOntoItself) {
    Cell a{TYPE_FLOAT | FLAG_NEW_LINE, 7, 0, 0};
    a.set_float(2.5);
    Cell b{};
    EXPECT_EQ(copy_cell(&a, &b), &b);
    EXPECT_EQ(std::memcmp(&a, &b, sizeof(Cell)), 0);
    Cell before = a;
    EXPECT_EQ(copy_cell(&a, &a), &a);
    EXPECT_EQ(std::memcmp(&a, &before, sizeof(Cell)), 0);
}

TEST_F(Cells, SeriesTailAtTheExactEndGrowsFirst) {
    Node n = memory::alloc_cells(1);
    SeriesBuffer* s = memory::buffer(n);
    // Leave garbage where the cells will go: the header must still be 2.
    std::memset(s->data(), 0xFF, s->size);
    Cell* first = alloc_series_tail(s);
    EXPECT_EQ(memory::buffer(n), s);  // it fitted
    EXPECT_EQ(first->header, 2u);
    first->header = TYPE_INTEGER;
    first->data2 = 42;
    ASSERT_EQ(s->tail, s->size);

    Cell* second = alloc_series_tail(s);
    SeriesBuffer* grown = memory::buffer(n);
    EXPECT_NE(grown, s);
    EXPECT_EQ(grown->size, 32u);
    EXPECT_EQ(grown->count(), 2u);
    EXPECT_EQ(second, reinterpret_cast<Cell*>(grown->data()) + 1);
    EXPECT_EQ(second->header, 2u);
    EXPECT_EQ(second->data1 | second->data2 | second->data3, 0u);
    EXPECT_EQ(reinterpret_cast<Cell*>(grown->data())->int_value(), 42);
    EXPECT_EQ(s->flags & SERIES_IN_USE, 0u);
}

TEST_F(Cells, AnEmptyBlockGrowsToOneCell) {
    Cell block{};
    block::make_in(nullptr, 0);
    block = memory::root_block;
    EXPECT_EQ(series_of(&block)->size, 0u);
    Cell* c = alloc_tail(&block);
    EXPECT_EQ(series_of(&block)->size, 16u);
    EXPECT_EQ(c->header, 2u);
}

TEST_F(Cells, TailUnitGrowsByTwiceALargeRequest) {
    Node n = memory::alloc_bytes(16);
    SeriesBuffer* s = memory::buffer(n);
    s->tail = 10;
    uint8_t* p = alloc_tail_unit(s, 40);  // more than the whole buffer
    SeriesBuffer* g = memory::buffer(n);
    EXPECT_NE(g, s);
    EXPECT_EQ(g->size, 16u + 80u);
    EXPECT_EQ(p, g->data() + 10);
    EXPECT_EQ(g->tail, 50u);
    alloc_tail_unit(g, 40);  // the same request again needs no growth
    EXPECT_EQ(memory::buffer(n), g);
    EXPECT_EQ(g->tail, 90u);

    // A request within the buffer's size doubles it when it does not fit.
    alloc_tail_unit(g, 10);
    EXPECT_EQ(memory::buffer(n)->size, 192u);
    EXPECT_EQ(memory::buffer(n)->tail, 100u);
    // A request that fits takes the tail as it is.
    SeriesBuffer* h = memory::buffer(n);
    EXPECT_EQ(alloc_tail_unit(h, 0), h->data() + 100);
}

TEST_F(Cells, RootCellsCountFromTheFirstBootValue) {
    block::make_fixed_in(nullptr, 16);
    for (uint32_t i = 0; i < 4; i++) {
        Cell* c = alloc_tail(&memory::root_block);
        set_header(c, TYPE_OBJECT);
        c->data1 = 100 + i;
    }
    auto* cells = reinterpret_cast<Cell*>(series_of(&memory::root_block)->data());
    EXPECT_EQ(get_root(0), &cells[0]);
    EXPECT_EQ(get_root_ctx(3), 103u);
    root_base = 1;
    EXPECT_EQ(get_root(0), &cells[1]);
    EXPECT_EQ(get_root_ctx(2), 103u);
}

TEST_F(Cells, BlockMakers) {
    Cell* root = block::make_fixed_in(nullptr, 8);
    EXPECT_EQ(root, &memory::root_block);
    EXPECT_EQ(root->header, static_cast<uint32_t>(TYPE_BLOCK));
    EXPECT_EQ(root->head(), 0u);
    EXPECT_EQ(series_of(root)->flags, 16u | 0xA0100000u);

    Cell* inner = block::make_in(root, -5);  // counts as 1
    EXPECT_EQ(inner, reinterpret_cast<Cell*>(series_of(root)->data()));
    EXPECT_EQ(inner->header, static_cast<uint32_t>(TYPE_BLOCK));
    EXPECT_EQ(series_of(inner)->size, 16u);
    EXPECT_EQ(series_of(inner)->flags, 16u | 0xA0000000u);
    Cell* fixed = block::make_fixed_in(root, 3);
    EXPECT_EQ(series_of(fixed)->size, 48u);
    EXPECT_EQ(series_of(root)->count(), 2u);
}

TEST_F(Cells, CellTableStoresFreesAndDoubles) {
    cell_table::init();
    ASSERT_EQ(cell_table::capacity(), 100u);
    Cell* first = cell_table::at(1);
    EXPECT_EQ(first->header, static_cast<uint32_t>(TYPE_INTEGER));
    EXPECT_EQ(first->int_value(), 1);
    EXPECT_EQ(cell_table::at(100)->int_value(), -1);
    EXPECT_EQ(cell_table::at(0), nullptr);
    EXPECT_EQ(cell_table::at(101), nullptr);

    for (uint32_t i = 1; i <= 100; i++) {
        Cell v{TYPE_PAIR, 0, i, 0};
        ASSERT_EQ(cell_table::store(&v), i);
    }
    Cell v{TYPE_PAIR, 0, 101, 0};
    EXPECT_EQ(cell_table::store(&v), 101u);  // the table doubled
    EXPECT_EQ(cell_table::capacity(), 200u);
    EXPECT_EQ(series_of(&cell_table::table)->count(), 200u);
    for (uint32_t i = 1; i <= 101; i++) ASSERT_EQ(cell_table::at(i)->data2, i);

    cell_table::free(50);
    EXPECT_EQ(cell_table::at(50)->header, static_cast<uint32_t>(TYPE_INTEGER));
    EXPECT_EQ(cell_table::store(&v), 50u);  // the freed cell is taken first
    EXPECT_EQ(cell_table::store(&v), 102u);
}

}  // namespace
