// The error object: its fields, and building an error! from a catalogue id.
#include "evaluator/error_object.h"

#include "evaluator/block_storage.h"
#include "evaluator/context.h"
#include "evaluator/interpreter.h"
#include "evaluator/stack.h"
#include "evaluator/symbol.h"
#include "evaluator/word_storage.h"
#include "runtime/typesets.h"

namespace error {

const char* const field_names[FIELD_COUNT] = {"code", "type", "id",   "arg1",  "arg2",
                                              "arg3", "near", "where", "stack", "files"};

namespace {

uint32_t field_symbols[FIELD_COUNT];

Cell none_cell() { return Cell{TYPE_NONE, 0, 0, 0}; }
Cell integer(int32_t n) { return Cell{TYPE_INTEGER, 0, static_cast<uint32_t>(n), 0}; }

}  // namespace

Cell global_word(const char* text) {
    Cell w;
    return *word::make_bound(&w, symbol::make(text), context::global);
}

void init_fields() {
    for (uint32_t f = 0; f < FIELD_COUNT; ++f) field_symbols[f] = symbol::make(field_names[f]);
}

Cell* field(const Cell* error, Field f) { return context::value_at(error->ctx(), f); }

// ---- Making --------------------------------------------------------------------------------

Cell blank() {
    Node ctx = context::create(FIELD_COUNT, false, true, 0, context::KIND_OBJECT);
    for (uint32_t f = 0; f < FIELD_COUNT; ++f) {
        Cell w{TYPE_WORD, 0, field_symbols[f], static_cast<uint32_t>(-1)};
        context::add_word(ctx, &w);
    }
    Cell none = none_cell();
    for (uint32_t f = 0; f < FIELD_COUNT; ++f) *context::value_at(ctx, f) = none;
    Cell e{TYPE_ERROR, ctx, 0, 0};
    *context::self_of(ctx) = e;
    return e;
}

void set_field(Cell* e, Field f, const Cell* value) {
    Cell v = *value;
    *field(e, f) = v;
}

void fill_ids(Cell* e, ErrorId id) {
    Cell code = integer(static_cast<int32_t>(id.category * 100 + id.position));
    set_field(e, CODE, &code);
    Cell t = global_word(errors::category_word(id.category));
    set_field(e, TYPE, &t);
    Cell i = global_word(errors::id_word(id));
    set_field(e, ID, &i);
    Cell near = interpreter::position;
    if (near.type() != TYPE_BLOCK && near.type() != TYPE_PAREN) near = none_cell();
    set_field(e, NEAR, &near);
}

Cell* create(ErrorId id, const Cell* arg1, const Cell* arg2, const Cell* arg3, Cell* out) {
    Cell args[3] = {arg1 ? *arg1 : none_cell(), arg2 ? *arg2 : none_cell(), arg3 ? *arg3 : none_cell()};
    Cell e = blank();
    fill_ids(&e, id);
    for (uint32_t i = 0; i < 3; ++i) set_field(&e, static_cast<Field>(ARG1 + i), &args[i]);
    *out = e;
    return out;
}

bool id_of(const Cell* error, ErrorId* out) {
    const Cell* t = field(error, TYPE);
    const Cell* i = field(error, ID);
    if (!in(ALL_WORD, t->type()) || !in(ALL_WORD, i->type())) return false;
    uint32_t category, position;
    if (!errors::find_category(t->symbol(), &category)) return false;
    if (!errors::find_id(category, field(error, ID)->symbol(), &position)) return false;
    *out = ErrorId{category, position};
    return true;
}

void set_where(Cell* error, const Cell* word) {
    if (field(error, WHERE)->type() == TYPE_NONE) set_field(error, WHERE, word);
}

void capture_stack(Cell* error) {
    Cell s = *field(error, STACK);
    if (s.type() != TYPE_INTEGER) return;
    int32_t level = errors::trace_depth > 0 ? errors::trace_depth : 1;
    Cell b;
    block::make_at(&b, 20);
    stack::trace_to_block(level, &b, s.int_value());
    set_field(error, STACK, &b);
}

}  // namespace error
