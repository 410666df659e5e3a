// The natives of loops, choice, do, get/set, comparison, reduce and compose
// where the language-level cases cannot reach: printed output, NaN counts,
// and the loops under collector stress.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "booted.h"
#include "child.h"
#include "datatypes/error.h"
#include "evaluator/natives.h"
#include "runtime/collector.h"

using test_eval::error_of;
using test_eval::molded;

namespace {
class NativesCore : public booted::Library {};

TEST_F(NativesCore, PrintReducesBlocksAndFormsValues) {
    auto out = testing_child::run([] {
        test_eval::run("print [1 + 1 \"a\"] prin \"x\" prin [] print 5 print \"s\" print [[1 2] \"b\" 'c]");
        std::printf("|%d", natives::last_lf_q ? 1 : 0);
    });
    EXPECT_EQ(out.output, "2 a\nx5\ns\n1 2 b c\n|1");
}

// A throw or an error while the printed block is reduced prints nothing and
// leaves later prints whole.
TEST_F(NativesCore, PrintLeftByThrowOrErrorPrintsNothing) {
    auto out = testing_child::run([] {
        test_eval::run("catch [print [1 throw 2]] try [print [3 zzz]] loop 2 [print [4 break]] print [5 6]");
    });
    EXPECT_EQ(out.output, "5 6\n");
}

// A NaN count is outside every range: the loop raises out-of-range instead
// of running some count.
TEST_F(NativesCore, NaNAndHugeFloatCountsRaiseOutOfRange) {
    Cell nan{TYPE_FLOAT, 0, 0, 0};
    nan.set_float(std::nan(""));
    test_eval::set_global("nan-count", nan);
    Cell huge{TYPE_FLOAT, 0, 0, 0};
    huge.set_float(4294967297.0);
    test_eval::set_global("huge-count", huge);
    EXPECT_EQ(error_of("loop nan-count [1]"), "out-of-range");
    EXPECT_EQ(error_of("repeat i nan-count [i]"), "out-of-range");
    EXPECT_EQ(error_of("loop huge-count [1]"), "out-of-range");
    EXPECT_EQ(error_of("repeat i huge-count [i]"), "out-of-range");
}

// expect-arg names the native, and the argument (or the loop word).
TEST_F(NativesCore, ErrorsNameTheRefusedArgument) {
    Cell e = test_eval::run("try [foreach x 5 [x]]");
    ASSERT_EQ(e.type(), TYPE_ERROR);
    EXPECT_EQ(symbol::text(error::field(&e, error::ARG1)->symbol()), std::string("foreach"));
    EXPECT_EQ(symbol::text(error::field(&e, error::ARG3)->symbol()), std::string("series"));
    e = test_eval::run("x: 5 try [forall x []]");
    EXPECT_EQ(symbol::text(error::field(&e, error::ARG1)->symbol()), std::string("forall"));
    EXPECT_EQ(symbol::text(error::field(&e, error::ARG3)->symbol()), std::string("x"));
}

TEST_F(NativesCore, LoopsReduceAndComposeUnderCollectorStress) {
    collector::active = 1;
    collector::stress = true;
    const struct {
        const char* code;
        const char* mold;
    } cases[] = {
        {"s: 0 foreach [a b] [1 2 3 4 5] [s: s + a] s", "9"},
        {"b: [1 2 3 4 5 6] remove-each x b [3 < x] b", "[1 2 3]"},
        {"remove-each [a b] [\"ab\" \"cd\" \"ef\"] [b = \"cd\"]", "[\"ef\"]"},
        {"b: [1 2 3] n: 0 forall b [n: n + b/1] reduce [n b]", "[6 [1 2 3]]"},
        {"reduce [1 + 1 \"x\" [y] 2 * 3]", "[2 \"x\" [y] 6]"},
        {"compose/deep [(reduce [1 2]) [(3 + 4) ([5])] (\"s\")]", "[1 2 [7 5] \"s\"]"},
        {"b: [0] compose/into [(1) ([2 3])] b b", "[1 2 3 0]"},
        {"switch 2 [1 [10] 2 [20]]", "20"},
        {"case/all [1 = 1 [10] 2 = 2 [20]]", "20"},
        {"set [p q] [7 8] reduce [p q]", "[7 8]"},
        {"do/next [1 + 2 3] 'r reduce [r]", "[[3]]"},
    };
    for (const auto& c : cases) EXPECT_EQ(molded(test_eval::run(c.code)), c.mold) << c.code;
    collector::stress = false;
    collector::active = 0;
}

}  // namespace
