// The start-up check of the library's native, action and routine
// definitions against the runtime's tables, over hand-made definitions.
#include <gtest/gtest.h>

#include <string>

#include "booted.h"
#include "library/boot_check.h"
#include "evaluate.h"

namespace {

class BootCheck : public booted::Runtime {};

TEST_F(BootCheck, FindsTheFirstDefinitionThatDisagrees) {
    const struct {
        const char* code;
        const char* found;  // "" when the definitions agree
    } cases[] = {
        {"if: make native! [[cond [any-type!] then-blk [block!]] 1] x: 2", ""},
        {"f: does [make native! [[] 1]] g: make native! 1", ""},
        {"iff: make native! [[cond] 1]",
         "iff: make native! [... 1], but the natives table calls native 1 if"},
        {"x: make native! [[] 999]", "x: make native! [... 999], but the natives table has no native 999"},
        {"sys: [gc: context [quit: make routine! [[] 1]]]",
         "quit: make routine! [... 1], but the routines table calls routine 1 quit-return"},
        {"random: make action! [[value /seed /secure /only] 2]", ""},
        {"random: make action! [[\"doc\" value [any-type!] /seed /only] 2]",
         "random: make action! [... 2] has the refinements \"/seed /only\", but the actions table gives "
         "\"/seed /secure /only\""},
        {"form: make action! [[value /part limit [integer!]] 5] mold: make action! [[value /only] 6]",
         "mold: make action! [... 6] has the refinements \"/only\", but the actions table gives "
         "\"/only /all /flat /part limit\""},
    };
    for (const auto& c : cases) {
        Cell code = test_eval::read(c.code);
        EXPECT_EQ(boot_check::mismatch(&code), c.found) << c.code;
    }
}

}  // namespace
