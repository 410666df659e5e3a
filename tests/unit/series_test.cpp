// The shared series actions on blocks: cursor moves at the ends and with
// stale indexes, pick and poke ranges, copy/part, take, remove, reverse,
// move and swap, random.
#include "blocks.h"

#include "datatypes/series.h"
#include "runtime/rng.h"

namespace {

using actions::slot::at;
using blocks::of;
using blocks::whole;
using booted::call;
using booted::integer;

class Series : public booted::Runtime {};

constexpr int32_t NONE = -99;  // a none! result

TEST_F(Series, CursorMovesStopAtTheEnds) {
    struct Case {
        uint32_t slot;
        uint32_t from;
        int32_t arg;
        uint32_t index;
    } cases[] = {
        {actions::slot::at, 2, 0, 2},     {actions::slot::at, 2, 1, 2},    {actions::slot::at, 2, -1, 1},
        {actions::slot::at, 2, 2, 3},     {actions::slot::at, 2, 10, 5},   {actions::slot::at, 2, -10, 0},
        {actions::slot::skip, 2, 2, 4},   {actions::slot::skip, 2, 10, 5}, {actions::slot::skip, 2, -1, 1},
        {actions::slot::skip, 2, -10, 0}, {actions::slot::skip, 2, 0, 2},  {actions::slot::next, 4, 0, 5},
        {actions::slot::next, 5, 0, 5},   {actions::slot::back, 0, 0, 0},  {actions::slot::back, 1, 0, 0},
        {actions::slot::head, 3, 0, 0},   {actions::slot::tail, 1, 0, 5},
    };
    Cell b = of("a b c d e");
    for (const Case& c : cases) {
        bool two = c.slot == actions::slot::at || c.slot == actions::slot::skip;
        Cell r = two ? call(c.slot, {blocks::at(b, c.from), integer(c.arg)}) : call(c.slot, {blocks::at(b, c.from)});
        EXPECT_EQ(r.head(), c.index) << actions::word_of(c.slot) << " from " << c.from << " by " << c.arg;
    }
    EXPECT_FIRES(call(actions::slot::at, {b, booted::none()}), err::INVALID_ARG);
    EXPECT_EQ(call(actions::slot::head_q, {b}).data1, 1u);
    EXPECT_EQ(call(actions::slot::tail_q, {blocks::at(b, 5)}).data1, 1u);
    EXPECT_EQ(call(actions::slot::index_q, {blocks::at(b, 3)}).int_value(), 4);
    EXPECT_EQ(call(actions::slot::length_q, {blocks::at(b, 3)}).int_value(), 2);
}

TEST_F(Series, AnIndexPastAShortenedTailIsClamped) {
    Cell b = of("a b c d e");
    Cell stale = blocks::at(b, 4);
    call(actions::slot::clear, {blocks::at(b, 2)});
    EXPECT_EQ(whole(b), "[a b]");
    // index? reports the stored index; everything else sees the tail.
    EXPECT_EQ(call(actions::slot::index_q, {stale}).int_value(), 5);
    EXPECT_EQ(call(actions::slot::length_q, {stale}).int_value(), 0);
    EXPECT_EQ(call(actions::slot::tail_q, {stale}).data1, 1u);
    EXPECT_EQ(call(actions::slot::next, {stale}).head(), 2u);
    EXPECT_EQ(call(actions::slot::back, {stale}).head(), 1u);
    EXPECT_EQ(call(actions::slot::skip, {stale, integer(-1)}).head(), 1u);
    EXPECT_EQ(call(actions::slot::pick, {stale, integer(1)}).type(), static_cast<uint32_t>(TYPE_NONE));
    EXPECT_EQ(call(actions::slot::pick, {stale, integer(-1)}).symbol(), booted::word("b").symbol());
    EXPECT_FIRES(call(actions::slot::poke, {stale, integer(1), booted::word("x")}), err::OUT_OF_RANGE);
    EXPECT_EQ(call(actions::slot::take, {stale}).type(), static_cast<uint32_t>(TYPE_NONE));
    EXPECT_EQ(blocks::mold(call(actions::slot::copy, {stale})), "[]");
    EXPECT_EQ(call(actions::slot::remove, {stale}).head(), 2u);
    EXPECT_EQ(whole(b), "[a b]");
    // Storage: rs_tail? is exact until rs_head has clamped the index.
    EXPECT_FALSE(block::rs_tail_q(&stale));
    EXPECT_EQ(block::rs_length_signed(&stale), -2);
    EXPECT_EQ(block::rs_clamp_head(&stale), block::rs_tail(&stale));
    EXPECT_TRUE(block::rs_tail_q(&stale));
    call(actions::slot::insert, {blocks::at(b, 4), booted::word("x")});
    EXPECT_EQ(whole(b), "[a b x]");
}

TEST_F(Series, PickAndPokeCountFromTheIndex) {
    struct Case {
        int32_t n;
        const char* picked;  // null: none!
    } cases[] = {{1, "c"}, {0, nullptr}, {-1, "b"}, {-2, "a"}, {-3, nullptr}, {3, "e"}, {4, nullptr}};
    Cell b = blocks::at(of("a b c d e"), 2);
    for (const Case& c : cases) {
        Cell r = call(actions::slot::pick, {b, integer(c.n)});
        if (!c.picked) {
            EXPECT_EQ(r.type(), static_cast<uint32_t>(TYPE_NONE)) << c.n;
            EXPECT_FIRES(call(actions::slot::poke, {b, integer(c.n), booted::word("x")}), err::OUT_OF_RANGE);
        } else {
            EXPECT_EQ(r.symbol(), booted::word(c.picked).symbol()) << c.n;
        }
    }
    Cell r = call(actions::slot::poke, {b, integer(-1), booted::word("x")});
    EXPECT_EQ(r.symbol(), booted::word("x").symbol());
    EXPECT_EQ(whole(b), "[a x c d e]");
}

TEST_F(Series, CopyPart) {
    Cell b = blocks::at(of("a b c d e"), 2);
    Cell other = of("a b");
    struct Case {
        Cell part;
        const char* copied;
    } cases[] = {
        {integer(2), "[c d]"},  {integer(-1), "[b]"},       {integer(-5), "[a b]"},
        {integer(10), "[c d e]"}, {integer(0), "[]"},        {Cell{TYPE_PAIR, 0, 2, 4}, "[d e]"},
        {Cell{TYPE_PAIR, 0, 4, 2}, "[]"}, {blocks::at(b, 4), "[c d]"}, {blocks::at(b, 0), "[a b]"},
    };
    for (const Case& c : cases) {
        Cell r = call(actions::slot::copy, {b, c.part}, {1});
        EXPECT_EQ(blocks::mold(r), c.copied);
        EXPECT_EQ(r.head(), 0u);
    }
    EXPECT_FIRES(call(actions::slot::copy, {b, other}, {1}), err::INVALID_REFINE_ARG);
    EXPECT_EQ(whole(b), "[a b c d e]");
}

TEST_F(Series, TakeFromEitherEnd) {
    struct Case {
        uint32_t from;
        int32_t part;  // NONE: no /part
        bool last;
        const char* taken;
        const char* left;
    } cases[] = {
        {0, NONE, false, "a", "[b c]"},         {0, NONE, true, "c", "[a b]"},
        {0, 2, false, "[a b]", "[c]"},         {0, 2, true, "[b c]", "[a]"},
        {1, -1, false, "[a]", "[b c]"},        {1, -1, true, "[c]", "[a b]"},
        {0, 10, false, "[a b c]", "[]"},       {3, NONE, false, "none", "[a b c]"},
        {0, 0, false, "[]", "[a b c]"},
    };
    for (const Case& c : cases) {
        Cell b = blocks::at(of("a b c"), c.from);
        std::vector<int32_t> refs{c.part == NONE ? -1 : 1, -1, c.last ? 0 : -1};
        Cell r = c.part == NONE ? call(actions::slot::take, {b}, refs)
                                : call(actions::slot::take, {b, integer(c.part)}, refs);
        EXPECT_EQ(blocks::mold(r), c.taken) << c.from << " " << c.part << " " << c.last;
        EXPECT_EQ(whole(b), c.left);
    }
}

TEST_F(Series, RemoveAndReverse) {
    struct Case {
        uint32_t slot;
        const char* block;
        int32_t part, skip;
        const char* after;
    } cases[] = {
        {actions::slot::remove, "a b c", NONE, NONE, "[b c]"},
        {actions::slot::remove, "a b c", 2, NONE, "[c]"},
        {actions::slot::remove, "a b c", 10, NONE, "[]"},
        {actions::slot::remove, "a b c", 0, NONE, "[a b c]"},
        {actions::slot::reverse, "a b c d e", NONE, NONE, "[e d c b a]"},
        {actions::slot::reverse, "a b c d e", 2, NONE, "[b a c d e]"},
        {actions::slot::reverse, "a b c d e", 0, NONE, "[a b c d e]"},
        {actions::slot::reverse, "a b c d", NONE, 2, "[c d a b]"},
        {actions::slot::reverse, "a b c d e f", NONE, 3, "[d e f a b c]"},
        {actions::slot::reverse, "a b", NONE, 2, "[a b]"},
    };
    for (const Case& c : cases) {
        Cell b = of(c.block);
        std::vector<Cell> args{b};
        std::vector<int32_t> refs{-1, -1};
        if (c.part != NONE) { refs[0] = static_cast<int32_t>(args.size()); args.push_back(integer(c.part)); }
        if (c.skip != NONE) { refs[1] = static_cast<int32_t>(args.size()); args.push_back(integer(c.skip)); }
        stack::mark_native(nullptr);
        for (const Cell& a : args) stack::push(&a);
        (void)actions::entry(c.slot)(false, refs.data());
        stack::unwind();
        EXPECT_EQ(whole(b), c.after) << c.block << " " << c.part << " " << c.skip;
    }
    Cell abc = of("a b c");
    EXPECT_FIRES(call(actions::slot::reverse, {abc, integer(2)}, {-1, 1}), err::INVALID_REFINE_ARG);
    EXPECT_FIRES(call(actions::slot::reverse, {abc, integer(0)}, {-1, 1}), err::OUT_OF_RANGE);
    EXPECT_FIRES(call(actions::slot::remove, {abc, booted::none()}, {1}), err::INVALID_REFINE_ARG);
    // /key removes the key and the value after it; a missing key gives none.
    Cell kv = of("a b c d");
    call(actions::slot::remove, {kv, booted::word("b")}, {-1, 1});
    EXPECT_EQ(whole(kv), "[a d]");
    EXPECT_EQ(call(actions::slot::remove, {kv, booted::word("z")}, {-1, 1}).type(),
              static_cast<uint32_t>(TYPE_NONE));
}

TEST_F(Series, MoveWithinAndAcrossBlocks) {
    struct Case {
        const char* block;
        uint32_t origin, target;
        int32_t part;
        const char* after;
    } within[] = {
        {"a b c d e", 0, 2, NONE, "[b c a d e]"}, {"a b c d e", 3, 0, NONE, "[d a b c e]"},
        {"a b c d e", 0, 5, NONE, "[b c d e a]"}, {"a b c d e", 0, 3, 2, "[c d a b e]"},
        {"a b c d e", 1, 1, NONE, "[a b c d e]"}, {"a b c d e", 0, 4, 2, "[a b c d e]"},
        {"a b c d e", 3, 1, 2, "[a d e b c]"},
        // A target among the moved elements changes nothing.
        {"a b c d e", 0, 1, 3, "[a b c d e]"}, {"a b c d e", 0, 1, 4, "[a b c d e]"},
        {"a b c d e", 1, 2, 3, "[a b c d e]"}, {"a b c d e", 0, 2, 3, "[a b c d e]"},
    };
    for (const Case& c : within) {
        Cell b = of(c.block);
        if (c.part == NONE)
            call(actions::slot::move, {blocks::at(b, c.origin), blocks::at(b, c.target)});
        else
            call(actions::slot::move, {blocks::at(b, c.origin), blocks::at(b, c.target), integer(c.part)}, {2});
        EXPECT_EQ(whole(b), c.after) << c.origin << " -> " << c.target << " part " << c.part;
    }
    Cell from = of("a b c");
    Cell to = of("x y");
    Cell r = call(actions::slot::move, {from, blocks::at(to, 1), integer(2)}, {2});
    EXPECT_EQ(r.node(), to.node());
    EXPECT_EQ(whole(from), "[c]");
    EXPECT_EQ(whole(to), "[x a b y]");
    call(actions::slot::move, {from, blocks::at(to, 4)});
    EXPECT_EQ(whole(from), "[]");
    EXPECT_EQ(whole(to), "[x a b y c]");
    EXPECT_FIRES(call(actions::slot::move, {booted::none(), to}), err::EXPECT_ARG);

    Cell s1 = of("a b");
    Cell s2 = of("x y");
    call(actions::slot::swap, {s1, blocks::at(s2, 1)});
    EXPECT_EQ(whole(s1), "[y b]");
    EXPECT_EQ(whole(s2), "[x a]");
    call(actions::slot::swap, {blocks::at(s1, 2), s2});  // at the tail: nothing
    EXPECT_EQ(whole(s2), "[x a]");
    EXPECT_FIRES(call(actions::slot::swap, {s1, booted::none()}), err::INVALID_ARG);
}

TEST_F(Series, RandomShufflesPicksAndSeeds) {
    Cell seed = of("s e e d");
    EXPECT_EQ(call(actions::slot::random, {seed}, {0, -1, -1}).type(), static_cast<uint32_t>(TYPE_UNSET));
    Cell b1 = of("a b c d e f g h");
    call(actions::slot::random, {b1});
    call(actions::slot::random, {seed}, {0, -1, -1});
    Cell b2 = of("a b c d e f g h");
    call(actions::slot::random, {b2});
    EXPECT_EQ(whole(b1), whole(b2));  // the same seed, the same shuffle
    // A shuffle keeps every element.
    Cell sorted = of("a b c d e f g h");
    for (const char* w : {"a", "b", "c", "d", "e", "f", "g", "h"}) {
        Cell key = booted::word(w);
        EXPECT_GE(block::find_one(&b1, &key, true), 0) << w;
    }
    EXPECT_EQ(block::rs_length_q(&b1), block::rs_length_q(&sorted));
    EXPECT_EQ(call(actions::slot::random, {of("")}, {-1, -1, 0}).type(), static_cast<uint32_t>(TYPE_NONE));
    EXPECT_EQ(call(actions::slot::random, {of("a")}, {-1, -1, 0}).symbol(), booted::word("a").symbol());
    for (int i = 0; i < 20; ++i) {
        Cell r = call(actions::slot::random, {of("a b c")}, {-1, -1, 0});
        EXPECT_EQ(r.type(), static_cast<uint32_t>(TYPE_WORD));
    }
}

}  // namespace
