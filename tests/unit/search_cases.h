// Runs Zem code as the language tests do (the real lexer and the library's
// words), for the block search, sort, set-operation, hash! and map! tests.
#pragma once
#include <string>

#include "evaluate.h"
#include "booted.h"
#include "mini_reader.h"
#include "services/lexer/lexer.h"

namespace search_cases {

// The mold of the code's value ("unset" for no value), or "error " and the
// error's id; the stacks are put back afterwards.
inline std::string run(const std::string& code) {
    test_eval::Result r = test_eval::evaluate(code);
    if (r.kind == test_eval::Result::exit) return "<non-local exit>";
    if (r.kind == test_eval::Result::error) return "error " + r.error_id;
    if (r.cell.type() == TYPE_UNSET) return "unset";
    Cell* buffer = string::rs_make_at(stack::push_slot(), 16);
    actions::mold(&r.cell, buffer, false, false, false, nullptr, INT32_MAX, 0);
    std::string out = booted::text_of(buffer);
    stack::pop(1);
    return out;
}

struct Case {
    const char* code;
    const char* expected;
};

class Fixture : public booted::Runtime {
protected:
    void SetUp() override {
        booted::Runtime::SetUp();
        // The library defines the words when it is in the boot image.
        Cell w = mini::word_cell("find", TYPE_WORD);
        if (context::get(&w)->type() == TYPE_UNSET) mini::boot();
    }
    void check(std::initializer_list<Case> cases) {
        for (const Case& c : cases) EXPECT_EQ(run(c.code), c.expected) << c.code;
    }
};

}  // namespace search_cases
