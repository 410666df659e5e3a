// The word operations of the whole family: making, pushing, reading and
// writing words.
#include "evaluator/word_storage.h"

#include "evaluator/context.h"
#include "evaluator/errors.h"
#include "evaluator/stack.h"
#include "evaluator/symbol.h"
#include "runtime/memory.h"

namespace word {

Cell* (*load_value_hook)(Cell* text, Cell* slot) = nullptr;

namespace {

// During start-up the words handed out are copies kept in the root block,
// so that they stay reachable for the life of the process.
Cell* keep(const Cell* word) {
    if (!memory::starting) return const_cast<Cell*>(word);
    Cell copy = *word;
    return copy_cell(&copy, alloc_tail(&memory::root_block));
}

}  // namespace

// ---- Making and pushing words -------------------------------------------------------

Cell* load(const char* text) { return keep(context::add_global(symbol::make(text), true, true)); }

Cell* make_global(uint32_t symbol) { return keep(context::add_global(symbol, false, false)); }

Cell* make_at(uint32_t symbol, Cell* slot) {
    set_type(slot, TYPE_WORD);
    slot->data1 = context::global;
    slot->data2 = symbol;
    slot->data3 = static_cast<uint32_t>(-1);
    Cell word = *slot;
    int32_t index = context::add_word(context::global, &word);
    slot->data3 = static_cast<uint32_t>(index);
    return slot;
}

Cell* make_bound(Cell* out, uint32_t symbol, Node ctx) {
    out->header = TYPE_WORD;
    out->data1 = ctx;
    out->data2 = symbol;
    out->data3 = static_cast<uint32_t>(ctx ? context::find_symbol(ctx, symbol, false) : -1);
    return out;
}

Cell* push(const Cell* word, uint32_t type) {
    Cell* c = stack::push(word);
    if (type) set_type(c, type);
    return c;
}

Cell* push_local(Node ctx, int32_t index, uint32_t type) {
    Cell w = *context::word_at(ctx, static_cast<uint32_t>(index));
    return push(&w, type);
}

Cell* value_at(Node ctx, int32_t index) { return context::word_at(ctx, static_cast<uint32_t>(index)); }

Cell* spelling(const Cell* word, Cell* out) {
    Node text = symbol::to_c_string(word->symbol())->data2;
    out->header = TYPE_STRING;
    out->data1 = 0;
    out->data2 = text;
    out->data3 = 0;
    return out;
}

Cell* to_string(const Cell* word) {
    Cell text;
    spelling(word, &text);
    return stack::push(&text);
}

// ---- Reading and writing word values --------------------------------------------------

Cell* get(const Cell* word) {
    Cell value = *context::get(word);
    if (value.type() == TYPE_UNSET) fire(err::NO_VALUE, word);
    return stack::push(&value);
}

Cell* get_in(Node ctx, int32_t index) { return context::value_at(ctx, static_cast<uint32_t>(index)); }

Cell* get_local(Node ctx, int32_t index) {
    Cell* value = context::value_at(ctx, static_cast<uint32_t>(index));
    if (!value) {
        Cell w = *context::word_at(ctx, static_cast<uint32_t>(index));
        fire(err::NOT_DEFINED, &w);
    }
    Cell copy = *value;
    return stack::push(&copy);
}

void set_star() {
    Cell* word = stack::arguments;
    Cell* value = stack::arguments + 1;
    if (value->type() == TYPE_UNSET) fire(err::NEED_VALUE, word);
    Cell v = *value;
    context::set_fast(word, &v);
    stack::set_last(&v);
}

void set_in(Node ctx, int32_t index) {
    Cell top = *stack::top_cell();
    if (context::kind_of(ctx) == context::KIND_OBJECT)
        context::word_at(ctx, static_cast<uint32_t>(index))->header |= FLAG_FIELD_WRITTEN;
    *context::value_at(ctx, static_cast<uint32_t>(index)) = top;
}

}  // namespace word

namespace issue {

Cell make_issue(uint32_t symbol) { return Cell{TYPE_ISSUE, context::global, symbol, static_cast<uint32_t>(-1)}; }

Cell* load(const char* text) {
    Cell i = make_issue(symbol::make(text));
    Cell* slot = memory::starting ? alloc_tail(&memory::root_block) : stack::push_slot();
    return copy_cell(&i, slot);
}

Cell* make_at(Cell* slot, const char* text) {
    Cell i = make_issue(symbol::make(text));
    return copy_cell(&i, slot);
}

Cell* append_to(const char* text, Cell* block) {
    Cell i = make_issue(symbol::make(text));
    return copy_cell(&i, alloc_tail(block));
}

Cell* push(const Cell* word) {
    Cell* c = stack::push(word);
    set_type(c, TYPE_ISSUE);
    return c;
}

}  // namespace issue

namespace refinement {

Cell* push(const Cell* word) { return word::push(word, TYPE_REFINEMENT); }

Cell* push_local(Node ctx, int32_t index) { return word::push_local(ctx, index, TYPE_REFINEMENT); }

Cell* make_root(const char* text) {
    uint32_t symbol = symbol::make(text);
    Cell* c = alloc_tail(&memory::root_block);
    *c = Cell{TYPE_REFINEMENT, 0, symbol, static_cast<uint32_t>(-1)};
    return c;
}

}  // namespace refinement
