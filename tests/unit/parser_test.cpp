// PARSE: the state of its two stacks across nested runs, errors, stopped
// traces and non-local exits; the stack limit; the frames a trace callback
// sees; runs under collector stress.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "booted.h"
#include "datatypes/datatype.h"
#include "evaluate.h"
#include "evaluator/natives.h"
#include "natives/parse_dialect.h"
#include "runtime/collector.h"

namespace {

using test_eval::outcome;

using Snapshot = std::array<uint32_t, 4>;  // input stack: cells, head; rule stack: cells, head

std::vector<Snapshot> probes;

Snapshot snapshot() {
    Cell* is = parse_dialect::input_stack();
    Cell* rs = parse_dialect::rule_stack();
    return {series_of(is)->count(), is->head(), series_of(rs)->count(), rs->head()};
}

// The test native `probe`: records the stacks as they are.
Unwind probe(bool, const int32_t*) {
    probes.push_back(snapshot());
    Cell u{TYPE_UNSET, 0, 0, 0};
    stack::set_last_keep(&u);
    return Unwind::none;
}

// Registers `probe` as the next native entry and binds the word to `make
// native! [[] index]`.
void make_probe() {
    uint32_t index = natives::next_index;
    const NativeEntry list[] = {probe};
    natives::register_entries(1, list);
    Cell* arg = block::make_at(stack::push_slot(), 2);
    Cell spec = *block::make_at(stack::push_slot(), 1);
    block::rs_append(arg, &spec);
    Cell i{TYPE_INTEGER, 0, index, 0};
    block::rs_append(arg, &i);
    Cell proto;
    datatype::make_at(&proto, TYPE_NATIVE);
    Cell* slot = stack::push(&proto);
    actions::make(slot, arg);
    test_eval::set_global("probe", *slot);
}

class Parse : public booted::Library {
protected:
    void SetUp() override {
        booted::Library::SetUp();
        make_probe();
        probes.clear();
    }
};

const Snapshot empty{0, 0, 0, 0};

TEST_F(Parse, StacksAreEmptyAfterEveryWayOut) {
    outcome("bad: func [e m r i s][1 / 0] stop: func [e m r i s][false] f: func [][parse \"a\" [(return 1)]]");
    const char* cases[] = {
        "parse \"ab\" [\"a\" \"b\"]",
        "parse \"ab\" [collect [keep skip]]",
        "parse \"a\" [some]",
        "parse \"a\" [(1 / 0)]",
        "parse/trace \"a\" [\"a\"] :bad",
        "parse/trace \"a\" [\"a\"] :stop",
        "f",
        "catch [parse \"a\" [(throw 1)]]",
        "loop 1 [parse \"a\" [(break)]]",
        "r: [r] parse [] r",
        "parse [[[1]]] [into [into [(1 / 0)]]]",
        "parse \"a\" [\"a\" (parse \"b\" [(1 / 0)])]",
    };
    for (const char* code : cases) {
        outcome(code);
        EXPECT_EQ(snapshot(), empty) << code;
    }
}

TEST_F(Parse, NestedRunWorksAboveTheOuterEntriesAndLeavesThemAlone) {
    EXPECT_EQ(outcome("parse \"ab\" [\"a\" (probe) (parse \"xy\" [\"x\" (probe) \"y\"]) (probe) \"b\"]"), "true");
    ASSERT_EQ(probes.size(), 3u);
    EXPECT_EQ(probes[0], probes[2]);
    // The inner run's entries lie above the outer run's, its rule stack head
    // past them and the marker that records where they were.
    EXPECT_EQ(probes[1][0], probes[0][0] + 1);
    EXPECT_EQ(probes[1][3], probes[0][2] + 1);
    EXPECT_GT(probes[1][2], probes[1][3]);
    EXPECT_EQ(snapshot(), empty);
}

TEST_F(Parse, ErrorsInsideANestedRunLeaveTheOuterStacksAsTheyWere) {
    outcome("bad: func [e m r i s][1 / 0]");
    const char* cases[] = {
        "parse \"ab\" [\"a\" (probe) (try [parse \"xy\" [\"x\" (1 / 0)]]) (probe) \"b\"]",
        "parse \"ab\" [\"a\" (probe) (try [parse/trace \"xy\" [\"x\"] :bad]) (probe) \"b\"]",
        "parse \"ab\" [\"a\" (probe) (try [parse \"xy\" [into [\"x\"]]]) (probe) \"b\"]",
        "parse [a] [collect [(probe) (try [parse \"x\" [collect [keep (1 / 0)]]]) (probe) keep skip]]",
    };
    for (const char* code : cases) {
        probes.clear();
        std::string r = outcome(code);
        EXPECT_TRUE(r == "true" || r == "[a]") << code << " gave " << r;
        ASSERT_EQ(probes.size(), 2u) << code;
        EXPECT_EQ(probes[0], probes[1]) << code;
        EXPECT_EQ(snapshot(), empty) << code;
    }
}

TEST_F(Parse, StackLimitCountsCellsOfEveryFrame) {
    // A rule that recurses once per character: n characters need n + 1
    // block frames of three cells, and a frame is refused once 10,001 cells
    // are on the stack, so 3,334 frames fit.
    outcome("r: [end | skip r] s: make string! 4000 loop 3333 [append s \"a\"]");
    EXPECT_EQ(outcome("parse s r"), "true");
    outcome("append s \"a\"");
    EXPECT_EQ(outcome("parse s r"), "error parse-stack");
    EXPECT_EQ(snapshot(), empty);
    // Entries of an outer run count too: its 9 cells and the marker leave
    // room for 3,331 frames.
    outcome("s: make string! 4000 loop 3331 [append s \"a\"]");
    EXPECT_EQ(outcome("parse s r"), "true");
    EXPECT_EQ(outcome("parse \"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa\" [some [skip (parse s r)]]"),
              "error parse-stack");
    EXPECT_EQ(snapshot(), empty);
}

TEST_F(Parse, TraceCallbackSeesFramesOfThreeCells) {
    outcome("seen: make block! 8 t: func [e m r i s][append seen mold s true]");
    EXPECT_EQ(outcome("parse/trace [x] [copy y skip] :t"), "true");
    // push, fetch, push, match, pop, pop, end: at the match the top-level
    // block frame and the copy command frame.
    EXPECT_EQ(outcome("seen"),
              "[\"[none make triple! [-1 0 1] [copy y skip]]\" \"[none make triple! [-1 0 1] [copy y skip]]\" "
              "{[none make triple! [-1 0 1] [copy y skip] y make triple! [1 0 1] -4x0]} "
              "{[none make triple! [-1 0 1] [copy y skip] y make triple! [1 0 1] -4x0]} "
              "{[none make triple! [-1 0 1] [copy y skip] y make triple! [1 0 1] -4x0]} "
              "\"[none make triple! [-1 0 1] [copy y skip]]\" \"[none make triple! [-1 0 1] [copy y skip]]\"]");
    // The rules arrive positioned at the current rule, the input at the
    // current index.
    outcome("w: make block! 4 t: func [e m r i s][append/only w r append w i true]");
    // push, fetch, match, fetch, match, pop, end
    EXPECT_EQ(outcome("parse/trace \"ab\" [\"a\" \"b\"] :t w"),
              "[[\"a\" \"b\"] \"ab\" [\"a\" \"b\"] \"ab\" [\"a\" \"b\"] \"b\" [\"b\"] \"b\" [\"b\"] \"\" "
              "[] \"\" [] \"\"]");
}

TEST_F(Parse, RunsUnderCollectorStress) {
    collector::active = 1;
    collector::stress = true;
    const struct {
        const char* code;
        const char* expected;
    } cases[] = {
        {"parse \"aaab\" [some [\"a\" | \"b\"]]", "true"},
        {"parse [1 [2 3] x] [collect [keep integer! into [some [keep integer!]] keep word!]]", "[1 2 3 x]"},
        {"s: \"abc\" parse s [remove skip insert \"XY\" skip change \"c\" \"Z\"] s", "\"XYbZ\""},
        {"parse \"abcd\" [collect [keep 2 skip keep copy x 2 skip]]", "[\"ab\" \"cd\"]"},
        {"x: make block! 1 parse \"ab\" [collect into x [keep skip keep skip]] x", "[#\"a\" #\"b\"]"},
        {"parse \"ab\" [\"a\" (parse \"xy\" [\"x\" \"y\"]) \"b\"]", "true"},
        {"r: [end | skip r] parse \"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa\" r", "true"},
        {"ev: make block! 8 t: func [e m r i s][append ev e true] parse/trace \"a\" [\"a\"] :t ev",
         "[push fetch match pop end]"},
    };
    for (const auto& c : cases) EXPECT_EQ(outcome(c.code), c.expected) << c.code;
    collector::stress = false;
    collector::active = 0;
    EXPECT_EQ(snapshot(), empty);
}

}  // namespace
