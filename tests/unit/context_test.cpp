// Contexts and binding: making contexts from specs, words and values kept in
// step, global words and their case variants, reading and writing through
// words, binding (also of a block that contains itself), and the cycle stack.
#include "booted.h"

#include "evaluator/words.h"

namespace {

using booted::integer;
using booted::word;

class Contexts : public booted::Runtime {
protected:
    // A block in a new value-stack slot holding the given cells.
    static Cell block_of(std::initializer_list<Cell> cells) {
        Cell blk = *block::make_at(stack::push_slot(), static_cast<uint32_t>(cells.size()));
        for (const Cell& c : cells) block::rs_append(&blk, &c);
        return blk;
    }
    static std::string spelling(Node ctx, uint32_t i) { return symbol::text(context::word_at(ctx, i)->symbol()); }
};

TEST_F(Contexts, MakeTakesWordsGetWordsLitWordsAndRefinements) {
    Cell types = block_of({booted::dtype(TYPE_INTEGER)});
    Cell text;
    string::rs_make_at(&text, 4);
    Cell spec = block_of({word("a"), types, word("b"), word("local", TYPE_REFINEMENT), word("x", TYPE_GET_WORD),
                          text, word("d", TYPE_SET_WORD), integer(1), word("y", TYPE_LIT_WORD)});
    Node ctx = context::make(&spec, false, false, context::KIND_FUNCTION);
    ASSERT_EQ(context::word_count(ctx), 5u);
    const char* want[] = {"a", "b", "local", "x", "y"};
    for (uint32_t i = 0; i < 5; ++i) {
        EXPECT_EQ(spelling(ctx, i), want[i]);
        Cell* w = context::word_at(ctx, i);
        EXPECT_EQ(w->type(), static_cast<uint32_t>(TYPE_WORD));
        EXPECT_EQ(w->ctx(), ctx);
        EXPECT_EQ(w->index(), static_cast<int32_t>(i));
    }
    EXPECT_EQ(memory::buffer(context::values_of(ctx))->count(), 5u);
    EXPECT_EQ(context::kind_of(ctx), context::KIND_FUNCTION);
    EXPECT_EQ(context::self_of(ctx)->type(), static_cast<uint32_t>(TYPE_UNSET));
}

// Two spellings of one word make one word and one value, so a word added
// later has the value slot of its own position.
TEST_F(Contexts, CaseVariantsInASpecKeepValuesInStepWithWords) {
    Cell spec = block_of({word("a"), word("A"), word("c")});
    Node ctx = context::make(&spec, false, false, context::KIND_OBJECT);
    ASSERT_EQ(context::word_count(ctx), 2u);
    EXPECT_EQ(memory::buffer(context::values_of(ctx))->count(), 2u);

    Cell b = word("b");
    Cell v = integer(42);
    ASSERT_NE(context::add_value(ctx, &b, &v), nullptr);
    Cell c = word("c"), n = integer(7);
    context::put(ctx, &c, &n);
    Cell bound = block_of({word("A"), word("b"), word("c")});
    context::bind(&bound, ctx, false);
    Cell* cells = block::rs_clamp_head(&bound);
    EXPECT_EQ(context::get(&cells[0])->type(), static_cast<uint32_t>(TYPE_UNSET));
    EXPECT_EQ(context::get(&cells[1])->int_value(), 42);
    EXPECT_EQ(context::get(&cells[2])->int_value(), 7);
    EXPECT_EQ(context::word_count(ctx), memory::buffer(context::values_of(ctx))->count());
}

TEST_F(Contexts, GlobalCaseVariantsShareOneValue) {
    Cell print = *word::make_global(symbol::make("print"));
    Cell upper = *word::make_global(symbol::make("PRINT"));
    EXPECT_NE(print.symbol(), upper.symbol());
    EXPECT_EQ(print.index(), upper.index());
    Cell v = integer(5);
    context::set(&upper, &v);
    EXPECT_EQ(context::get(&print)->int_value(), 5);
    // Words and values of the global context stay the same length.
    EXPECT_EQ(context::word_count(context::global), memory::buffer(context::values_of(context::global))->count());
    // word::load answers a word spelled as asked, bound to the shared slot.
    Cell mixed = *word::load("Print");
    EXPECT_STREQ(symbol::text(mixed.symbol()), "Print");
    EXPECT_EQ(context::get(&mixed)->int_value(), 5);
}

TEST_F(Contexts, ReadingAndWritingThroughWords) {
    Node ctx = context::create(4, false, false, 0, context::KIND_OBJECT);
    // An unresolved word gets its index on its first write, at once.
    Cell w{TYPE_WORD, ctx, symbol::make("field"), static_cast<uint32_t>(-1)};
    EXPECT_FIRES(context::get(&w), err::NO_VALUE);
    Cell v = integer(3);
    context::set(&w, &v);
    EXPECT_EQ(w.index(), 0);
    EXPECT_EQ(context::get(&w)->int_value(), 3);
    // The field of an object context is marked written.
    EXPECT_TRUE(context::word_at(ctx, 0)->header & FLAG_FIELD_WRITTEN);
    // An unbound word has no context to read or write.
    Cell unbound = words::ref::part;
    EXPECT_FIRES(context::get(&unbound), err::NOT_DEFINED);
    EXPECT_FIRES(context::set(&unbound, &v), err::NOT_DEFINED);
}

TEST_F(Contexts, FunctionContextsReadTheActiveCall) {
    Cell spec = block_of({word("x"), word("y")});
    Node ctx = context::make(&spec, true, false, context::KIND_FUNCTION);
    Cell x = *context::word_at(ctx, 0), y = *context::word_at(ctx, 1);
    EXPECT_FIRES(context::get(&x), err::NOT_IN_CONTEXT);
    Cell v = integer(1);
    EXPECT_FIRES(context::set(&x, &v), err::NOT_DEFINED);
    EXPECT_FIRES(word::get_local(ctx, 0), err::NOT_DEFINED);

    Cell* first = stack::push_slot();
    *first = integer(10);
    *stack::push_slot() = integer(20);
    context::set_stack_values(ctx, first);
    EXPECT_EQ(context::get(&y)->int_value(), 20);
    Cell v2 = integer(21);
    context::set(&y, &v2);
    EXPECT_EQ(first[1].int_value(), 21);
    EXPECT_EQ(word::get_local(ctx, 0)->int_value(), 10);
    context::set_stack_values(ctx, nullptr);
    EXPECT_FIRES(context::get(&y), err::NOT_IN_CONTEXT);
}

TEST_F(Contexts, BindingSelfAndNestedBlocks) {
    Node ctx = context::create(4, false, true, 0, context::KIND_OBJECT);
    Cell a = word("a");
    context::add_word(ctx, &a);
    *context::self_of(ctx) = integer(99);
    Cell inner = block_of({word("A"), word("zz")});
    Cell issue{TYPE_ISSUE, context::global, symbol::make("a"), static_cast<uint32_t>(-1)};
    Cell blk = block_of({word("self"), word("self", TYPE_SET_WORD), inner, issue, word("a", TYPE_GET_WORD)});
    context::bind(&blk, ctx, true);
    Cell* c = block::rs_clamp_head(&blk);
    EXPECT_EQ(c[0].ctx(), ctx);
    EXPECT_EQ(c[0].index(), -1);
    EXPECT_EQ(context::get(&c[0])->int_value(), 99);
    // A self set-word is bound like any word: this context has none.
    EXPECT_EQ(c[1].ctx(), context::global);
    Cell* in = block::rs_clamp_head(&c[2]);
    EXPECT_EQ(in[0].ctx(), ctx);
    EXPECT_EQ(in[0].index(), 0);
    EXPECT_EQ(in[1].ctx(), context::global);
    // Issues are left alone.
    EXPECT_EQ(c[3].ctx(), issue.ctx());
    EXPECT_EQ(c[3].index(), -1);
    EXPECT_EQ(c[4].ctx(), ctx);
    EXPECT_EQ(cycles::size(), 0u);
}

TEST_F(Contexts, BindingABlockThatContainsItself) {
    Node ctx = context::create(2, false, false, 0, context::KIND_OBJECT);
    Cell a = word("a");
    context::add_word(ctx, &a);
    Cell blk = block_of({word("a")});
    block::rs_append(&blk, &blk);
    context::bind(&blk, ctx, false);
    Cell* c = block::rs_clamp_head(&blk);
    EXPECT_EQ(c[0].ctx(), ctx);
    EXPECT_EQ(c[1].node(), blk.node());
    EXPECT_EQ(cycles::size(), 0u);
}

TEST_F(Contexts, CollectSetWordsAndWordsOfSymbols) {
    Node ctx = context::create(1, false, false, 0, context::KIND_OBJECT);
    Cell body = block_of({word("p", TYPE_SET_WORD), integer(1), word("q"), word("P", TYPE_SET_WORD)});
    EXPECT_TRUE(context::collect_set_words(ctx, &body));
    EXPECT_EQ(context::word_count(ctx), 1u);
    EXPECT_FALSE(context::collect_set_words(ctx, &body));
    EXPECT_EQ(context::find_symbol(ctx, symbol::make("P"), true), 0);
    EXPECT_EQ(context::find_symbol(ctx, symbol::make("P"), false), -1);
    EXPECT_EQ(context::word_of_symbol(ctx, symbol::make("p"))->ctx(), ctx);
    EXPECT_EQ(context::word_of_symbol(ctx, symbol::make("q"))->ctx(), context::global);
}

// ---- The cycle stack -------------------------------------------------------------------

TEST_F(Contexts, CycleStackOverflowEmptiesIt) {
    cycles::pop();  // empty stays empty
    EXPECT_EQ(cycles::size(), 0u);
    for (Node n = 1; n < cycles::SIZE; ++n) cycles::push(n);
    EXPECT_EQ(cycles::size(), cycles::SIZE - 1);
    EXPECT_TRUE(cycles::find_q(500));
    EXPECT_FALSE(cycles::find_q(cycles::SIZE));
    EXPECT_FIRES(cycles::push(cycles::SIZE), err::TOO_DEEP);
    EXPECT_EQ(cycles::size(), 0u);
    cycles::push(7);
    cycles::push(8);
    cycles::pop_n(5);
    EXPECT_EQ(cycles::size(), 0u);
}

TEST_F(Contexts, CycleDetectionWritesTheEllipsis) {
    Cell blk = block_of({});
    struct {
        uint32_t type;
        bool mold;
        const char* text;
    } cases[] = {{TYPE_BLOCK, true, "[...]"}, {TYPE_HASH, true, "[...]"}, {TYPE_PAREN, true, "(...)"},
                 {TYPE_MAP, true, "#[...]"}, {TYPE_PATH, true, "..."}, {TYPE_BLOCK, false, "..."}};
    cycles::push(blk.node());
    for (auto& c : cases) {
        Cell v = blk;
        set_type(&v, c.type);
        Cell out;
        string::rs_make_at(&out, 8);
        int32_t limit = 100;
        EXPECT_TRUE(cycles::detect_q(&v, &out, &limit, c.mold));
        EXPECT_EQ(booted::text_of(&out), c.text);
        EXPECT_EQ(limit, 100 - static_cast<int32_t>(std::strlen(c.text)));
    }
    Cell obj{TYPE_OBJECT, context::global, 0, 0};
    Cell out;
    string::rs_make_at(&out, 8);
    int32_t limit = 100;
    EXPECT_FALSE(cycles::detect_q(&obj, &out, &limit, true));
    cycles::push(context::global);
    EXPECT_TRUE(cycles::detect_q(&obj, &out, &limit, true));
    EXPECT_EQ(booted::text_of(&out), "make object! [...]");
}

}  // namespace
