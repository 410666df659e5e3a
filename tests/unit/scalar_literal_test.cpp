// Literals of the scalar datatypes read by the lexer and molded back, and
// the conversions from text that load through it.
#include "scalar_helpers.h"
#include "services/lexer/lexer.h"

namespace {

using booted::integer;
using namespace scalar_helpers;

class ScalarLiterals : public booted::Runtime {
protected:
    static Cell text(const char* t) {
        Cell s = *string::rs_make_at(stack::push_slot(), 8);
        string::concatenate_literal(&s, t);
        return s;
    }
    static Cell load(const char* t) {
        Cell s = text(t);
        Cell slot{TYPE_UNSET, 0, 0, 0};
        return *lexer::load_value(&s, &slot);
    }
    static Cell to(uint32_t type, const char* t) {
        return booted::call(actions::slot::to, {booted::dtype(type), text(t)});
    }
};

TEST_F(ScalarLiterals, MoldAsThemselves) {
    struct Case {
        const char* source;
        uint32_t type;
        const char* molded;
    } cases[] = {
        {"1:02:03", TYPE_TIME, "1:02:03"},
        {"-0:01:30", TYPE_TIME, "-0:01:30"},
        {"12:30.5", TYPE_TIME, "0:12:30.5"},
        {"1-Jan-2000/10:00+1:00", TYPE_DATE, "1-Jan-2000/10:00:00+01:00"},
        {"2000-02-29", TYPE_DATE, "29-Feb-2000"},
        {"5/Feb/45", TYPE_DATE, "5-Feb-2045"},
        {"1.2.3", TYPE_TUPLE, "1.2.3"},
        {"255.0.0.128", TYPE_TUPLE, "255.0.0.128"},
        {"$1.50", TYPE_MONEY, "$1.50"},
        {"USD$12.34", TYPE_MONEY, "USD$12.34"},
        {"-EUR$1'000.5", TYPE_MONEY, "-EUR$1000.50"},
        {"640x480", TYPE_PAIR, "640x480"},
        {"(1, 2)", TYPE_POINT2D, "(1, 2)"},
        {"(1.5, -2, 3)", TYPE_POINT3D, "(1.5, -2, 3)"},
    };
    for (const Case& c : cases) {
        Cell v = load(c.source);
        EXPECT_EQ(v.type(), c.type) << c.source;
        EXPECT_EQ(mold(v), c.molded) << c.source;
    }
    EXPECT_EQ(mold(op(actions::slot::add, load("1.2.3"), load("1.1.1"))), "2.3.4");
    EXPECT_EQ(mold(op(actions::slot::add, load("200.100.50"), integer(100))), "255.200.150");
    EXPECT_EQ(mold(op(actions::slot::multiply, load("$1.50"), integer(2))), "$3.00");
}

TEST_F(ScalarLiterals, ConversionsFromText) {
    EXPECT_EQ(mold(to(TYPE_TIME, "12:30")), "12:30:00");
    EXPECT_FIRES(to(TYPE_TIME, "abc"), err::BAD_TO_ARG);
    EXPECT_EQ(mold(to(TYPE_TUPLE, "1.2.3.4")), "1.2.3.4");
    EXPECT_FIRES(to(TYPE_TUPLE, "1x2"), err::BAD_TO_ARG);
    EXPECT_EQ(mold(to(TYPE_PAIR, "3x4")), "3x4");
    EXPECT_FIRES(to(TYPE_PAIR, "abc"), err::BAD_TO_ARG);
    EXPECT_EQ(mold(to(TYPE_POINT2D, "(1, 2)")), "(1, 2)");
    EXPECT_FIRES(to(TYPE_POINT3D, "(1, 2)"), err::BAD_TO_ARG);
    EXPECT_EQ(mold(to(TYPE_MONEY, "USD$1.50")), "USD$1.50");
    EXPECT_EQ(mold(to(TYPE_MONEY, "-$2")), "-$2.00");
    EXPECT_FIRES(to(TYPE_MONEY, "US$1"), err::BAD_TO_ARG);
    EXPECT_FIRES(to(TYPE_DATE, "1-Jan-2000"), err::BAD_TO_ARG);
}

}  // namespace
