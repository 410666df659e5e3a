// error!: script-level errors as objects: making them from the catalogue,
// their printed form ("*** Script Error: ..."), mold, fields by path.
#include "datatypes/error.h"

#include <climits>
#include <cstring>
#include <string>

#include "datatypes/block.h"
#include "evaluator/context.h"
#include "datatypes/datatype.h"
#include "datatypes/object.h"
#include "datatypes/string.h"
#include "datatypes/word.h"
#include "evaluator/cycles.h"
#include "evaluator/interpreter.h"
#include "evaluator/stack.h"
#include "evaluator/symbol.h"
#include "runtime/typesets.h"

namespace error {

namespace {

Cell none_cell() { return Cell{TYPE_NONE, 0, 0, 0}; }
// ---- Text helpers ------------------------------------------------------------------------

uint32_t length_of(const Cell* str) { return string::rs_length_q(str); }

void append(Cell* buffer, const char* text) { string::concatenate_literal(buffer, text); }

// Appends the mold (or form) of the value, at most `max` characters. A type
// whose text action is not there yet shows as its datatype name.
void append_value(Cell* buffer, const Cell* value, bool mold, bool flat, bool only, int32_t max) {
    Cell v = *value;
    uint32_t slot = mold ? actions::slot::mold : actions::slot::form;
    if (!datatype::action(v.type(), slot)) {
        const char* name = datatype::name_of(v.type());
        append(buffer, name ? name : "?");
        return;
    }
    Cell* tmp = string::rs_make_at(stack::push_slot(), 16);
    if (mold) actions::mold(&v, tmp, only, false, flat, nullptr, max, 0);
    else actions::form(&v, tmp, nullptr, max);
    Cell text = *tmp;
    string::concatenate(buffer, &text, max, false);
    stack::pop(1);
}

// The words of a message block: strings as they are, field words filled.
void fill_message(Cell* buffer, const Cell* error, const char* text, bool syntax) {
    const char* p = text + 1;
    bool first = true;
    while (*p) {
        while (*p == ' ') ++p;
        if (*p == ']' || *p == 0) break;
        if (!first) append(buffer, " ");
        first = false;
        if (*p == '"') {
            const char* end = std::strchr(p + 1, '"');
            if (!end) break;
            string::concatenate_literal_part(buffer, p + 1, static_cast<uint32_t>(end - p - 1));
            p = end + 1;
            continue;
        }
        if (*p == ':') ++p;  // a get-word names the field as a word does
        const char* start = p;
        while (*p && *p != ' ' && *p != ']') ++p;
        std::string name(start, p);
        for (uint32_t f = 0; f < FIELD_COUNT; ++f) {
            if (name == field_names[f]) {
                // The field's value molded, or formed in a syntax error
                // (whose arguments are source excerpts).
                Cell v = *field(error, static_cast<Field>(f));
                append_value(buffer, &v, !syntax, true, false, 80);
                break;
            }
        }
    }
}

}  // namespace

Cell* make_prototype(Cell* out) {
    Cell e = blank();
    set_type(&e, TYPE_OBJECT);
    e.data2 = static_cast<uint32_t>(object::new_class_id());
    *context::self_of(e.ctx()) = e;
    *out = e;
    return out;
}

// ---- Actions ---------------------------------------------------------------------------

Cell* make(Cell* proto, Cell* spec, uint32_t) {
    Cell s = *spec;
    Cell e;
    switch (s.type()) {
        case TYPE_INTEGER: {
            int32_t code = s.int_value();
            uint32_t category = static_cast<uint32_t>(code / 100);
            uint32_t position = static_cast<uint32_t>(code % 100);
            if (code < 0 || category >= errors::CATEGORY_COUNT || position >= errors::id_count(category))
                fire(err::OUT_OF_RANGE, &s);
            create(ErrorId{category, position}, nullptr, nullptr, nullptr, &e);
            break;
        }
        case TYPE_BLOCK: {
            uint32_t n = block::rs_length_q(&s);
            Cell first = n > 0 ? *block::rs_clamp_head(&s) : none_cell();
            if (first.type() == TYPE_WORD) {
                uint32_t category, position;
                Cell type_word = global_word("type");
                Cell id_word = global_word("id");
                if (!errors::find_category(first.symbol(), &category)) fire(err::MISSING_SPEC_FIELD, &type_word);
                Cell second = n > 1 ? block::rs_clamp_head(&s)[1] : none_cell();
                if (second.type() != TYPE_WORD) fire(err::INVALID_ARG, &second);
                if (!errors::find_id(category, second.symbol(), &position)) fire(err::MISSING_SPEC_FIELD, &id_word);
                create(ErrorId{category, position}, nullptr, nullptr, nullptr, &e);
            } else if (first.type() == TYPE_SET_WORD) {
                e = blank();
                stack::push(&e);  // keeps the new error alive while its spec runs
                context::bind(&s, e.ctx(), true);
                Unwind u = interpreter::eval(&s, false);
                if (u != Unwind::none) throw UnwindThrown{u};
                ErrorId id;
                Cell type_word = global_word("type");
                Cell id_word = global_word("id");
                uint32_t category;
                const Cell* t = field(&e, TYPE);
                if (!in(ALL_WORD, t->type()) || !errors::find_category(t->symbol(), &category))
                    fire(err::MISSING_SPEC_FIELD, &type_word);
                if (!id_of(&e, &id)) fire(err::MISSING_SPEC_FIELD, &id_word);
                Cell keep[3] = {*field(&e, ARG1), *field(&e, ARG2), *field(&e, ARG3)};
                fill_ids(&e, id);
                for (uint32_t i = 0; i < 3; ++i) set_field(&e, static_cast<Field>(ARG1 + i), &keep[i]);
            } else {
                fire(err::INVALID_ERROR);
            }
            break;
        }
        case TYPE_STRING: create(err::MESSAGE, &s, nullptr, nullptr, &e); break;
        default: {
            Cell dt;
            datatype::make_at(&dt, TYPE_ERROR);
            fire(err::BAD_TO_ARG, &dt, &s);
        }
    }
    return copy_cell(&e, proto);
}

int32_t form(Cell* value, Cell* buffer, Cell*, int32_t limit) {
    Cell e = *value;
    uint32_t before = length_of(buffer);
    ErrorId id;
    const char* msg = nullptr;
    if (id_of(&e, &id)) msg = errors::message(id);
    if (!msg) {
        // An error whose type or id names nothing in the catalogue shows
        // as internal invalid-error with the two words.
        Cell t = *field(&e, TYPE), i = *field(&e, ID);
        Cell fixed;
        create(err::INVALID_ERROR, &t, &i, nullptr, &fixed);
        set_field(&fixed, WHERE, field(&e, WHERE));
        set_field(&fixed, STACK, field(&e, STACK));
        e = fixed;
        id = err::INVALID_ERROR;
        msg = errors::message(id);
    }
    append(buffer, "*** ");
    append(buffer, errors::title(id.category));
    append(buffer, ": ");
    if (msg[0] == '[') fill_message(buffer, &e, msg, id.category == ERR_SYNTAX);
    else append(buffer, msg);
    append(buffer, "\n*** Where: ");
    Cell where = *field(&e, WHERE);
    // Usually the function's word; a handler that fails may say where with
    // any other value (a string, a path, the preprocessor's directive block).
    uint32_t wt = where.type();
    if (wt != TYPE_NONE && wt != TYPE_UNSET) append_value(buffer, &where, false, true, false, INT32_MAX);
    else append(buffer, "???");
    append(buffer, "\n*** Near : ");
    Cell near = *field(&e, NEAR);
    append_value(buffer, &near, true, true, true, 40);
    if (errors::trace_depth > 0) {
        Cell s = *field(&e, STACK);
        if (s.type() == TYPE_INTEGER) {
            append(buffer, "\n*** Stack: ");
            stack::form_trace(errors::trace_depth, s.int_value(), buffer, INT32_MAX);
        } else if (s.type() == TYPE_BLOCK) {
            append(buffer, "\n*** Stack: ");
            append_value(buffer, &s, false, true, false, INT32_MAX);
        }
    }
    Cell files = *field(&e, FILES);
    if (files.type() == TYPE_BLOCK) {
        append(buffer, "\n*** Files: ");
        append_value(buffer, &files, false, true, false, INT32_MAX);
    }
    return limit - static_cast<int32_t>(length_of(buffer) - before);
}

int32_t mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell*, int32_t limit, int32_t indent) {
    Cell e = *value;
    uint32_t before = length_of(buffer);
    if (cycles::detect_q(&e, buffer, &limit, true)) return limit;
    cycles::push(e.ctx());
    if (!only) append(buffer, "make error! [");
    for (uint32_t f = 0; f < FIELD_COUNT; ++f) {
        append(buffer, flat ? (f == 0 && only ? "" : " ") : "\n");
        if (!flat && !only)
            for (int32_t i = 0; i <= indent; ++i) append(buffer, "    ");
        append(buffer, field_names[f]);
        append(buffer, ": ");
        Cell v = *field(&e, static_cast<Field>(f));
        if (v.type() == TYPE_WORD) append(buffer, "'");
        append_value(buffer, &v, true, flat, false, INT32_MAX);
        (void)all;
    }
    if (!only) {
        if (!flat) append(buffer, "\n");
        append(buffer, "]");
    }
    cycles::pop();
    return limit - static_cast<int32_t>(length_of(buffer) - before);
}

Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell*, Cell*, int32_t, bool, bool,
                bool) {
    Cell none = none_cell();
    Cell el = *element;
    if (!in(ALL_WORD, el.type()) || el.type() == TYPE_ISSUE) fire(err::INVALID_PATH, path ? path : &none, &el);
    Node ctx = parent->ctx();
    int32_t i = context::find_symbol(ctx, el.symbol(), true);
    if (i < 0) fire(err::INVALID_PATH, path ? path : &none, &el);
    Cell* slot = context::value_at(ctx, static_cast<uint32_t>(i));
    if (value) {
        Cell v = *value;
        *slot = v;
        return value;
    }
    return slot;
}

int32_t compare(Cell* value1, Cell* value2, int32_t op) {
    if (value2->type() != TYPE_ERROR) return actions::NOT_COMPARABLE;
    if (value1->ctx() == value2->ctx()) return 0;
    if (op == actions::COMP_SAME) return -1;
    for (uint32_t f = 0; f < FIELD_COUNT; ++f) {
        Cell a = *field(value1, static_cast<Field>(f));
        Cell b = *field(value2, static_cast<Field>(f));
        if (a.type() != b.type()) return a.type() < b.type() ? -1 : 1;
        if (!datatype::action(a.type(), actions::slot::compare) && a.type() != TYPE_LOGIC) continue;
        int32_t r = actions::compare(&a, &b, op);
        if (r != 0) return r == actions::NOT_COMPARABLE ? -1 : r;
    }
    return 0;
}

}  // namespace error

// ---- Registration --------------------------------------------------------------

template <>
void datatype::init_type<TYPE_ERROR>() {
    register_type<TYPE_ERROR, "o-i-ooo-o --------------- -----ii------------i------- -----------">(
        own<slot::make>(error::make), own<slot::form>(error::form), own<slot::mold>(error::mold),
        own<slot::eval_path>(error::eval_path), own<slot::compare>(error::compare));
}
