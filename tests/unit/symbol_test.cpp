// Symbols: ids from 1, the same spelling giving the same id, aliases by
// ASCII case, case-insensitive interning, growth of the table and its hash,
// the string form and text comparison.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "datatypes/block.h"
#include "evaluator/symbol.h"
#include "runtime/hashtable.h"
#include "runtime/unicode.h"
#include "series_fixture.h"

namespace {

class Symbol : public SeriesTest {
protected:
    void SetUp() override {
        SeriesTest::SetUp();
        block::make_fixed_in(nullptr, 64);
        symbol::make_table();
        symbol::make_index();
    }
    void TearDown() override {
        symbol::table = symbol::index = 0;
        SeriesTest::TearDown();
    }
};

TEST_F(Symbol, IdsAliasesAndCase) {
    const uint32_t print = symbol::make("print");
    EXPECT_EQ(print, 1u);
    EXPECT_EQ(symbol::make("print"), print);
    EXPECT_EQ(symbol::alias_of(print), -1);
    const uint32_t Print = symbol::make("Print");
    EXPECT_EQ(Print, 2u);
    EXPECT_EQ(symbol::alias_of(Print), static_cast<int32_t>(print));
    const uint32_t PRINT = symbol::make("PRINT");
    EXPECT_EQ(symbol::resolve(PRINT), print);
    EXPECT_EQ(symbol::resolve(Print), print);
    EXPECT_EQ(symbol::resolve(print), print);
    EXPECT_EQ(symbol::make("Print"), Print);

    const uint32_t count = symbol::make("count");
    EXPECT_EQ(symbol::make_variant("PRINT"), print);
    EXPECT_EQ(symbol::make_variant("COUNT"), count);
    const uint32_t fresh = symbol::make_variant("Fresh");
    EXPECT_EQ(symbol::alias_of(fresh), -1);
    EXPECT_EQ(symbol::make("Fresh"), fresh);
    EXPECT_EQ(series_of(&memory::root_block)->count(), 1u);
    EXPECT_EQ(memory::buffer(symbol::table)->count(), 5u);  // print Print PRINT count Fresh
}

TEST_F(Symbol, NonAsciiCaseLengthsAndTheEmptySpelling) {
    const uint32_t small = symbol::make("caf\xC3\xA9");  // é
    const uint32_t capital = symbol::make("caf\xC3\x89");  // É
    EXPECT_NE(small, capital);
    EXPECT_EQ(symbol::alias_of(capital), -1);
    EXPECT_NE(symbol::make("ab"), symbol::make("abc"));
    EXPECT_EQ(symbol::alias_of(symbol::make("ABC")), static_cast<int32_t>(symbol::make("abc")));
    const uint32_t empty = symbol::make("");
    EXPECT_EQ(symbol::make_utf8(nullptr, 0), empty);
    uint32_t length = 99;
    EXPECT_STREQ(symbol::text(empty, &length), "");
    EXPECT_EQ(length, 0u);
    // Bytes are kept exactly, with a NUL after them.
    const uint8_t raw[] = {'a', 0, 'b'};
    const uint32_t with_nul = symbol::make_utf8(raw, 3);
    EXPECT_NE(with_nul, symbol::make("a"));
    symbol::text(with_nul, &length);
    EXPECT_EQ(length, 3u);
    EXPECT_EQ(symbol::text(with_nul)[3], 0);
}

TEST_F(Symbol, ManySymbolsGrowTheTableAndKeepTheirIds) {
    std::vector<std::string> names;
    for (int i = 0; i < 20000; i++) names.push_back("word-" + std::to_string(i));
    for (size_t i = 0; i < names.size(); i++) ASSERT_EQ(symbol::make(names[i].c_str()), i + 1);
    EXPECT_GT(hashtable::record(symbol::index)->n_buckets, 16384);
    for (size_t i = 0; i < names.size(); i++) {
        ASSERT_EQ(symbol::make(names[i].c_str()), i + 1);
        std::string upper = names[i];
        for (char& c : upper) c = static_cast<char>(std::toupper(c));
        ASSERT_EQ(symbol::make_variant(upper.c_str()), i + 1);
    }
    EXPECT_EQ(memory::buffer(symbol::table)->count(), 20000u);
    EXPECT_STREQ(symbol::text(12345), "word-12344");
}

TEST_F(Symbol, StringFormAndComparison) {
    const uint32_t id = symbol::make("na\xC3\xAFve\xE2\x82\xAC");
    EXPECT_EQ(symbol::entry(id)->data2, 0u);
    Cell* e = symbol::to_c_string(id);
    ASSERT_NE(e->data2, 0u);
    const SeriesBuffer* s = memory::buffer(e->data2);
    EXPECT_EQ(s->unit(), 2u);
    EXPECT_EQ(s->count(), 6u);
    EXPECT_EQ(unicode::get_char(s->data_at(0), 2, 2), 0xEFu);
    const Node same = e->data2;
    EXPECT_EQ(symbol::to_c_string(id)->data2, same);  // made once

    Cell str{TYPE_STRING, 0, same, 0};
    EXPECT_EQ(symbol::make_from_string(&str), id);
    str.data1 = 2;  // from the index
    uint32_t length;
    EXPECT_STREQ(symbol::text(symbol::make_from_string(&str), &length), "\xC3\xAFve\xE2\x82\xAC");

    const Cell a = *symbol::entry(symbol::make("Alpha"));
    const Cell b = *symbol::entry(symbol::make("alpha"));
    const Cell c = *symbol::entry(symbol::make("beta"));
    EXPECT_EQ(symbol::compare(&a, &b, 0), 0);
    EXPECT_NE(symbol::compare(&a, &b, 2), 0);
    EXPECT_EQ(symbol::compare(&a, &c, 0), -1);
    EXPECT_EQ(symbol::compare(&c, &a, 7), 1);
}

TEST_F(Symbol, WordsHashByTheirAlias) {
    const uint32_t lower = symbol::make("value");
    const uint32_t upper = symbol::make("VALUE");
    Cell w1{TYPE_WORD, 0, lower, 0xFFFFFFFF}, w2{TYPE_SET_WORD, 0, upper, 0xFFFFFFFF};
    EXPECT_EQ(hashtable::hash_value(&w1, false), hashtable::hash_value(&w2, false));

    // A context's word table: lookups by symbol or by alias, new words appended.
    Cell words{TYPE_BLOCK, 0, memory::alloc_cells(4), 0};
    Node table = hashtable::init(4, &words, hashtable::KIND_WORDS, 1);
    int32_t position = 99;
    EXPECT_EQ(hashtable::find_ctx_word(table, lower, false, 0, &position), -1);
    EXPECT_EQ(hashtable::find_ctx_word(table, lower, false, 7, &position), -1);
    EXPECT_EQ(position, 0);
    const Cell* word = reinterpret_cast<Cell*>(series_of(&words)->data_at(0));
    EXPECT_EQ(word->type(), static_cast<uint32_t>(TYPE_WORD));
    EXPECT_EQ(word->ctx(), 7u);
    EXPECT_EQ(word->symbol(), lower);
    EXPECT_EQ(hashtable::find_ctx_word(table, lower, false, 0, &position), 0);
    EXPECT_EQ(hashtable::find_ctx_word(table, upper, false, 0, nullptr), -1);
    EXPECT_EQ(hashtable::find_ctx_word(table, upper, true, 0, nullptr), 0);
    for (int i = 0; i < 300; i++) {
        uint32_t sym = symbol::make(("w" + std::to_string(i)).c_str());
        hashtable::find_ctx_word(table, sym, false, 7, &position);
        ASSERT_EQ(position, i + 1);
    }
    EXPECT_EQ(hashtable::find_ctx_word(table, symbol::make("w123"), false, 0, nullptr), 124);
}

}  // namespace
