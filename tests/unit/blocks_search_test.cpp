// find, select, put and sort on blocks, and the set-operation natives, run
// as Zem code.
#include "search_cases.h"

namespace {

class BlockSearch : public search_cases::Fixture {};

TEST_F(BlockSearch, Find) {
    check({
        {"find [a b c] [b c]", "[b c]"},
        {"find [a b c] [c d]", "none"},
        {"find/only [a [b c]] [b c]", "[[b c]]"},
        {"find [a \"x\" b] string!", "[\"x\" b]"},
        {"find [a 1 b] word!", "[a 1 b]"},
        {"find next [a 1 b] word!", "[b]"},
        {"find [a b] []", "none"},
        {"find [a [] b] []", "[[] b]"},
        {"find/skip [a 1 b 2] 'b 2", "[b 2]"},
        {"find/skip [a b b 2] 'b 2", "[b 2]"},
        {"find/skip [a 1 b 2] 'b 0", "error out-of-range"},
        {"find/skip [a 1 b 2] 'b 'x", "error expect-arg"},
        {"find/match [a b c] 'b", "none"},
        {"find/match [a b c] 'a", "[a b c]"},
        {"find/match/tail [a b c] 'a", "[b c]"},
        {"find/match/tail [a b c] [a b]", "[c]"},
        {"find/tail [a b c] [a b]", "[c]"},
        {"index? find/last [a b a] 'a", "3"},
        {"index? find/last [a b a b] [a b]", "3"},
        {"find/last [a b] 'c", "none"},
        {"find/reverse [a b c] 'a", "none"},
        {"find/reverse tail [a b c] 'a", "[a b c]"},
        {"find/reverse skip [a b c a] 3 'a", "[a b c a]"},
        {"index? find/reverse tail [a b c a b] [a b]", "4"},
        {"index? find/last/skip [a 1 b 2 a 3] 'a 2", "5"},
        {"index? find/last/skip [a 1 b 2 a a] 'a 2", "5"},
        {"find/reverse/skip tail [a 1 b 2] 'a 2", "[a 1 b 2]"},
        {"find/part [a b c] 'c 2", "none"},
        {"find/part [a b c] 'b 2", "[b c]"},
        {"find/part [a b c] 'a 0", "none"},
        {"find/part [a b c] [b c] 2", "none"},
        {"b: [a b c] find/part b 'c skip b 2", "none"},
        {"b: [a b c] find/part b 'c tail b", "[c]"},
        {"find/part [a b c] 'c \"x\"", "error invalid-refine-arg"},
        {"find/case [a A] 'A", "[A]"},
        {"find [a A] 'A", "[a A]"},
        {"find [\"a\" \"A\"] \"A\"", "[\"a\" \"A\"]"},
        {"find/case [\"a\" \"A\"] \"A\"", "[\"A\"]"},
        {"find [] 'a", "none"},
        {"find tail [a] 'a", "none"},
        {"find [a b c] 'd", "none"},
    });
}

TEST_F(BlockSearch, SelectAndPut) {
    check({
        {"select [a 1 b 2] 'b", "2"},
        {"select [a b] 'b", "none"},
        {"select [a b c d] [b c]", "d"},
        {"select [a b c] [b c]", "none"},
        {"select/only [a [b] c] [b]", "c"},
        {"select/skip [1 a a 2] 'a 2", "2"},
        {"select [x 1 y \"z\"] 'y", "\"z\""},
        {"b: [a 1] put b 'a 2 b", "[a 2]"},
        {"put b 'c 3 b", "[a 2 c 3]"},
        {"put b 'c \"x\"", "\"x\""},
        {"b", "[a 2 c \"x\"]"},
        {"b: [a] put b 'a 5 b", "[a 5]"},
        {"b: [[k] 1] put b [k] 2 b", "error expect-arg"},
        {"b: [A 1] put/case b 'a 2 b", "[A 1 a 2]"},
    });
}

TEST_F(BlockSearch, Sort) {
    check({
        {"sort [c B a]", "[a B c]"},
        {"sort/case [c B a]", "[B a c]"},
        {"sort/reverse [1 3 2]", "[3 2 1]"},
        {"sort []", "[]"},
        {"sort [b 2 1.5 a]", "[1.5 2 a b]"},
        {"sort/stable [\"b\" \"A\" \"a\"]", "[\"A\" \"a\" \"b\"]"},
        {"sort/case [\"b\" \"a\" \"A\"]", "[\"A\" \"a\" \"b\"]"},
        {"sort/skip [b 2 a 1] 2", "[a 1 b 2]"},
        {"sort/skip [b 2 a 1 c] 2", "error invalid-refine-arg"},
        {"sort/skip [b 2] 3", "error invalid-refine-arg"},
        {"sort/skip [b 2] 0", "error invalid-refine-arg"},
        {"sort/all [b a]", "error bad-refines"},
        {"sort/skip/compare [a 3 b 1 c 2] 2 2", "[b 1 c 2 a 3]"},
        {"sort/skip/compare [a 3] 2 3", "error out-of-range"},
        {"sort/compare [a 3] 1", "error bad-refines"},
        {"sort/skip/all/compare [a 3] 2 1", "error bad-refines"},
        {"sort/compare [1 2] 'x", "error expect-arg"},
        {"sort/skip/all [b 2 a 9 a 1] 2", "[a 1 a 9 b 2]"},
        {"sort/skip/all/reverse [b 2 a 9 a 1] 2", "[b 2 a 9 a 1]"},
        {"sort/stable/skip/compare [1 b 0 a 1 a 0 b] 2 1", "[0 a 0 b 1 b 1 a]"},
        {"sort/part [3 2 1] 2", "[2 3 1]"},
        {"b: [5 4 3 2 1] sort/part skip b 3 -2 b", "[5 3 4 2 1]"},
        {"b: [3 2 1] sort/part next b -5 b", "[3 2 1]"},
        {"b: [4 3 2 1] sort/part b skip b 3 b", "[2 3 4 1]"},
        {"b: [3 1 2] sort next b b", "[3 1 2]"},
        {"sort/compare [3 1 2] func [a b][a < b]", "[1 2 3]"},
        {"sort/compare/reverse [3 1 2] func [a b][a < b]", "[3 2 1]"},
        {"sort/compare [3 1 2] func [a b][a - b]", "[1 2 3]"},
        {"sort/compare [3 1 2] func [a b /local c][c: a c < b]", "[1 2 3]"},
        {"sort/skip/all/compare [2 a 1 b] 2 func [x y][x/1 < y/1]", "[1 b 2 a]"},
        {"sort/stable/compare [3 1 2] func [a b][a < b]", "[1 2 3]"},
        {"sort/compare [2 1] func [a b][1 / 0]", "error zero-divide"},
        {"b: [2 1] try [sort/compare b func [a b][1 / 0]] b", "[2 1]"},
        {"blk: [3 1 2] sort/compare blk func [x y][clear blk true] blk", "[]"},
    });
}

TEST_F(BlockSearch, SetOperations) {
    check({
        {"unique [1 2 2 1]", "[1 2]"},
        {"unique []", "[]"},
        {"unique [\"a\" \"A\" \"b\"]", "[\"a\" \"b\"]"},
        {"unique/case [\"a\" \"A\" \"b\"]", "[\"a\" \"A\" \"b\"]"},
        {"unique [a A]", "[a]"},
        {"unique [[1] [1] [2]]", "[[1] [2]]"},
        {"union [a b] [b c]", "[a b c]"},
        {"intersect [a b c] [b c d]", "[b c]"},
        {"exclude [a b c] [b]", "[a c]"},
        {"difference [a b c] [b c d]", "[a d]"},
        {"unique/skip [a 1 a 2 b 3] 2", "[a 1 b 3]"},
        {"union/skip [a 1] [a 2 b 3] 2", "[a 1 b 3]"},
        {"unique/skip [a 1] 0", "error invalid-refine-arg"},
        {"intersect [[1] 2] [[1]]", "[[1]]"},
        {"exclude next [a b c] [c]", "[b]"},
        {"union [a] \"x\"", "error expect-val"},
        {"union \"ab\" \"bc\"", "\"abc\""},
        {"unique \"aAbB\"", "\"ab\""},
        {"union make hash! [a b] [c]", "make hash! [a b c]"},
        {"intersect [a b] make hash! [b]", "make hash! [b]"},
        {"find union/skip make hash! [a 1] [b 2] 2 2", "make hash! [2]"},
        {"union 1 2", "error expect-arg"},
    });
}

}  // namespace

namespace {

class TextSort : public search_cases::Fixture {};

TEST_F(TextSort, CompareFunction) {
    check({
        {"sort/compare \"cab\" func [x y][(to integer! x) < to integer! y]", "\"abc\""},
        {"sort/compare/reverse \"cab\" func [x y][(to integer! x) < to integer! y]", "\"cba\""},
        {"sort/compare \"cab\" func [x y][(to integer! x) - to integer! y]", "\"abc\""},
        {"sort/skip/compare \"b2a1\" 2 func [x y][(to integer! x) < to integer! y]", "\"a1b2\""},
        {"sort/skip/all/compare \"b2a1\" 2 func [x y][(length? x) < 0]", "\"b2a1\""},
        {"sort/skip/all/compare \"a2a1\" 2 func [x y][(to integer! pick x 2) < to integer! pick y 2]", "\"a1a2\""},
        {"sort/compare \"ba\" func [x y][1 / 0]", "error zero-divide"},
        {"s: \"ba\" try [sort/compare s func [x y][1 / 0]] s", "\"ba\""},
        {"sort/compare \"ba\" 'x", "error expect-arg"},
    });
}

TEST_F(TextSort, SetOperationsOfOtherTypes) {
    check({
        {"union make bitset! \"ab\" make bitset! \"bc\"", "make bitset! #{00000000000000000000000070}"},
        {"exclude make typeset! [integer! float!] make typeset! [float!]", "make typeset! [integer!]"},
        {"difference 1-Jan-2020 2-Jan-2020", "-24:00:00"},
        {"union 1-Jan-2020 2-Jan-2020", "error expect-arg"},
        {"intersect \"abc\" \"bcd\"", "\"bc\""},
        {"exclude \"abc\" \"b\"", "\"ac\""},
        {"difference \"abc\" \"bcd\"", "\"ad\""},
    });
}

}  // namespace
