// logic!: the truth values true and false.
#include "datatypes/logic.h"

#include "datatypes/datatype.h"
#include "datatypes/string.h"
#include "evaluator/actions.h"
#include "evaluator/stack.h"
#include "evaluator/errors.h"
#include "runtime/rng.h"

namespace logic {

Cell true_cell{TYPE_LOGIC, 1, 0, 0};
Cell false_cell{TYPE_LOGIC, 0, 0, 0};

namespace {
Cell* set(Cell* slot, bool flag) {
    slot->header = TYPE_LOGIC;
    slot->data1 = flag ? 1 : 0;
    return slot;
}
bool truth(const Cell* value) {
    switch (value->type()) {
        case TYPE_NONE: return false;
        case TYPE_LOGIC: return value->data1 == 1;
        default: return true;
    }
}
}  // namespace

Cell* push(bool flag) {
    Cell* c = stack::push_slot();
    *c = Cell{TYPE_LOGIC, 0, 0, 0};
    return set(c, flag);
}

Cell* make_in(Cell* block, bool flag) { return set(alloc_tail(block), flag); }

bool value_true_q(const Cell* value, bool check_unset, const Cell* word) {
    if (check_unset && value->type() == TYPE_UNSET) fire(err::NO_VALUE, word);
    return truth(value);
}

// ---- Actions -------------------------------------------------------------------------

namespace {

bool equality_q(int32_t op) { return op < actions::COMP_LESSER || op > actions::COMP_GREATER_EQUAL; }

// and~, or~ and xor~ take a logic! second operand only.
void check_operand(const Cell* value2) {
    if (value2->type() == TYPE_LOGIC) return;
    Cell caller, dt, arg;
    actions::caller_word(&caller);
    datatype::make_at(&dt, value2->type());
    actions::call_argument_hook(1, &arg);
    fire(err::EXPECT_ARG, &caller, &dt, &arg);
}

}  // namespace

Cell* to(Cell* proto, Cell* spec, uint32_t) {
    if (spec->type() == TYPE_LOGIC) {
        Cell v = *spec;
        *proto = v;
        return proto;
    }
    *proto = spec->type() == TYPE_NONE ? false_cell : true_cell;
    return proto;
}

Cell* make(Cell* proto, Cell* spec, uint32_t type) {
    switch (spec->type()) {
        case TYPE_INTEGER: *proto = spec->int_value() != 0 ? true_cell : false_cell; return proto;
        case TYPE_FLOAT:
        case TYPE_PERCENT: *proto = spec->float_value() != 0.0 ? true_cell : false_cell; return proto;
        default: return to(proto, spec, type);
    }
}

Cell* random(Cell* value, bool seed, bool secure, bool) {
    if (seed) {
        rng::seed(static_cast<int32_t>(value->data1));
        *value = Cell{TYPE_UNSET, 0, 0, 0};
        return value;
    }
    int32_t draw = secure ? rng::secure_next() : rng::next();
    *value = draw > 0x3FFFFFFF ? true_cell : false_cell;
    return value;
}

int32_t form(Cell* value, Cell* buffer, Cell*, int32_t limit) {
    bool t = value->data1 == 1;
    string::concatenate_literal(buffer, t ? "true" : "false");
    return limit - (t ? 4 : 5);
}

int32_t mold(Cell* value, Cell* buffer, bool, bool all, bool, Cell*, int32_t limit, int32_t) {
    if (!all) return form(value, buffer, nullptr, limit);
    bool t = value->data1 == 1;
    string::concatenate_literal(buffer, t ? "#(true)" : "#(false)");
    return limit - (t ? 7 : 8);
}

int32_t compare(Cell* value1, Cell* value2, int32_t op) {
    if (value2->type() != TYPE_LOGIC) return actions::NOT_COMPARABLE;
    if (!equality_q(op)) return actions::NOT_COMPARABLE;
    return static_cast<int32_t>(value1->data1) - static_cast<int32_t>(value2->data1);
}

Cell* complement(Cell* value) {
    value->data1 ^= 1;
    return value;
}

Cell* and_(Cell* value1, Cell* value2) {
    check_operand(value2);
    value1->data1 &= value2->data1;
    return value1;
}

Cell* or_(Cell* value1, Cell* value2) {
    check_operand(value2);
    value1->data1 |= value2->data1;
    return value1;
}

Cell* xor_(Cell* value1, Cell* value2) {
    check_operand(value2);
    value1->data1 ^= value2->data1;
    return value1;
}

}  // namespace logic

// ---- Registration --------------------------------------------------------------

template <>
void datatype::init_type<TYPE_LOGIC>() {
    logic::true_cell = Cell{TYPE_LOGIC, 1, 0, 0};
    logic::false_cell = Cell{TYPE_LOGIC, 0, 0, 0};
    register_type<TYPE_LOGIC, "oo-ooo--o -----------oooo --------------------------- -----------">(
        own<slot::make>(logic::make), own<slot::random>(logic::random), own<slot::to>(logic::to),
        own<slot::form>(logic::form), own<slot::mold>(logic::mold),
        own<slot::compare>(logic::compare), own<slot::and_>(logic::and_),
        own<slot::complement>(logic::complement), own<slot::or_>(logic::or_),
        own<slot::xor_>(logic::xor_));
}
