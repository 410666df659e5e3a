// stats and recycle, and the runtime's C++ copies of global words that
// must follow the global context when the collector moves it.
#include <gtest/gtest.h>

#include <string>

#include "booted.h"
#include "datatypes/datatype.h"
#include "evaluator/words.h"
#include "runtime/collector.h"
#include "runtime/sys.h"

using test_eval::molded;

namespace {
class Recycle : public booted::Library {};

TEST_F(Recycle, StatsGivesTheBytesInUseAndTheirDetail) {
    Cell n = test_eval::run("stats");
    ASSERT_EQ(n.type(), static_cast<uint32_t>(TYPE_INTEGER));
    EXPECT_GT(n.int_value(), 0);
    Cell info = test_eval::run("stats/info");
    ASSERT_EQ(info.type(), static_cast<uint32_t>(TYPE_BLOCK));
    ASSERT_EQ(block::rs_length_q(&info), 5u);
    Cell* c = block::rs_clamp_head(&info);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(c[i].type(), static_cast<uint32_t>(TYPE_BLOCK));
    // Free, used and total of each node frame one after another, the first
    // of them on a new line.
    Cell nodes = c[0];
    ASSERT_GE(block::rs_length_q(&nodes), 3u);
    ASSERT_EQ(block::rs_length_q(&nodes) % 3, 0u);
    Cell* t = block::rs_clamp_head(&nodes);
    EXPECT_TRUE(t[0].new_line());
    EXPECT_FALSE(t[1].new_line());
    EXPECT_EQ(t[0].int_value() + t[1].int_value(), t[2].int_value());
    EXPECT_EQ(c[3].type(), static_cast<uint32_t>(TYPE_INTEGER));
    EXPECT_EQ(c[4].type(), static_cast<uint32_t>(TYPE_INTEGER));
}

TEST_F(Recycle, OffStopsAutomaticCollectionsButNotRecycle) {
    collector::active = 1;
    test_eval::run("recycle/off");
    EXPECT_EQ(collector::active, 0u);
    uint32_t before = collector::cycles;
    test_eval::run("b: copy [] loop 20000 [append b copy \"abcdefghijklmnopqrstuvwxyz0123456789\"]");
    EXPECT_EQ(collector::cycles, before);
    Cell r = test_eval::run("recycle");
    EXPECT_EQ(collector::cycles, before + 1);
    EXPECT_EQ(r.type(), static_cast<uint32_t>(TYPE_INTEGER));
    test_eval::run("recycle/on");
    EXPECT_EQ(collector::active, 1u);
}

TEST_F(Recycle, LiveDataSurvivesCollections) {
    collector::active = 1;
    // Under ZEM_GC_STRESS every allocation collects: fewer rounds there.
    const std::string n = collector::stress ? "1000" : "100000", deep = collector::stress ? "1000" : "200000";
    EXPECT_EQ(test_eval::run("b: copy [] loop " + n + " [append b copy \"abcdefghij\"] recycle length? b").int_value(),
              std::stoi(n));
    EXPECT_EQ(molded(test_eval::run("pick b " + n)), "\"abcdefghij\"");
    // Deep nesting is marked without recursion.
    EXPECT_EQ(test_eval::run("b: [] loop " + deep + " [b: append/only copy [] b] recycle 1").int_value(), 1);
}

// The datatype-name words and the issue #ooo are copies kept in C++; when
// the global context moves they must follow it, or a later lookup reads a
// freed node.
volatile Node first_node = 0;

__attribute__((noinline)) bool cycle_until_moved(Node* place) {
    collector::stress = true;
    for (int i = 0; i < 5 && *place == first_node; ++i) collector::do_cycle();
    collector::stress = false;
    return *place != first_node;
}

// Runs the cycles below a wide zeroed frame, so that stale copies of the
// context's handle left on the stack by earlier calls do not pin it. The
// stack scan stops a little above this frame.
__attribute__((noinline)) bool move_context(Node* place) {
    first_node = *place;
    volatile char pad[1 << 18];
    for (size_t i = 0; i < sizeof pad; ++i) pad[i] = 0;
    uintptr_t saved_entry = sys::record.entry_sp;
    sys::record.entry_sp = reinterpret_cast<uintptr_t>(&pad[sizeof pad - 8192]);
    bool moved = cycle_until_moved(place);
    sys::record.entry_sp = saved_entry;
    asm volatile("" : : "r"(pad) : "memory");
    return moved;
}

TEST_F(Recycle, CopiesOfGlobalWordsFollowAMovedGlobalContext) {
    ASSERT_TRUE(move_context(&context::global));
    const datatype::NameEntry* n = datatype::name_entry(TYPE_INTEGER);
    ASSERT_NE(n, nullptr);
    EXPECT_EQ(n->word.ctx(), context::global);
    EXPECT_EQ(words::issue_ooo.ctx(), context::global);
    EXPECT_EQ(words::append.ctx(), context::global);
    Cell w = n->word;
    EXPECT_EQ(context::get(&w)->type(), static_cast<uint32_t>(TYPE_DATATYPE));
}

// The library's own copy of the global values is a root: moved, it stays
// alive, and the words of the library's code follow it.
TEST_F(Recycle, TheLibraryContextSurvivesAndIsFollowedWhenMoved) {
    ASSERT_NE(context::library, 0u);
    ASSERT_TRUE(move_context(&context::library));
    EXPECT_EQ(context::library, *collector::library_context);
    // `first` calls the library's `pick` whatever the global word holds.
    EXPECT_EQ(test_eval::run("pick: 1 first [7 8]").int_value(), 7);
    EXPECT_EQ(test_eval::run("pick").int_value(), 1);
}

// Interning many new global words (the word table grows) while every node
// and buffer moves at each allocation.
TEST_F(Recycle, ManyNewGlobalWordsUnderStress) {
    Cell* saved = stack::top;
    for (int i = 0; i < 12300; ++i) {
        std::string t = "gw" + std::to_string(i);
        word::make_global(symbol::make(t.c_str()));
        stack::top = saved;
    }
    collector::active = 1;
    collector::stress = true;
    std::string code;
    for (int i = 0; i < 400; ++i) code += "gz" + std::to_string(i) + ": " + std::to_string(i) + " ";
    code += "gz399 + gz1";
    EXPECT_EQ(test_eval::run(code).int_value(), 400);
    Cell w = datatype::name_entry(TYPE_BLOCK)->word;
    EXPECT_EQ(context::get(&w)->type(), static_cast<uint32_t>(TYPE_DATATYPE));
}

// The collector reads every cell below the stack top, and callers take a
// slot before they fill it (block::make_at(push_slot(), n) allocates
// first). A binary! that an earlier value left in that cell, over what is
// now a live block, would mark the block as bytes: the string only the
// block holds would be freed.
TEST_F(Recycle, AFreshStackSlotHidesWhatAnEarlierValueLeftThere) {
    Cell held = test_eval::run("held: reduce [copy \"inside\"]");
    stack::top[0] = Cell{TYPE_BINARY, 0, held.node(), 0};
    Cell* slot = stack::push_slot();
    collector::do_cycle();
    *slot = booted::none();
    stack::pop(1);
    Cell inside = block::rs_clamp_head(&held)[0];
    ASSERT_FALSE(memory::slot_is_free(inside.node()));
    EXPECT_EQ(molded(test_eval::run("held/1")), "\"inside\"");
}

}  // namespace
