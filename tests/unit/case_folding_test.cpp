// Case folding: the tables against python3's str.upper()/str.lower(), and the
// lookups above the Basic Multilingual Plane.
#include <gtest/gtest.h>

#include <sstream>
#include <unordered_map>

#include "python_peer.h"
#include "runtime/case_folding.h"

namespace {

TEST(CaseFolding, ChangeChar) {
    case_folding::init();
    struct Case {
        uint32_t cp;
        bool upper;
        uint32_t want;
    } cases[] = {
        {0x61, true, 0x41},       {0x41, true, 0x41},       {0x41, false, 0x61},
        {0x10428, true, 0x10400}, {0x10400, false, 0x10428}, {0x1F600, true, 0x1F600},
        {0x1F600, false, 0x1F600}, {0x30, true, 0x30},      {0x4E2D, false, 0x4E2D},
        {0xE9, true, 0xC9},       {0x3C3, true, 0x3A3},     {0x1F80, true, 0x1F88},
        {0xDF, true, 0xDF},       {0x130, false, 0x69},     {0x69, true, 0x49},       {0x1E922, true, 0x1E900}, {0x1E943, true, 0x1E921},       {0x10FFFF, true, 0x10FFFF}, {0x110000, false, 0x110000},
    };
    for (const auto& c : cases) EXPECT_EQ(case_folding::change_char(c.cp, c.upper), c.want) << std::hex << c.cp;
}

TEST(CaseFolding, PairListsAreSortedAndBeginWhereExpected) {
    for (bool astral : {false, true})
        for (auto pairs : {case_folding::lower_to_upper_pairs(astral), case_folding::upper_to_lower_pairs(astral)})
            for (uint32_t i = 1; i < pairs.count; i++) ASSERT_LT(pairs.data[2 * i - 2], pairs.data[2 * i]);
    auto up = case_folding::lower_to_upper_pairs(false);
    EXPECT_EQ(up.data[0], 0x61u);
    EXPECT_EQ(up.data[2 * up.count - 2], 0xFF5Au);
    EXPECT_EQ(up.data[2 * up.count - 1], 0xFF3Au);
    EXPECT_EQ(case_folding::lower_to_upper_pairs(true).data[0], 0x10428u);
    EXPECT_EQ(case_folding::upper_to_lower_pairs(true).data[0], 0x10400u);
}

// Every code point maps as python's Unicode database says. Where python's
// full mapping is one code point, that is the simple mapping. Where it is
// longer, the simple mapping is what python shows otherwise: upper case of a
// letter whose upper case expands (U+1F80) is its title case when that is one
// other code point, and nothing otherwise (U+00DF); lower case that expands
// (U+0130 to "i" and a combining dot) keeps its first code point once the
// combining marks are dropped. Every code point python leaves alone is left
// alone.
TEST(CaseFolding, AgreesWithPython) {
    std::string out = python_peer::run_text(R"(
import unicodedata
def simple_upper(ch):
    u = ch.upper()
    if len(u) != 1: u = ch.title()
    return ord(u) if len(u) == 1 else ord(ch)
def simple_lower(ch):
    l = ch.lower()
    if len(l) != 1: l = ''.join(x for x in l if unicodedata.category(x) != 'Mn')
    return ord(l) if len(l) == 1 else ord(ch)
for c in range(0x110000):
    if 0xD800 <= c <= 0xDFFF: continue
    ch = chr(c); u = simple_upper(ch); l = simple_lower(ch)
    if u != c or l != c: print(c, u, l)
)");
    ASSERT_FALSE(out.empty()) << "the python3 peer printed nothing";
    case_folding::init();
    std::unordered_map<uint32_t, std::pair<uint32_t, uint32_t>> changed;
    std::istringstream in(out);
    uint32_t c, u, l;
    while (in >> c >> u >> l) changed[c] = {u, l};
    ASSERT_GT(changed.size(), 2000u);
    for (uint32_t cp = 0; cp < 0x110000; cp++) {
        if (cp >= 0xD800 && cp <= 0xDFFF) continue;
        auto it = changed.find(cp);
        uint32_t want_upper = it == changed.end() ? cp : it->second.first;
        uint32_t want_lower = it == changed.end() ? cp : it->second.second;
        ASSERT_EQ(case_folding::change_char(cp, true), want_upper) << std::hex << cp;
        ASSERT_EQ(case_folding::change_char(cp, false), want_lower) << std::hex << cp;
    }
}

}  // namespace
