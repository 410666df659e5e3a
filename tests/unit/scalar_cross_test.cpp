// Arithmetic, comparison and conversion across the scalar datatypes and the
// numbers: integer!/float! left operands handing over to time!, tuple!,
// date!, pair!, points and money!, and to integer!/float! of dates and money.
#include "datatypes/money.h"
#include "datatypes/date.h"
#include "datatypes/pair.h"
#include "datatypes/tuple.h"
#include "scalar_helpers.h"
#include "runtime/number_text.h"

namespace {

using booted::integer;
using namespace scalar_helpers;

class Cross : public booted::Runtime {
protected:
    static Cell tup(uint8_t a, uint8_t b, uint8_t c) {
        uint8_t v[3] = {a, b, c};
        Cell t;
        return *tuple::make_at(&t, v, 3);
    }
    static Cell money(const char* text) {
        Cell c{};
        int error = 0;
        money::text_to_money(reinterpret_cast<const uint8_t*>(text), static_cast<int32_t>(std::strlen(text)), 1,
                             error, &c);
        return c;
    }
    static Cell pr(int32_t x, int32_t y) {
        Cell c{TYPE_PAIR, 0, 0, 0};
        return *pair::make_at(&c, x, y);
    }
    static Cell tm(double s) { return flt(s, TYPE_TIME); }
};

TEST_F(Cross, NumbersOnTheLeft) {
    EXPECT_EQ(mold(op(actions::slot::add, integer(5), tup(1, 2, 3))), "6.7.8");
    EXPECT_FIRES(op(actions::slot::subtract, integer(5), tup(1, 2, 3)), err::NOT_RELATED);
    EXPECT_EQ(mold(op(actions::slot::multiply, flt(1.5), tup(10, 20, 30))), "15.30.45");
    EXPECT_EQ(mold(op(actions::slot::multiply, integer(2), pr(2, 3))), "4x6");
    EXPECT_EQ(mold(op(actions::slot::subtract, integer(10), pr(2, 3))), "8x7");
    Cell d;
    date::make_at(&d, 1999, 12, 31, 0, 0, 0, false);
    EXPECT_EQ(mold(op(actions::slot::add, integer(1), d)), "1-Jan-2000");
    EXPECT_EQ(mold(op(actions::slot::multiply, integer(2), tm(3600))), "2:00:00");
    EXPECT_EQ(mold(op(actions::slot::add, integer(1), money("USD$1.5"))), "USD$2.50");
    EXPECT_EQ(mold(op(actions::slot::subtract, integer(1), money("$1.5"))), "-$0.50");
    EXPECT_EQ(mold(op(actions::slot::multiply, flt(0.5), money("$3"))), "$1.50");
    EXPECT_FIRES(op(actions::slot::divide, integer(1), money("$2")), err::INVALID_TYPE);
}

TEST_F(Cross, TimeInheritsFromFloat) {
    EXPECT_TRUE(cmp(tm(3600), tm(7200), actions::COMP_LESSER));
    EXPECT_TRUE(cmp(tm(3600), integer(3600), actions::COMP_EQUAL));
    EXPECT_EQ(mold(booted::call(actions::slot::negate, {tm(90)})), "-0:01:30");
    EXPECT_EQ(mold(booted::call(actions::slot::absolute, {tm(-90)})), "0:01:30");
    EXPECT_EQ(mold(op(actions::slot::remainder, tm(3725), integer(60))), "0:00:05");
    Cell one_hour = booted::call(actions::slot::to, {booted::dtype(TYPE_INTEGER), tm(3599.5)});
    EXPECT_EQ(one_hour.int_value(), 3600);
}

TEST_F(Cross, ConversionsToNumbers) {
    Cell d;
    date::make_at(&d, 2038, 1, 19, 3 * 3600 + 14 * 60 + 7, 0, 0, true);
    EXPECT_EQ(booted::call(actions::slot::to, {booted::dtype(TYPE_INTEGER), d}).int_value(), 2147483647);
    date::make_at(&d, 2100, 1, 1, 0, 0, 0, true);
    EXPECT_FIRES(booted::call(actions::slot::to, {booted::dtype(TYPE_INTEGER), d}), err::TYPE_LIMIT);
    EXPECT_EQ(booted::call(actions::slot::to, {booted::dtype(TYPE_INTEGER), money("-$12.99")}).int_value(), -12);
    EXPECT_EQ(booted::call(actions::slot::to, {booted::dtype(TYPE_FLOAT), money("$0.1")}).float_value(), 0.1);
    EXPECT_TRUE(cmp(integer(2), money("$2"), actions::COMP_EQUAL));
    EXPECT_TRUE(cmp(flt(2.5), money("$2"), actions::COMP_GREATER));
}

}  // namespace
