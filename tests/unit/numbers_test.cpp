// integer!, char!, float! and percent! through their action entry points:
// arithmetic at the overflow boundaries, rounding with each refinement,
// conversions, comparisons and texts against hand-checked values.
#include <bit>
#include <climits>
#include <cmath>
#include <cstring>
#include <limits>

#include "booted.h"
#include "datatypes/char.h"
#include "datatypes/float.h"
#include "datatypes/integer.h"
#include "datatypes/money.h"
#include "datatypes/pair.h"
#include "datatypes/percent.h"
#include "datatypes/tuple.h"
#include "runtime/rng.h"

namespace {

using booted::call;
using booted::integer;
using test_eval::molded;
namespace slot = actions::slot;
using integer::OP_ADD, integer::OP_SUB, integer::OP_MUL, integer::OP_DIV, integer::OP_REM, integer::OP_OR,
    integer::OP_AND, integer::OP_XOR;

class Numbers : public booted::Runtime {
protected:
    void TearDown() override {
        float_::pretty_q = true;
        booted::Runtime::TearDown();
    }
};

const double inf = std::numeric_limits<double>::infinity();
const double nan = std::numeric_limits<double>::quiet_NaN();

Cell flt(double d, uint32_t type = TYPE_FLOAT) {
    Cell c{type, 0, 0, 0};
    c.set_float(d);
    return c;
}
Cell pct(double d) { return flt(d, TYPE_PERCENT); }
Cell chr(uint32_t cp) { return Cell{TYPE_CHAR, 0, cp, 0}; }

Cell str(const char* text) {
    Cell* s = string::rs_make_at(stack::push_slot(), 16);
    string::concatenate_literal(s, text);
    return *s;
}

Cell bin(std::initializer_list<uint8_t> bytes) {
    Node node = memory::alloc_bytes(static_cast<uint32_t>(bytes.size()));
    SeriesBuffer* s = memory::buffer(node);
    if (bytes.size()) std::memcpy(s->offset_addr(), bytes.begin(), bytes.size());
    s->tail = s->offset + static_cast<uint32_t>(bytes.size());
    return Cell{TYPE_BINARY, 0, node, 0};
}

Cell block_of(std::initializer_list<Cell> cells) {
    Cell* b = block::make_at(stack::push_slot(), 4);
    for (const Cell& c : cells) block::rs_append(b, &c);
    return *b;
}

std::string form_of(Cell v) {
    Cell r = call(slot::form, {v});
    return booted::text_of(&r);
}

uint32_t math_slot(int32_t op) {
    switch (op) {
        case OP_ADD: return slot::add;
        case OP_SUB: return slot::subtract;
        case OP_MUL: return slot::multiply;
        case OP_DIV: return slot::divide;
        case OP_REM: return slot::remainder;
        case OP_OR: return slot::or_;
        case OP_AND: return slot::and_;
        default: return slot::xor_;
    }
}

Cell math(Cell a, int32_t op, Cell b) { return call(math_slot(op), {a, b}); }

// Refinement positions of round: /to scale (its argument's cell), then the flags.
enum RoundFlag { EVEN = 1, DOWN, HALF_DOWN, FLOOR, CEILING, HALF_CEILING };
Cell round_of(Cell v, const Cell* scale = nullptr, int flag = 0) {
    std::vector<int32_t> refs(7, -1);
    if (scale) refs[0] = 1;
    if (flag) refs[flag] = 0;
    return scale ? call(slot::round, {v, *scale}, refs) : call(slot::round, {v}, refs);
}

Cell to_type(uint32_t type, Cell spec) { return call(slot::to, {booted::dtype(type), spec}); }
Cell make_type(uint32_t type, Cell spec) { return call(slot::make, {booted::dtype(type), spec}); }

void expect_int(const Cell& c, int32_t n, const std::string& what) {
    EXPECT_EQ(c.type(), TYPE_INTEGER) << what;
    EXPECT_EQ(c.int_value(), n) << what;
}
void expect_float(const Cell& c, double d, const std::string& what, uint32_t type = TYPE_FLOAT) {
    EXPECT_EQ(c.type(), type) << what;
    if (std::isnan(d)) {
        EXPECT_TRUE(std::isnan(c.float_value())) << what;
    } else {
        EXPECT_EQ(std::bit_cast<uint64_t>(c.float_value()), std::bit_cast<uint64_t>(d))
            << what << ": " << c.float_value() << " != " << d;
    }
}

// ---- integer! ---------------------------------------------------------------------------

TEST_F(Numbers, IntegerArithmeticAtTheBoundaries) {
    struct Case {
        int32_t a, op, b;
        bool is_float;
        double expected;
    } cases[] = {
        {2147483647, OP_ADD, 1, true, 2147483648.0},
        {-2147483648, OP_SUB, 1, true, -2147483649.0},
        {-2147483648, OP_ADD, -1, true, -2147483649.0},
        {2147483646, OP_ADD, 1, false, 2147483647},
        {-2147483647, OP_SUB, 1, false, -2147483648.0},
        {65536, OP_MUL, 65536, true, 4294967296.0},
        {-2147483648, OP_MUL, -1, true, 2147483648.0},
        {2147483647, OP_MUL, -1, false, -2147483647},
        {46341, OP_MUL, 46341, true, 2147488281.0},
        {46340, OP_MUL, 46340, false, 2147395600},
        {7, OP_DIV, 2, true, 3.5},
        {-7, OP_DIV, 2, true, -3.5},
        {6, OP_DIV, 3, false, 2},
        {-6, OP_DIV, 3, false, -2},
        {-2147483648, OP_DIV, 1, false, -2147483648.0},
        {1, OP_DIV, 3, true, 1.0 / 3},
        {-7, OP_REM, 2, false, -1},
        {7, OP_REM, -2, false, 1},
        {-7, OP_REM, -2, false, -1},
        {-2147483648, OP_REM, 2147483647, false, -1},
        {12, OP_OR, 3, false, 15},
        {12, OP_AND, 10, false, 8},
        {12, OP_XOR, 10, false, 6},
        {-1, OP_AND, 255, false, 255},
        {-2147483648, OP_XOR, -1, false, 2147483647},
    };
    for (const Case& c : cases) {
        std::string what = std::to_string(c.a) + " op" + std::to_string(c.op) + " " + std::to_string(c.b);
        Cell r = math(integer(c.a), c.op, integer(c.b));
        if (c.is_float) expect_float(r, c.expected, what);
        else expect_int(r, static_cast<int32_t>(c.expected), what);
    }
}

TEST_F(Numbers, IntegerArithmeticErrors) {
    EXPECT_FIRES(math(integer(INT32_MIN), OP_DIV, integer(-1)), err::OVERFLOW);
    EXPECT_FIRES(math(integer(INT32_MIN), OP_REM, integer(-1)), err::OVERFLOW);
    EXPECT_FIRES(math(integer(1), OP_DIV, integer(0)), err::ZERO_DIVIDE);
    EXPECT_FIRES(math(integer(1), OP_REM, integer(0)), err::ZERO_DIVIDE);
    EXPECT_FIRES(call(slot::negate, {integer(INT32_MIN)}), err::OVERFLOW);
    EXPECT_FIRES(call(slot::absolute, {integer(INT32_MIN)}), err::OVERFLOW);
    EXPECT_FIRES(math(integer(1), OP_ADD, str("a")), err::INVALID_TYPE);
    EXPECT_FIRES(math(integer(1), OP_ADD, booted::none()), err::INVALID_TYPE);
    EXPECT_FIRES(math(integer(1), OP_AND, flt(1.0)), err::CANNOT_USE);
    EXPECT_FIRES(integer::abs(INT32_MIN), err::OVERFLOW);
}

TEST_F(Numbers, IntegerWithOtherNumbers) {
    expect_int(math(integer(1), OP_ADD, chr('a')), 98, "1 + #a");
    expect_float(math(integer(1), OP_ADD, flt(0.5)), 1.5, "1 + 0.5");
    expect_float(math(integer(1), OP_ADD, pct(0.5)), 1.5, "1 + 50%");
    expect_float(math(integer(1), OP_DIV, flt(0.0)), inf, "1 / 0.0");
    expect_float(math(integer(3), OP_SUB, flt(0.5)), 2.5, "3 - 0.5");
}

TEST_F(Numbers, IntegerUnaryActions) {
    expect_int(call(slot::negate, {integer(5)}), -5, "negate");
    expect_int(call(slot::negate, {integer(INT32_MAX)}), -INT32_MAX, "negate max");
    expect_int(call(slot::absolute, {integer(-7)}), 7, "absolute");
    expect_int(call(slot::complement, {integer(0)}), -1, "complement");
    expect_int(call(slot::complement, {integer(INT32_MAX)}), INT32_MIN, "complement max");
    EXPECT_TRUE(call(slot::even_q, {integer(-4)}).data1);
    EXPECT_FALSE(call(slot::even_q, {integer(-3)}).data1);
    EXPECT_TRUE(call(slot::odd_q, {integer(INT32_MAX)}).data1);
    EXPECT_FALSE(call(slot::odd_q, {integer(INT32_MIN)}).data1);
}

TEST_F(Numbers, IntegerPower) {
    expect_float(call(slot::power, {integer(2), integer(31)}), 2147483648.0, "2 ** 31");
    expect_int(call(slot::power, {integer(2), integer(30)}), 1073741824, "2 ** 30");
    expect_int(call(slot::power, {integer(-2), integer(31)}), INT32_MIN, "-2 ** 31");
    expect_float(call(slot::power, {integer(2), integer(-1)}), 0.5, "2 ** -1");
    expect_int(call(slot::power, {integer(0), integer(0)}), 1, "0 ** 0");
    expect_int(call(slot::power, {integer(7), integer(0)}), 1, "7 ** 0");
    expect_int(call(slot::power, {integer(3), integer(4)}), 81, "3 ** 4");
    expect_int(call(slot::power, {integer(-3), integer(3)}), -27, "-3 ** 3");
    expect_float(call(slot::power, {integer(10), integer(10)}), 1e10, "10 ** 10");
    expect_float(call(slot::power, {integer(2), flt(0.5)}), std::sqrt(2.0), "2 ** 0.5");
    expect_float(call(slot::power, {integer(4), flt(2.0)}), 16.0, "4 ** 2.0");
    // A base square that is never used does not count as an overflow.
    expect_int(call(slot::power, {integer(65536), integer(1)}), 65536, "65536 ** 1");
    EXPECT_FIRES(call(slot::power, {integer(2), str("x")}), err::EXPECT_ARG);
}

TEST_F(Numbers, IntegerRoundingWithEachRefinement) {
    struct Case {
        int32_t n, scale;
        int flag;
        int32_t expected;
    } cases[] = {
        {17, 5, 0, 15},
        {18, 5, 0, 20},
        {15, 10, 0, 20},
        {-15, 10, 0, -20},
        {15, 10, EVEN, 20},
        {25, 10, EVEN, 20},
        {-25, 10, EVEN, -20},
        {-35, 10, EVEN, -40},
        {15, 10, HALF_DOWN, 10},
        {-15, 10, HALF_DOWN, -10},
        {15, 10, HALF_CEILING, 20},
        {-15, 10, HALF_CEILING, -10},
        {-11, 5, FLOOR, -15},
        {11, 5, FLOOR, 10},
        {-11, 5, CEILING, -10},
        {11, 5, CEILING, 15},
        {19, 5, DOWN, 15},
        {-19, 5, DOWN, -15},
        {16, 10, HALF_DOWN, 20},
        {14, 10, HALF_CEILING, 10},
        {7, -5, 0, 5},  // the scale's sign does not count
        {7, 0, 0, 7},
        {20, 5, CEILING, 20},
        {INT32_MIN, 10, 0, INT32_MIN},  // returned unchanged
        // Only the value returned may overflow.
        {2147483647, 10, FLOOR, 2147483640},
        {2147483647, 10, DOWN, 2147483640},
        {-2147483647, 10, CEILING, -2147483640},
        {-2147483647, 8, FLOOR, INT32_MIN},
    };
    for (const Case& c : cases) {
        Cell scale = integer(c.scale);
        expect_int(round_of(integer(c.n), &scale, c.flag), c.expected,
                   "round/to " + std::to_string(c.n) + " " + std::to_string(c.scale) + " flag " + std::to_string(c.flag));
    }
    expect_int(round_of(integer(42)), 42, "round 42");
    Cell ten = integer(10), min = integer(INT32_MIN);
    EXPECT_FIRES(round_of(integer(2147483647), &ten), err::OVERFLOW);
    EXPECT_FIRES(round_of(integer(2147483647), &ten, CEILING), err::OVERFLOW);
    EXPECT_FIRES(round_of(integer(-2147483641), &ten, FLOOR), err::OVERFLOW);
    EXPECT_FIRES(round_of(integer(5), &min), err::OVERFLOW);
    // A float! scale hands the work to float!.
    Cell half = flt(2.5);
    expect_float(round_of(integer(7), &half), 7.5, "round/to 7 2.5");
}

TEST_F(Numbers, ToInteger) {
    expect_int(to_type(TYPE_INTEGER, str("1'000")), 1000, "1'000");
    expect_int(to_type(TYPE_INTEGER, str("-12")), -12, "-12");
    expect_int(to_type(TYPE_INTEGER, str("2147483647")), INT32_MAX, "max text");
    EXPECT_FIRES(to_type(TYPE_INTEGER, str("2147483648")), err::BAD_TO_ARG);
    EXPECT_FIRES(to_type(TYPE_INTEGER, str("12a")), err::BAD_TO_ARG);
    EXPECT_FIRES(to_type(TYPE_INTEGER, str("")), err::BAD_TO_ARG);
    expect_int(to_type(TYPE_INTEGER, flt(2.9)), 2, "2.9");
    expect_int(to_type(TYPE_INTEGER, flt(-2.9)), -2, "-2.9");
    expect_int(to_type(TYPE_INTEGER, flt(2147483647.0)), INT32_MAX, "max float");
    expect_int(to_type(TYPE_INTEGER, flt(-2147483648.0)), INT32_MIN, "min float");
    expect_int(to_type(TYPE_INTEGER, pct(1.5)), 1, "150%");
    for (double d : {2147483648.0, 2147483647.5, -2147483648.5, -2147483649.0, 1e300, inf, -inf, nan})
        EXPECT_FIRES(to_type(TYPE_INTEGER, flt(d)), err::TYPE_LIMIT);
    EXPECT_FIRES(to_type(TYPE_INTEGER, pct(1e10)), err::TYPE_LIMIT);
    expect_int(to_type(TYPE_INTEGER, bin({1, 2, 3, 4})), 16909060, "#{01020304}");
    expect_int(to_type(TYPE_INTEGER, bin({1, 2, 3, 4, 5})), 16909060, "five bytes");
    expect_int(to_type(TYPE_INTEGER, bin({0xFF})), 255, "#{FF}");
    expect_int(to_type(TYPE_INTEGER, bin({0xFF, 0xFF, 0xFF, 0xFF})), -1, "#{FFFFFFFF}");
    expect_int(to_type(TYPE_INTEGER, bin({})), 0, "#{}");
    expect_int(to_type(TYPE_INTEGER, booted::word("FF", TYPE_ISSUE)), 255, "#FF");
    expect_int(to_type(TYPE_INTEGER, booted::word("7fffFFFF", TYPE_ISSUE)), INT32_MAX, "#7fffFFFF");
    EXPECT_FIRES(to_type(TYPE_INTEGER, booted::word("123456789", TYPE_ISSUE)), err::INVALID_DATA);
    EXPECT_FIRES(to_type(TYPE_INTEGER, booted::word("G1", TYPE_ISSUE)), err::INVALID_DATA);
    expect_int(to_type(TYPE_INTEGER, chr('A')), 65, "#A");
    expect_int(to_type(TYPE_INTEGER, flt(90.4, TYPE_TIME)), 90, "time");
    expect_int(to_type(TYPE_INTEGER, flt(90.5, TYPE_TIME)), 91, "time half");
    expect_int(make_type(TYPE_INTEGER, booted::logic(true)), 1, "make true");
    expect_int(make_type(TYPE_INTEGER, booted::logic(false)), 0, "make false");
    expect_int(make_type(TYPE_INTEGER, flt(3.7)), 3, "make 3.7");
    EXPECT_FIRES(to_type(TYPE_INTEGER, booted::none()), err::BAD_TO_ARG);
    EXPECT_FIRES(to_type(TYPE_INTEGER, booted::logic(true)), err::BAD_TO_ARG);
}

TEST_F(Numbers, IntegerTextsAndHelpers) {
    EXPECT_EQ(form_of(integer(INT32_MIN)), "-2147483648");
    EXPECT_EQ(form_of(integer(INT32_MAX)), "2147483647");
    EXPECT_EQ(form_of(integer(0)), "0");
    EXPECT_EQ(molded(integer(-505)), "-505");
    EXPECT_STREQ(integer::form_signed(1000000), "1000000");
    EXPECT_EQ(integer::sign(-9), -1);
    EXPECT_EQ(integer::sign(0), 0);
    // The one truncation from double: defined everywhere.
    EXPECT_EQ(integer::truncate(-2.9), -2);
    EXPECT_EQ(integer::truncate(1e300), INT32_MAX);
    EXPECT_EQ(integer::truncate(-1e300), INT32_MIN);
    EXPECT_EQ(integer::truncate(nan), 0);
    // Without a result cell, division truncates and overflow is reported.
    bool overflowed = true;
    EXPECT_EQ(integer::do_math_op(7, 2, OP_DIV, nullptr, &overflowed), 3);
    EXPECT_FALSE(overflowed);
    EXPECT_EQ(integer::do_math_op(INT32_MAX, 1, OP_ADD, nullptr, &overflowed), INT32_MIN);
    EXPECT_TRUE(overflowed);
    // Makers.
    Cell c{TYPE_NONE | FLAG_NEW_LINE, 0, 0, 0};
    integer::make_at(&c, 12);
    EXPECT_EQ(c.header, TYPE_INTEGER | FLAG_NEW_LINE);
    EXPECT_EQ(integer::get(&c), 12);
    Cell* pushed = integer::push(-3);
    EXPECT_EQ(pushed->type(), TYPE_INTEGER);
    EXPECT_EQ(pushed->int_value(), -3);
}

TEST_F(Numbers, IntegerRandom) {
    call(slot::random, {integer(99)}, {0, -1, -1});
    int32_t a = call(slot::random, {integer(1000)}).int_value();
    call(slot::random, {integer(99)}, {0, -1, -1});
    EXPECT_EQ(call(slot::random, {integer(1000)}).int_value(), a);
    EXPECT_EQ(call(slot::random, {integer(0)}).int_value(), 0);
    EXPECT_EQ(call(slot::random, {integer(5)}, {0, -1, -1}).type(), TYPE_UNSET);
    for (int i = 0; i < 200; ++i) {
        int32_t r = call(slot::random, {integer(-6)}).int_value();
        EXPECT_TRUE(r <= -1 && r >= -6) << r;
        r = call(slot::random, {integer(3)}, {-1, 0, -1}).int_value();
        EXPECT_TRUE(r >= 1 && r <= 3) << r;
    }
}

// ---- Comparisons ----------------------------------------------------------------------------

TEST_F(Numbers, Comparisons) {
    double ulp10 = 1000.0, ulp11 = 1000.0;
    for (int i = 0; i < 10; ++i) ulp10 = std::nextafter(ulp10, inf);
    ulp11 = std::nextafter(ulp10, inf);
    struct Case {
        Cell a, b;
        int32_t op;
        bool expected;
        const char* what;
    } cases[] = {
        {flt(0.1 + 0.2), flt(0.3), actions::COMP_EQUAL, true, "0.1 + 0.2 = 0.3"},
        {flt(0.1 + 0.2), flt(0.3), actions::COMP_STRICT_EQUAL, false, "strict 0.1 + 0.2 0.3"},
        {flt(0.1 + 0.2), flt(0.3), actions::COMP_NOT_EQUAL, false, "0.1 + 0.2 <> 0.3"},
        {flt(1000.0), flt(ulp10), actions::COMP_EQUAL, true, "10 steps apart"},
        {flt(1000.0), flt(ulp11), actions::COMP_EQUAL, false, "11 steps apart"},
        {flt(-1000.0), flt(-ulp10), actions::COMP_EQUAL, true, "10 steps apart, negative"},
        {flt(1e-17), flt(0.0), actions::COMP_EQUAL, true, "within epsilon"},
        {flt(1e-17), flt(-1e-17), actions::COMP_EQUAL, true, "across zero"},
        {flt(5e-324), flt(-5e-324), actions::COMP_EQUAL, true, "smallest across zero"},
        {flt(1.0), flt(-1.0), actions::COMP_EQUAL, false, "opposite"},
        {flt(0.0), flt(-0.0), actions::COMP_EQUAL, true, "zeros equal"},
        {flt(0.0), flt(-0.0), actions::COMP_SAME, false, "zeros not same"},
        {flt(0.5), flt(0.5), actions::COMP_SAME, true, "same"},
        {flt(nan), flt(nan), actions::COMP_EQUAL, false, "NaN = NaN"},
        {flt(nan), flt(nan), actions::COMP_NOT_EQUAL, true, "NaN <> NaN"},
        {flt(nan), flt(nan), actions::COMP_STRICT_EQUAL, false, "NaN == NaN"},
        {flt(nan), flt(1.0), actions::COMP_LESSER, false, "NaN < 1.0"},
        {flt(nan), flt(1.0), actions::COMP_GREATER, false, "NaN > 1.0"},
        {flt(nan), flt(1.0), actions::COMP_LESSER_EQUAL, false, "NaN <= 1.0"},
        {flt(nan), flt(1.0), actions::COMP_GREATER_EQUAL, false, "NaN >= 1.0"},
        {flt(inf), flt(inf), actions::COMP_EQUAL, true, "inf = inf"},
        {flt(inf), flt(float_::max_finite), actions::COMP_EQUAL, false, "inf = max"},
        {flt(1.0), integer(1), actions::COMP_EQUAL, true, "1.0 = 1"},
        {flt(1.0), integer(1), actions::COMP_STRICT_EQUAL, false, "1.0 == 1"},
        {integer(1), flt(1.0), actions::COMP_EQUAL, true, "1 = 1.0"},
        {integer(1), flt(1.0), actions::COMP_STRICT_EQUAL, false, "1 == 1.0"},
        {integer(2147483647), flt(2147483648.0), actions::COMP_LESSER, true, "max < 2^31"},
        {integer(-5), integer(3), actions::COMP_LESSER, true, "-5 < 3"},
        {integer(3), integer(3), actions::COMP_GREATER_EQUAL, true, "3 >= 3"},
        {integer(97), chr('a'), actions::COMP_EQUAL, true, "97 = #a"},
        {integer(97), chr('a'), actions::COMP_STRICT_EQUAL, false, "97 == #a"},
        {chr('a'), integer(97), actions::COMP_EQUAL, true, "#a = 97"},
        {chr('a'), integer(97), actions::COMP_STRICT_EQUAL, false, "#a == 97"},
        {chr('a'), chr('A'), actions::COMP_EQUAL, false, "#a = #A"},
        {chr('A'), chr('a'), actions::COMP_LESSER, true, "#A < #a"},
        {pct(0.5), flt(0.5), actions::COMP_EQUAL, true, "50% = 0.5"},
        {pct(0.5), flt(0.5), actions::COMP_STRICT_EQUAL, false, "50% == 0.5"},
        {pct(0.5), pct(0.5), actions::COMP_STRICT_EQUAL, true, "50% == 50%"},
        {pct(0.25), integer(1), actions::COMP_LESSER, true, "25% < 1"},
        // A search never matches a NaN.
        {flt(nan), flt(nan), actions::COMP_FIND, false, "find NaN"},
        {flt(nan), flt(1.0), actions::COMP_FIND, false, "find NaN 1.0"},
        {flt(2.0), flt(2.0), actions::COMP_FIND, true, "find 2.0"},
        {flt(2.0), integer(2), actions::COMP_FIND, false, "find 2 among floats"},
    };
    for (Case& c : cases) EXPECT_EQ(actions::compare_star(&c.a, &c.b, c.op), c.expected) << c.what;
    Cell one = integer(1), s = str("1"), f = flt(1.0);
    EXPECT_EQ(actions::compare(&one, &s, actions::COMP_EQUAL), actions::NOT_COMPARABLE);
    EXPECT_EQ(actions::compare(&f, &s, actions::COMP_EQUAL), actions::NOT_COMPARABLE);
    EXPECT_FIRES(actions::compare_star(&one, &s, actions::COMP_LESSER), err::INVALID_COMPARE);
}

// ---- float! ----------------------------------------------------------------------------------

TEST_F(Numbers, FloatArithmetic) {
    expect_float(math(flt(5.5), OP_REM, flt(2.0)), 1.5, "5.5 // 2.0");
    expect_float(math(flt(-5.5), OP_REM, flt(2.0)), -1.5, "-5.5 // 2.0");
    expect_float(math(flt(1.0), OP_REM, flt(0.0)), nan, "1.0 // 0.0");
    expect_float(math(flt(1.0), OP_REM, flt(inf)), 1.0, "1.0 // inf");
    expect_float(math(flt(inf), OP_REM, flt(2.0)), nan, "inf // 2.0");
    expect_float(math(flt(1.0), OP_REM, flt(nan)), nan, "1.0 // NaN");
    expect_float(math(flt(1.0), OP_DIV, integer(0)), inf, "1.0 / 0");
    expect_float(math(flt(-1.0), OP_DIV, integer(0)), -inf, "-1.0 / 0");
    expect_float(math(flt(0.0), OP_DIV, flt(0.0)), nan, "0.0 / 0.0");
    expect_float(math(flt(inf), OP_SUB, flt(inf)), nan, "inf - inf");
    expect_float(math(flt(1.5), OP_ADD, chr('a')), 98.5, "1.5 + #a");
    expect_float(math(flt(1.5), OP_MUL, integer(2)), 3.0, "1.5 * 2");
    expect_float(math(pct(0.5), OP_ADD, flt(0.25)), 0.75, "50% + 0.25", TYPE_PERCENT);
    expect_float(math(flt(0.25), OP_ADD, pct(0.5)), 0.75, "0.25 + 50%");
    expect_float(math(pct(0.5), OP_MUL, pct(0.5)), 0.25, "50% * 50%", TYPE_PERCENT);
    expect_float(math(pct(0.5), OP_MUL, integer(3)), 1.5, "50% * 3", TYPE_PERCENT);
    expect_float(math(flt(1.5), OP_ADD, flt(2.0, TYPE_TIME)), 3.5, "1.5 + time", TYPE_TIME);
    Cell t1 = flt(2.0, TYPE_TIME), t2 = flt(1.5, TYPE_TIME);
    expect_float(*float_::do_math(&t1, &t2, OP_ADD), 3.5, "time + time", TYPE_TIME);
    Cell p1 = pct(0.5);
    expect_float(*float_::do_math(&p1, &t2, OP_MUL), 0.75, "percent * time", TYPE_TIME);
    EXPECT_FIRES(math(pct(0.5), OP_ADD, chr('a')), err::INVALID_TYPE);
    EXPECT_FIRES(math(flt(1.0), OP_ADD, str("x")), err::INVALID_TYPE);
    EXPECT_FIRES(math(flt(1.0), OP_OR, flt(2.0)), err::EXPECT_ARG);  // float! has no or~
    Cell x = flt(1.0), y = integer(2);
    EXPECT_FIRES(float_::do_math(&x, &y, OP_XOR), err::CANNOT_USE);
}

TEST_F(Numbers, FloatUnaryActions) {
    Cell r = call(slot::negate, {flt(0.0)});
    EXPECT_FALSE(std::signbit(r.float_value()));
    r = call(slot::negate, {flt(-0.0)});
    EXPECT_FALSE(std::signbit(r.float_value()));
    expect_float(call(slot::negate, {flt(2.5)}), -2.5, "negate");
    expect_float(call(slot::negate, {pct(0.5)}), -0.5, "negate percent", TYPE_PERCENT);
    expect_float(call(slot::absolute, {flt(-2.5)}), 2.5, "absolute");
    expect_float(call(slot::absolute, {flt(-0.0)}), 0.0, "absolute -0.0");
    expect_float(call(slot::absolute, {flt(-inf)}), inf, "absolute -inf");
    expect_float(call(slot::power, {flt(2.0), flt(0.5)}), std::sqrt(2.0), "2.0 ** 0.5");
    expect_float(call(slot::power, {pct(0.5), integer(2)}), 0.25, "50% ** 2", TYPE_PERCENT);
    expect_float(call(slot::power, {flt(0.0), integer(-1)}), inf, "0.0 ** -1");
    EXPECT_FIRES(call(slot::power, {flt(2.0), pct(0.5)}), err::EXPECT_ARG);
}

TEST_F(Numbers, FloatParityFollowsTheValueBeyondThirtyTwoBits) {
    struct Case {
        double v;
        bool even, odd;
    } cases[] = {
        {4.7, true, false},           {-3.2, false, true},         {0.0, true, false},
        {2147483648.0, true, false},  {2147483649.0, false, true}, {-2147483649.0, false, true},
        {4294967297.0, false, true},  {9007199254740991.0, false, true}, {1e300, true, false},
        {nan, false, false},          {inf, false, false},         {-inf, false, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(call(slot::even_q, {flt(c.v)}).data1 != 0, c.even) << c.v;
        EXPECT_EQ(call(slot::odd_q, {flt(c.v)}).data1 != 0, c.odd) << c.v;
    }
}

TEST_F(Numbers, FloatRoundingWithEachRefinement) {
    struct Case {
        double v;
        int flag;
        double expected;
    } cases[] = {
        {2.5, 0, 3.0},          {-2.5, 0, -3.0},        {2.4, 0, 2.0},        {-2.6, 0, -3.0},
        {2.5, EVEN, 2.0},       {3.5, EVEN, 4.0},       {-2.5, EVEN, -2.0},   {-3.5, EVEN, -4.0},
        {2.5, HALF_DOWN, 2.0},  {-2.5, HALF_DOWN, -2.0}, {2.6, HALF_DOWN, 3.0},
        {2.5, HALF_CEILING, 3.0}, {-2.5, HALF_CEILING, -2.0},
        {-2.5, FLOOR, -3.0},    {2.5, FLOOR, 2.0},      {-2.5, CEILING, -2.0}, {2.1, CEILING, 3.0},
        {-2.7, DOWN, -2.0},     {2.7, DOWN, 2.0},
        {0.5, 0, 1.0},          {0.49999999999999994, 0, 0.0},
        {4503599627370497.0, 0, 4503599627370497.0},  // already whole
        {4503599627370498.0, 0, 4503599627370498.0},
        {9007199254740993e10, 0, 9007199254740993e10},  // too large for the step
        {inf, 0, inf},          {nan, 0, nan},
    };
    for (const Case& c : cases) {
        expect_float(round_of(flt(c.v), nullptr, c.flag), c.expected,
                     "round " + std::to_string(c.v) + " flag " + std::to_string(c.flag));
    }
    Cell hundredth = flt(0.01), two = integer(2), tenth = flt(0.1);
    expect_float(round_of(flt(3.14159), &hundredth), 3.14, "round/to 3.14159 0.01");
    expect_int(round_of(flt(7.3), &two), 8, "round/to 7.3 2");
    expect_float(round_of(flt(-2.5), nullptr, 0), -3.0, "negative half away");
    expect_float(round_of(pct(0.12345)), 0.12, "round 12.345%", TYPE_PERCENT);
    expect_float(round_of(pct(0.12345), &tenth), 0.123, "round/to 12.345% 0.1");
    Cell percent_step = pct(0.5);
    expect_float(round_of(flt(1.3), &percent_step), 1.5, "round/to 1.3 50%", TYPE_PERCENT);
    // Steps near the bottom of the range are rescaled.
    Cell tiny = flt(std::ldexp(1.0, -1070));
    expect_float(round_of(flt(std::ldexp(3.0, -1071)), &tiny), std::ldexp(1.0, -1069), "tiny step");
    // The product of a huge step overflows.
    Cell huge = flt(1e308);
    EXPECT_FIRES(round_of(flt(1.7e308), &huge), err::OVERFLOW);
    Cell one = integer(1);
    EXPECT_FIRES(round_of(flt(1e300), &one), err::OVERFLOW);
    Cell zero = flt(0.0);
    expect_float(round_of(flt(2.75), &zero), 2.75, "step 0");
}

TEST_F(Numbers, ToFloatAndPercent) {
    expect_float(to_type(TYPE_FLOAT, integer(-3)), -3.0, "-3");
    expect_float(to_type(TYPE_FLOAT, chr('a')), 97.0, "#a");
    expect_float(to_type(TYPE_FLOAT, pct(0.5)), 0.5, "50%");
    expect_float(to_type(TYPE_PERCENT, flt(0.5)), 0.5, "0.5", TYPE_PERCENT);
    expect_float(to_type(TYPE_PERCENT, integer(1)), 1.0, "1", TYPE_PERCENT);
    expect_float(to_type(TYPE_FLOAT, flt(90.0, TYPE_TIME)), 90.0, "time");
    expect_float(to_type(TYPE_FLOAT, bin({0x3F, 0xF0, 0, 0, 0, 0, 0, 0})), 1.0, "#{3FF0000000000000}");
    expect_float(to_type(TYPE_FLOAT, bin({0x3F, 0xF0, 0, 0, 0, 0, 0, 0, 9})), 1.0, "nine bytes");
    expect_float(to_type(TYPE_FLOAT, bin({})), 0.0, "#{}");
    expect_float(to_type(TYPE_FLOAT, block_of({integer(15), integer(-1)})), 1.5, "[15 -1]");
    expect_float(to_type(TYPE_FLOAT, block_of({flt(2.5), flt(2.9)})), 250.0, "[2.5 2.9]");
    EXPECT_FIRES(to_type(TYPE_FLOAT, block_of({integer(1), integer(2), integer(3)})), err::BAD_TO_ARG);
    EXPECT_FIRES(to_type(TYPE_FLOAT, block_of({integer(1), str("2")})), err::BAD_TO_ARG);
    expect_float(to_type(TYPE_FLOAT, str("1.5e3")), 1500.0, "1.5e3");
    expect_float(to_type(TYPE_FLOAT, str("0.1")), 0.1, "0.1");
    EXPECT_FIRES(to_type(TYPE_FLOAT, str("-1.#INF")), err::BAD_TO_ARG);
    EXPECT_FIRES(to_type(TYPE_FLOAT, str("abc")), err::BAD_TO_ARG);
    EXPECT_FIRES(to_type(TYPE_FLOAT, str("")), err::BAD_TO_ARG);
    EXPECT_FIRES(to_type(TYPE_FLOAT, booted::none()), err::BAD_TO_ARG);
    EXPECT_FIRES(to_type(TYPE_PERCENT, booted::logic(true)), err::BAD_TO_ARG);
    expect_float(make_type(TYPE_FLOAT, integer(7)), 7.0, "make 7");
    // percent! loads its text as one value.
    expect_float(to_type(TYPE_PERCENT, str("12.5%")), 0.125, "\"12.5%\"", TYPE_PERCENT);
    expect_float(to_type(TYPE_PERCENT, str("2")), 2.0, "\"2\"", TYPE_PERCENT);
    expect_float(to_type(TYPE_PERCENT, str("0.5")), 0.5, "\"0.5\"", TYPE_PERCENT);
    EXPECT_FIRES(to_type(TYPE_PERCENT, str("abc")), err::BAD_TO_ARG);
    EXPECT_FIRES(to_type(TYPE_PERCENT, str("")), err::BAD_TO_ARG);
}

TEST_F(Numbers, FloatAndPercentTexts) {
    struct Case {
        double v;
        const char* form;
        const char* mold;
    } cases[] = {
        {0.1 + 0.7, "0.8", "0.7999999999999999"},
        {0.1 + 0.2, "0.3", "0.30000000000000004"},
        {1.0, "1.0", "1.0"},
        {1.1, "1.1", "1.1"},
        {1e20, "1.0e20", "1.0e20"},
        {1.0 / 3, "0.3333333333333333", "0.3333333333333333"},
        {2.0 / 3, "0.6666666666666666", "0.6666666666666666"},
        {1e15, "1000000000000000.0", "1000000000000000.0"},
        {1e16, "1.0e16", "10000000000000000.0"},
        {1e17, "1.0e17", "1.0e17"},
        {0.0001, "0.0001", "0.0001"},
        {0.00001, "1.0e-5", "0.00001"},
        {1e-8, "1.0e-8", "1.0e-8"},
        {1e-17, "0.0", "1.0e-17"},
        {-0.0, "0.0", "-0.0"},
        {0.0, "0.0", "0.0"},
        {-2.5, "-2.5", "-2.5"},
        {123.456, "123.456", "123.456"},
        {-1.5e-7, "-1.5e-7", "-0.00000015"},
        {1.5e300, "1.5e300", "1.5e300"},
        {1.7976931348623157e308, "1.797693134862316e308", "1.7976931348623157e308"},
        {5e-324, "0.0", "5.0e-324"},
        {inf, "1.#INF", "1.#INF"},
        {-inf, "-1.#INF", "-1.#INF"},
        {nan, "1.#NaN", "1.#NaN"},
        {-nan, "1.#NaN", "1.#NaN"},
        {100.0 / 3, "33.33333333333334", "33.333333333333336"},
        {1.0 - 0.9, "0.09999999999999998", "0.09999999999999998"},
        {0.3 - 0.1, "0.2", "0.19999999999999998"},
        {1.0 + 2e-16, "1.0", "1.0000000000000002"},
        {123456789.01, "123456789.01", "123456789.01"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(form_of(flt(c.v)), c.form) << c.mold;
        EXPECT_EQ(molded(flt(c.v)), c.mold) << c.mold;
    }
    float_::pretty_q = false;
    EXPECT_EQ(form_of(flt(0.1 + 0.7)), "0.7999999999999999");
    EXPECT_EQ(form_of(flt(1e-17)), "1.0e-17");
    EXPECT_EQ(form_of(flt(-0.0)), "-0.0");
    EXPECT_EQ(form_of(pct(1e-20)), "1e-18%");
    EXPECT_EQ(form_of(flt(5e-324)), "4.940656458412465e-324");
    float_::pretty_q = true;

    struct PercentCase {
        double v;
        const char* text;
    } percents[] = {
        {0.125, "12.5%"}, {1.0, "100%"},  {0.001, "0.1%"},        {-0.5, "-50%"},
        {1e-20, "0%"},    {0.0, "0%"},    {1e20, "1e22%"},        {inf, "1.#INF"},
        {nan, "1.#NaN"},  {0.1 + 0.2, "30%"}, {1.0 / 3, "33.33333333333%"}, {0.07, "7%"},
    };
    for (const PercentCase& c : percents) {
        EXPECT_EQ(form_of(pct(c.v)), c.text);
        EXPECT_EQ(molded(pct(c.v)), c.text);
    }
    // The texts of the other kinds.
    EXPECT_STREQ(float_::form_float(0.1f, float_::KIND_VECTOR_F32), "0.1");
    EXPECT_STREQ(float_::form_float(3.0, float_::KIND_POINT), "3");
    EXPECT_STREQ(float_::form_float(1e-20, float_::KIND_POINT), "0");
    EXPECT_STREQ(float_::form_float(59.9999999, float_::KIND_TIME), "60");
    EXPECT_STREQ(float_::form_float(12.5, float_::KIND_TIME), "12.5");
    EXPECT_STREQ(float_::form_float(50.0, float_::KIND_VECTOR_PERCENT), "50%");
}

TEST_F(Numbers, FloatHelpersAndMakers) {
    EXPECT_TRUE(float_::nan_q(nan));
    EXPECT_FALSE(float_::nan_q(inf));
    EXPECT_TRUE(float_::special_q(-inf));
    EXPECT_FALSE(float_::special_q(1e308));
    EXPECT_TRUE(float_::almost_equal_f32_q(1.0f, std::nextafter(1.0f, 2.0f)));
    EXPECT_FALSE(float_::almost_equal_f32_q(1.0f, 1.001f));
    EXPECT_EQ(std::bit_cast<uint64_t>(float_::quiet_nan), 0x7FF8000000000000u);
    EXPECT_EQ(float_::below_half, std::nextafter(0.5, 0.0));
    EXPECT_EQ(float_::abs(-0.0), 0.0);
    EXPECT_FALSE(std::signbit(float_::abs(-0.0)));
    Cell block = *block::make_at(stack::push_slot(), 2);
    Cell* f = float_::make_in(&block, 0x3FF00000, 0);
    EXPECT_EQ(f->type(), TYPE_FLOAT);
    EXPECT_EQ(f->float_value(), 1.0);
    Cell* p = percent::make_in(&block, 0x3FE00000, 0);
    EXPECT_EQ(p->type(), TYPE_PERCENT);
    EXPECT_EQ(form_of(*p), "50%");
    Cell* c = char_::make_in(&block, 'z');
    EXPECT_EQ(form_of(*c), "z");
    EXPECT_EQ(block::rs_length_q(&block), 3u);
}

TEST_F(Numbers, FloatRandom) {
    call(slot::random, {flt(2.5)}, {0, -1, -1});
    double a = call(slot::random, {flt(10.0)}).float_value();
    call(slot::random, {flt(2.5)}, {0, -1, -1});
    EXPECT_EQ(call(slot::random, {flt(10.0)}).float_value(), a);
    for (int i = 0; i < 100; ++i) {
        double r = call(slot::random, {flt(-3.0)}).float_value();
        EXPECT_TRUE(r <= 0.0 && r >= -3.0) << r;
        r = call(slot::random, {pct(0.5)}, {-1, 0, -1}).float_value();
        EXPECT_TRUE(r >= 0.0 && r <= 0.5) << r;
    }
    EXPECT_EQ(call(slot::random, {pct(0.5)}).type(), TYPE_PERCENT);
    // The largest doubles stay finite, secure or not.
    const double big = std::numeric_limits<double>::max();
    for (int i = 0; i < 100; ++i) {
        for (int32_t secure : {-1, 0}) {
            double r = call(slot::random, {flt(big)}, {-1, secure, -1}).float_value();
            EXPECT_TRUE(std::isfinite(r) && r >= 0.0 && r <= big) << r;
            r = call(slot::random, {flt(-big)}, {-1, secure, -1}).float_value();
            EXPECT_TRUE(std::isfinite(r) && r <= 0.0 && r >= -big) << r;
        }
    }
}

// ---- char! ------------------------------------------------------------------------------------

TEST_F(Numbers, CharArithmetic) {
    struct Case {
        uint32_t a;
        int32_t op;
        Cell b;
        uint32_t expected;
    } cases[] = {
        {'a', OP_ADD, integer(1), 'b'},   {'a', OP_SUB, integer(97), 0},    {'a', OP_MUL, integer(2), 194},
        {'d', OP_DIV, integer(3), 33},    {'d', OP_REM, integer(3), 1},     {'a', OP_ADD, flt(1.9), 'b'},
        {'a', OP_SUB, chr(' '), 'A'},     {'a', OP_AND, integer(0xDF), 'A'}, {'A', OP_OR, integer(0x20), 'a'},
        {'a', OP_XOR, integer(0x20), 'A'}, {0x10FFFE, OP_ADD, integer(1), 0x10FFFF},
    };
    for (Case& c : cases) {
        Cell r = math(chr(c.a), c.op, c.b);
        EXPECT_EQ(r.type(), TYPE_CHAR) << c.a << " op" << c.op;
        EXPECT_EQ(r.data2, c.expected) << c.a << " op" << c.op;
    }
    EXPECT_FIRES(math(chr('a'), OP_SUB, integer(98)), err::OVERFLOW);
    EXPECT_FIRES(math(chr(0x10FFFF), OP_ADD, integer(1)), err::OVERFLOW);
    EXPECT_FIRES(math(chr('a'), OP_MUL, integer(INT32_MAX)), err::OVERFLOW);
    EXPECT_FIRES(math(chr('a'), OP_ADD, flt(1e10)), err::OVERFLOW);
    EXPECT_FIRES(math(chr('a'), OP_DIV, flt(-1e10)), err::OVERFLOW);
    EXPECT_FIRES(math(chr('a'), OP_ADD, flt(nan)), err::OVERFLOW);
    EXPECT_FIRES(math(chr('a'), OP_DIV, integer(0)), err::ZERO_DIVIDE);
    EXPECT_FIRES(math(chr('a'), OP_REM, chr(0)), err::ZERO_DIVIDE);
    EXPECT_FIRES(math(chr('a'), OP_ADD, str("x")), err::INVALID_TYPE);
    EXPECT_FIRES(math(chr('a'), OP_ADD, pct(0.5)), err::INVALID_TYPE);
    // Inherited from integer!, unsupported others.
    EXPECT_TRUE(call(slot::even_q, {chr('b')}).data1);
    EXPECT_TRUE(call(slot::odd_q, {chr('a')}).data1);
    EXPECT_EQ(call(slot::absolute, {chr('a')}).type(), TYPE_CHAR);
    EXPECT_FIRES(call(slot::negate, {chr('a')}), err::EXPECT_ARG);
    EXPECT_FIRES(call(slot::complement, {chr('a')}), err::EXPECT_ARG);
}

TEST_F(Numbers, ToChar) {
    auto cp = [](Cell c) {
        EXPECT_EQ(c.type(), TYPE_CHAR);
        return c.data2;
    };
    EXPECT_EQ(cp(to_type(TYPE_CHAR, integer(65))), 65u);
    EXPECT_EQ(cp(to_type(TYPE_CHAR, integer(0x10FFFF))), 0x10FFFFu);
    EXPECT_EQ(cp(to_type(TYPE_CHAR, flt(65.9))), 65u);
    EXPECT_EQ(cp(to_type(TYPE_CHAR, pct(65.9))), 65u);
    EXPECT_EQ(cp(to_type(TYPE_CHAR, str("abc"))), static_cast<uint32_t>('a'));
    EXPECT_EQ(cp(to_type(TYPE_CHAR, bin({0xC3, 0xA9}))), 233u);
    EXPECT_EQ(cp(to_type(TYPE_CHAR, bin({0xF0, 0x9F, 0x98, 0x80, 0x41}))), 0x1F600u);
    EXPECT_EQ(cp(make_type(TYPE_CHAR, chr('q'))), static_cast<uint32_t>('q'));
    EXPECT_FIRES(to_type(TYPE_CHAR, integer(1114112)), err::OUT_OF_RANGE);
    EXPECT_FIRES(to_type(TYPE_CHAR, integer(-1)), err::OUT_OF_RANGE);
    EXPECT_FIRES(to_type(TYPE_CHAR, flt(1e10)), err::OUT_OF_RANGE);
    EXPECT_FIRES(to_type(TYPE_CHAR, flt(nan)), err::OUT_OF_RANGE);
    EXPECT_FIRES(to_type(TYPE_CHAR, str("")), err::BAD_TO_ARG);
    EXPECT_FIRES(to_type(TYPE_CHAR, bin({})), err::BAD_TO_ARG);
    EXPECT_FIRES(to_type(TYPE_CHAR, bin({0xC3})), err::BAD_TO_ARG);
    EXPECT_FIRES(to_type(TYPE_CHAR, bin({0xFF, 0x41})), err::INVALID_UTF8);
    EXPECT_FIRES(to_type(TYPE_CHAR, booted::none()), err::BAD_TO_ARG);
}

TEST_F(Numbers, CharTexts) {
    EXPECT_EQ(form_of(chr('x')), "x");
    struct Case {
        uint32_t cp;
        bool all;
        const char* mold;
    } cases[] = {
        {'x', false, "#\"x\""},       {0, false, "#\"^@\""},      {1, false, "#\"^A\""},
        {9, false, "#\"^-\""},        {10, false, "#\"^/\""},      {13, false, "#\"^M\""},
        {26, false, "#\"^Z\""},       {27, false, "#\"^[\""},      {28, false, "#\"^\\\""},
        {29, false, "#\"^]\""},       {30, false, "#\"^(1E)\""},   {31, false, "#\"^_\""},
        {'"', false, "#\"^\"\""},     {'^', false, "#\"^^\""},     {127, false, "#\"^~\""},
        {128, false, "#\"^(80)\""},   {159, false, "#\"^(9F)\""},  {160, false, "#\"\xC2\xA0\""},
        {233, true, "#\"^(E9)\""},    {0x1F600, true, "#\"^(1F600)\""}, {'a', true, "#\"a\""},
        {' ', false, "#\" \""},       {'{', false, "#\"{\""},
    };
    for (const Case& c : cases) EXPECT_EQ(molded(chr(c.cp), c.all), c.mold) << c.cp;
    // form of a wide character widens the buffer.
    Cell r = call(slot::form, {chr(0x1F600)});
    EXPECT_EQ(string::rs_length_q(&r), 1u);
    EXPECT_EQ(string::rs_abs_at(&r, 0), 0x1F600u);
}

// ---- Literals -------------------------------------------------------------------------------

// Number literals read by the lexer mold back to their canonical text.
TEST_F(Numbers, LiteralsMoldBack) {
    struct Case {
        const char* text;
        uint32_t type;
        const char* mold;
    } cases[] = {
        {"1.#INF", TYPE_FLOAT, "1.#INF"},     {"-1.#INF", TYPE_FLOAT, "-1.#INF"},
        {"1.#NaN", TYPE_FLOAT, "1.#NaN"},     {"-0.0", TYPE_FLOAT, "-0.0"},
        {"1e17", TYPE_FLOAT, "1.0e17"},       {"1e-8", TYPE_FLOAT, "1.0e-8"},
        {"1.1", TYPE_FLOAT, "1.1"},           {"1.5E300", TYPE_FLOAT, "1.5e300"},
        {"0.1", TYPE_FLOAT, "0.1"},           {"12.5%", TYPE_PERCENT, "12.5%"},
        {"0.1%", TYPE_PERCENT, "0.1%"},       {"-50%", TYPE_PERCENT, "-50%"},
        {"2147483647", TYPE_INTEGER, "2147483647"},
        {"-2147483648", TYPE_INTEGER, "-2147483648"},
        {"1'000", TYPE_INTEGER, "1000"},      {"#\"a\"", TYPE_CHAR, "#\"a\""},
        {"#\"^/\"", TYPE_CHAR, "#\"^/\""},    {"#\"^(1E)\"", TYPE_CHAR, "#\"^(1E)\""},
    };
    for (const Case& c : cases) {
        Cell text = str(c.text);
        Cell* slot = stack::push_slot();
        slot->header = TYPE_UNSET;
        Cell v = *word::load_value_hook(&text, slot);
        EXPECT_EQ(v.type(), c.type) << c.text;
        EXPECT_EQ(molded(v), c.mold) << c.text;
    }
}

// ---- With the other scalars ------------------------------------------------------------------

TEST_F(Numbers, IntegerAndFloatWithOtherScalars) {
    Cell p{};
    pair::make_at(&p, 2, 3);
    Cell r = math(integer(1), OP_ADD, p);
    EXPECT_EQ(r.type(), TYPE_PAIR);
    EXPECT_EQ(pair::x_of(&r), 3);
    EXPECT_EQ(pair::y_of(&r), 4);
    r = math(integer(1), OP_SUB, p);  // 1 - 2x3 is -2x3 + 1
    EXPECT_EQ(r.type(), TYPE_PAIR);
    EXPECT_EQ(pair::x_of(&r), -1);
    EXPECT_EQ(pair::y_of(&r), -2);
    EXPECT_FIRES(math(integer(1), OP_DIV, p), err::NOT_RELATED);
    EXPECT_FIRES(math(flt(1.0), OP_SUB, p), err::NOT_RELATED);

    const uint8_t bytes[] = {1, 2, 3};
    Cell t{};
    tuple::make_at(&t, bytes, 3);
    r = math(integer(1), OP_ADD, t);
    EXPECT_EQ(r.type(), TYPE_TUPLE);
    EXPECT_EQ(tuple::bytes(&r)[0], 2);
    EXPECT_EQ(tuple::bytes(&r)[2], 4);
    EXPECT_FIRES(math(integer(1), OP_SUB, t), err::NOT_RELATED);
    EXPECT_FIRES(math(integer(1), OP_DIV, t), err::NOT_RELATED);

    Cell m = *money::from_integer(5);
    r = math(integer(2), OP_ADD, m);
    EXPECT_EQ(r.type(), TYPE_MONEY);
    EXPECT_EQ(money::to_integer(&r), 7);
    r = math(integer(10), OP_SUB, m);
    EXPECT_EQ(money::to_integer(&r), 5);
    expect_int(to_type(TYPE_INTEGER, m), 5, "to integer! $5");
    expect_float(to_type(TYPE_FLOAT, m), 5.0, "to float! $5");
    EXPECT_TRUE(actions::compare_star(&(r = integer(5)), &m, actions::COMP_EQUAL));
    Cell five = flt(5.0), four = integer(4);
    EXPECT_TRUE(actions::compare_star(&five, &m, actions::COMP_EQUAL));
    EXPECT_TRUE(actions::compare_star(&four, &m, actions::COMP_LESSER));
    EXPECT_FALSE(actions::compare_star(&four, &m, actions::COMP_GREATER));
    Cell scale = m;
    EXPECT_FIRES(round_of(integer(7), &scale), err::NOT_RELATED);
    EXPECT_FIRES(round_of(flt(7.0), &scale), err::NOT_RELATED);
}

}  // namespace
