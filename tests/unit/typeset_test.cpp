// typeset!: membership bits, make from blocks and words, the set operations,
// comparison, and form and mold (empty and not).
#include "booted.h"

#include "datatypes/typeset.h"

namespace {

using booted::call;
using booted::dtype;
using booted::integer;
using booted::text_of;

class Typesets : public booted::Runtime {
protected:
    static Cell of(std::initializer_list<uint32_t> types) {
        Cell ts;
        typeset::make_at(&ts);
        for (uint32_t t : types) typeset::set_bit(&ts, t);
        return ts;
    }
    static Cell block_of(std::initializer_list<Cell> cells) {
        Cell blk = *block::make_at(stack::push_slot(), 4);
        for (const Cell& c : cells) block::rs_append(&blk, &c);
        return blk;
    }
};

TEST_F(Typesets, BitsLieMostSignificantFirst) {
    Cell ts = of({TYPE_DATATYPE, TYPE_INTEGER, TYPE_EVENT});
    const uint8_t* b = typeset::bytes(&ts);
    EXPECT_EQ(b[0], 0x40);  // id 1
    EXPECT_EQ(b[1], 0x10);  // id 11
    EXPECT_EQ(b[6], 0x02);  // id 54
    EXPECT_EQ(typeset::count(&ts), 2u);  // event! is not registered yet
}

TEST_F(Typesets, MakeFromABlockOfTypesAndWords) {
    Cell f = booted::word("f");
    Cell ft = dtype(TYPE_FLOAT);
    context::set(&f, &ft);
    Cell spec = block_of({f, dtype(TYPE_INTEGER)});
    Cell ts = call(actions::slot::make, {dtype(TYPE_TYPESET), spec});
    ASSERT_EQ(ts.header, static_cast<uint32_t>(TYPE_TYPESET));
    EXPECT_TRUE(typeset::has_q(&ts, TYPE_INTEGER));
    EXPECT_TRUE(typeset::has_q(&ts, TYPE_FLOAT));
    EXPECT_EQ(typeset::count(&ts), 2u);
    // Names in id order, not block order.
    Cell m = call(actions::slot::mold, {ts});
    EXPECT_EQ(text_of(&m), "make typeset! [integer! float!]");
    Cell fm = call(actions::slot::form, {ts});
    EXPECT_EQ(text_of(&fm), "integer! float!");
    // A copy of a typeset; anything else is refused.
    Cell copy = call(actions::slot::to, {dtype(TYPE_TYPESET), ts});
    EXPECT_EQ(copy.data1, ts.data1);
    EXPECT_FIRES(call(actions::slot::make, {dtype(TYPE_TYPESET), integer(1)}), err::BAD_TO_ARG);
    Cell bad = block_of({integer(1)});
    EXPECT_FIRES(call(actions::slot::make, {dtype(TYPE_TYPESET), bad}), err::INVALID_ARG);
    Cell unset_word = block_of({booted::word("not-set-anywhere")});
    EXPECT_FIRES(call(actions::slot::make, {dtype(TYPE_TYPESET), unset_word}), err::NO_VALUE);
}

TEST_F(Typesets, EmptyAndCutMolds) {
    Cell empty = of({});
    Cell m = call(actions::slot::mold, {empty});
    EXPECT_EQ(text_of(&m), "make typeset! []");
    EXPECT_EQ(text_of(&(m = call(actions::slot::form, {empty}))), "");
    // The budget ends the names; the closing bracket still follows.
    Cell ts = of({TYPE_INTEGER, TYPE_FLOAT, TYPE_PAIR});
    Cell buf;
    string::rs_make_at(&buf, 8);
    int32_t left = typeset::mold(&ts, &buf, false, false, false, nullptr, 12, 0);
    EXPECT_EQ(text_of(&buf), "make typeset! [integer! float!]");
    EXPECT_EQ(left, 12 - 9 - 7);
}

TEST_F(Typesets, SetOperations) {
    Cell ab = of({TYPE_INTEGER, TYPE_FLOAT});
    Cell bc = of({TYPE_FLOAT, TYPE_PAIR});
    struct {
        int32_t op;
        Cell want;
    } cases[] = {{5, of({TYPE_INTEGER, TYPE_FLOAT, TYPE_PAIR})}, {9, of({TYPE_INTEGER, TYPE_FLOAT, TYPE_PAIR})},
                 {6, of({TYPE_FLOAT})}, {10, of({TYPE_FLOAT})},
                 {7, of({TYPE_INTEGER, TYPE_PAIR})}, {12, of({TYPE_INTEGER, TYPE_PAIR})},
                 {11, of({TYPE_INTEGER})}, {8, of({TYPE_INTEGER, TYPE_FLOAT})}};
    for (auto& c : cases) {
        Cell a = ab;
        typeset::do_bitwise(&a, &bc, c.op);
        EXPECT_EQ(actions::compare(&a, &c.want, actions::COMP_STRICT_EQUAL), 0) << "op " << c.op;
    }
    // Through the actions; a datatype! counts as a one-type set.
    Cell r = call(actions::slot::or_, {ab, dtype(TYPE_PAIR)});
    EXPECT_TRUE(typeset::has_q(&r, TYPE_PAIR));
    r = call(actions::slot::and_, {ab, dtype(TYPE_PAIR)});
    EXPECT_EQ(typeset::count(&r), 0u);
    r = call(actions::slot::xor_, {ab, ab});
    EXPECT_EQ(typeset::count(&r), 0u);
    EXPECT_FIRES(call(actions::slot::or_, {ab, integer(1)}), err::INVALID_ARG);
    // The complement of nothing is every bit, ids beyond 54 too.
    r = call(actions::slot::complement, {of({})});
    EXPECT_EQ(r.data1, 0xFFFFFFFFu);
    EXPECT_EQ(r.data2, 0xFFFFFFFFu);
    EXPECT_EQ(r.data3, 0xFFFFFFFFu);
}

TEST_F(Typesets, FindAndCompare) {
    Cell ts = of({TYPE_INTEGER});
    Cell r = call(actions::slot::find, {ts, dtype(TYPE_INTEGER)});
    EXPECT_EQ(r.header, static_cast<uint32_t>(TYPE_LOGIC));
    EXPECT_EQ(r.data1, 1u);
    EXPECT_EQ(call(actions::slot::find, {ts, dtype(TYPE_FLOAT)}).data1, 0u);
    EXPECT_FIRES(call(actions::slot::find, {ts, integer(1)}), err::INVALID_ARG);

    Cell one = of({TYPE_INTEGER}), two = of({TYPE_INTEGER, TYPE_FLOAT}), i = integer(1);
    EXPECT_EQ(typeset::compare(&one, &ts, actions::COMP_EQUAL), 0);
    EXPECT_EQ(typeset::compare(&one, &two, actions::COMP_EQUAL), 1);
    EXPECT_EQ(typeset::compare(&one, &two, actions::COMP_SORT), -1);
    EXPECT_EQ(typeset::compare(&two, &one, actions::COMP_CASE_SORT), 1);
    EXPECT_EQ(typeset::compare(&one, &two, actions::COMP_LESSER), actions::NOT_COMPARABLE);
    EXPECT_EQ(typeset::compare(&one, &i, actions::COMP_EQUAL), actions::NOT_COMPARABLE);
}

TEST_F(Typesets, DefaultSpecAndBlockOfTypes) {
    Cell holder = block_of({});
    Cell d = *typeset::make_default(&holder);
    for (uint32_t t = 1; t <= TYPE_COUNT; ++t) EXPECT_EQ(typeset::has_q(&d, t), t != TYPE_UNSET) << t;
    Cell inner = block_of({});
    Cell w = booted::word("w-word");
    Cell wv = booted::word("anything");
    context::set(&w, &wv);
    Cell spec = block_of({dtype(TYPE_BLOCK), inner, w});
    Cell s = *typeset::make_from_spec(&holder, &spec);
    EXPECT_TRUE(typeset::has_q(&s, TYPE_BLOCK));
    EXPECT_TRUE(typeset::has_q(&s, TYPE_STRING));  // the word's share: every type but unset!
    Cell bad = block_of({integer(3)});
    EXPECT_FIRES(typeset::make_from_spec(&holder, &bad), err::INVALID_TYPE_SPEC);
    Cell blk;
    Cell two = of({TYPE_PAIR, TYPE_LOGIC});
    typeset::to_block(&two, &blk);
    ASSERT_EQ(block::rs_length_q(&blk), 2u);
    EXPECT_EQ(block::rs_clamp_head(&blk)[0].data1, static_cast<uint32_t>(TYPE_LOGIC));
    EXPECT_EQ(block::rs_clamp_head(&blk)[1].data1, static_cast<uint32_t>(TYPE_PAIR));
}

}  // namespace
