// Number text converters: integers with overflow, floats through the syntax
// check, and the syntax automaton itself, over texts of every unit size.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "runtime/number_text.h"

namespace {

// The text as characters of `unit` bytes (little-endian).
std::vector<uint8_t> encode(const std::u32string& text, int unit) {
    std::vector<uint8_t> out(text.size() * unit + 1);
    for (size_t i = 0; i < text.size(); i++) std::memcpy(&out[i * unit], &text[i], unit);
    return out;
}

std::u32string wide(const std::string& s) { return std::u32string(s.begin(), s.end()); }

TEST(TextToInteger, Cases) {
    struct Case {
        std::u32string text;
        int32_t value;
        int error;
    } cases[] = {
        {U"-2147483648", -2147483647 - 1, 0},
        {U"2147483647", 2147483647, 0},
        {U"2147483648", 0, -2},
        {U"-2147483649", 0, -2},
        {U"-21474836480", 0, -2},  // digits after the smallest integer still overflow
        {U"99999999999999999999", 0, -2},
        {U"1'000", 1000, 0},
        {U"''1''0", 10, 0},
        {U"+5", 5, 0},
        {U"-0", 0, 0},
        {U"0000000000012", 12, 0},
        {U"12a", 0, -1},
        {U"1-2", 0, -1},
        {U" 1", 0, -1},
        {U"99999999999x", 0, -2},  // overflow is met first
        {U"", 0, -1},
        {U"-", 0, -1},
        {U"'", 0, -1},
        {U"\u0663", 0, -1},   // ARABIC-INDIC DIGIT THREE
        {U"1\u0130", 0, -1},  // low byte 0x30 is not a "0"
    };
    for (const auto& c : cases)
        for (int unit : {1, 2, 4}) {
            if (unit == 1 && c.text.find_first_of(U"\u0663\u0130") != std::u32string::npos) continue;
            auto chars = encode(c.text, unit);
            int error = 99;
            int32_t v = number_text::text_to_integer(chars.data(), static_cast<int32_t>(c.text.size()), unit,
                                               error);
            EXPECT_EQ(error, c.error) << "unit " << unit << " case " << &c - cases;
            EXPECT_EQ(v, c.value) << "unit " << unit << " case " << &c - cases;
        }
}

TEST(TextToFloat, Cases) {
    std::string longest = "0." + std::string(309, '0') + "1";  // 312 characters: 1e-310
    struct Case {
        std::u32string text;
        double value;  // NaN: failure expected
    } cases[] = {
        {U"1,5", 1.5},
        {U"1'5.0", 15.0},
        {U"1.5'5", 1.55},
        {U"12.5e-1", 1.25},
        {U"-0.0", -0.0},
        {U"+.5", 0.5},
        {U"1.", 1.0},
        {U"1e400", HUGE_VAL},
        {U"0.30000000000000004", 0.30000000000000004},
        {wide(longest), 1e-310},
        {wide(longest + "0"), NAN},  // 313 characters
        {wide(std::string(400, '1')), NAN},
        {U"1e", NAN},
        {U"e5", NAN},
        {U"1.e5", NAN},
        {U"1'.5", NAN},
        {U"1''5", NAN},
        {U"--1", NAN},  // accepted by the syntax check, not wholly read
        {U".", NAN},
        {U"", NAN},
        {U"1.#INF", NAN},
        {U" 1", NAN},
        {U"1x", NAN},
        {U"1\u0130", NAN},  // must not read as "10"
    };
    for (const auto& c : cases)
        for (int unit : {1, 2, 4}) {
            if (unit == 1 && c.text.find(U'\u0130') != std::u32string::npos) continue;
            auto chars = encode(c.text, unit);
            int error = 99;
            double v = number_text::text_to_float(chars.data(), static_cast<int32_t>(c.text.size()), unit, error);
            if (std::isnan(c.value)) {
                EXPECT_EQ(error, -1) << "unit " << unit << " case " << &c - cases;
                EXPECT_EQ(std::bit_cast<uint64_t>(v), 0x7FF8000000000000u) << "case " << &c - cases;
            } else {
                EXPECT_EQ(error, 0) << "unit " << unit << " case " << &c - cases;
                EXPECT_EQ(std::bit_cast<uint64_t>(v), std::bit_cast<uint64_t>(c.value))
                    << "unit " << unit << " case " << &c - cases;
            }
        }
}

TEST(NumberSyntax, Automaton) {
    struct Case {
        std::string text;
        bool ok;
    } cases[] = {
        {"1", true},        {"+1", true},       {"-+1", true},     {"1'2", true},
        {"1'", true},       {"1''2", false},    {"'1", false},     {".", true},
        {".5", true},       {"1.", true},       {"1.5", true},     {"1.5'5", true},
        {"1.5''5", false},  {"1.5.5", false},   {"1.e5", false},   {"1e5", true},
        {"1.5e-5", true},   {"1e+", false},     {"1e", false},     {"1e5.0", false},
        {"1e5'", false},    {"e5", false},      {"", false},       {"+", false},
        {"1x", false},      {"1 ", false},      {"1'.5", false},   {"1.5e+05", true},
        {std::string(312, '7'), true},          {std::string(313, '7'), false},
    };
    for (const auto& c : cases) {
        auto* p = reinterpret_cast<const uint8_t*>(c.text.data());
        EXPECT_EQ(number_text::number_syntax_q(p, p + c.text.size()), c.ok) << '"' << c.text << '"';
    }
}

}  // namespace
