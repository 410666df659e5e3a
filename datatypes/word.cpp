// word!: the actions of word! (the operations of the word family are in
// evaluator/word_storage.cpp).
#include "datatypes/word.h"

#include "evaluator/context.h"
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
