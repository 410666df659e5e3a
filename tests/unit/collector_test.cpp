// The collector: roots and the pinning stack scan, reclaiming, compaction
// across frames, node relocation, and every kind of value surviving a
// moving collection unchanged.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "datatypes/block.h"
#include "runtime/cell.h"
#include "evaluator/stack.h"
#include "evaluator/symbol.h"
#include "runtime/cell_table.h"
#include "runtime/collector.h"
#include "runtime/externals.h"
#include "runtime/hashtable.h"
#include "runtime/memory.h"
#include "runtime/sys.h"
#include "series_fixture.h"

namespace {

using memory::buffer;

class Collector : public SeriesTest {
protected:
    void SetUp() override {
        SeriesTest::SetUp();
        // Roots other tests of this process may have left behind.
        symbol::table = symbol::index = 0;
        cell_table::table = Cell{};
        stack::bottom = stack::top = stack::arguments = stack::limit = nullptr;
        stack::cbottom = stack::ctop = stack::climit = nullptr;
        collector::stress = false;
        collector::relocation_allowed = 1;
        // The root block holds what a test keeps alive.
        block::make_in(nullptr, 16);
    }
    void TearDown() override {
        collector::stress = false;
        SeriesTest::TearDown();
    }
};

// Overwrites the stack below the caller, so that handles left there by
// finished calls do not pin what a test expects to move or go.
// (Not instrumented, so that the array fills the whole frame.)
__attribute__((noinline, no_sanitize_address)) void scrub_stack() {
    volatile char area[32768];
    for (size_t i = 0; i < sizeof area; i++) area[i] = 0;
}

// Collects from the caller's frame, with the stack below it scrubbed.
__attribute__((always_inline)) inline void collect() {
    scrub_stack();
    collector::do_cycle();
}

__attribute__((always_inline)) inline void collect_moving_all() {
    collector::stress = true;
    collect();
    collector::stress = false;
}

// A byte series holding the text.
Node make_bytes(const char* text) {
    uint32_t n = static_cast<uint32_t>(std::strlen(text));
    Node node = memory::alloc_bytes(n);
    SeriesBuffer* s = buffer(node);
    std::memcpy(s->data(), text, n);
    s->tail = s->offset + n;
    return node;
}

std::string text_of(Node node) {
    SeriesBuffer* s = buffer(node);
    return std::string(reinterpret_cast<const char*>(s->data_at(0)), s->tail - s->offset);
}

// Appends a value to a block (the root block when null) and answers its
// index there.
uint32_t keep(const Cell& value, Cell* parent = nullptr) {
    Cell* holder = parent ? parent : &memory::root_block;
    alloc_tail(holder) [0] = value;
    return series_of(holder)->count() - 1;
}

Cell* kept(uint32_t i) { return reinterpret_cast<Cell*>(series_of(&memory::root_block)->data_at(i * 16)); }

Cell string_value(const char* text) { return Cell{TYPE_STRING, 0, make_bytes(text), 0}; }

// Garbage: n byte series that nothing refers to.
__attribute__((noinline)) void make_garbage(uint32_t n, uint32_t bytes) {
    for (uint32_t i = 0; i < n; i++) memory::alloc_bytes_filled(bytes, 0x55);
}

__attribute__((noinline)) Node make_big() {
    Node n = 0;
    make_garbage(0, 0);
    for (int i = 0; i < 1; i++) n = memory::alloc_bytes_filled(3u << 20, 0x55);
    return n;
}

// ---- Roots and the stack scan --------------------------------------------------------

TEST_F(Collector, ASeriesHeldOnlyByALocalSurvivesAndStaysPut) {
    make_garbage(50, 1000);
    Node held = make_bytes("held by a handle");
    make_garbage(50, 1000);
    Node other = make_bytes("held by a raw pointer");
    uint8_t* raw = buffer(other)->data_at(8);
    SeriesBuffer* before = buffer(held);
    uint32_t nodes = memory::nodes_used();
    collector::do_cycle();
    EXPECT_EQ(buffer(held), before);
    EXPECT_EQ(text_of(held), "held by a handle");
    EXPECT_EQ(std::string(reinterpret_cast<char*>(raw), 13), "a raw pointer");
    EXPECT_EQ(reinterpret_cast<uint8_t*>(buffer(other)->data_at(8)), raw);
    EXPECT_LE(memory::nodes_used(), nodes - 90);
}

// A series between garbage, of which only the address just past its data
// area is kept.
__attribute__((noinline)) uint8_t* bytes_known_by_their_end() {
    make_garbage(20, 300);
    uint8_t* end = buffer(make_bytes("only its end is held"))->end_addr();
    make_garbage(20, 300);
    return end;
}

TEST_F(Collector, APointerJustPastADataAreaHoldsThatSeries) {
    uint8_t* end = bytes_known_by_their_end();
    collect();
    auto* s = reinterpret_cast<SeriesBuffer*>(end - 32) - 1;
    EXPECT_EQ(s->size, 32u);
    EXPECT_NE(s->flags & SERIES_IN_USE, 0u);
    EXPECT_EQ(buffer(s->node), s);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(s->data()), 20), "only its end is held");
}

TEST_F(Collector, ABlockThatContainsItselfIsWalkedOnce) {
    uint32_t at = keep(Cell{TYPE_BLOCK, 0, memory::alloc_cells(4), 0});
    Cell self = *kept(at);
    keep(self, kept(at));
    keep(string_value("inside"), kept(at));
    collect();
    collect_moving_all();
    Cell* b = kept(at);
    auto* cells = reinterpret_cast<Cell*>(series_of(b)->data_at(0));
    EXPECT_EQ(cells[0].node(), b->node());
    EXPECT_EQ(text_of(cells[1].node()), "inside");
}

// Bytes of the buffers in use in every series frame (the stack scan may
// keep a hole or a stray buffer; the count of live ones is what matters).
uint64_t bytes_in_use() {
    uint64_t n = 0;
    for (memory::SeriesFrame* f = memory::root.series_first; f; f = f->next)
        for (SeriesBuffer* s = memory::first_buffer(f); reinterpret_cast<uint8_t*>(s) < f->heap; s = memory::next_buffer(s))
            if (s->flags & SERIES_IN_USE) n += s->size + memory::BUFFER_OVERHEAD;
    return n;
}

TEST_F(Collector, UnreachableSeriesAreReclaimed) {
    uint32_t at = keep(string_value("kept"));
    uint64_t used = bytes_in_use();
    uint32_t nodes = memory::nodes_used();
    make_garbage(200, 2000);
    ASSERT_GT(bytes_in_use(), used + 200 * 2000);
    collect();
    EXPECT_LE(bytes_in_use(), used + 4 * 2024);
    EXPECT_LE(memory::nodes_used(), nodes + 4);
    EXPECT_EQ(text_of(kept(at)->node()), "kept");
}

__attribute__((noinline)) void keep_strings_after_garbage(std::vector<uintptr_t>& places) {
    for (int i = 0; i < 20; i++) {
        make_garbage(3, 500);
        uint32_t at = keep(string_value(("value " + std::to_string(i)).c_str()));
        places.push_back(reinterpret_cast<uintptr_t>(buffer(kept(at)->node())));
    }
}

TEST_F(Collector, CompactionSlidesLiveBuffersDown) {
    std::vector<uintptr_t> places;
    keep_strings_after_garbage(places);
    collect();
    int moved = 0;
    for (int i = 0; i < 20; i++) {
        Node n = kept(static_cast<uint32_t>(i))->node();
        EXPECT_EQ(text_of(n), "value " + std::to_string(i));
        if (reinterpret_cast<uintptr_t>(buffer(n)) < places[i]) moved++;
        EXPECT_EQ(buffer(n)->flags & (SERIES_MARK | SERIES_PINNED), 0u);
    }
    EXPECT_GE(moved, 15);
}

__attribute__((noinline)) void fill_three_frames() {
    while (memory::series_frame_count() < 3) memory::alloc_bytes(60000);
    keep(string_value("in the last frame"));
}


TEST_F(Collector, AnEmptiedMiddleFrameIsReleasedTheFirstAndLastKept) {
    fill_three_frames();
    memory::SeriesFrame* first = memory::root.series_first;
    memory::SeriesFrame* last = memory::root.series_last;
    collect();
    EXPECT_EQ(memory::series_frame_count(), 2u);
    EXPECT_EQ(memory::root.series_first, first);
    EXPECT_EQ(memory::root.series_last, last);
    EXPECT_EQ(text_of(kept(0)->node()), "in the last frame");
    // Live buffers of later frames go to the free tail of earlier ones.
    auto* place = reinterpret_cast<uint8_t*>(buffer(kept(0)->node()));
    EXPECT_TRUE(place > first->start() && place < first->heap);
}

// Two frames: the lower one full of live data but `room` bytes, the upper
// one garbage then a live string. Answers whether the string went down to
// the lower frame.
__attribute__((noinline)) void two_frames(uint32_t room) {
    memory::alloc_series_frame();
    memory::SeriesFrame* low = memory::root.series_first;
    memory::SeriesFrame* high = memory::root.series_last;
    memory::root.series_current = low;
    uint32_t free = static_cast<uint32_t>(low->end - low->heap);
    uint32_t n = free - room - memory::BUFFER_OVERHEAD;
    keep(Cell{TYPE_BINARY, 0, memory::alloc_bytes(n & ~15u), 0});
    memory::root.series_current = high;
    make_garbage(1, 1000);
    keep(string_value("moving down?"));
    // The same calls again, in the lower frame, so that no handle of the
    // string is left on the stack to pin it.
    memory::root.series_current = low;
    keep(string_value("settled"));
}

__attribute__((noinline)) bool went_down(uint32_t room) {
    two_frames(room);
    memory::SeriesFrame* low = memory::root.series_first;
    EXPECT_GE(static_cast<uint32_t>(low->end - low->heap), room - 64);
    EXPECT_LT(static_cast<uint32_t>(low->end - low->heap), room);
    collect();
    auto* place = reinterpret_cast<uint8_t*>(buffer(kept(1)->node()));
    EXPECT_EQ(text_of(kept(1)->node()), "moving down?");
    return place > low->start() && place < low->heap;
}

TEST_F(Collector, AFrameWithLittleRoomTakesNoBuffersFromTheNext) { EXPECT_FALSE(went_down(40000)); }
TEST_F(Collector, AFrameWithRoomTakesTheLiveBuffersOfTheNext) { EXPECT_TRUE(went_down(200000)); }

TEST_F(Collector, FixedBuffersAndBigSeriesLoseTheirMarks) {
    Node fixed = memory::alloc_fixed_series(4, 16, 0);
    keep(Cell{TYPE_BLOCK, 0, fixed, 0});
    // The garbage is made first, along the same calls as the big series
    // kept after it, so that no copy of its address is left on the stack.
    make_garbage(1, 3u << 20);
    uint32_t big = keep(string_value(""));
    kept(big)->data2 = make_big();
    EXPECT_EQ(memory::big_series_count(), 2u);
    collect();
    EXPECT_EQ(memory::big_series_count(), 1u);
    EXPECT_EQ(buffer(fixed)->flags & SERIES_MARK, 0u);
    EXPECT_EQ(buffer(kept(big)->node())->flags & SERIES_MARK, 0u);
}

// ---- Node relocation --------------------------------------------------------------------

// Strings kept in a block, and a table keyed by their nodes whose values
// are their numbers.
__attribute__((noinline)) void keep_keyed_strings(std::vector<Node>& old) {
    uint32_t at = keep(Cell{TYPE_BLOCK, 0, memory::alloc_cells(8), 0});
    Node table = hashtable::init(16, nullptr, hashtable::KIND_NODES, 1);
    keep(Cell{TYPE_HASH, 0, static_cast<uint32_t>(hashtable::record(table)->block), table});
    for (int i = 0; i < 30; i++) {
        Node s = make_bytes(("key " + std::to_string(i)).c_str());
        keep(Cell{TYPE_STRING, 0, s, 0}, kept(at));
        Cell* v = hashtable::put_key(table, s);
        *v = Cell{TYPE_INTEGER, 0, static_cast<uint32_t>(i), 0};
        old.push_back(s);
    }
}

TEST_F(Collector, RelocatedNodesAreRewrittenInBlocksAndTables) {
    std::vector<Node> old;
    keep_keyed_strings(old);
    uint32_t relocations = collector::relocations;
    collect_moving_all();
    EXPECT_EQ(collector::relocations, relocations + 1);
    Node table = kept(1)->data3;
    auto* cells = reinterpret_cast<Cell*>(series_of(kept(0))->data_at(0));
    int changed = 0;
    for (int i = 0; i < 30; i++) {
        Node s = cells[i].node();
        EXPECT_EQ(text_of(s), "key " + std::to_string(i));
        if (s != old[i]) changed++;
        Cell* v = hashtable::get_key(table, s);
        ASSERT_NE(v, nullptr) << i;
        EXPECT_EQ(v->int_value(), i);
    }
    EXPECT_GE(changed, 25);
    EXPECT_EQ(hashtable::record(table)->gc_stamp, static_cast<int32_t>(collector::relocations + 1));
}

__attribute__((noinline)) void keep_strings_in_second_node_frame(std::vector<Node>& old) {
    memory::NodeFrame* a = memory::root.node_first;
    memory::NodeFrame* b = memory::alloc_node_frame(memory::NODE_FRAME_NODES);
    memory::alloc_node_frame(memory::NODE_FRAME_NODES);
    for (int i = 0; i < 12; i++) {
        // The last two come from a, along the same calls, so that no handle
        // of b is left on the stack.
        memory::root.node_current = i < 10 ? b : a;
        uint32_t at = keep(string_value(("in b " + std::to_string(i)).c_str()));
        old.push_back(kept(at)->node());
    }
    b->history = 63;
}

// The handle before the second node frame's range; read in a call of its
// own, so that no handle of the frame is left in the test's frame.
__attribute__((noinline)) uint32_t handle_below_second_frame() { return memory::root.node_first->next->first - 1; }

TEST_F(Collector, AStableSparseNodeFrameIsEvacuatedAndReleased) {
    std::vector<Node> old;
    keep_strings_in_second_node_frame(old);
    ASSERT_EQ(memory::node_frame_count(), 3u);
    const uint32_t below_b = handle_below_second_frame();
    uint32_t relocations = collector::relocations;
    collect();
    EXPECT_EQ(collector::relocations, relocations + 1);
    EXPECT_EQ(memory::node_frame_count(), 1u);  // b evacuated, the third frame empty
    for (int i = 0; i < 10; i++) {
        Node n = kept(static_cast<uint32_t>(i))->node();
        EXPECT_FALSE(n > below_b && n <= below_b + memory::NODE_FRAME_NODES) << i;
        EXPECT_EQ(text_of(n), "in b " + std::to_string(i));
    }
}

// ---- Every kind of value through a moving collection ------------------------------------

// A readable dump of a value and what it reaches, without node numbers.
void dump(const Cell* c, std::string& out, std::vector<Node>& seen, int depth = 0);

void dump_node(Node n, std::string& out, std::vector<Node>& seen, int depth) {
    if (!n) {
        out += "-";
        return;
    }
    for (size_t i = 0; i < seen.size(); i++)
        if (seen[i] == n) {
            out += "@" + std::to_string(i);
            return;
        }
    seen.push_back(n);
    SeriesBuffer* s = buffer(n);
    if (s->unit() == 16 && depth < 8) {
        out += "[";
        for (auto* c = reinterpret_cast<Cell*>(s->data_at(0)); c < reinterpret_cast<Cell*>(s->tail_addr()); c++)
            dump(c, out, seen, depth + 1);
        out += "]";
    } else {
        out += "<" + std::string(reinterpret_cast<const char*>(s->data_at(0)), s->tail - s->offset) + ">";
    }
}

void dump(const Cell* c, std::string& out, std::vector<Node>& seen, int depth) {
    out += std::to_string(c->type()) + ":";
    switch (c->type()) {
    case TYPE_WORD: case TYPE_OBJECT: case TYPE_FUNCTION:
        dump_node(c->data1, out, seen, depth);
        if (c->type() == TYPE_FUNCTION) {
            dump_node(c->data2, out, seen, depth);
            dump_node(c->data3, out, seen, depth);
        }
        break;
    case TYPE_CONTEXT: case TYPE_HASH:
        dump_node(c->type() == TYPE_CONTEXT ? c->data2 : c->data2, out, seen, depth);
        break;
    case TYPE_BLOCK: case TYPE_STRING: case TYPE_BINARY: case TYPE_BITSET: case TYPE_IMAGE: case TYPE_VECTOR:
        dump_node(c->data2, out, seen, depth);
        break;
    case TYPE_SYMBOL:
        dump_node(c->data3, out, seen, depth);
        break;
    case TYPE_NATIVE: case TYPE_EVENT:
        dump_node(c->data2, out, seen, depth);
        break;
    default:
        out += std::to_string(c->data1) + "," + std::to_string(c->data2) + "," + std::to_string(c->data3);
    }
    out += " ";
}

// A context: its node holds the context! cell and a self cell.
Node make_context(const char* word, const Cell& value) {
    Node ctx = memory::alloc_cells(2);
    SeriesBuffer* s = buffer(ctx);
    auto* cells = reinterpret_cast<Cell*>(s->data());
    cells[0] = Cell{TYPE_CONTEXT, 0, 0, 0};
    cells[1] = Cell{TYPE_UNSET, 0, 0, 0};
    s->tail = s->offset + 32;
    Node values = memory::alloc_cells(1);
    buffer(values)->tail += 16;
    reinterpret_cast<Cell*>(buffer(values)->data())[0] = value;
    reinterpret_cast<Cell*>(buffer(ctx)->data())[0].data2 = values;
    Node words = memory::alloc_cells(1);
    buffer(words)->tail += 16;
    reinterpret_cast<Cell*>(buffer(words)->data())[0] = Cell{TYPE_WORD, ctx, symbol::make(word), 0};
    Cell block{TYPE_BLOCK, 0, words, 0};
    Node table = hashtable::init(4, &block, hashtable::KIND_WORDS, 1);
    reinterpret_cast<Cell*>(buffer(ctx)->data())[0].data1 = table;
    return ctx;
}

__attribute__((noinline)) void keep_one_of_each() {
    symbol::make_table();
    symbol::make_index();
    keep(Cell{TYPE_INTEGER, 0, 42, 0});
    keep(string_value("a string"));
    keep(Cell{TYPE_BINARY, 0, make_bytes("\x01\x02\x03"), 0});
    keep(Cell{TYPE_BITSET, 0, make_bytes("\xF0"), 0});
    keep(Cell{TYPE_VECTOR, 0, make_bytes("vector elements"), TYPE_INTEGER});
    uint32_t b = keep(Cell{TYPE_BLOCK, 0, memory::alloc_cells(2), 0});
    keep(string_value("in a block"), kept(b));
    keep(Cell{TYPE_INTEGER, 0, 7, 0}, kept(b));
    Node ctx = make_context("field", string_value("field value"));
    keep(Cell{TYPE_OBJECT, ctx, 0, 0});
    keep(Cell{TYPE_WORD, ctx, symbol::make("field"), 0});
    Node fctx = make_context("arg", Cell{TYPE_NONE, 0, 0, 0});
    Node spec = memory::alloc_cells(1);
    Cell specv{TYPE_BLOCK, 0, spec, 0};
    keep(string_value("spec"), &specv);
    Node body = memory::alloc_cells(1);
    Cell bodyv{TYPE_BLOCK, 0, body, 0};
    keep(Cell{TYPE_WORD, fctx, symbol::make("arg"), 0}, &bodyv);
    keep(Cell{TYPE_FUNCTION, fctx, spec, body});
    keep(Cell{TYPE_NATIVE, 3, memory::alloc_cells(1), 0});
    Node hblock = memory::alloc_cells(2);
    Cell hb{TYPE_BLOCK, 0, hblock, 0};
    keep(string_value("hashed"), &hb);
    Node hash = hashtable::init(4, &hb, hashtable::KIND_HASH, 0);
    hashtable::put_all(hash, 0, 1);
    keep(Cell{TYPE_HASH, 0, hblock, hash});
    keep(Cell{TYPE_IMAGE, 0, make_bytes("image record"), (2u << 16) | 3});
    Node ev = memory::alloc_cells(1);
    Cell evb{TYPE_BLOCK, 0, ev, 0};
    keep(string_value("event field"), &evb);
    keep(Cell{TYPE_EVENT, 0, ev, 0x10000});
    keep(Cell{TYPE_HANDLE, 0, 0, 0xFFFFFFFF});
    keep(*symbol::entry(symbol::make("a-symbol")));
}

std::string dump_all() {
    std::string out;
    std::vector<Node> seen;
    dump_node(memory::root_block.node(), out, seen, 0);
    return out;
}

TEST_F(Collector, EveryKindOfValueReadsTheSameAfterAMovingCollection) {
    keep_one_of_each();
    std::string before = dump_all();
    ASSERT_NE(before.find("<field value>"), std::string::npos);
    ASSERT_NE(before.find("<event field>"), std::string::npos);
    ASSERT_NE(before.find("<vector elements>"), std::string::npos);
    collect_moving_all();
    EXPECT_EQ(dump_all(), before);
    make_garbage(10, 100);
    collect_moving_all();
    collect();
    EXPECT_EQ(dump_all(), before);
    // The symbol table and its hash moved with the rest and still work.
    EXPECT_EQ(symbol::make("field"), symbol::make("field"));
    EXPECT_STREQ(symbol::text(symbol::make("a-symbol")), "a-symbol");
}

TEST_F(Collector, StressSwitchCollectsAtEveryAllocationAndKeepsValues) {
    keep_one_of_each();
    std::string before = dump_all();
    collector::stress = true;
    collector::active = 1;
    uint32_t cycles = collector::cycles;
    for (int i = 0; i < 20; i++) {
        keep(string_value(("more " + std::to_string(i)).c_str()));
    }
    collector::active = 0;
    collector::stress = false;
    EXPECT_GE(collector::cycles - cycles, 20u);
    EXPECT_EQ(dump_all().substr(0, before.size() - 2), before.substr(0, before.size() - 2));
    EXPECT_EQ(text_of(kept(series_of(&memory::root_block)->count() - 1)->node()), "more 19");
}

// ---- Externals -----------------------------------------------------------------------------

std::vector<uintptr_t> released;
void note_release(uintptr_t object) { released.push_back(object); }

TEST_F(Collector, ExternalsReleasedWhenUnmarkedKeptWhenMarked) {
    externals::init();
    released.clear();
    uint32_t kind = externals::register_kind("test", note_release);
    int32_t reached = externals::store(111, kind);
    externals::store(222, kind);
    uint32_t at = keep(Cell{TYPE_HANDLE, 0, 0, static_cast<uint32_t>(reached)});
    collect();
    EXPECT_EQ(released, std::vector<uintptr_t>{222});
    EXPECT_EQ(externals::used_count(), 1u);
    EXPECT_EQ(externals::slot_at(reached)->flags, kind);  // mark cleared
    kept(at)->data3 = 0xFFFFFFFF;
    collect();
    EXPECT_EQ(released, (std::vector<uintptr_t>{222, 111}));
    EXPECT_EQ(externals::used_count(), 0u);
}

}  // namespace
