// object!: making, copying, paths, text, comparison, reflection and the
// change handlers, driven through code read by the lexer.
#include <gtest/gtest.h>

#include <string>

#include "booted.h"
#include "datatypes/object.h"
#include "evaluator/ownership.h"
#include "runtime/hashtable.h"
#include "runtime/collector.h"

using test_eval::error_of;
using test_eval::formed;
using test_eval::molded;

namespace {
class Objects : public booted::Library {
protected:
    std::string run_molded(const std::string& code) { return molded(test_eval::run(code)); }

};

TEST_F(Objects, MakeAndPaths) {
    EXPECT_EQ(run_molded("o: make object! [a: 1 b: 2] o/b"), "2");
    EXPECT_EQ(run_molded("o: make object! [a: 1 b: a + 1] o/a: 10 o/a + o/b"), "12");
    EXPECT_EQ(run_molded("o: make object! [a: 1 f: func [][a + 100]] o/f"), "101");
    EXPECT_EQ(run_molded("o: make object! [a: 1 s: self] o/s/a"), "1");
    EXPECT_EQ(error_of("o: make object! [a: 1] o/zz"), "invalid-path");
    EXPECT_EQ(error_of("o: make object! [a: 1] o/zz/b"), "unset-path");
    EXPECT_EQ(error_of("o: make object! [a: 1] o/zz: 3"), "invalid-path");
    EXPECT_EQ(error_of("make object! 3"), "malconstruct");
}

TEST_F(Objects, MoldIndentsFieldsAndFormListsThem) {
    EXPECT_EQ(run_molded("make object! [a: 1 b: [x y] c: 'w]"),
              "make object! [\n    a: 1\n    b: [x y]\n    c: 'w\n]");
    EXPECT_EQ(run_molded("make object! [a: 1 o: make object! [b: 2]]"),
              "make object! [\n    a: 1\n    o: make object! [\n        b: 2\n    ]\n]");
    EXPECT_EQ(run_molded("make object! []"), "make object! []");
    EXPECT_EQ(formed(test_eval::run("make object! [a: 1 b: \"t\"]")), "a: 1\nb: \"t\"");
    // A field that refers back to its object stops at the cycle marker.
    std::string m = run_molded("o: make object! [a: 1 me: none] o/me: o o");
    EXPECT_EQ(m.substr(0, 33), "make object! [\n    a: 1\n    me: m") << m;
    EXPECT_NE(m.find("..."), std::string::npos) << m;
}

TEST_F(Objects, ClassIds) {
    Cell a = test_eval::run("p: make object! [a: 1 b: 2]");
    EXPECT_GT(static_cast<int32_t>(a.data2), object::FIRST_CLASS_ID);
    Cell same = test_eval::run("make p [a: 5]");
    EXPECT_EQ(same.data2, a.data2);
    Cell grown = test_eval::run("make p [c: 5]");
    EXPECT_NE(grown.data2, a.data2);
    EXPECT_EQ(run_molded("reflect p 'class"), std::to_string(a.data2));
}

TEST_F(Objects, PrototypesAreCopiedDeeplyAndFunctionsRebound) {
    EXPECT_EQ(run_molded("p: make object! [b: [1] f: func [][b]] q: make p [] append q/b 2 p/b"), "[1]");
    EXPECT_EQ(run_molded("q/f"), "[1 2]");
    EXPECT_EQ(run_molded("r: make p [b: [9]] r/f"), "[9]");
    // A plain copy shares the series; a deep one does not.
    EXPECT_EQ(run_molded("c: copy p append c/b 3 p/b"), "[1 3]");
    EXPECT_EQ(run_molded("c: copy/deep p append c/b 4 c/f"), "[1 3 4]");
    EXPECT_EQ(run_molded("p/b"), "[1 3]");
    EXPECT_EQ(error_of("copy/part p 1"), "invalid-refine-arg");
}

TEST_F(Objects, SelectPutReflectModify) {
    test_eval::run("o: make object! [a: 1 b: 2]");
    EXPECT_EQ(run_molded("select o 'b"), "2");
    EXPECT_EQ(run_molded("select o 'zz"), "none");
    EXPECT_EQ(error_of("select o 1"), "invalid-type");
    EXPECT_EQ(run_molded("put o 'a 7 o/a"), "7");
    EXPECT_EQ(error_of("put o \"a\" 1"), "invalid-key-type");
    EXPECT_EQ(run_molded("reflect o 'words"), "[a b]");
    EXPECT_EQ(run_molded("reflect o 'values"), "[7 2]");
    EXPECT_EQ(run_molded("reflect o 'body"), "[\n    a: 7\n    b: 2\n]");
    EXPECT_EQ(run_molded("reflect o 'changed"), "[a]");
    EXPECT_EQ(run_molded("modify o 'changed none reflect o 'changed"), "[]");
    EXPECT_EQ(error_of("modify o 'changed 1"), "invalid-arg");
    EXPECT_EQ(error_of("reflect o 'nothing"), "not-done");
    EXPECT_EQ(run_molded("reflect o 'events?"), "false");
}

TEST_F(Objects, Compare) {
    test_eval::run("a: make object! [x: 1] b: make object! [x: 1] c: make object! [x: 1 y: 2]");
    Cell a = test_eval::get_global("a"), b = test_eval::get_global("b"), c = test_eval::get_global("c");
    EXPECT_EQ(actions::compare(&a, &b, actions::COMP_EQUAL), 0);
    EXPECT_EQ(actions::compare(&a, &b, actions::COMP_SAME), -1);
    EXPECT_EQ(actions::compare(&a, &a, actions::COMP_SAME), 0);
    EXPECT_EQ(actions::compare(&a, &c, actions::COMP_EQUAL), -1);
    EXPECT_EQ(actions::compare(&c, &a, actions::COMP_EQUAL), 1);
    Cell one{TYPE_INTEGER, 0, 1, 0};
    EXPECT_EQ(actions::compare(&a, &one, actions::COMP_EQUAL), actions::NOT_COMPARABLE);
}

TEST_F(Objects, CreateCollectsSetWords) {
    Cell spec = test_eval::read("a: b: yes c:");
    Cell out;
    object::create(&spec, nullptr, false, &out);
    EXPECT_EQ(molded(out), "make object! [\n    a: true\n    b: true\n    c: none\n]");
    object::create(&spec, nullptr, true, &out);
    EXPECT_EQ(molded(out), "make object! [\n    a: 'yes\n    b: 'yes\n    c: none\n]");
}

TEST_F(Objects, OnChangeRunsAfterTheStore) {
    test_eval::run(
        "log: [] o: make object! [a: 1 on-change*: func [w old new][append log w append log old append log new "
        "append log a]]");
    EXPECT_EQ(run_molded("o/a: 2 log"), "[a 1 2 2]");
    EXPECT_EQ(run_molded("put o 'a 3 log"), "[a 1 2 2 a 2 3 3]");
    EXPECT_EQ(run_molded("reflect o 'events?"), "true");
    // Handlers are not shown by mold.
    EXPECT_EQ(run_molded("o"), "make object! [\n    a: 3\n]");
    EXPECT_EQ(error_of("make object! [on-change*: 1]"), "bad-field-set");
}

}  // namespace

// ---- Series ownership ------------------------------------------------------------------

namespace {
class Ownership : public Objects {
protected:
    void SetUp() override {
        Objects::SetUp();
        test_eval::run(
            "log: [] "
            "handler: func [owner word target action new index part][append log action append log word "
            "append log index append log part append/only log new] "
            "o: make object! [b: [1 2] s: \"ab\" on-deep-change*: :handler]");
    }
    std::string log_after(const std::string& code) {
        test_eval::run("clear log");
        std::string id = error_of(code);
        if (!id.empty()) return "error " + id;
        return molded(test_eval::get_global("log"));
    }
};

TEST_F(Ownership, ModifyingActionsTellTheOwnerBeforeAndAfter) {
    EXPECT_EQ(log_after("append o/b 3"), "[append b 2 1 3 appended b 2 1 3]");
    EXPECT_EQ(log_after("insert o/b 0"), "[insert b 0 1 0 inserted b 0 1 0]");
    EXPECT_EQ(log_after("clear next next o/b"), "[clear b 2 2 none cleared b 2 2 none]");
    EXPECT_EQ(log_after("remove o/b"), "[remove b 0 1 none removed b 0 1 none]");
    EXPECT_EQ(log_after("poke o/b 1 7"), "[poke b 0 1 7 poked b 0 1 7]");
    EXPECT_EQ(log_after("change o/b 5"), "[change b 0 1 5 changed b 0 1 5]");
    EXPECT_EQ(log_after("take o/b"), "[take b 0 1 none taken b 0 1 none]");
    EXPECT_EQ(log_after("append o/s \"c\""), "[append s 2 1 \"c\" appended s 2 1 \"c\"]");
    EXPECT_EQ(log_after("reverse o/s"), "[reverse s 0 3 none reversed s 0 3 none]");
    // A path assignment reports once.
    EXPECT_EQ(log_after("append o/b 4 o/b/1: 9"), "[append b 0 1 4 appended b 0 1 4 set-path b 0 1 9]");
    // Nothing happens, nobody is told.
    EXPECT_EQ(log_after("clear tail o/b"), "[]");
    EXPECT_EQ(molded(test_eval::run("o/b")), "[9]");
}

TEST_F(Ownership, NestedSeriesAndTheFirstOwnerWins) {
    test_eval::run("o3: make object! [n: [[1] \"t\"] on-deep-change*: :handler]");
    EXPECT_EQ(log_after("append pick o3/n 1 2"), "[append n 1 1 2 appended n 1 1 2]");
    test_eval::run("shared: copy [] a: make object! [x: shared on-deep-change*: :handler] "
              "a2: make object! [y: shared on-deep-change*: :handler]");
    EXPECT_EQ(log_after("append shared 1"), "[append x 0 1 1 appended x 0 1 1]");
    EXPECT_EQ(molded(test_eval::run("r: reflect shared 'owner r/x")), "[1]");
}

TEST_F(Ownership, ReleasedSeriesAndOwnersWithoutDeepHandlerTellNobody) {
    EXPECT_EQ(log_after("modify o 'owned none append o/b 5 append o/s \"x\""), "[]");
    EXPECT_EQ(molded(test_eval::run("reflect o/b 'owner")), "none");
    test_eval::run("p: make object! [b: copy [] on-change*: func [w old new][]] modify p 'owner true");
    EXPECT_EQ(log_after("append p/b 1"), "[]");
    EXPECT_EQ(molded(test_eval::run("r: reflect p/b 'owner r/b")), "[1]");
    // A series owned through modify by hand.
    test_eval::run("loose: copy [] spec: copy [] append spec o append spec 'loose modify loose 'owned spec");
    EXPECT_EQ(log_after("append loose 1"), "[append loose 0 1 1 appended loose 0 1 1]");
}

TEST_F(Ownership, ValuesThatHoldThemselvesAreBoundOnce) {
    test_eval::run("c: make object! [b: copy [] on-deep-change*: :handler] append/only c/b c/b append c/b c "
              "modify c 'owned none modify c 'owner true");
    EXPECT_EQ(log_after("append c/b 1"), "[append b 2 1 1 appended b 2 1 1]");
}

TEST_F(Ownership, TheCollectorDropsEntriesOfDeadSeriesAndFollowsMovedOnes) {
    auto entries = [] { return hashtable::record(ownership::table)->count; };
    int32_t before = entries();
    // Kept alive while counted: a collection may run inside the loop.
    test_eval::run("keep: copy [] loop 50 [append keep make object! [b: copy [1] s: copy \"x\" on-deep-change*: :handler]]");
    EXPECT_GE(entries(), before + 100);
    test_eval::run("clear keep");
    collector::do_cycle();
    EXPECT_LT(entries(), before + 10);
    // Under stress every node and buffer moves at every allocation; the
    // table's keys follow them.
    collector::active = 1;
    collector::stress = true;
    EXPECT_EQ(log_after("append o/b 3"), "[append b 2 1 3 appended b 2 1 3]");
    EXPECT_EQ(log_after("append o/s \"z\""), "[append s 2 1 \"z\" appended s 2 1 \"z\"]");
}

}  // namespace

namespace {
// Objects made, copied, changed and molded while every unpinned buffer and
// node moves at every allocation.
TEST_F(Objects, ProgramsRunUnderCollectorStress) {
    collector::active = 1;
    collector::stress = true;
    EXPECT_EQ(run_molded("p: make object! [a: 1 b: [x] f: func [][b]] q: make p [c: 3] append q/b 'y q/f"), "[x y]");
    EXPECT_EQ(run_molded("c: copy/deep q c/a: 7 c/a + q/a"), "8");
    EXPECT_EQ(run_molded("log: [] o: make object! [a: 1 on-change*: func [w old new][append log new]] o/a: 5 log"),
              "[5]");
    EXPECT_EQ(run_molded("make object! [a: 1 o: make object! [b: 2]]"),
              "make object! [\n    a: 1\n    o: make object! [\n        b: 2\n    ]\n]");
}

}  // namespace
