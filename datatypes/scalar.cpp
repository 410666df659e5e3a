// Shared pieces of the small scalar datatypes: error shorthands, text with
// the part budget, rounding over float!'s core.
#include "datatypes/scalar.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "evaluator/context.h"
#include "datatypes/datatype.h"
#include "datatypes/float.h"
#include "datatypes/integer.h"
#include "datatypes/string.h"
#include "datatypes/word.h"
#include "evaluator/actions.h"
#include "evaluator/stack.h"
#include "evaluator/symbol.h"
#include "evaluator/words.h"
#include "runtime/typesets.h"

namespace scalar {

// ---- Errors ------------------------------------------------------------------------

void fire_type(ErrorId id, uint32_t type, const Cell* arg2) {
    Cell dt;
    datatype::make_at(&dt, type);
    fire(id, &dt, arg2);
}

void bad_to_arg(uint32_t type, const Cell* spec) { fire_type(err::BAD_TO_ARG, type, spec); }
void bad_make_arg(uint32_t type, const Cell* spec) { fire_type(err::BAD_MAKE_ARG, type, spec); }

void fire_caller_type(ErrorId id, uint32_t type) {
    Cell caller, dt;
    actions::caller_word(&caller);
    datatype::make_at(&dt, type);
    fire(id, &caller, &dt);
}

Cell op_word(int32_t op) {
    switch (op) {
        case 0: return words::add;
        case 1: return words::subtract;
        case 2: return words::multiply;
        case 3: return words::divide;
        default: {
            static const char* const names[] = {"remainder", "or~", "and~", "xor~"};
            Cell w{TYPE_UNSET, 0, 0, 0};
            word::make_at(symbol::make(names[(op - 4) & 3]), &w);
            return w;
        }
    }
}

// ---- Values -------------------------------------------------------------------------

Cell load_text(Cell* text) {
    if (!word::load_value_hook) fire(err::FEATURE_NA);
    Cell* slot = stack::push_slot();
    slot->header = TYPE_UNSET;
    Cell value = *word::load_value_hook(text, slot);
    stack::pop(1);
    return value;
}

bool word_is(const Cell* w, uint32_t sym) {
    return symbol::resolve(w->symbol()) == symbol::resolve(sym);
}

void store_back(Cell* parent, Cell* path, Cell* holder, Cell* prev, int32_t index) {
    if (!holder || !prev) return;
    Cell value = *parent;
    if (holder->type() == TYPE_NONE || holder->type() == TYPE_UNSET) {
        if (in(ALL_WORD, prev->type())) context::set(prev, &value);
        return;
    }
    Cell h = *holder;
    Cell element = *prev;
    Cell* top = stack::top;
    actions::eval_path(&h, &element, &value, path, nullptr, nullptr, index - 1, false, false, true);
    stack::top = top;
}

// ---- Text ------------------------------------------------------------------------------

int32_t append(Cell* buffer, const char* text, int32_t limit) {
    string::concatenate_literal(buffer, text);
    return limit - static_cast<int32_t>(std::strlen(text));
}


// ---- Doubles --------------------------------------------------------------------------


double round(double value, double step, const RoundMode& m) {
    Cell v = make_float(TYPE_FLOAT, value);
    Cell s = make_float(TYPE_FLOAT, step);
    float_::round(&v, &s, m.even, m.down, m.half_down, m.floor, m.ceiling, m.half_ceiling);
    return v.float_value();
}

// ---- 32-bit integers ---------------------------------------------------------------------

int64_t int_op(int32_t a, int32_t b, int32_t op) {
    int64_t x = a, y = b;
    switch (op) {
        case 0: return x + y;
        case 1: return x - y;
        case 2: return x * y;
        case 3:
        case 4:
            if (b == 0) fire(err::ZERO_DIVIDE);
            if (a == INT32_MIN && b == -1) fire(err::OVERFLOW);
            return op == 3 ? x / y : x % y;
        case 5: return a | b;
        case 6: return a & b;
        case 7: return a ^ b;
        default: return 0;
    }
}

int32_t to_int(double d) { return integer::truncate(d); }

}  // namespace scalar
