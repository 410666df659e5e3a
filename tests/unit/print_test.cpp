// Typed print and the print hooks.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runtime/print.h"
#include "runtime/sys.h"

namespace {

std::string captured;
void capture(const char* text, uint32_t length, uint32_t) { captured.append(text, length); }

class Print : public ::testing::Test {
protected:
    void SetUp() override {
        print_hooks::init();
        print_hooks::add(nullptr, capture);
        captured.clear();
    }
    void TearDown() override { sys::free_all(); }
};

TEST_F(Print, TypedItems) {
    using sys::Item;
    struct Case {
        std::vector<Item> items;
        const char* want;
    } cases[] = {
        {{Item::cstr("a"), Item::i32(42), Item::chr('\n')}, "a42\n"},
        {{Item::logic(2), Item::logic(0)}, "truefalse"},
        {{Item::hex(255)}, "000000FF"},
        {{Item::f64(0.1)}, "0.1"},
        {{Item::f64(1e21)}, "1e+21"},
        {{Item::f32(0.1f)}, "0.1"},
        {{Item::i32(-7)}, "-7"},
        {{Item{9, 0xABC, 0}}, "00000ABC"},
    };
    for (auto& c : cases) {
        captured.clear();
        sys::print_typed(static_cast<uint32_t>(c.items.size()), c.items.data());
        EXPECT_EQ(captured, c.want);
    }
}

TEST_F(Print, PrintLineEndsWithNewline) {
    sys::print_line({sys::Item::cstr("x")});
    EXPECT_EQ(captured, "x\n");
}

std::vector<int> calls;
#define PRINTER(n) void printer##n(Cell*, bool) { calls.push_back(n); }
PRINTER(1) PRINTER(2) PRINTER(3) PRINTER(4) PRINTER(5) PRINTER(6)

TEST_F(Print, ValuePrintersGrowByFiveAndRunInOrder) {
    print_hooks::remove(print_hooks::print_string, nullptr);
    EXPECT_EQ(print_hooks::value_count(), 0u);
    calls.clear();
    for (auto p : {printer1, printer2, printer3, printer4, printer5}) print_hooks::add(p, nullptr);
    EXPECT_EQ(print_hooks::value_capacity(), 5u);
    print_hooks::add(printer6, nullptr);
    EXPECT_EQ(print_hooks::value_capacity(), 10u);
    print_hooks::print_value(nullptr, false);
    EXPECT_EQ(calls, (std::vector<int>{1, 2, 3, 4, 5, 6}));
}

TEST_F(Print, RemoveTakesTheFirstEqualEntryOnly) {
    print_hooks::remove(print_hooks::print_string, nullptr);
    calls.clear();
    for (auto p : {printer1, printer2, printer1}) print_hooks::add(p, nullptr);
    print_hooks::remove(printer1, nullptr);
    print_hooks::remove(printer3, nullptr);  // not listed: no change
    print_hooks::print_value(nullptr, false);
    EXPECT_EQ(calls, (std::vector<int>{2, 1}));
}

}  // namespace
