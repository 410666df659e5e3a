// stats and recycle, and the runtime's C++ copies of global words that
// must follow the global context when the collector moves it.
#include <gtest/gtest.h>

#include <string>

#include "booted.h"
#include "datatypes/datatype.h"
#include "evaluator/words.h"
#include "run_helpers.h"
#include "runtime/collector.h"
#include "runtime/sys.h"

using mini::molded;

namespace {
class Recycle : public booted::Runtime {
protected:
    void SetUp() override {
        booted::Runtime::SetUp();
        mini::boot();
        Cell* saved = stack::top;
        mini::make_native(TYPE_ACTION, "copy", "value [any-type!] /part length [any-type!] /deep /types kind [any-type!]", 30);
        mini::make_native(TYPE_ACTION, "length?", "series [any-type!]", 36);
        mini::make_native(TYPE_ACTION, "pick", "series [any-type!] index [any-type!]", 39);
        stack::top = saved;
    }
    void TearDown() override {
        collector::stress = false;
        collector::active = 0;
        booted::Runtime::TearDown();
    }
};

TEST_F(Recycle, StatsGivesTheBytesInUseAndTheirDetail) {
    Cell n = mini::run("stats");
    ASSERT_EQ(n.type(), static_cast<uint32_t>(TYPE_INTEGER));
    EXPECT_GT(n.int_value(), 0);
    Cell info = mini::run("stats/info");
    ASSERT_EQ(info.type(), static_cast<uint32_t>(TYPE_BLOCK));
    ASSERT_EQ(block::rs_length_q(&info), 5u);
    Cell* c = block::rs_head(&info);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(c[i].type(), static_cast<uint32_t>(TYPE_BLOCK));
    // One [free used total] triple per node frame, each on its own line.
    Cell nodes = c[0];
    ASSERT_GE(block::rs_length_q(&nodes), 1u);
    Cell triple = block::rs_head(&nodes)[0];
    EXPECT_TRUE(triple.new_line());
    ASSERT_EQ(block::rs_length_q(&triple), 3u);
    Cell* t = block::rs_head(&triple);
    EXPECT_EQ(t[0].int_value() + t[1].int_value(), t[2].int_value());
    EXPECT_EQ(c[3].type(), static_cast<uint32_t>(TYPE_INTEGER));
}

TEST_F(Recycle, OffStopsAutomaticCollectionsButNotRecycle) {
    collector::active = 1;
    mini::run("recycle/off");
    EXPECT_EQ(collector::active, 0u);
    uint32_t before = collector::cycles;
    mini::run("b: copy [] loop 20000 [append b copy \"abcdefghijklmnopqrstuvwxyz0123456789\"]");
    EXPECT_EQ(collector::cycles, before);
    Cell r = mini::run("recycle");
    EXPECT_EQ(collector::cycles, before + 1);
    EXPECT_EQ(r.type(), static_cast<uint32_t>(TYPE_INTEGER));
    mini::run("recycle/on");
    EXPECT_EQ(collector::active, 1u);
}

TEST_F(Recycle, LiveDataSurvivesCollections) {
    collector::active = 1;
    // Under ZEM_GC_STRESS every allocation collects: fewer rounds there.
    const std::string n = collector::stress ? "1000" : "100000", deep = collector::stress ? "1000" : "200000";
    EXPECT_EQ(mini::run("b: copy [] loop " + n + " [append b copy \"abcdefghij\"] recycle length? b").int_value(),
              std::stoi(n));
    EXPECT_EQ(molded(mini::run("pick b " + n)), "\"abcdefghij\"");
    // Deep nesting is marked without recursion.
    EXPECT_EQ(mini::run("b: [] loop " + deep + " [b: append/only copy [] b] recycle 1").int_value(), 1);
}

// The datatype-name words and the issue #ooo are copies kept in C++; when
// the global context moves they must follow it, or a later lookup reads a
// freed node.
volatile Node first_global = 0;

__attribute__((noinline)) bool cycle_until_moved() {
    collector::stress = true;
    for (int i = 0; i < 5 && context::global == first_global; ++i) collector::do_cycle();
    collector::stress = false;
    return context::global != first_global;
}

// Runs the cycles below a wide zeroed frame, so that stale copies of the
// global context's handle left on the stack by earlier calls do not pin it.
// The stack scan stops a little above this frame.
__attribute__((noinline)) bool move_global_context() {
    first_global = context::global;
    volatile char pad[1 << 18];
    for (size_t i = 0; i < sizeof pad; ++i) pad[i] = 0;
    uintptr_t saved_entry = sys::record.entry_sp;
    sys::record.entry_sp = reinterpret_cast<uintptr_t>(&pad[sizeof pad - 8192]);
    bool moved = cycle_until_moved();
    sys::record.entry_sp = saved_entry;
    asm volatile("" : : "r"(pad) : "memory");
    return moved;
}

TEST_F(Recycle, CopiesOfGlobalWordsFollowAMovedGlobalContext) {
    ASSERT_TRUE(move_global_context());
    const datatype::NameEntry* n = datatype::name_entry(TYPE_INTEGER);
    ASSERT_NE(n, nullptr);
    EXPECT_EQ(n->word.ctx(), context::global);
    EXPECT_EQ(words::issue_ooo.ctx(), context::global);
    EXPECT_EQ(words::append.ctx(), context::global);
    Cell w = n->word;
    EXPECT_EQ(context::get(&w)->type(), static_cast<uint32_t>(TYPE_DATATYPE));
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
    EXPECT_EQ(mini::run(code).int_value(), 400);
    Cell w = datatype::name_entry(TYPE_BLOCK)->word;
    EXPECT_EQ(context::get(&w)->type(), static_cast<uint32_t>(TYPE_DATATYPE));
}

}  // namespace
