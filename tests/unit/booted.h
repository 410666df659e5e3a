// A booted runtime for tests of the value model: memory, the registry, the
// symbol table, the global context and the fixed words (the Library fixture
// boots the library too, for the tests that run code); plus small helpers
// to build values and call actions through their stack entry points.
#pragma once
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "datatypes/block.h"
#include "evaluator/context.h"
#include "datatypes/datatype.h"
#include "datatypes/string.h"
#include "datatypes/word.h"
#include "evaluator/actions.h"
#include "evaluator/cycles.h"
#include "evaluator/errors.h"
#include "evaluator/stack.h"
#include "evaluator/symbol.h"
#include "app/runtime.h"
#include "evaluate.h"
#include "runtime/collector.h"
#include "runtime/typesets.h"

namespace booted {

class Runtime : public ::testing::Test {
protected:
    void SetUp() override { test_eval::start(); }
    void TearDown() override {
        cycles::reset();
        runtime::cleanup();
    }
};

// The runtime with the library booted, for the tests that run Zem code;
// automatic collection and the stress switch are off again afterwards.
class Library : public Runtime {
protected:
    void SetUp() override {
        Runtime::SetUp();
        try {
            test_eval::boot();
        } catch (const ErrorThrown& e) {
            FAIL() << "boot raised " << errors::id_word(e.id) << " "
                   << (e.arg_count && in(ALL_WORD, e.args[0].type()) ? symbol::text(e.args[0].symbol()) : "");
        }
    }
    void TearDown() override {
        collector::stress = false;
        collector::active = 0;
        Runtime::TearDown();
    }
};

inline Cell integer(int32_t n) { return Cell{TYPE_INTEGER, 0, static_cast<uint32_t>(n), 0}; }
inline Cell logic(bool b) { return Cell{TYPE_LOGIC, b ? 1u : 0u, 0, 0}; }
inline Cell none() { return Cell{TYPE_NONE, 0, 0, 0}; }
inline Cell dtype(uint32_t t) {
    Cell c{};
    return *datatype::make_at(&c, t);
}
// A word of the given type bound to the global context.
inline Cell word(const char* text, uint32_t type = TYPE_WORD) {
    Cell w{TYPE_UNSET, 0, 0, 0};
    word::make_at(symbol::make(text), &w);
    set_type(&w, type);
    return w;
}

// The text of a string! (code points below 128 as they are, others as "?").
inline std::string text_of(const Cell* str) {
    std::string s;
    uint32_t n = string::rs_length_q(str);
    for (uint32_t i = 0; i < n; ++i) {
        uint32_t cp = string::rs_abs_at(str, str->head() + i);
        s += cp < 128 ? static_cast<char>(cp) : '?';
    }
    return s;
}

// Calls the stack entry point of an action slot inside a native frame: the
// arguments are pushed in order, `refinements` holds one position per
// refinement (-1 when absent), positions counted from the first argument.
inline Cell call(uint32_t slot, std::initializer_list<Cell> args, std::vector<int32_t> refinements = {}) {
    refinements.resize(actions::refinement_count(slot), -1);
    stack::mark_native(nullptr);
    for (const Cell& a : args) stack::push(&a);
    Cell* base = stack::arguments;
    (void)actions::entry(slot)(false, refinements.data());
    Cell r = *base;
    stack::unwind();
    return r;
}

// The error id a statement raises; the stacks are cut back afterwards, as
// a try frame would.
#define EXPECT_FIRES(statement, error_id)                                   \
    do {                                                                     \
        Cell* saved_top_ = stack::top;                                       \
        Cell* saved_arguments_ = stack::arguments;                           \
        stack::Frame* saved_ctop_ = stack::ctop;                             \
        try {                                                                \
            statement;                                                       \
            ADD_FAILURE() << "no error raised by " #statement;              \
        } catch (const ErrorThrown& e) {                                     \
            EXPECT_EQ(e.id.category, (error_id).category) << #error_id;      \
            EXPECT_EQ(e.id.position, (error_id).position) << #error_id;      \
        }                                                                    \
        stack::top = saved_top_;                                             \
        stack::arguments = saved_arguments_;                                 \
        stack::ctop = saved_ctop_;                                           \
    } while (0)

}  // namespace booted
