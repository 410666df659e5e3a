// Runs Zem code as the language tests do (the real lexer, and the library's
// words, else the test start-up of mini_reader.h with the series actions
// bound to their words), for the block search, sort, set-operation, hash!
// and map! tests.
#pragma once
#include <string>

#include "evaluate.h"
#include "booted.h"
#include "mini_reader.h"
#include "services/lexer/lexer.h"

namespace search_cases {

// The actions the test start-up leaves out, as `make action!` would make
// them (every argument accepts any value: the tests are about the actions).
inline void bind_actions() {
    const struct {
        const char* word;
        const char* spec;
        int32_t slot;
    } list[] = {
        {"to", "type [any-type!] spec [any-type!]", 4},
        {"reflect", "value [any-type!] field [any-type!]", 3},
        {"random", "value [any-type!] /seed /secure /only", 2},
        {"change", "series [any-type!] value [any-type!] /part range [any-type!] /only /dup count [any-type!]", 28},
        {"clear", "series [any-type!]", 29},
        {"copy", "value [any-type!] /part length [any-type!] /deep /types kind [any-type!]", 30},
        {"find", "series [any-type!] value [any-type!] /part length [any-type!] /only /case /same /any /with wild [any-type!] /skip size [any-type!] /last /reverse /tail /match", 31},
        {"head", "series [any-type!]", 32},
        {"index?", "series [any-type!]", 34},
        {"insert", "series [any-type!] value [any-type!] /part length [any-type!] /only /dup count [any-type!]", 35},
        {"length?", "series [any-type!]", 36},
        {"move", "origin [any-type!] target [any-type!] /part length [any-type!]", 37},
        {"next", "series [any-type!]", 38},
        {"pick", "series [any-type!] index [any-type!]", 39},
        {"poke", "series [any-type!] index [any-type!] value [any-type!]", 40},
        {"put", "series [any-type!] key [any-type!] value [any-type!] /case", 41},
        {"remove", "series [any-type!] /part length [any-type!] /key key-arg [any-type!]", 42},
        {"reverse", "series [any-type!] /part length [any-type!] /skip size [any-type!]", 43},
        {"select", "series [any-type!] value [any-type!] /part length [any-type!] /only /case /same /any /with wild [any-type!] /skip size [any-type!] /last /reverse", 44},
        {"sort", "series [any-type!] /case /skip size [any-type!] /compare comparator [any-type!] /part length [any-type!] /all /reverse /stable", 45},
        {"skip", "series [any-type!] offset [any-type!]", 46},
        {"swap", "series1 [any-type!] series2 [any-type!]", 47},
        {"tail", "series [any-type!]", 48},
        {"take", "series [any-type!] /part length [any-type!] /deep /last", 50},
        {"trim", "series [any-type!] /head /tail /auto /lines /all /with str [any-type!]", 51},
    };
    Cell* saved = stack::top;
    for (const auto& a : list) mini::make_native(TYPE_ACTION, a.word, a.spec, a.slot);
    stack::top = saved;
}

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
        if (context::get(&w)->type() == TYPE_UNSET) {
            mini::boot();
            bind_actions();
        }
    }
    void check(std::initializer_list<Case> cases) {
        for (const Case& c : cases) EXPECT_EQ(run(c.code), c.expected) << c.code;
    }
};

}  // namespace search_cases
