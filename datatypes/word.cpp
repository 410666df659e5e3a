// word!: the operations of the word family and the actions of word!.
#include "datatypes/word.h"

#include "datatypes/context.h"
#include "datatypes/datatype.h"
#include "datatypes/scalar.h"
#include "datatypes/string.h"
#include "evaluator/errors.h"
#include "evaluator/stack.h"
#include "evaluator/symbol.h"
#include "evaluator/words.h"
#include "runtime/memory.h"
#include "runtime/typesets.h"

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

// ---- Actions ---------------------------------------------------------------------------

namespace {

// The first value the lexer loads from the text.
Cell load_first(Cell* text) {
    if (!load_value_hook) fire(err::FEATURE_NA);
    Cell* slot = stack::push_slot();
    slot->header = TYPE_UNSET;
    Cell value = *load_value_hook(text, slot);
    stack::pop(1);
    return value;
}

}  // namespace

Cell* make(Cell* proto, Cell* spec, uint32_t type) {
    Cell r;
    switch (spec->type()) {
        case TYPE_WORD:
        case TYPE_SET_WORD:
        case TYPE_LIT_WORD:
        case TYPE_GET_WORD: r = *spec; break;
        case TYPE_REFINEMENT:
        case TYPE_ISSUE: {
            Cell text;
            spelling(spec, &text);
            Cell loaded = load_first(&text);
            if (loaded.type() < TYPE_WORD || loaded.type() > TYPE_GET_WORD) scalar::bad_to_arg(type, spec);
            r = *spec;
            int32_t index = context::find_symbol(context::global, r.symbol(), true);
            if (index >= 0) {
                r.data1 = context::global;
                r.data3 = static_cast<uint32_t>(index);
            }
            break;
        }
        case TYPE_STRING:
        case TYPE_CHAR: {
            Cell text = *spec;
            if (spec->type() == TYPE_CHAR) {
                string::rs_make_at(stack::push_slot(), 1);
                text = *stack::top_cell();
                string::append_char(series_of(&text), static_cast<uint32_t>(spec->int_value()));
            }
            r = load_first(&text);
            if (spec->type() == TYPE_CHAR) stack::pop(1);
            if (!in(ALL_WORD, r.type())) fire(err::INVALID_CHARS);
            break;
        }
        case TYPE_DATATYPE: {
            const datatype::NameEntry* n = datatype::name_entry(spec->data1);
            if (!n || n->word.type() == 0) scalar::bad_to_arg(type, spec);
            r = n->word;
            break;
        }
        case TYPE_LOGIC:
            r = *make_global(spec->data1 ? words::sym::true_ : words::sym::false_);
            break;
        default: scalar::bad_to_arg(type, spec);
    }
    r.header = type;
    return copy_cell(&r, proto);
}

int32_t form(Cell* value, Cell* buffer, Cell*, int32_t limit) {
    Cell text;
    spelling(value, &text);
    string::concatenate(buffer, &text, -1, false);
    return limit - static_cast<int32_t>(string::rs_length_q(&text));
}

int32_t mold(Cell* value, Cell* buffer, bool, bool, bool, Cell* part, int32_t limit, int32_t) {
    return form(value, buffer, part, limit);
}

int32_t mold_with(Cell* value, Cell* buffer, const char* mark, bool suffix, int32_t limit) {
    if (!suffix) string::concatenate_literal(buffer, mark);
    limit = form(value, buffer, nullptr, limit);
    if (suffix) string::concatenate_literal(buffer, mark);
    return limit - 1;
}

int32_t compare(Cell* value1, Cell* value2, int32_t op) {
    uint32_t t1 = value1->type(), t2 = value2->type();
    if (!in(ALL_WORD, t1) || (t1 == TYPE_ISSUE && t2 != TYPE_ISSUE)) return actions::NOT_COMPARABLE;
    // A word's symbol means nothing against a value of another kind.
    if (!in(ALL_WORD, t2)) return actions::NOT_COMPARABLE;
    uint32_t s1 = value1->symbol(), s2 = value2->symbol();
    bool word_lit = (t1 == TYPE_WORD && t2 == TYPE_LIT_WORD) || (t1 == TYPE_LIT_WORD && t2 == TYPE_WORD);
    switch (op) {
        case actions::COMP_EQUAL:
        case actions::COMP_NOT_EQUAL:
        case actions::COMP_FIND: return symbol::resolve(s1) == symbol::resolve(s2) ? 0 : 1;
        case actions::COMP_STRICT_EQUAL: return t1 == t2 && s1 == s2 ? 0 : 1;
        case actions::COMP_SAME: return t1 == t2 && s1 == s2 && value1->ctx() == value2->ctx() ? 0 : 1;
        case actions::COMP_STRICT_EQUAL_WORD:
            return (word_lit || t1 == t2) && s1 == s2 ? 0 : 1;
        case actions::COMP_EQUAL_WORD:
            return (word_lit || t1 == t2) && symbol::resolve(s1) == symbol::resolve(s2) ? 0 : 1;
        default: return symbol::compare(symbol::entry(s1), symbol::entry(s2), op);
    }
}

Cell* index_q(Cell* word) {
    int32_t index = word->index();
    if (index < 0) {
        word->header = TYPE_NONE;
    } else {
        word->header = TYPE_INTEGER;
        word->data2 = static_cast<uint32_t>(index + 1);
    }
    return word;
}

}  // namespace word

// ---- Registration --------------------------------------------------------------

template <>
void datatype::init_type<TYPE_WORD>() {
    register_type<TYPE_WORD, "o--ooo--o --------------- ---------o----------------- -----------">(
        own<slot::make>(word::make), own<slot::to>(word::make), own<slot::form>(word::form),
        own<slot::mold>(word::mold), own<slot::compare>(word::compare),
        own<slot::index_q>(word::index_q));
}
