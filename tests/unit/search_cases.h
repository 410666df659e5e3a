// Runs Zem code as the language tests do (the real lexer and the library's
// words), for the block search, sort, set-operation, hash! and map! tests.
#pragma once
#include <string>

#include "booted.h"
#include "evaluate.h"

namespace search_cases {

struct Case {
    const char* code;
    const char* expected;
};

class Fixture : public booted::Runtime {
protected:
    void SetUp() override {
        booted::Runtime::SetUp();
        // The library defines the words when it is in the boot image.
        if (test_eval::get_global("find").type() == TYPE_UNSET) test_eval::boot();
    }
    void check(std::initializer_list<Case> cases) {
        for (const Case& c : cases) EXPECT_EQ(test_eval::outcome(c.code), c.expected) << c.code;
    }
};

}  // namespace search_cases
