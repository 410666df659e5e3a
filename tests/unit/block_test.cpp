// block!, paren! and the path family: storage growth and lookups, insertion
// and modification with /part /only /dup, mold layout, form, comparison
// codes, path steps, making and copying.
#include "blocks.h"

#include "datatypes/path.h"
#include "datatypes/typeset.h"
#include "runtime/collector.h"

namespace {

using blocks::of;
using blocks::whole;
using booted::call;
using booted::integer;
using booted::word;

class Blocks : public booted::Runtime {};

constexpr int32_t NONE = -99;  // a refinement not given

// Calls append, insert or change with the refinements that are not NONE.
Cell modify(uint32_t slot, Cell series, Cell value, int32_t part, bool only, int32_t dup) {
    std::vector<Cell> args{series, value};
    std::vector<int32_t> refs{-1, only ? 0 : -1, -1};
    if (part != NONE) { refs[0] = static_cast<int32_t>(args.size()); args.push_back(integer(part)); }
    if (dup != NONE) { refs[2] = static_cast<int32_t>(args.size()); args.push_back(integer(dup)); }
    stack::mark_native(nullptr);
    for (const Cell& a : args) stack::push(&a);
    Cell* base = stack::arguments;
    (void)actions::entry(slot)(false, refs.data());
    Cell r = *base;
    stack::unwind();
    return r;
}

TEST_F(Blocks, InsertAppendChange) {
    using namespace actions::slot;
    struct Case {
        uint32_t slot;
        const char* block;
        uint32_t from;
        const char* value;  // a block text, or a word after "'"
        uint32_t value_from;
        int32_t part;
        bool only;
        int32_t dup;
        const char* after;
        uint32_t index;  // of the result
    } cases[] = {
        {append, "a b", 0, "'c", 0, NONE, false, NONE, "[a b c]", 0},
        {append, "a b", 1, "'c", 0, NONE, false, NONE, "[a b c]", 0},
        {insert, "a b", 0, "'c", 0, NONE, false, NONE, "[c a b]", 1},
        {insert, "a b", 1, "x y", 0, NONE, false, NONE, "[a x y b]", 3},
        {append, "a", 0, "b c", 0, NONE, false, NONE, "[a b c]", 0},
        {append, "a", 0, "b c", 0, NONE, true, NONE, "[a [b c]]", 0},
        {append, "", 0, "'x", 0, NONE, false, 3, "[x x x]", 0},
        {append, "", 0, "'x", 0, NONE, false, 0, "[]", 0},
        {append, "", 0, "'x", 0, NONE, false, -1, "[]", 0},
        {insert, "a", 0, "x y", 0, NONE, false, 2, "[x y x y a]", 4},
        {append, "", 0, "a b c", 0, 2, false, NONE, "[a b]", 0},
        {append, "", 0, "a b c", 0, 0, false, NONE, "[]", 0},
        {append, "", 0, "a b c", 2, -1, false, NONE, "[b]", 0},
        {append, "", 0, "a b c", 2, -5, false, NONE, "[a b]", 0},
        {append, "a", 0, "", 0, NONE, false, NONE, "[a]", 0},
        {append, "a", 0, "", 0, NONE, true, NONE, "[a []]", 0},
        {append, "", 0, "'x", 0, NONE, false, 6, "[x x x x x x]", 0},
        {change, "a b c", 0, "'x", 0, NONE, false, NONE, "[x b c]", 1},
        {change, "a b c", 0, "'x", 0, 2, false, NONE, "[x c]", 1},
        {change, "a b c", 1, "'x", 0, 10, false, NONE, "[a x]", 2},
        {change, "a b c", 0, "w x y z", 0, NONE, false, NONE, "[w x y z]", 4},
        {change, "a b c", 0, "x y", 0, NONE, true, NONE, "[[x y] b c]", 1},
        {change, "a b c", 0, "'x", 0, NONE, false, 2, "[x x c]", 2},
        {change, "a b c", 0, "'x", 0, 1, false, 3, "[x x x b c]", 3},
        {change, "a b c", 0, "'x", 0, NONE, false, 0, "[a b c]", 0},
        {change, "a b c", 0, "", 0, 2, false, NONE, "[c]", 0},
        {change, "a b c", 0, "", 0, 0, false, NONE, "[a b c]", 0},
        {change, "a b c", 3, "x y", 0, NONE, false, NONE, "[a b c x y]", 5},
    };
    for (const Case& c : cases) {
        Cell b = blocks::at(of(c.block), c.from);
        Cell v = c.value[0] == '\'' ? word(c.value + 1) : blocks::at(of(c.value), c.value_from);
        Cell r = modify(c.slot, b, v, c.part, c.only, c.dup);
        EXPECT_EQ(whole(b), c.after) << actions::word_of(c.slot) << " " << c.block << " <- " << c.value;
        EXPECT_EQ(r.head(), c.index) << actions::word_of(c.slot) << " " << c.block << " <- " << c.value;
    }
    // A block appended to itself, and inserted into itself.
    Cell self = of("a b");
    modify(append, self, self, NONE, false, NONE);
    EXPECT_EQ(whole(self), "[a b a b]");
    Cell into = of("a b");
    modify(insert, blocks::at(into, 1), into, NONE, false, NONE);
    EXPECT_EQ(whole(into), "[a a b b]");
    Cell changed = of("a b c");
    Cell r = modify(change, blocks::at(changed, 1), changed, NONE, false, NONE);
    EXPECT_EQ(whole(changed), "[a a b c]");
    EXPECT_EQ(r.head(), 4u);
    Cell grown = of("a b c d");  // full: the change grows it while reading itself
    modify(change, blocks::at(grown, 4), grown, NONE, false, 3);
    EXPECT_EQ(whole(grown), "[a b c d a b c d a b c d a b c d]");
    // /part on a value that is not a series.
    EXPECT_FIRES(modify(append, of(""), word("x"), 1, false, NONE), err::INVALID_PART);
}

TEST_F(Blocks, StorageGrowthAndLookups) {
    Cell b = of("a b c d");
    SeriesBuffer* s = series_of(&b);
    ASSERT_EQ(s->size, 64u);
    block::insert_value(&b, &b, false, true);
    EXPECT_EQ(series_of(&b)->size, 160u);  // twice the 80 bytes needed
    Cell k = word("k");
    Cell kv = of("k v K2 v2 last:");
    Cell upper = word("K");
    EXPECT_EQ(block::select_word(&kv, &upper, false)->symbol(), word("v").symbol());
    EXPECT_EQ(block::select_word(&kv, &upper, true), &block::none_cell);
    Cell last = word("last");
    EXPECT_EQ(block::select_word(&kv, &last, false), &block::none_cell);
    EXPECT_EQ(block::remove_value(&kv, &k, false) != 0, true);
    EXPECT_EQ(whole(kv), "[v K2 v2 last:]");
    EXPECT_EQ(block::remove_value(&kv, &k, false), 0u);
    // rs_next moves to the tail and stays there.
    Cell one = of("a");
    EXPECT_TRUE(block::rs_next(&one));
    EXPECT_TRUE(block::rs_next(&one));
    EXPECT_EQ(one.head(), 1u);
    block::rs_remove_last(&one);
    EXPECT_EQ(one.head(), 0u);
    // Clones: an empty one has room for a cell; nested blocks keep their
    // new-line marker, the outer one has none.
    Cell empty = *block::clone(block::make_at(stack::push_slot(), 1), false, false);
    EXPECT_EQ(series_of(&empty)->size, 16u);
    Cell nested = of("~[a] ~(b)");
    nested.header |= FLAG_NEW_LINE;
    Cell deep = *block::clone(&nested, true, true);
    EXPECT_EQ(deep.header, static_cast<uint32_t>(TYPE_BLOCK));
    Cell* cells = block::rs_clamp_head(&deep);
    EXPECT_TRUE(cells[0].new_line());
    EXPECT_NE(cells[0].node(), block::rs_clamp_head(&nested)[0].node());
    EXPECT_NE(cells[1].node(), block::rs_clamp_head(&nested)[1].node());
    Cell shallow_paren = *block::clone(&nested, true, false);
    EXPECT_EQ(block::rs_clamp_head(&shallow_paren)[1].node(), block::rs_clamp_head(&nested)[1].node());
}

TEST_F(Blocks, MoldLaysOutNewLineMarkers) {
    struct Case {
        const char* block;
        std::vector<int32_t> refs;  // /only /all /flat /part
        std::vector<Cell> more;
        const char* molded;
    } cases[] = {
        {"~a", {}, {}, "[\n    a\n]"},
        {"~a", {-1, -1, 0}, {}, "[a]"},
        {"~a", {0}, {}, "a"},
        {"a ~b c", {}, {}, "[a\nb c]"},
        {"~a [~b ~c] d", {}, {}, "[\n    a [\n        b\n        c\n    ] d\n]"},
        {"~a [~b ~c] d", {-1, -1, 0}, {}, "[a [b c] d]"},
        {"a [b [c]] (d ~e)", {}, {}, "[a [b [c]] (d\ne)]"},
        {"a b c", {-1, -1, -1, 1}, {integer(5)}, "[a b "},
        {"a b c", {-1, -1, -1, 1}, {integer(0)}, ""},
        {"abc def", {-1, -1, -1, 1}, {integer(3)}, "[ab"},
        {"none true false", {}, {}, "[none true false]"},
        {"none true false", {-1, 0}, {}, "[#(none) #(true) #(false)]"},
        {"a/b 'a/b :a/b a/b:", {}, {}, "[a/b 'a/b :a/b a/b:]"},
        {"", {}, {}, "[]"},
    };
    for (const Case& c : cases) EXPECT_EQ(blocks::text(of(c.block), c.refs, c.more), c.molded) << c.block;
    EXPECT_EQ(blocks::mold(of("a b", TYPE_PAREN)), "(a b)");
    EXPECT_EQ(blocks::text(of("a b", TYPE_PAREN), {0}), "a b");
    EXPECT_EQ(blocks::mold(blocks::at(of("a b c"), 1)), "[b c]");
    // A block that holds itself.
    Cell self = of("a");
    block::rs_append(&self, &self);
    EXPECT_EQ(blocks::mold(self), "[a [...]]");
    EXPECT_EQ(blocks::form(self), "a ...");
    Cell paren = of("a", TYPE_PAREN);
    block::rs_append(&paren, &paren);
    EXPECT_EQ(blocks::mold(paren), "(a (...))");
    EXPECT_EQ(cycles::size(), 0u);
}

TEST_F(Blocks, FormSpacesValues) {
    Cell line = word("x\n");
    Cell b = of("a [b c] [] d");
    EXPECT_EQ(blocks::form(b), "a b c  d");
    Cell after = of("");
    block::rs_append(&after, &line);
    Cell y = word("y");
    block::rs_append(&after, &y);
    EXPECT_EQ(blocks::form(after), "x\ny");
    Cell r = call(actions::slot::form, {of("ab cd ef"), integer(4)}, {1});
    EXPECT_EQ(booted::text_of(&r), "ab c");
    // Paths: "/" between the elements, for form and mold alike.
    EXPECT_EQ(blocks::form(of("a b", TYPE_LIT_PATH)), "a/b");
    EXPECT_EQ(blocks::mold(of("a b", TYPE_SET_PATH)), "a/b:");
    EXPECT_EQ(blocks::mold(of("a b", TYPE_LIT_PATH)), "'a/b");
    EXPECT_EQ(blocks::mold(of("a b", TYPE_GET_PATH)), ":a/b");
    EXPECT_EQ(blocks::mold(of("a ~[b] (c)", TYPE_PATH)), "a/[b]/(c)");
    Cell p = call(actions::slot::form, {of("ab cd ef", TYPE_PATH), integer(4)}, {1});
    EXPECT_EQ(booted::text_of(&p), "ab/c");
}

TEST_F(Blocks, CompareElementWise) {
    using namespace actions;
    struct Case {
        const char* a;
        const char* b;
        int32_t op;
        bool result;
    } cases[] = {
        {"a b", "a b", COMP_EQUAL, true},        {"a b", "a B", COMP_EQUAL, true},
        {"a b", "a B", COMP_STRICT_EQUAL, false}, {"a b", "a b", COMP_STRICT_EQUAL, true},
        {"a b", "a b c", COMP_EQUAL, false},     {"a b", "a b c", COMP_NOT_EQUAL, true},
        {"a b", "a b c", COMP_LESSER, true},     {"", "a", COMP_LESSER, true},
        {"a", "", COMP_GREATER, true},           {"", "", COMP_EQUAL, true},
        {"a", "[a]", COMP_GREATER, true},        {"[a]", "a", COMP_LESSER, true},
        {"a c", "a b", COMP_GREATER, true},      {"a b", "a b", COMP_SAME, false},
        {"[a b] c", "[a b] c", COMP_EQUAL, true}, {"[a b] c", "[a c] c", COMP_LESSER, true},
        {"a 'b", "a b", COMP_EQUAL, true},      {"none", "none", COMP_EQUAL, true},
    };
    for (const Case& c : cases) {
        Cell a = of(c.a), b = of(c.b);
        EXPECT_EQ(compare_star(&a, &b, c.op), c.result) << "[" << c.a << "] " << c.op << " [" << c.b << "]";
    }
    Cell b = of("a b");
    Cell same = b;
    EXPECT_TRUE(compare_star(&b, &same, COMP_SAME));
    EXPECT_TRUE(compare_star(&b, &same, COMP_LESSER_EQUAL));
    Cell paren = of("a b", TYPE_PAREN);
    EXPECT_FALSE(compare_star(&b, &paren, COMP_EQUAL));
    EXPECT_FIRES(compare_star(&b, &paren, COMP_LESSER), err::INVALID_COMPARE);
    Cell path = of("a b", TYPE_PATH), lit = of("a b", TYPE_LIT_PATH);
    EXPECT_FALSE(compare_star(&path, &lit, COMP_EQUAL));
    EXPECT_TRUE(compare_star(&path, &lit, COMP_EQUAL_WORD));
    EXPECT_TRUE(compare_star(&path, &lit, COMP_STRICT_EQUAL_WORD));
    // Two blocks that hold themselves.
    Cell s1 = of("a"), s2 = of("a");
    block::rs_append(&s1, &s1);
    block::rs_append(&s2, &s2);
    EXPECT_TRUE(compare_star(&s1, &s2, COMP_EQUAL));
    Cell s3 = of("b");
    block::rs_append(&s3, &s3);
    EXPECT_TRUE(compare_star(&s1, &s3, COMP_LESSER));
    EXPECT_EQ(cycles::size(), 0u);
}

TEST_F(Blocks, PathStepsOnBlocks) {
    Cell b = of("k1 v1 k2: v2 [x] v3 last");
    auto get = [&](Cell element, bool case_ = false) {
        return *actions::eval_path(&b, &element, nullptr, nullptr, nullptr, nullptr, 0, case_, true, true);
    };
    EXPECT_EQ(get(integer(2)).symbol(), word("v1").symbol());
    EXPECT_EQ(get(integer(0)).type(), static_cast<uint32_t>(TYPE_NONE));
    EXPECT_EQ(get(integer(9)).type(), static_cast<uint32_t>(TYPE_NONE));
    EXPECT_EQ(get(word("k2")).symbol(), word("v2").symbol());
    EXPECT_EQ(get(word("K1")).symbol(), word("v1").symbol());
    EXPECT_EQ(get(word("K1"), true).type(), static_cast<uint32_t>(TYPE_NONE));
    EXPECT_EQ(get(word("last")).type(), static_cast<uint32_t>(TYPE_NONE));
    EXPECT_EQ(get(word("nowhere")).type(), static_cast<uint32_t>(TYPE_NONE));
    EXPECT_EQ(get(of("x")).symbol(), word("v3").symbol());
    Cell x = word("new");
    Cell k1 = word("k1");
    Cell r = *actions::eval_path(&b, &k1, &x, nullptr, nullptr, nullptr, 0, false, false, true);
    EXPECT_EQ(r.symbol(), x.symbol());
    Cell three = integer(3);
    actions::eval_path(&b, &three, &x, nullptr, nullptr, nullptr, 0, false, false, true);
    EXPECT_EQ(whole(b), "[k1 new new v2 [x] v3 last]");
    Cell nine = integer(9);
    EXPECT_FIRES(actions::eval_path(&b, &nine, &x, nullptr, nullptr, nullptr, 0, false, false, true),
                 err::OUT_OF_RANGE);
    Cell missing = word("missing");
    EXPECT_FIRES(actions::eval_path(&b, &missing, &x, nullptr, nullptr, nullptr, 0, false, false, true),
                 err::BAD_PATH_SET);
    Cell last = word("last");
    EXPECT_FIRES(actions::eval_path(&b, &last, &x, nullptr, nullptr, nullptr, 0, false, false, true),
                 err::OUT_OF_RANGE);
}

TEST_F(Blocks, MakeToCopy) {
    using booted::dtype;
    Cell spec = blocks::at(of("a b c"), 1);
    Cell made = call(actions::slot::make, {dtype(TYPE_BLOCK), spec});
    EXPECT_EQ(blocks::mold(made), "[b c]");
    EXPECT_NE(made.node(), spec.node());
    EXPECT_EQ(blocks::mold(call(actions::slot::make, {dtype(TYPE_PAREN), spec})), "(b c)");
    Cell sized = call(actions::slot::make, {dtype(TYPE_BLOCK), integer(0)});
    EXPECT_EQ(blocks::mold(sized), "[]");
    EXPECT_EQ(series_of(&sized)->size, 16u);
    Cell f{TYPE_FLOAT, 0, 0, 0};
    f.set_float(3.9);
    EXPECT_EQ(series_of(&(sized = call(actions::slot::make, {dtype(TYPE_BLOCK), f})))->size, 48u);
    f.set_float(1e12);
    EXPECT_FIRES(call(actions::slot::make, {dtype(TYPE_BLOCK), f}), err::OUT_OF_RANGE);
    EXPECT_FIRES(call(actions::slot::make, {dtype(TYPE_BLOCK), word("a")}), err::BAD_MAKE_ARG);
    EXPECT_EQ(blocks::mold(call(actions::slot::to, {dtype(TYPE_BLOCK), word("a")})), "[a]");
    Cell text = *string::rs_make_at(stack::push_slot(), 8);
    string::concatenate_literal(&text, "1 [a] b");
    EXPECT_EQ(blocks::mold(call(actions::slot::to, {dtype(TYPE_PAREN), text})), "(1 [a] b)");
    EXPECT_EQ(blocks::mold(call(actions::slot::to, {dtype(TYPE_BLOCK), of("a b", TYPE_PATH)})), "[a b]");
    Cell ts{TYPE_TYPESET, 0, 0, 0};
    typeset::set_bit(&ts, TYPE_NONE);
    Cell types = call(actions::slot::to, {dtype(TYPE_BLOCK), ts});
    EXPECT_EQ(blocks::mold(types), "[none!]");
    // The path family.
    EXPECT_EQ(blocks::mold(call(actions::slot::make, {dtype(TYPE_SET_PATH), of("a b")})), "a/b:");
    Cell empty = call(actions::slot::make, {dtype(TYPE_PATH), integer(0)});
    EXPECT_EQ(empty.type(), static_cast<uint32_t>(TYPE_PATH));
    EXPECT_EQ(block::rs_length_q(&empty), 0u);
    EXPECT_FIRES(call(actions::slot::make, {dtype(TYPE_PATH), word("a")}), err::BAD_MAKE_ARG);
    Cell one = call(actions::slot::to, {dtype(TYPE_PATH), ts});
    EXPECT_EQ(one.type(), static_cast<uint32_t>(TYPE_PATH));
    EXPECT_EQ(block::rs_length_q(&one), 1u);
    EXPECT_FIRES(call(actions::slot::sort, {of("a b", TYPE_PATH)}), err::EXPECT_ARG);
    EXPECT_FIRES(call(actions::slot::trim, {of("a b", TYPE_PAREN)}), err::EXPECT_ARG);

    // copy/deep makes nested series of their own; a block holding itself
    // cannot be copied deep.
    Cell nested = of("a [b [c]] d", TYPE_PATH);
    Cell deep = call(actions::slot::copy, {nested}, {-1, 0});
    EXPECT_EQ(deep.type(), static_cast<uint32_t>(TYPE_PATH));
    EXPECT_EQ(blocks::mold(deep), "a/[b [c]]/d");
    Cell inner = block::rs_clamp_head(&deep)[1];
    EXPECT_NE(inner.node(), block::rs_clamp_head(&nested)[1].node());
    EXPECT_NE(block::rs_clamp_head(&inner)[1].node(), block::rs_clamp_head(&block::rs_clamp_head(&nested)[1])[1].node());
    Cell shallow = call(actions::slot::copy, {nested});
    EXPECT_EQ(block::rs_clamp_head(&shallow)[1].node(), block::rs_clamp_head(&nested)[1].node());
    Cell self = of("a");
    block::rs_append(&self, &self);
    EXPECT_FIRES(call(actions::slot::copy, {self}, {-1, 0}), err::NO_CYCLE);
    // /types copies only the nested values of the given types.
    Cell src = of("[a] (b)");
    Cell typed = call(actions::slot::copy, {src, dtype(TYPE_PAREN)}, {-1, -1, 1});
    EXPECT_EQ(blocks::mold(typed), "[[a] (b)]");
    EXPECT_EQ(block::rs_clamp_head(&typed)[0].node(), block::rs_clamp_head(&src)[0].node());
    EXPECT_NE(block::rs_clamp_head(&typed)[1].node(), block::rs_clamp_head(&src)[1].node());
}

// The insertion, copy and text paths read their buffers again after every
// allocation: run them with a moving collection at each one.
TEST_F(Blocks, OperationsSurviveACollectionAtEveryAllocation) {
    Cell b = of("a [b ~c] (d) e/f");
    Cell other = of("x y");
    Cell g = word("g"), w = word("w");  // new global words are made before the stress begins
    uint32_t cycles = collector::cycles;
    collector::stress = true;
    collector::active = 1;
    modify(actions::slot::append, b, g, NONE, false, 3);
    modify(actions::slot::insert, blocks::at(b, 1), b, NONE, false, NONE);
    modify(actions::slot::change, blocks::at(b, 2), other, NONE, false, 2);
    Cell deep = call(actions::slot::copy, {b}, {-1, 0});
    Cell taken = call(actions::slot::take, {blocks::at(deep, 1), integer(2)}, {1, -1, -1});
    call(actions::slot::move, {other, blocks::at(deep, 1), integer(1)}, {2});
    Cell cloned = *block::clone(&b, true, true);
    Cell molded = call(actions::slot::mold, {deep});
    Cell made = call(actions::slot::to, {booted::dtype(TYPE_BLOCK), w});
    collector::active = 0;
    collector::stress = false;
    EXPECT_GT(collector::cycles - cycles, 10u);
    EXPECT_EQ(whole(b), "[a a x y x y g g [b\nc] (d) e/f g g g]");
    EXPECT_EQ(whole(cloned), whole(b));
    EXPECT_EQ(blocks::mold(taken), "[a x]");
    EXPECT_EQ(booted::text_of(&molded), "[a x y x y g g [b\nc] (d) e/f g g g]");
    EXPECT_EQ(whole(other), "[y]");
    EXPECT_EQ(blocks::mold(made), "[w]");
}

TEST_F(Blocks, TakeSwapTrim) {
    Cell b = of("[a] b c");
    Cell first = call(actions::slot::take, {b}, {-1, 0});  // /deep
    EXPECT_EQ(blocks::mold(first), "[a]");
    EXPECT_EQ(whole(b), "[b c]");
    Cell t = of("a none b none none");
    call(actions::slot::trim, {blocks::at(t, 1)});
    EXPECT_EQ(whole(t), "[a b]");
}

}  // namespace

namespace {

class BlocksOfNumbers : public booted::Runtime {
protected:
    static Cell ints(std::initializer_list<int32_t> ns) {
        Cell b = *block::make_at(stack::push_slot(), 4);
        for (int32_t n : ns) {
            Cell c = integer(n);
            block::rs_append(&b, &c);
        }
        return b;
    }
};

TEST_F(BlocksOfNumbers, AppendInsertCompareAndPaths) {
    Cell b = ints({1, 2});
    Cell r = call(actions::slot::append, {b, integer(3)});
    EXPECT_EQ(blocks::mold(r), "[1 2 3]");
    Cell i = ints({1, 2});
    r = call(actions::slot::insert, {i, integer(3)});
    EXPECT_EQ(blocks::mold(r), "[1 2]");
    EXPECT_EQ(whole(i), "[3 1 2]");
    EXPECT_EQ(blocks::form(ints({1, -2, 30})), "1 -2 30");
    Cell a = ints({1, 2}), c = ints({1, 2, 3});
    EXPECT_FALSE(actions::compare_star(&a, &c, actions::COMP_EQUAL));
    EXPECT_TRUE(actions::compare_star(&a, &c, actions::COMP_LESSER));
    Cell f = *block::make_at(stack::push_slot(), 2);
    Cell one{TYPE_FLOAT, 0, 0, 0};
    one.set_float(1.0);
    block::rs_append(&f, &one);
    Cell just1 = ints({1});
    EXPECT_TRUE(actions::compare_star(&just1, &f, actions::COMP_EQUAL));
    Cell two = integer(2);
    EXPECT_EQ(actions::eval_path(&c, &two, nullptr, nullptr, nullptr, nullptr, 0, false, true, true)->int_value(), 2);
    Cell made = call(actions::slot::make, {booted::dtype(TYPE_BLOCK), integer(5)});
    EXPECT_EQ(series_of(&made)->size, 80u);
}

}  // namespace
