// The memory manager: buffer sizes and flags, frames, big series, nodes,
// fixed buffers, expansion and copies, and the start-up series.
#include <gtest/gtest.h>

#include "evaluator/errors.h"

#include <cstring>
#include <vector>

#include "runtime/cell.h"
#include "evaluator/symbol.h"
#include "runtime/cell_table.h"
#include "runtime/collector.h"
#include "evaluator/stack.h"
#include "runtime/memory.h"
#include "app/runtime.h"
#include "runtime/sys.h"

namespace {

using memory::buffer;

class Memory : public ::testing::Test {
protected:
    void SetUp() override {
        memory::set_params();
        memory::alloc_node_frame(memory::NODE_FRAME_NODES);
        memory::alloc_series_frame();
        collector::active = 0;
        collector::stress = false;
    }
    void TearDown() override {
        collector::active = 0;
        collector::stress = false;
        memory::free_all();
        sys::free_all();
    }
};

uint32_t thrown_code(void (*body)()) {
    try {
        body();
    } catch (const sys::Throw& t) {
        return t.code;
    } catch (const ErrorThrown& e) {
        // Memory errors are internal no-memory errors.
        return e.id.category == err::NO_MEMORY.category && e.id.position == err::NO_MEMORY.position ? 0x7FFFFFFFu : 1u;
    }
    return 0;
}

bool aligned8(const void* p) { return reinterpret_cast<uintptr_t>(p) % 8 == 0; }

// ---- Sizes, flags and placement ------------------------------------------------

TEST_F(Memory, DataSizesRoundTo16AndKeepTheUnit) {
    struct Case {
        uint32_t n, unit, size;
    };
    const Case cases[] = {
        {0, 1, 0},   {1, 1, 16},  {16, 1, 16}, {17, 1, 32}, {7, 2, 16},  {8, 2, 16},  {9, 2, 32},
        {3, 4, 16},  {4, 4, 16},  {5, 4, 32},  {1, 16, 16}, {3, 16, 48}, {0, 16, 0},  {100, 16, 1600},
    };
    for (const auto& c : cases) {
        Node n = memory::alloc_series(c.n, c.unit, 0);
        SeriesBuffer* s = buffer(n);
        EXPECT_EQ(s->size, c.size) << c.n << " x " << c.unit;
        EXPECT_EQ(s->flags, c.unit | 0xA0000000u) << c.n << " x " << c.unit;
        EXPECT_EQ(s->node, n);
        EXPECT_EQ(s->offset, 0u);
        EXPECT_EQ(s->tail, 0u);
        EXPECT_EQ(s->count(), 0u);
        EXPECT_TRUE(aligned8(s->data()));
    }
}

TEST_F(Memory, FootprintIsDataPlus24) {
    Node a = memory::alloc_series(5, 4, 0);
    Node b = memory::alloc_series(1, 1, 0);
    EXPECT_EQ(buffer(a)->size, 32u);
    EXPECT_EQ(reinterpret_cast<uint8_t*>(buffer(b)) - reinterpret_cast<uint8_t*>(buffer(a)), 56);
    EXPECT_EQ(memory::root.series_current->heap - memory::root.series_current->start(), 56 + 40);
}

TEST_F(Memory, ZeroSizedRequestsOfBytesAndCodepoints) {
    EXPECT_EQ(buffer(memory::alloc_bytes(0))->size, 16u);
    const uint32_t units[][2] = {{1, 16}, {2, 8}, {4, 4}};
    for (auto [unit, count] : units) {
        SeriesBuffer* s = buffer(memory::alloc_codepoints(0, unit));
        EXPECT_EQ(s->size / unit, count) << unit;
        EXPECT_EQ(s->unit(), unit);
    }
    EXPECT_EQ(buffer(memory::alloc_codepoints(5, 4))->size, 32u);
}

TEST_F(Memory, FilledAndUnsetAreasCoverTheWholeCapacity) {
    SeriesBuffer* b = buffer(memory::alloc_bytes_filled(20, 0xAB));
    ASSERT_EQ(b->size, 32u);
    for (uint32_t i = 0; i < b->size; i++) ASSERT_EQ(b->data()[i], 0xAB) << i;
    SeriesBuffer* c = buffer(memory::alloc_unset_cells(3));
    auto* cells = reinterpret_cast<Cell*>(c->data());
    for (int i = 0; i < 3; i++) {
        EXPECT_EQ(cells[i].header, 2u);
        EXPECT_EQ(cells[i].data1 | cells[i].data2 | cells[i].data3, 0u);
    }
}

TEST_F(Memory, CentredAndExplicitHeads) {
    SeriesBuffer* s = buffer(memory::alloc_series(64, 1, -1));
    EXPECT_EQ(s->offset, 32u);
    EXPECT_EQ(s->tail, 32u);
    EXPECT_EQ(s->flags, 1u | 0xB0000000u);
    SeriesBuffer* t = buffer(memory::alloc_series(4, 16, 32));
    EXPECT_EQ(t->offset, 32u);
    EXPECT_EQ(t->flags & SERIES_CENTRED, 0u);
}

TEST_F(Memory, SetSeriesFlagsOrsBits) {
    Node n = memory::alloc_bytes(1);
    memory::set_series_flags(n, SERIES_COMPLEMENT);
    EXPECT_EQ(buffer(n)->flags, 1u | 0xA0000000u | SERIES_COMPLEMENT);
}

// ---- Big series and frames --------------------------------------------------------

TEST_F(Memory, BigSeriesThresholdOnBothSides) {
    // Rounded 2,097,136 bytes: footprint 2,097,160, over the threshold.
    uint64_t before = memory::total();
    Node big = memory::alloc_series(2097121, 1, 0);
    SeriesBuffer* b = buffer(big);
    EXPECT_EQ(b->size, 2097136u);
    EXPECT_EQ(b->flags, 1u | 0xA0000000u | SERIES_BIG);
    EXPECT_EQ(memory::big_series_count(), 1u);
    EXPECT_EQ(memory::root.big_first->buffer(), b);
    EXPECT_EQ(memory::root.big_first->size, 2097160u);
    EXPECT_TRUE(aligned8(b->data()));
    EXPECT_EQ(memory::total() - before, (2097160u + 24 + 8 + 4095) / 4096 * 4096);
    b->data()[b->size - 1] = 1;  // the whole area is usable

    // Rounded 2,097,120 bytes: footprint 2,097,144, carved from a frame of
    // the largest size.
    Node framed = memory::alloc_series(2097120, 1, 0);
    SeriesBuffer* f = buffer(framed);
    EXPECT_EQ(f->flags & SERIES_BIG, 0u);
    EXPECT_EQ(memory::big_series_count(), 1u);
    EXPECT_EQ(memory::series_frame_count(), 2u);
    EXPECT_EQ(memory::root.series_current->end - memory::root.series_current->start(), 2 << 20);

    memory::free_big(b);
    EXPECT_EQ(memory::big_series_count(), 0u);
}

TEST_F(Memory, FrameSizesDoubleToTheLargestAndTheListStaysSorted) {
    EXPECT_EQ(memory::root.next_frame_size, 2u << 20);
    for (int i = 0; i < 6; i++) memory::alloc_series_frame();
    EXPECT_EQ(memory::root.next_frame_size, 2u << 20);
    uint32_t n = 0;
    memory::SeriesFrame* prev = nullptr;
    for (auto* f = memory::root.series_first; f; f = f->next) {
        EXPECT_EQ(f->previous, prev);
        if (prev) {
            EXPECT_LT(prev, f);
        }
        EXPECT_EQ(f->total, static_cast<uint64_t>(f->end - reinterpret_cast<uint8_t*>(f)));
        prev = f;
        n++;
    }
    EXPECT_EQ(prev, memory::root.series_last);
    EXPECT_EQ(n, 7u);
    EXPECT_EQ(memory::series_frame_count(), 7u);
}

TEST_F(Memory, AFullFrameLeadsToANewOneWithoutCollectingWhenInactive) {
    uint32_t cycles = collector::cycles;
    memory::SeriesFrame* first = memory::root.series_current;
    // Fill the first frame (1 MB) with 64 KB buffers.
    while (memory::series_frame_count() == 1) memory::alloc_bytes(65536);
    EXPECT_NE(memory::root.series_current, first);
    EXPECT_LT(first->end - first->heap, 65536 + 24);
    EXPECT_EQ(collector::cycles, cycles);
    // The search goes by address: the lowest frame with room comes first.
    EXPECT_EQ(memory::find_series_frame(16), memory::root.series_first);
    EXPECT_EQ(memory::find_series_frame(1u << 20), memory::root.series_current);
}

std::vector<Node> live;  // nodes a test keeps alive through collections
void mark_live() {
    for (Node& n : live) collector::mark_node(&n);
}

TEST_F(Memory, CollectionPointsOfTheAllocator) {
    struct Case {
        uint32_t active;
        bool stress;
        uint32_t bytes;
        uint32_t cycles;  // collections the request runs
    };
    const Case cases[] = {
        {0, false, 16, 0},       {1, false, 16, 0},       {1, true, 16, 1},  {0, true, 16, 0},
        {1, false, 3u << 20, 1}, {0, false, 3u << 20, 0}, {2, false, 3u << 20, 0},
    };
    for (const auto& c : cases) {
        collector::active = c.active;
        collector::stress = c.stress;
        uint32_t before = collector::cycles;
        memory::alloc_bytes(c.bytes);
        EXPECT_EQ(collector::cycles - before, c.cycles) << c.active << " " << c.stress << " " << c.bytes;
    }
    // No frame with room: one collection, then a new frame. The buffers are
    // kept alive, so the collection frees nothing.
    collector::stress = false;
    collector::active = 1;
    collector::register_mark_callback(mark_live);
    while (memory::series_frame_count() == 1) {
        uint32_t before = collector::cycles;
        bool fits = memory::root.series_current->heap + 65536 + 24 < memory::root.series_current->end;
        live.push_back(memory::alloc_bytes(65536));
        EXPECT_EQ(collector::cycles - before, fits ? 0u : 1u);
    }
    live.clear();
}

TEST_F(Memory, StressSwitchFromTheEnvironment) {
    const std::pair<const char*, bool> cases[] = {
        {nullptr, false}, {"", false}, {"0", false}, {"1", true}, {"yes", true}, {"00", true},
        {"a rather long value that does not fit", true}};
    for (auto [value, on] : cases) {
        sys::set_env("ZEM_GC_STRESS", value);
        collector::static_init();
        EXPECT_EQ(collector::stress, on) << (value ? value : "(unset)");
    }
    sys::set_env("ZEM_GC_STRESS", nullptr);
    collector::static_init();
}

TEST_F(Memory, SystemChunksAreCountedInPages) {
    uint64_t before = memory::total();
    void* a = memory::alloc_virtual(1);
    void* b = memory::alloc_virtual(4088);
    void* c = memory::alloc_virtual(4089);
    EXPECT_EQ(memory::total() - before, 4096u + 4096u + 8192u);
    EXPECT_TRUE(aligned8(a));
    std::memset(c, 7, 4089);
    memory::free_virtual(b);
    memory::free_virtual(a);
    memory::free_virtual(c);
    EXPECT_EQ(memory::total(), before);
}

// ---- Nodes ---------------------------------------------------------------------

TEST_F(Memory, The10001stNodeComesFromASecondFrame) {
    memory::NodeFrame* first = memory::root.node_first;
    std::vector<Node> nodes;
    for (int i = 0; i < 10000; i++) nodes.push_back(memory::alloc_node());
    EXPECT_EQ(memory::node_frame_count(), 1u);
    EXPECT_EQ(first->used, 10000u);
    EXPECT_EQ(first->free, 0u);
    for (Node n : nodes) {
        ASSERT_NE(n, 0u);
        ASSERT_EQ(memory::node_frame_of(n), first);
        ASSERT_EQ(memory::node_base[n], 0u);
    }
    Node extra = memory::alloc_node();
    EXPECT_EQ(memory::node_frame_count(), 2u);
    EXPECT_EQ(memory::node_frame_of(extra), memory::root.node_last);
    EXPECT_EQ(memory::root.node_current, memory::root.node_last);
    EXPECT_EQ(memory::nodes_used(), 10001u);
}

TEST_F(Memory, FreeSlotsLinkWithTheLowBitSet) {
    memory::NodeFrame* f = memory::root.node_first;
    Node a = f->free;
    EXPECT_TRUE(memory::slot_is_free(a));
    EXPECT_EQ(memory::node_base[a], (uintptr_t{a + 1} << 1) | 1);
    EXPECT_EQ(memory::node_base[f->first + f->count - 1], 1u);  // the last
    EXPECT_EQ(memory::node_frame_of(0), nullptr);
    EXPECT_EQ(memory::node_frame_of(f->first + f->count), nullptr);

    Node n = memory::alloc_node();
    EXPECT_EQ(n, a);
    EXPECT_FALSE(memory::slot_is_free(n));
    memory::free_node(f, n);
    EXPECT_TRUE(memory::slot_is_free(n));
    EXPECT_EQ(f->used, 0u);
    EXPECT_EQ(memory::alloc_node(), n);  // the freed node is taken first
}

TEST_F(Memory, EmptyNodeFramesAreReleasedAndTheirPlaceReused) {
    for (int i = 0; i < 10001; i++) memory::alloc_node();
    memory::NodeFrame* second = memory::root.node_last;
    Node second_first = second->first;
    uint64_t total = memory::total();
    // The second frame's one node goes back: compaction releases the frame.
    memory::free_node(second, second->first);
    memory::compact_node_frames();
    EXPECT_EQ(memory::node_frame_count(), 1u);
    EXPECT_EQ(memory::root.node_current, memory::root.node_first);
    EXPECT_LT(memory::total(), total);
    EXPECT_EQ(memory::root.node_first->history & 1, 0u);  // used changed since 0
    memory::compact_node_frames();
    EXPECT_EQ(memory::root.node_first->history & 3, 1u);  // then it did not
    // The next frame takes the released chunk position again.
    memory::NodeFrame* again = memory::alloc_node_frame(memory::NODE_FRAME_NODES);
    EXPECT_EQ(again->first, second_first);
    EXPECT_EQ(memory::alloc_node(), second_first);  // current frame is full
}

TEST_F(Memory, AFrameMustHaveRoomForItsNodes) {
    EXPECT_EQ(thrown_code([] { memory::alloc_node_frame(0); }), 0x7FFFFFFFu);
    EXPECT_EQ(thrown_code([] { memory::alloc_node_frame(memory::NODE_STRIDE); }), 0x7FFFFFFFu);
}

// ---- Fixed buffers -----------------------------------------------------------------

TEST_F(Memory, FixedBuffersLieOutsideFramesAndNeverMove) {
    Node fixed = memory::alloc_fixed_series(10, 16, 0);
    SeriesBuffer* f = buffer(fixed);
    EXPECT_EQ(f->flags, 16u | 0xA0100000u);
    EXPECT_EQ(f->size, 160u);
    EXPECT_EQ(f->node, fixed);
    EXPECT_TRUE(aligned8(f->data()));
    std::memset(f->data(), 0x5A, f->size);

    // Grow another series through several frames.
    Node other = memory::alloc_bytes(16);
    for (int i = 0; i < 20; i++) memory::expand_series_copy(buffer(other), 0);
    EXPECT_GT(memory::series_frame_count(), 1u);
    EXPECT_EQ(buffer(fixed), f);
    for (uint32_t i = 0; i < f->size; i++) ASSERT_EQ(f->data()[i], 0x5A);
}

// ---- Expansion and copies ------------------------------------------------------------

TEST_F(Memory, ExpansionKeepsContentAndUnitAndAbandonsTheOldBuffer) {
    Node n = memory::alloc_series(4, 4, 0);
    SeriesBuffer* old = buffer(n);
    for (uint32_t i = 0; i < 4; i++) std::memcpy(old->data() + 4 * i, &i, 4);
    old->tail = 12;
    SeriesBuffer* fresh = memory::expand_series_copy(old, 0);  // 0 doubles
    EXPECT_EQ(buffer(n), fresh);
    EXPECT_NE(fresh, old);
    EXPECT_EQ(fresh->size, 32u);
    EXPECT_EQ(fresh->unit(), 4u);
    EXPECT_EQ(fresh->flags, old->flags | SERIES_IN_USE);
    EXPECT_EQ(fresh->node, n);
    EXPECT_EQ(fresh->count(), 3u);
    EXPECT_EQ(std::memcmp(fresh->data(), old->data(), 16), 0);
    // The old buffer keeps its bytes but belongs to nobody.
    EXPECT_EQ(old->node, 0u);
    EXPECT_EQ(old->flags & SERIES_IN_USE, 0u);
    uint32_t third;
    std::memcpy(&third, old->data() + 8, 4);
    EXPECT_EQ(third, 2u);

    // An explicit size, in units of the series.
    SeriesBuffer* bigger = memory::expand_series_copy(fresh, 100);
    EXPECT_EQ(bigger->size, 112u);
    EXPECT_EQ(bigger->count(), 3u);
}

TEST_F(Memory, ExpansionMovesTheHeadToTheDataStart) {
    Node n = memory::alloc_series(32, 1, -1);
    SeriesBuffer* s = buffer(n);
    std::memcpy(s->tail_addr(), "abcd", 4);
    s->tail += 4;
    SeriesBuffer* t = memory::expand_series_copy(s, 0);
    EXPECT_EQ(t->offset, 0u);
    EXPECT_EQ(t->tail, 4u);
    EXPECT_EQ(std::memcmp(t->data(), "abcd", 4), 0);
    EXPECT_NE(t->flags & SERIES_CENTRED, 0u);  // the flags word is carried over
}

TEST_F(Memory, FilledExpansionFillsEverythingPastTheContent) {
    Node n = memory::alloc_bytes_filled(16, 0x11);
    SeriesBuffer* s = buffer(n);
    s->offset = 4;  // a head inside the data area
    s->tail = 16;
    SeriesBuffer* t = memory::expand_series_filled(s, 64, 0xEE);
    EXPECT_EQ(t->size, 64u);
    EXPECT_EQ(t->count(), 12u);
    for (uint32_t i = 0; i < 12; i++) ASSERT_EQ(t->data()[i], 0x11) << i;
    for (uint32_t i = 12; i < 64; i++) ASSERT_EQ(t->data()[i], 0xEE) << i;
}

TEST_F(Memory, ShrinkingExpansionKeepsWhatFits) {
    Node n = memory::alloc_bytes_filled(64, 0x22);
    buffer(n)->tail = 64;
    SeriesBuffer* t = memory::expand_series_copy(buffer(n), 16);
    EXPECT_EQ(t->size, 16u);
    EXPECT_EQ(t->tail, 16u);
}

TEST_F(Memory, ExpandingAFixedSeriesKeepsItFixed) {
    Node n = memory::alloc_fixed_series(2, 16, 0);
    SeriesBuffer* old = buffer(n);
    old->tail = 32;
    std::memset(old->data(), 0x33, 32);
    SeriesBuffer* t = memory::expand_series_copy(old, 0);
    EXPECT_EQ(t->flags, 16u | 0xA0100000u);
    EXPECT_EQ(t->size, 64u);
    EXPECT_EQ(t->tail, 32u);
    EXPECT_EQ(t->data()[31], 0x33);
    EXPECT_EQ(old->data()[31], 0x33);  // still readable
}

TEST_F(Memory, ExpansionToAnUnreachableSizeRaisesNoMemory) {
    EXPECT_EQ(thrown_code([] {
                  Node n = memory::alloc_series(0, 16, 0);
                  memory::expand_series(buffer(n), 0);  // twice nothing
              }),
              0x7FFFFFFFu);
    EXPECT_EQ(thrown_code([] { memory::alloc_series(0x40000000, 16, 0); }), 0x7FFFFFFFu);
}

TEST_F(Memory, NoSeriesHoldsMoreElementsThanAnIntegerCounts) {
    // Refused before anything is allocated: a data area of 2^31 bytes or
    // more, which for 1-byte units would be a length past 2^31 - 1.
    EXPECT_EQ(memory::MAX_SERIES_SIZE, 0x7FFFFFF0u);
    EXPECT_EQ(thrown_code([] { memory::alloc_series(0x7FFFFFF1, 1, 0); }), 0x7FFFFFFFu);
    EXPECT_EQ(thrown_code([] { memory::alloc_series(0x80000000u, 1, 0); }), 0x7FFFFFFFu);
    EXPECT_EQ(thrown_code([] { memory::alloc_series(0x40000000, 2, 0); }), 0x7FFFFFFFu);
    EXPECT_EQ(thrown_code([] { memory::alloc_series(0x08000000, 16, 0); }), 0x7FFFFFFFu);
    EXPECT_EQ(thrown_code([] { memory::alloc_fixed_series(0x7FFFFFF1, 1, 0); }), 0x7FFFFFFFu);
    EXPECT_EQ(thrown_code([] {
                  Node n = memory::alloc_series(16, 1, 0);
                  memory::expand_series_copy(buffer(n), 0x7FFFFFF1);
              }),
              0x7FFFFFFFu);
}

TEST_F(Memory, CopySeriesHasTheSameCapacityFlagsAndContent) {
    Node n = memory::alloc_series(8, 2, -1);
    SeriesBuffer* s = buffer(n);
    std::memcpy(s->tail_addr(), "wxyz", 4);
    s->tail += 4;
    Node c = memory::copy_series(s);
    SeriesBuffer* t = buffer(c);
    EXPECT_NE(c, n);
    EXPECT_EQ(t->size, s->size);
    EXPECT_EQ(t->flags, s->flags);
    EXPECT_EQ(t->unit(), 2u);
    EXPECT_EQ(t->offset, 0u);
    EXPECT_EQ(t->count(), 2u);
    EXPECT_EQ(std::memcmp(t->data(), "wxyz", 4), 0);
    EXPECT_EQ(buffer(n), s);  // the original is untouched

    // A copy of a fixed series is an ordinary one.
    Node fixed = memory::alloc_fixed_series(1, 16, 0);
    EXPECT_EQ(buffer(memory::copy_series(buffer(fixed)))->flags, 16u | 0xA0000000u);
    // A copy of an empty buffer still has room.
    EXPECT_EQ(buffer(memory::copy_series(buffer(memory::alloc_series(0, 16, 0))))->size, 16u);
}

// ---- Start-up and shutdown --------------------------------------------------------------

TEST(MemoryStartUp, RootBlockStacksAndCellTable) {
    runtime::machine_start(0, nullptr);
    runtime::init();
    EXPECT_EQ(memory::node_frame_count(), 1u);
    EXPECT_EQ(memory::series_frame_count(), 1u);
    EXPECT_EQ(memory::root.max_frame_size, 2u << 20);
    EXPECT_EQ(memory::root.fixups_capacity, 1000u);

    const Cell& rb = memory::root_block;
    EXPECT_EQ(rb.header, static_cast<uint32_t>(TYPE_BLOCK));
    SeriesBuffer* r = series_of(&rb);
    EXPECT_EQ(r->size, 8942u * 16);
    EXPECT_EQ(r->flags, 16u | 0xA0100000u);
    // The permanent series first, then the words kept during start-up.
    ASSERT_GT(r->count(), 3u);
    auto* cells = reinterpret_cast<Cell*>(r->data_at(0));
    EXPECT_EQ(cells[0].node(), memory::value_stack_node);
    EXPECT_EQ(cells[1].node(), memory::call_stack_node);
    EXPECT_EQ(cells[2].node(), symbol::table);
    EXPECT_EQ(buffer(symbol::table)->size, 4000u * 16);
    EXPECT_EQ(buffer(memory::value_stack_node)->size, 20000u * 16);
    EXPECT_EQ(buffer(memory::call_stack_node)->size, stack::CALL_STACK_FRAMES * sizeof(stack::Frame));
    EXPECT_EQ(buffer(memory::call_stack_node)->flags, 16u | 0xA0100000u);

    EXPECT_EQ(cell_table::capacity(), 100u);
    EXPECT_EQ(series_of(&cell_table::table)->count(), 100u);
    runtime::cleanup();
    EXPECT_EQ(memory::total(), 0u);
    EXPECT_EQ(memory::node_frame_count(), 0u);
    EXPECT_EQ(memory::node_base, nullptr);
}

}  // namespace
