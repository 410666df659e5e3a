// money!: the 22-digit amount arithmetic against python3's decimal module
// (at the limits too), text in and out, conversions, currencies,
// comparison, rounding modes and fields.
#include "datatypes/money.h"

#include <sstream>

#include "python_peer.h"
#include "scalar_helpers.h"
#include "runtime/number_text.h"

namespace {

using booted::integer;
using namespace scalar_helpers;

class Money : public booted::Runtime {
protected:
    // The money! a text converts to (fails the test when it does not).
    static Cell m(const char* text) {
        Cell c{};
        int error = 0;
        money::text_to_money(reinterpret_cast<const uint8_t*>(text), static_cast<int32_t>(std::strlen(text)), 1,
                             error, &c);
        EXPECT_EQ(error, 0) << text;
        return c;
    }
    static bool reads(const char* text) {
        Cell c{};
        int error = 0;
        money::text_to_money(reinterpret_cast<const uint8_t*>(text), static_cast<int32_t>(std::strlen(text)), 1,
                             error, &c);
        return error == 0;
    }
    static Cell round(Cell v, const Cell* scale, int mode = -1) {
        // Refinement slots: /to, /even, /down, /half-down, /floor, /ceiling, /half-ceiling.
        std::vector<int32_t> refs(7, -1);
        if (scale) refs[0] = 1;
        if (mode >= 1) refs[mode] = 1;
        return scale ? booted::call(actions::slot::round, {v, *scale}, refs) : booted::call(actions::slot::round, {v}, refs);
    }
};

TEST_F(Money, AmountArithmeticAgreesWithDecimal) {
    struct Case {
        const char* a;
        char op;
        const char* b;
    } cases[] = {
        {"99999999999999999.99999", '+', "0.00001"},  {"99999999999999999.99998", '+', "0.00001"},
        {"90000000000000000", '+', "10000000000000000"}, {"-99999999999999999.99999", '-', "0.00001"},
        {"-7.5", '+', "2.5"},                         {"123.45678", '-', "123.45679"},
        {"0", '-', "5"},                              {"-3", '-', "-3"},
        {"0.00001", '*', "0.00001"},                  {"1.5", '*', "1.5"},
        {"99999999999.99999", '*', "999999.99999"},   {"12345678901.23456", '*', "-0.5"},
        {"9999999999999.99999", '*', "99999.99999"},  {"0.1", '*', "0.0001"},
        {"0.1", '*', "0.00009"},                      {"31622776601.68379", '*', "3162277.66016"},
        {"10", '/', "4"},                             {"1", '/', "3"},
        {"-2", '/', "3"},                             {"5", '/', "0"},
        {"0.00001", '/', "3"},                        {"99999999999999999", '/', "0.5"},
        {"12345678901234567.12345", '/', "3"},        {"1000000000000000", '/', "0.1"},
        {"0.00002", '/', "2"},                        {"7", '/', "-0.00003"},
        {"5", '%', "3"},                              {"-5", '%', "3"},
        {"99999999999999999.99999", '%', "0.00007"},  {"1.5", '%', "-0.4"},
        {"-0.00001", '%', "1"},                       {"5", '%', "0"},
    };
    std::ostringstream script;
    script << "from decimal import Decimal, getcontext\n"
              "getcontext().prec = 100\n"
              "def units(s): return int(Decimal(s) * 100000)\n"
              "def sig(u): return len(str(abs(u))) if u else 1\n"
              "def fmt(u): return ('-' if u < 0 else '') + '$%d.%05d' % (abs(u) // 100000, abs(u) % 100000)\n"
              "def run(a, op, b):\n"
              "    x, y = units(a), units(b)\n"
              "    neg = (x < 0) != (y < 0)\n"
              "    if op in '+-':\n"
              "        r = x + y if op == '+' else x - y\n"
              "        return 'LIMIT' if abs(r) >= 10**22 else fmt(r)\n"
              "    if op == '*':\n"
              "        if x == 0 or y == 0: return fmt(0)\n"
              "        if sig(x) + sig(y) > 28: return 'LIMIT'\n"
              "        p = abs(Decimal(x) * Decimal(y))\n"
              "        if p >= 10**27: return 'LIMIT'\n"
              "        r = int(p // 100000)\n"
              "        return 'LIMIT' if r == 0 else fmt(-r if neg else r)\n"
              "    if y == 0: return 'ZERO'\n"
              "    if x == 0: return fmt(0)\n"
              "    if op == '%':\n"
              "        r = abs(x) % abs(y)\n"
              "        return fmt(-r if x < 0 else r)\n"
              "    if sig(x) - sig(y) + 6 > 22: return 'LIMIT'\n"
              "    q = int((Decimal(abs(x)) * 100000) // Decimal(abs(y)))\n"
              "    if q == 0 or q >= 10**22: return 'LIMIT'\n"
              "    return fmt(-q if neg else q)\n"
              "for a, op, b in [";
    for (const Case& c : cases) script << "('" << c.a << "','" << c.op << "','" << c.b << "'),";
    script << "]:\n    print(run(a, op, b))\n";
    std::string out = python_peer::run_text(script.str());
    ASSERT_FALSE(out.empty()) << "the python3 peer printed nothing";
    std::istringstream lines(out);
    for (const Case& c : cases) {
        std::string expected;
        ASSERT_TRUE(lines >> expected);
        Cell a = m(c.a), b = m(c.b);
        std::string got;
        try {
            switch (c.op) {
                case '+': money::add_amounts(&a, &b); break;
                case '-': money::subtract_amounts(&a, &b); break;
                case '*': money::multiply_amounts(&a, &b); break;
                case '/': money::divide_amounts(&a, &b, false); break;
                default: money::divide_amounts(&a, &b, true); break;
            }
            got = mold(a, true);
        } catch (const ErrorThrown& e) {
            got = e.id.position == err::ZERO_DIVIDE.position && e.id.category == ERR_MATH ? "ZERO"
                  : e.id.category == ERR_SCRIPT && e.id.position == err::TYPE_LIMIT.position ? "LIMIT"
                                                                                            : "OTHER";
        }
        EXPECT_EQ(got, expected) << c.a << " " << c.op << " " << c.b;
    }
}

TEST_F(Money, TextInAndOut) {
    Cell big = m("1234567.891");
    EXPECT_EQ(form(big), "$1'234'567.89");
    EXPECT_EQ(mold(big), "$1234567.89");
    EXPECT_EQ(mold(big, true), "$1234567.89100");
    EXPECT_EQ(mold(m("0")), "$0.00");
    EXPECT_EQ(mold(m("-$1.5")), "-$1.50");
    EXPECT_EQ(mold(m("USD$12.34")), "USD$12.34");
    EXPECT_EQ(mold(m("eur$1'000")), "EUR$1000.00");
    EXPECT_EQ(form(m("EUR$1'000")), "EUR$1'000.00");
    EXPECT_EQ(form(m("99999999999999999.99999")), "$99'999'999'999'999'999.99");
    EXPECT_EQ(mold(m("+$0.999")), "$0.99");  // decimals are cut, not rounded
    EXPECT_EQ(money::currency_of(&(big = m("USD$1"))), 155u);
    EXPECT_EQ(money::currency_of(&(big = m("EUR$1"))), 47u);
    for (const char* bad : {"US$1", "$", "XYZ$1", "$1..2", "$'1", "$1'", "$1''0", "$1.5'0", "1.", "$.5", "",
                            "123456789012345678", "$1e5"})
        EXPECT_FALSE(reads(bad)) << bad;
    EXPECT_TRUE(reads("000000000000000000000012345678901234567.5"));
}

TEST_F(Money, Conversions) {
    Cell c;
    EXPECT_EQ(mold(*money::make_float_at(&c, 1.123456, false), true), "$1.12345");
    EXPECT_FIRES(money::make_float_at(&c, 1.123456, true), err::BAD_MAKE_ARG);
    EXPECT_FIRES(money::make_float_at(&c, 0.000001, false), err::BAD_MAKE_ARG);
    EXPECT_FIRES(money::make_float_at(&c, 1e17, false), err::BAD_MAKE_ARG);
    EXPECT_FIRES(money::make_float_at(&c, 0.0 / 0.0, false), err::BAD_MAKE_ARG);
    EXPECT_EQ(mold(*money::make_float_at(&c, 0.1, true), true), "$0.10000");
    EXPECT_EQ(mold(*money::make_float_at(&c, -2.5e-5, false), true), "-$0.00002");
    EXPECT_FIRES(money::make_float_at(&c, -2.5e-5, true), err::BAD_MAKE_ARG);
    EXPECT_EQ(mold(*money::make_float_at(&c, 99999999999999984.0, true), true), "$99999999999999980.00000");  // its shortest text
    EXPECT_EQ(mold(*money::make_integer_at(&c, -2147483647 - 1), true), "-$2147483648.00000");
    EXPECT_EQ(money::to_integer(&(c = m("2147483647.99"))), 2147483647);
    EXPECT_EQ(money::to_integer(&(c = m("-2147483648.5"))), -2147483647 - 1);
    EXPECT_EQ(money::to_integer(&(c = m("-1.99"))), -1);
    EXPECT_FIRES(money::to_integer(&(c = m("2147483648"))), err::TYPE_LIMIT);
    EXPECT_EQ(money::to_float(&(c = m("-12.34567"))), -12.34567);
    EXPECT_EQ(money::to_float(&(c = m("99999999999999999.99999"))), 1e17);
    // A zero amount with the sign bit set is zero.
    c = m("-0");
    c.header |= money::SIGN_FLAG;
    EXPECT_EQ(money::sign_q(&c), 0);
    EXPECT_TRUE(money::zero_q(&c));
    EXPECT_TRUE(cmp(c, m("0"), actions::COMP_EQUAL));
    EXPECT_EQ(mold(c), "$0.00");
}

TEST_F(Money, MakeAndTo) {
    Cell proto = booted::dtype(TYPE_MONEY);
    auto make = [&](Cell spec) { return booted::call(actions::slot::make, {proto, spec}); };
    EXPECT_FIRES(make(booted::word("XYZ")), err::BAD_MAKE_ARG);
    EXPECT_EQ(mold(make(booted::word("usd"))), "USD$0.00");
    EXPECT_EQ(mold(make(block_of({booted::word("EUR"), integer(5)}))), "EUR$5.00");
    EXPECT_EQ(mold(make(block_of({integer(5), integer(12345)})), true), "$5.12345");
    EXPECT_EQ(mold(make(block_of({booted::word("USD"), integer(12), integer(50000)}))), "USD$12.50");
    EXPECT_EQ(mold(make(block_of({integer(-3), integer(50000)}))), "-$3.50");
    EXPECT_FIRES(make(block_of({flt(5.5), integer(1)})), err::BAD_MAKE_ARG);
    EXPECT_FIRES(make(block_of({integer(5), integer(100000)})), err::BAD_MAKE_ARG);
    EXPECT_FIRES(make(block_of({booted::word("USD")})), err::BAD_MAKE_ARG);
    EXPECT_FIRES(make(block_of({})), err::BAD_MAKE_ARG);
    EXPECT_EQ(mold(make(integer(7))), "$7.00");
    EXPECT_EQ(mold(make(flt(7.25))), "$7.25");
    EXPECT_FIRES(make(booted::none()), err::BAD_TO_ARG);
}

TEST_F(Money, ComparisonAndCurrencies) {
    EXPECT_FALSE(cmp(m("USD$1"), m("EUR$1"), actions::COMP_EQUAL));
    EXPECT_TRUE(cmp(m("USD$1"), m("$1"), actions::COMP_EQUAL));
    EXPECT_FALSE(cmp(m("USD$1"), m("$1"), actions::COMP_STRICT_EQUAL));
    EXPECT_FIRES(cmp(m("USD$1"), m("EUR$2"), actions::COMP_LESSER), err::WRONG_DENOM);
    EXPECT_TRUE(cmp(m("-$2"), m("$1"), actions::COMP_LESSER));
    EXPECT_TRUE(cmp(m("-$2"), m("-$1"), actions::COMP_LESSER));
    EXPECT_TRUE(cmp(m("$1"), integer(1), actions::COMP_EQUAL));
    EXPECT_TRUE(cmp(m("$1.5"), flt(1.5), actions::COMP_EQUAL));
    EXPECT_FALSE(cmp(m("$1.5"), integer(1), actions::COMP_STRICT_EQUAL));
    // Floats past five decimals or beyond the range compare by value.
    EXPECT_TRUE(cmp(m("$1"), flt(1.000001), actions::COMP_LESSER));
    EXPECT_FALSE(cmp(m("$1"), flt(1.000001), actions::COMP_EQUAL));
    EXPECT_TRUE(cmp(m("-$1"), flt(-1.000001), actions::COMP_GREATER));
    EXPECT_TRUE(cmp(m("$0"), flt(1e-6), actions::COMP_LESSER));
    EXPECT_TRUE(cmp(m("-$5"), flt(1e-6), actions::COMP_LESSER));
    EXPECT_TRUE(cmp(m("$5"), flt(-1e20), actions::COMP_GREATER));
    EXPECT_TRUE(cmp(m("$5"), flt(1e20), actions::COMP_LESSER));
    Cell a = m("USD$1"), b = m("EUR$1");
    EXPECT_EQ(money::compare(&a, &b, actions::COMP_SORT), 1);  // EUR before USD
    Cell n = m("$9");
    EXPECT_EQ(money::compare(&n, &a, actions::COMP_SORT), -1);  // no currency first
}

TEST_F(Money, Arithmetic) {
    EXPECT_FIRES(op(actions::slot::add, m("USD$1"), m("EUR$1")), err::WRONG_DENOM);
    EXPECT_EQ(mold(op(actions::slot::add, m("USD$1"), m("$1"))), "USD$2.00");
    EXPECT_EQ(mold(op(actions::slot::add, m("$1"), m("EUR$1"))), "EUR$2.00");
    EXPECT_EQ(mold(op(actions::slot::add, m("$1"), integer(1))), "$2.00");
    EXPECT_EQ(mold(op(actions::slot::multiply, m("$1.50"), integer(2))), "$3.00");
    EXPECT_EQ(mold(op(actions::slot::multiply, m("$10"), flt(1.123456)), true), "$11.23450");
    EXPECT_FIRES(op(actions::slot::multiply, m("$1"), m("$2")), err::INVALID_TYPE);
    Cell q = op(actions::slot::divide, m("$10"), m("$4"));
    EXPECT_EQ(q.type(), TYPE_FLOAT);
    EXPECT_EQ(q.float_value(), 2.5);
    EXPECT_EQ(mold(op(actions::slot::divide, m("$10"), integer(4))), "$2.50");
    EXPECT_EQ(mold(op(actions::slot::remainder, m("-$5"), m("$3"))), "-$2.00");
    EXPECT_FIRES(op(actions::slot::add, m("$1"), booted::none()), err::INVALID_TYPE);
    // A number on the left (as integer! and float! arithmetic hand it over).
    Cell args[2] = {integer(3), m("USD$1.5")};
    EXPECT_EQ(mold(*money::do_math(&args[0], &args[1], 2)), "USD$4.50");
    Cell args2[2] = {integer(3), m("$1.5")};
    EXPECT_FIRES(money::do_math(&args2[0], &args2[1], 3), err::INVALID_TYPE);
    EXPECT_EQ(mold(booted::call(actions::slot::negate, {m("$1")})), "-$1.00");
    EXPECT_EQ(mold(booted::call(actions::slot::absolute, {m("-$1")})), "$1.00");
}

TEST_F(Money, Rounding) {
    EXPECT_EQ(mold(round(m("$2.5"), nullptr)), "$3.00");
    EXPECT_EQ(mold(round(m("-$2.5"), nullptr)), "-$3.00");
    EXPECT_EQ(mold(round(m("$2.5"), nullptr, 1)), "$2.00");
    EXPECT_EQ(mold(round(m("$3.5"), nullptr, 1)), "$4.00");
    EXPECT_EQ(mold(round(m("-$2.7"), nullptr, 2)), "-$2.00");
    EXPECT_EQ(mold(round(m("$2.5"), nullptr, 3)), "$2.00");
    EXPECT_EQ(mold(round(m("-$2.1"), nullptr, 4)), "-$3.00");
    EXPECT_EQ(mold(round(m("-$2.5"), nullptr, 5)), "-$2.00");
    EXPECT_EQ(mold(round(m("-$2.5"), nullptr, 6)), "-$2.00");
    EXPECT_EQ(mold(round(m("$2.5"), nullptr, 6)), "$3.00");
    EXPECT_EQ(mold(round(m("$2.4"), nullptr, 6)), "$2.00");
    Cell nickel = m("$0.05");
    EXPECT_EQ(mold(round(m("$1.234"), &nickel)), "$1.25");
    // The half is measured against the scale, /even by the quotient's parity.
    Cell ten = integer(10);
    EXPECT_EQ(mold(round(m("$15"), &ten, 3)), "$10.00");
    EXPECT_EQ(mold(round(m("$15"), &ten, 1)), "$20.00");
    EXPECT_EQ(mold(round(m("$25"), &ten, 1)), "$20.00");
    EXPECT_EQ(mold(round(m("$25"), &ten)), "$30.00");
    EXPECT_EQ(mold(round(m("$24.99"), &ten)), "$20.00");
    Cell tenth = flt(0.1);
    EXPECT_EQ(mold(round(m("USD$1.25"), &tenth), true), "USD$1.30000");
    EXPECT_EQ(mold(round(m("$0"), &ten)), "$0.00");
    Cell zero = integer(0);
    EXPECT_EQ(mold(round(m("$1.5"), &zero)), "$1.50");
    Cell bad = booted::none();
    EXPECT_FIRES(round(m("$1"), &bad), err::NOT_RELATED);
    EXPECT_FIRES(round(m("99999999999999999.5"), nullptr), err::TYPE_LIMIT);
    Cell v = m("$2.50");
    EXPECT_TRUE(actions::even_q(&v));
    v = m("$3.99");
    EXPECT_TRUE(actions::odd_q(&v));
}

TEST_F(Money, FieldsAndRandom) {
    Cell v = m("USD$12.5");
    Cell code = path(v, booted::word("code"));
    EXPECT_EQ(code.type(), TYPE_WORD);
    EXPECT_EQ(mold(path(v, booted::word("amount"))), "$12.50");
    EXPECT_EQ(pick(m("$1"), integer(1)).type(), TYPE_NONE);
    EXPECT_EQ(mold(pick(v, integer(2))), "$12.50");
    EXPECT_FIRES(pick(v, integer(3)), err::OUT_OF_RANGE);
    EXPECT_FIRES(path(v, booted::word("cents")), err::INVALID_PATH);
    Cell one = integer(1);
    EXPECT_FIRES(path(v, integer(2), &one), err::BAD_PATH_SET);
    Cell seeded = booted::call(actions::slot::random, {m("$5")}, {0, -1, -1});
    EXPECT_EQ(seeded.type(), TYPE_UNSET);
    for (int i = 0; i < 50; ++i) {
        Cell r = booted::call(actions::slot::random, {m("USD$5.25")});
        ASSERT_EQ(r.type(), TYPE_MONEY);
        EXPECT_EQ(money::currency_of(&r), 155u);
        EXPECT_TRUE(cmp(r, m("USD$5.25"), actions::COMP_LESSER_EQUAL)) << mold(r, true);
        EXPECT_TRUE(cmp(r, m("USD$0"), actions::COMP_GREATER_EQUAL)) << mold(r, true);
    }
}

}  // namespace
