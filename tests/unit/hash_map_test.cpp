// hash! (searches through its table, kept right by every modification) and
// map! (literals, paths, lookups, text, reflection, comparison, copying).
#include "datatypes/hash.h"
#include "datatypes/map.h"
#include "runtime/collector.h"
#include "search_cases.h"

namespace {

using booted::call;
using booted::integer;

class Hash : public search_cases::Fixture {};
class Map : public search_cases::Fixture {};

TEST_F(Hash, MakeMoldAndSearch) {
    check({
        {"h: make hash! [a 1 b 2]", "make hash! [a 1 b 2]"},
        {"select h 'b", "2"},
        {"select h 'B", "2"},
        {"select/case h 'B", "none"},
        {"find h 'zz", "none"},
        {"find next h 'a", "none"},
        {"index? find/last make hash! [a b a] 'a", "3"},
        {"find/reverse skip make hash! [a b a] 2 'a", "make hash! [a b a]"},
        {"index? find/skip make hash! [a b b 1] 'b 2", "3"},
        {"find/part make hash! [a b c] 'c 2", "none"},
        {"find make hash! [a b c] [b c]", "make hash! [b c]"},
        {"find/match make hash! [a b] 'b", "none"},
        {"make hash! 10", "make hash! []"},
        {"to hash! [a b]", "make hash! [a b]"},
        {"make hash! next [a b]", "make hash! [b]"},
        {"mold/only make hash! [a]", "\"a\""},
        {"form make hash! [a b]", "\"a b\""},
        {"random make hash! [a]", "error expect-arg"},
    });
}

TEST_F(Hash, KeptRightByModifications) {
    check({
        {"h: make hash! [c 3 a 1 b 2] sort h index? find h 'a", "4"},
        {"h", "make hash! [1 2 3 a b c]"},
        {"h: make hash! [a b c] remove h index? find h 'c", "2"},
        {"find h 'a", "none"},
        {"h: make hash! [a b c] remove/part next h 5 find h 'b", "none"},
        {"h: make hash! [a b c] insert h 'x index? find h 'c", "4"},
        {"index? find h 'x", "1"},
        {"h: make hash! [a b c] insert/dup next h 'x 3 index? find/last h 'x", "4"},
        {"index? find h 'b", "5"},
        {"h: make hash! [a b c] poke h 2 'z find h 'b", "none"},
        {"index? find h 'z", "2"},
        {"h: make hash! [a b c] clear next h find h 'b", "none"},
        {"h: make hash! [a b c] take h index? find h 'c", "2"},
        {"h: make hash! [a b c] take/last h find h 'c", "none"},
        {"h: make hash! [a b c] t: take/part h 2 find t 'b", "make hash! [b]"},
        {"find h 'a", "none"},
        {"h: make hash! [a b c] reverse h index? find h 'a", "3"},
        {"h: make hash! [a b c] change h [x y] index? find h 'x", "1"},
        {"find h 'a", "none"},
        {"h: make hash! [1 2 3] swap h next h index? find h 1", "2"},
        {"h: make hash! [a b c] move h tail h index? find h 'a", "3"},
        {"h: make hash! [a b c] g: make hash! [x] move/part h g 2 index? find g 'b", "2"},
        {"find h 'a", "none"},
        {"index? find h 'c", "1"},
        {"h: make hash! [a 1] put h 'b 2 select h 'b", "2"},
        {"put h 'a 5 select h 'a", "5"},
        {"h: make hash! [a b] c: copy h append c 'z index? find c 'z", "3"},
        {"find h 'z", "none"},
        {"find copy next make hash! [a b c] 'c", "make hash! [c]"},
        {"h: make hash! [[1] [2]] find/only h [2]", "make hash! [[2]]"},
        {"h: make hash! [a b] append h [c d] index? find h 'd", "4"},
        {"h: make hash! [a 1 b 2] h/b", "2"},
        {"h/B", "2"},
        {"h/b: 5 select h 'b", "5"},
        {"h/zz", "none"},
        {"h: make hash! [b: 1 a: 2 'a 3] h/a", "2"},
        {"index? find/last h 'a", "5"},
        {"find/case h 'a", "none"},
        {"find h #a", "make hash! [a: 2 'a 3]"},
        {"index? find make hash! [#a a] #a", "1"},
    });
}

// 100,000 integers: each is found where it is, also after half of them
// were removed and inserted again elsewhere.
TEST_F(Hash, HundredThousandIntegers) {
    // Each call leaves its result on the stack: take it off again.
    auto call = [](uint32_t slot, std::initializer_list<Cell> args) {
        Cell* top = stack::top;
        Cell r = booted::call(slot, args);
        stack::top = top;
        return r;
    };
    constexpr int32_t N = 100000;
    Cell blk = *block::make_at(stack::push_slot(), N);
    for (int32_t i = 0; i < N; ++i) {
        Cell v = integer(i);
        block::rs_append(&blk, &v);
    }
    Cell dt = booted::dtype(TYPE_HASH);
    Cell h = call(actions::slot::make, {dt, blk});
    stack::push(&h);
    auto position = [&](int32_t v) {
        Cell r = call(actions::slot::find, {h, integer(v)});
        return r.type() == TYPE_NONE ? -1 : static_cast<int32_t>(r.head());
    };
    for (int32_t i = 0; i < N; i += 997) ASSERT_EQ(position(i), i);
    int32_t misses = 0;
    for (int32_t i = 0; i < N; ++i) misses += position(i) != i;
    EXPECT_EQ(misses, 0);
    // Half of them leave from the tail and come back appended in another
    // order; a few leave from the head (the table is rebuilt then) and come
    // back inserted at the head.
    for (int32_t i = N - 1; i >= N / 2; --i) {
        Cell at = call(actions::slot::find, {h, integer(i)});
        ASSERT_NE(at.type(), TYPE_NONE) << i;
        call(actions::slot::remove, {at});
    }
    EXPECT_EQ(position(N / 2), -1);
    EXPECT_EQ(position(N / 2 - 1), N / 2 - 1);
    for (int32_t i = N / 2; i < N; i += 2) call(actions::slot::append, {h, integer(i)});
    for (int32_t i = N / 2 + 1; i < N; i += 2) call(actions::slot::append, {h, integer(i)});
    for (int32_t i = 0; i < 4; ++i) call(actions::slot::remove, {h});
    for (int32_t i = 3; i >= 0; --i) call(actions::slot::insert, {h, integer(i)});
    auto expected = [&](int32_t v) {
        if (v < N / 2) return v;
        int32_t k = v - N / 2;
        return N / 2 + (k % 2 ? N / 4 + k / 2 : k / 2);
    };
    misses = 0;
    for (int32_t i = 0; i < N; ++i) misses += position(i) != expected(i);
    EXPECT_EQ(misses, 0);
    EXPECT_EQ(call(actions::slot::length_q, {h}).int_value(), N);
}

TEST_F(Map, LiteralsPathsAndLookups) {
    check({
        {"m: #[a: 1] m/b: 2 m", "#[\n    a: 1\n    b: 2\n]"},
        {"select m 'a", "1"},
        {"select m 'A", "1"},
        {"select/case m 'A", "none"},
        {"m/a", "1"},
        {"m/zz", "none"},
        {"find m 'a", "a"},
        {"find m 'zz", "none"},
        {"length? m", "2"},
        {"m/c: 3 length? m", "3"},
        {"m/c: none length? m", "3"},
        {"m/c", "none"},
        {"remove/key m 'c length? m", "2"},
        {"select m 'c", "none"},
        {"m/c: 4 length? m", "3"},
        {"remove m", "error missing-arg"},
        {"put m 'k \"v\" m/k", "\"v\""},
        {"m/A: 10 m/a", "10"},
        {"m/([x]): 1", "error invalid-path"},
        {"#[]", "#[]"},
        {"#[a 1 \"x\" 2]", "#[\n    a: 1\n    \"x\" 2\n]"},
        {"#[a b]", "#[\n    a: b\n]"},
        {"#[[x] 1]", "error invalid"},
        {"#[a]", "error invalid"},
        {"m: #[\"k\" 1] select m \"K\"", "1"},
        {"select/case m \"K\"", "none"},
        {"s: \"key\" m: make map! [] put m s 1 append s \"x\" select m \"key\"", "1"},
        {"n: #[a: [1 2]] m: copy/deep n append m/a 3 n/a", "[1 2]"},
        {"m: make map! [a 1 b 2 c 3] remove/key m 'b n: copy m select n 'c", "3"},
        {"select n 'b", "none"},
        {"length? n", "2"},
        {"clear m length? m", "0"},
        {"m", "#[]"},
        {"m: #[a: 1] m/self: m m", "#[\n    a: 1\n    self: #[...]\n]"},
    });
}

TEST_F(Map, MakeToTextAndReflection) {
    check({
        {"make map! [a 1 a 2]", "#[\n    a: 2\n]"},
        {"make map! [a]", "error invalid-arg"},
        {"make map! [[x] 1]", "error invalid-path"},
        {"make map! 10", "#[]"},
        {"make map! -1", "error out-of-range"},
        {"to map! 10", "error bad-to-arg"},
        {"make map! \"x\"", "error bad-to-arg"},
        {"to map! [a 1]", "#[\n    a: 1\n]"},
        {"make map! #[a: 1]", "#[\n    a: 1\n]"},
        {"mold/flat make map! [a 1 b 2]", "\"#[a: 1 b: 2]\""},
        {"mold/only make map! [a 1]", "\"    a: 1^/\""},
        {"form make map! [a 1 b \"x\"]", "{a: 1^/b: \"x\"}"},
        {"[#[a: 1]]", "[#[\n    a: 1\n]]"},
        {"reflect make map! [a 1 b 2] 'words", "[a b]"},
        {"reflect make map! [a 1 b 2] 'values", "[1 2]"},
        {"reflect make map! [a 1] 'body", "[\n    a: 1\n]"},
        {"reflect make map! [a 1] 'spec", "error not-done"},
        {"to block! make map! [a 1]", "[\n    a: 1\n]"},
        {"m: make map! [a 1 b 2] remove/key m 'a reflect m 'words", "[b]"},
    });
}

TEST_F(Map, Comparison) {
    Cell m1 = [] {
        Cell* s = stack::push_slot();
        return *map::make_at(s, nullptr, 4);
    }();
    Cell m2 = *map::make_at(stack::push_slot(), nullptr, 4);
    Cell a = booted::word("a"), one = integer(1), two = integer(2);
    map::put(&m1, &a, &one, false);
    EXPECT_EQ(map::compare(&m1, &m2, actions::COMP_EQUAL), 1);
    map::put(&m2, &a, &one, false);
    EXPECT_EQ(map::compare(&m1, &m2, actions::COMP_EQUAL), 0);
    EXPECT_EQ(map::compare(&m1, &m2, actions::COMP_STRICT_EQUAL), 0);
    EXPECT_EQ(map::compare(&m1, &m2, actions::COMP_SAME), -1);
    EXPECT_EQ(map::compare(&m1, &m1, actions::COMP_SAME), 0);
    map::put(&m2, &a, &two, false);
    EXPECT_EQ(map::compare(&m1, &m2, actions::COMP_EQUAL), 1);
    EXPECT_EQ(map::compare(&m1, &one, actions::COMP_EQUAL), actions::NOT_COMPARABLE);
    EXPECT_EQ(map::compare(&m1, &m2, actions::COMP_LESSER), actions::NOT_COMPARABLE);
    int32_t order = map::compare(&m1, &m2, actions::COMP_SORT);
    EXPECT_EQ(order, -map::compare(&m2, &m1, actions::COMP_SORT));
    EXPECT_NE(order, 0);
}

TEST_F(Map, ExtendAndForeachWorkers) {
    Cell m = test_eval::run("m: make map! [a 1]");
    Cell pairs = test_eval::run("[b 2 A 3]");
    map::extend(&m, &pairs, false);
    EXPECT_EQ(test_eval::outcome("m"), "#[\n    a: 3\n    b: 2\n]");
    map::extend(&m, &pairs, true);
    EXPECT_EQ(test_eval::outcome("length? m"), "3");
    Cell odd = test_eval::run("[a]");
    EXPECT_FIRES(map::extend(&m, &odd, false), err::INVALID_ARG);

    test_eval::outcome("remove/key m 'b");
    Cell words = test_eval::run("[k v]");
    Cell cursor = m;
    EXPECT_TRUE(map::foreach_next(&words, &cursor, 2));
    EXPECT_EQ(test_eval::outcome("k"), "a");
    EXPECT_EQ(test_eval::outcome("v"), "3");
    EXPECT_TRUE(map::foreach_next(&words, &cursor, 2));  // b was removed
    EXPECT_EQ(test_eval::outcome("k"), "A");
    EXPECT_FALSE(map::foreach_next(&words, &cursor, 2));
    EXPECT_EQ(test_eval::outcome("k"), "none");
    Cell bad = test_eval::run("[k 1]");
    cursor.data1 = 0;
    EXPECT_FIRES(map::foreach_next(&bad, &cursor, 2), err::INVALID_ARG);
}

// The same kinds of work with a moving collection at every allocation.
TEST_F(Map, SearchSortSetsHashAndMapUnderCollectorStress) {
    test_eval::outcome("s: x: y: k: v: m: n: h: t: none");  // the words exist before the stress
    uint32_t cycles = collector::cycles;
    collector::active = 1;
    collector::stress = true;
    check({
        {"sort/compare [3 1 4 2] func [x y][t: copy [] append t x x < y]", "[1 2 3 4]"},
        {"length? sort/compare [\"c\" \"a\" \"b\" \"d\" \"e\"] func [x y][t: copy \"\" true]", "5"},
        {"sort/skip/all/compare [2 \"a\" 1 \"b\"] 2 func [x y][x/1 < y/1]", "[1 \"b\" 2 \"a\"]"},
        {"sort/compare \"cab\" func [x y][x < y]", "\"abc\""},
        {"unique [\"a\" \"b\" \"A\" [1] [1]]", "[\"a\" \"b\" [1]]"},
        {"difference make hash! [\"x\" \"y\"] [\"y\" \"z\"]", "make hash! [\"x\" \"z\"]"},
        {"h: make hash! [\"a\" \"b\"] insert h \"c\" append h [\"d\"] index? find h \"b\"", "3"},
        {"m: #[\"k\" [1 2] a: \"v\"] m/b: \"w\" n: copy/deep m remove/key m 'a m", "#[\n    \"k\" [1 2]\n    b: \"w\"\n]"},
        {"select n \"K\"", "[1 2]"},
        {"reflect n 'words", "[\"k\" a b]"},
    });
    collector::stress = false;
    collector::active = 0;
    EXPECT_GT(collector::cycles - cycles, 10u);
}

}  // namespace
