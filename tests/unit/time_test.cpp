// time!: text of durations (negative, fractions, rounding at 60), making
// from blocks and numbers, path fields, pick, arithmetic, round, parity.
#include "datatypes/time.h"

#include "scalar_helpers.h"

namespace {

using booted::integer;
using namespace scalar_helpers;

class Times : public booted::Runtime {};

Cell tm(double s) { return flt(s, TYPE_TIME); }

TEST_F(Times, MoldAndFormTexts) {
    struct Case {
        double seconds;
        const char* text;
    } cases[] = {
        {3723, "1:02:03"},     {0.5, "0:00:00.5"},  {-90, "-0:01:30"},        {360000, "100:00:00"},
        {59.9999999, "0:00:60"}, {0, "0:00:00"},    {5.5, "0:00:05.5"},       {45000, "12:30:00"},
        {750.5, "0:12:30.5"},  {-5400, "-1:30:00"}, {3600.25, "1:00:00.25"},  {0.0000001, "0:00:00"},
        {1.123456789, "0:00:01.12346"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(mold(tm(c.seconds)), c.text) << c.seconds;
        EXPECT_EQ(form(tm(c.seconds)), c.text) << c.seconds;
    }
}

TEST_F(Times, MakeAndTo) {
    Cell proto = booted::dtype(TYPE_TIME);
    auto to_time = [&](Cell spec) { return booted::call(actions::slot::to, {proto, spec}); };
    EXPECT_EQ(to_time(block_of({integer(1), integer(2), integer(3)})).float_value(), 3723);
    EXPECT_EQ(to_time(block_of({integer(-1), integer(30)})).float_value(), -5400);
    EXPECT_EQ(to_time(block_of({integer(1), integer(2), flt(3.5)})).float_value(), 3723.5);
    EXPECT_EQ(to_time(block_of({})).float_value(), 0);
    EXPECT_EQ(to_time(integer(90)).float_value(), 90);
    EXPECT_EQ(to_time(flt(1.5)).float_value(), 1.5);
    Cell made = booted::call(actions::slot::make, {proto, flt(0.5, TYPE_PERCENT)});
    EXPECT_EQ(made.type(), TYPE_TIME);
    EXPECT_EQ(made.float_value(), 0.5);
    EXPECT_FIRES(to_time(block_of({integer(1), integer(-30)})), err::BAD_TO_ARG);
    EXPECT_FIRES(to_time(block_of({integer(1), integer(2), integer(3), integer(4)})), err::BAD_TO_ARG);
    EXPECT_FIRES(to_time(block_of({flt(1.0), integer(2)})), err::BAD_TO_ARG);
    EXPECT_FIRES(to_time(booted::none()), err::BAD_TO_ARG);
}

TEST_F(Times, PathFieldsAndPick) {
    Cell t = tm(3723);
    Cell five = integer(5);
    path(t, booted::word("hour"), &five);
    EXPECT_EQ(mold(t), "5:02:03");
    Cell s = flt(7.25);
    path(t, integer(3), &s);
    EXPECT_EQ(mold(t), "5:02:07.25");
    Cell m = integer(59);
    path(t, booted::word("minute"), &m);
    EXPECT_EQ(mold(t), "5:59:07.25");
    Cell neg = tm(-5400);
    EXPECT_EQ(path(neg, booted::word("hour")).int_value(), -1);
    EXPECT_EQ(path(neg, booted::word("minute")).int_value(), 30);
    Cell sec = path(neg, integer(3));
    EXPECT_EQ(sec.type(), TYPE_FLOAT);
    EXPECT_EQ(pick(tm(3723), integer(2)).int_value(), 2);
    EXPECT_FIRES(pick(tm(3723), integer(4)), err::OUT_OF_RANGE);
    EXPECT_FIRES(path(t, booted::word("day")), err::INVALID_PATH);
    Cell bad = flt(1.5);
    EXPECT_FIRES(path(t, booted::word("hour"), &bad), err::INVALID_ARG);
    EXPECT_EQ(mold(t), "5:59:07.25");  // unchanged by the refused set
}

TEST_F(Times, Arithmetic) {
    Cell q = op(actions::slot::divide, tm(3600), tm(1800));
    EXPECT_EQ(q.type(), TYPE_FLOAT);
    EXPECT_EQ(q.float_value(), 2.0);
    Cell p = op(actions::slot::multiply, tm(3600), integer(2));
    EXPECT_EQ(p.type(), TYPE_TIME);
    EXPECT_EQ(mold(p), "2:00:00");
    EXPECT_EQ(mold(op(actions::slot::add, tm(3600), flt(0.5))), "1:00:00.5");
    EXPECT_EQ(mold(op(actions::slot::subtract, tm(60), tm(90))), "-0:00:30");
    EXPECT_EQ(mold(op(actions::slot::divide, tm(3600), integer(4))), "0:15:00");
    EXPECT_FIRES(op(actions::slot::multiply, tm(1), tm(2)), err::NOT_RELATED);
    EXPECT_FIRES(op(actions::slot::add, tm(1), booted::none()), err::INVALID_TYPE);
    Cell chr{TYPE_CHAR, 0, 65, 0};
    EXPECT_FIRES(op(actions::slot::add, tm(1), chr), err::INVALID_TYPE);
}

TEST_F(Times, RoundAndParity) {
    Cell r = booted::call(actions::slot::round, {tm(3723.7), integer(1)}, {1});
    EXPECT_EQ(mold(r), "1:02:04");
    Cell d = booted::call(actions::slot::round, {tm(3723.7)});
    EXPECT_EQ(mold(d), "1:02:04");
    Cell quarter = booted::call(actions::slot::round, {tm(3723.7), tm(900)}, {1});
    EXPECT_EQ(mold(quarter), "1:00:00");
    Cell money{TYPE_MONEY, 0, 0, 0};
    EXPECT_FIRES(booted::call(actions::slot::round, {tm(1), money}, {1}), err::NOT_RELATED);
    EXPECT_TRUE(actions::even_q(&(r = tm(62))));
    EXPECT_TRUE(actions::even_q(&(r = tm(61.9999999))));  // the whole seconds are 62
    EXPECT_TRUE(actions::odd_q(&(r = tm(-61))));
}

}  // namespace

namespace {

class TimeLimits : public booted::Runtime {};

TEST_F(TimeLimits, HugeDurationsFormWhole) {
    std::string text = scalar_helpers::mold(scalar_helpers::flt(-1.7976931348623157e308, TYPE_TIME));
    EXPECT_EQ(text.substr(0, 4), "-499");
    EXPECT_EQ(text.substr(text.size() - 6), ":26:08") << text;  // every hour digit kept
    Cell inf = scalar_helpers::op(actions::slot::divide, scalar_helpers::flt(3600, TYPE_TIME), booted::integer(0));
    EXPECT_EQ(scalar_helpers::mold(inf), "1.#INF");
    EXPECT_EQ(scalar_helpers::path(inf, booted::integer(2)).int_value(), 0);
}

}  // namespace

namespace {

class PathStores : public booted::Runtime {};

// A path set changes the copy the path walk holds and stores it back: into
// the head word's variable, or through the holder (a block here).
TEST_F(PathStores, ScalarsGoBackWhereTheyCameFrom) {
    Cell t = booted::word("t");
    Cell start = scalar_helpers::flt(3723, TYPE_TIME);
    context::set(&t, &start);
    Cell copy = *context::get(&t);
    Cell element = booted::word("hour");
    Cell five = booted::integer(5);
    Cell none = booted::none();
    actions::eval_path(&copy, &element, &five, nullptr, &none, &t, 1, false, false, true);
    EXPECT_EQ(scalar_helpers::mold(*context::get(&t)), "5:02:03");

    Cell blk = scalar_helpers::block_of({booted::integer(0), scalar_helpers::flt(60, TYPE_TIME)});
    Cell inner = block::rs_clamp_head(&blk)[1];
    Cell two = booted::integer(2);
    Cell seven = booted::integer(7);
    Cell minute = booted::word("minute");
    actions::eval_path(&inner, &minute, &seven, nullptr, &blk, &two, 2, false, false, true);
    EXPECT_EQ(scalar_helpers::mold(block::rs_clamp_head(&blk)[1]), "0:07:00");
}

}  // namespace
