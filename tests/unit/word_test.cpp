// The word family and issue!: form and mold of each member, comparison
// under each code, make and to, index?, and the fixed runtime words.
#include "booted.h"

#include "datatypes/issue.h"
#include "evaluator/words.h"

namespace {

using booted::call;
using booted::integer;
using booted::text_of;
using booted::word;

class Words : public booted::Runtime {};

TEST_F(Words, FormAndMoldOfEachMember) {
    struct {
        uint32_t type;
        const char* mold;
    } cases[] = {{TYPE_WORD, "a"},        {TYPE_SET_WORD, "a:"},     {TYPE_LIT_WORD, "'a"},
                 {TYPE_GET_WORD, ":a"},   {TYPE_REFINEMENT, "/a"},   {TYPE_ISSUE, "#a"}};
    for (auto& c : cases) {
        Cell w = word("a", c.type);
        Cell r = call(actions::slot::mold, {w});
        EXPECT_EQ(text_of(&r), c.mold);
        r = call(actions::slot::form, {w});
        EXPECT_EQ(text_of(&r), "a");
        // The mark costs one more of the part budget.
        Cell buf;
        string::rs_make_at(&buf, 8);
        int32_t want = c.type == TYPE_WORD ? 99 : 98;
        EXPECT_EQ(actions::mold(&w, &buf, false, false, false, nullptr, 100, 0), want);
    }
    // Spellings beyond Latin-1 come through whole.
    Cell u = word("\xC3\xA9t\xC3\xA9");
    Cell r = call(actions::slot::form, {u});
    ASSERT_EQ(string::rs_length_q(&r), 3u);
    EXPECT_EQ(string::rs_abs_at(&r, 0), 0xE9u);
    // /part cuts the text.
    r = call(actions::slot::mold, {word("abcdef", TYPE_SET_WORD), integer(3)}, {-1, -1, -1, 1});
    EXPECT_EQ(text_of(&r), "abc");
}

TEST_F(Words, ComparisonOfWordsAndIssues) {
    Cell a = word("a"), A = word("A", TYPE_LIT_WORD), la = word("a", TYPE_LIT_WORD),
         la2 = word("a", TYPE_LIT_WORD), sa = word("a", TYPE_SET_WORD), b = word("b");
    Cell ia{TYPE_ISSUE, context::global, symbol::make("a"), static_cast<uint32_t>(-1)};
    Cell one = integer(1);
    struct {
        Cell* x;
        Cell* y;
        int32_t op;
        int32_t want;
    } cases[] = {
        {&a, &A, 0, 0},   {&a, &A, 2, 1},   {&la, &la2, 2, 0}, {&a, &sa, 0, 0},  {&a, &sa, 2, 1},
        {&a, &la, 10, 0}, {&a, &A, 10, 1},  {&a, &A, 11, 0},   {&sa, &la, 11, 1}, {&a, &a, 9, 0},
        {&a, &la, 9, 1},  {&a, &b, 3, -1},  {&b, &a, 3, 1},    {&a, &A, 3, 0},   {&a, &A, 8, 1},
        // An issue compares only with issues; a word meets an issue's spelling.
        {&ia, &a, 0, -2}, {&a, &ia, 0, 0},
        // A word against a value that is no word is not comparable.
        {&a, &one, 0, -2},
    };
    for (auto& c : cases) EXPECT_EQ(actions::compare(c.x, c.y, c.op), c.want) << "op " << c.op;
    // equal? and strict-equal? of words that differ in case.
    EXPECT_TRUE(actions::compare_star(&a, &A, actions::COMP_EQUAL));
    EXPECT_FALSE(actions::compare_star(&a, &A, actions::COMP_STRICT_EQUAL));
    EXPECT_FALSE(actions::compare_star(&a, &one, actions::COMP_EQUAL));
}

Cell* load_as(Cell* text, Cell* slot) {
    // A stand-in lexer: "1" loads an integer, anything else the word b.
    if (string::rs_length_q(text) == 1 && string::rs_abs_at(text, text->head()) == '1') *slot = integer(1);
    else *slot = word("b");
    return slot;
}

TEST_F(Words, MakeAndTo) {
    Cell proto = booted::dtype(TYPE_WORD);
    // A word keeps its binding and takes the requested type.
    Cell g = word("x", TYPE_GET_WORD);
    Cell r = call(actions::slot::to, {booted::dtype(TYPE_SET_WORD), g});
    EXPECT_EQ(r.header, static_cast<uint32_t>(TYPE_SET_WORD));
    EXPECT_EQ(r.index(), g.index());
    // logic! and datatype! give their global words.
    r = call(actions::slot::make, {proto, booted::logic(true)});
    EXPECT_STREQ(symbol::text(r.symbol()), "true");
    EXPECT_EQ(r.ctx(), context::global);
    r = call(actions::slot::to, {proto, booted::dtype(TYPE_INTEGER)});
    EXPECT_STREQ(symbol::text(r.symbol()), "integer!");
    EXPECT_FIRES(call(actions::slot::make, {proto, integer(1)}), err::BAD_TO_ARG);
    // Text goes through the lexer: text that loads as no word is refused.
    Cell text;
    string::rs_make_at(&text, 4);
    string::concatenate_literal(&text, "1");
    EXPECT_FIRES(call(actions::slot::to, {proto, text}), err::INVALID_CHARS);
    word::load_value_hook = load_as;
    EXPECT_FIRES(call(actions::slot::to, {proto, text}), err::INVALID_CHARS);
    Cell text_b;
    string::rs_make_at(&text_b, 4);
    string::concatenate_literal(&text_b, "b c");
    r = call(actions::slot::to, {booted::dtype(TYPE_LIT_WORD), text_b});
    EXPECT_EQ(r.header, static_cast<uint32_t>(TYPE_LIT_WORD));
    EXPECT_STREQ(symbol::text(r.symbol()), "b");
    // A refinement whose spelling scans as a word is bound to the global one.
    Cell ref{TYPE_REFINEMENT, 0, symbol::make("b"), static_cast<uint32_t>(-1)};
    r = call(actions::slot::to, {proto, ref});
    EXPECT_EQ(r.ctx(), context::global);
    EXPECT_EQ(r.index(), word("b").index());
    word::load_value_hook = nullptr;
}

TEST_F(Words, IssuesFromText) {
    Cell text;
    string::rs_make_at(&text, 4);
    string::concatenate_literal(&text, "xa b");
    text.data1 = 1;  // from its index
    Cell r = call(actions::slot::make, {booted::dtype(TYPE_ISSUE), text});
    EXPECT_EQ(r.header, static_cast<uint32_t>(TYPE_ISSUE));
    EXPECT_EQ(r.index(), -1);
    EXPECT_EQ(r.ctx(), context::global);
    Cell m = call(actions::slot::mold, {r});
    EXPECT_EQ(text_of(&m), "#a b");
    Cell ch{TYPE_CHAR, 0, 'z', 0};
    r = call(actions::slot::to, {booted::dtype(TYPE_ISSUE), ch});
    EXPECT_STREQ(symbol::text(r.symbol()), "z");
    r = call(actions::slot::to, {booted::dtype(TYPE_ISSUE), booted::logic(false)});
    EXPECT_EQ(r.header, static_cast<uint32_t>(TYPE_ISSUE));
    EXPECT_STREQ(symbol::text(r.symbol()), "false");
}

TEST_F(Words, IndexOfWords) {
    Cell w = word("index-test");
    Cell r = call(actions::slot::index_q, {w});
    EXPECT_EQ(r.type(), static_cast<uint32_t>(TYPE_INTEGER));
    EXPECT_EQ(r.int_value(), w.index() + 1);
    Cell loose{TYPE_WORD, context::global, w.symbol(), static_cast<uint32_t>(-1)};
    EXPECT_EQ(call(actions::slot::index_q, {loose}).type(), static_cast<uint32_t>(TYPE_NONE));
    // refinement! does not support index?.
    EXPECT_FIRES(call(actions::slot::index_q, {word("r", TYPE_REFINEMENT)}), err::EXPECT_ARG);
}

TEST_F(Words, GettingAndSettingWords) {
    Cell w = word("gs");
    EXPECT_FIRES(word::get(&w), err::NO_VALUE);
    stack::mark_native(nullptr);
    stack::push(&w);
    Cell v = integer(8);
    stack::push(&v);
    word::set_star();
    EXPECT_EQ(stack::arguments->int_value(), 8);
    stack::unwind();
    EXPECT_EQ(word::get(&w)->int_value(), 8);
    stack::mark_native(nullptr);
    stack::push(&w);
    Cell unset{TYPE_UNSET, 0, 0, 0};
    stack::push(&unset);
    EXPECT_FIRES(word::set_star(), err::NEED_VALUE);
}

TEST_F(Words, FixedRuntimeWords) {
    EXPECT_STREQ(symbol::text(words::swap.symbol()), "swap");
    EXPECT_STREQ(symbol::text(words::swaped.symbol()), "swaped");
    EXPECT_STREQ(symbol::text(words::put_ed.symbol()), "put-ed");
    EXPECT_STREQ(symbol::text(words::body.symbol()), "<body>");
    // A spelling made in two groups is one symbol.
    EXPECT_EQ(words::head.symbol(), words::sym::head);
    EXPECT_EQ(words::to.symbol(), words::sym::to);
    EXPECT_EQ(words::type.symbol(), words::sym::type);
    EXPECT_EQ(words::to.ctx(), context::global);
    EXPECT_EQ(words::ref::part.header, static_cast<uint32_t>(TYPE_REFINEMENT));
    EXPECT_EQ(words::ref::part.ctx(), 0u);
    EXPECT_EQ(words::issue_ooo.type(), static_cast<uint32_t>(TYPE_ISSUE));
    EXPECT_STREQ(symbol::text(words::issue_ooo.symbol()), "ooo");
}

}  // namespace
