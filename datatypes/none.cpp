// none!: the value that stands for no value.
#include "datatypes/logic.h"

#include "datatypes/datatype.h"
#include "datatypes/string.h"
#include "evaluator/actions.h"
#include "evaluator/stack.h"

#include <cstring>

namespace none {

Cell* push_last() {
    *stack::arguments = Cell{TYPE_NONE, 0, 0, 0};
    return stack::arguments;
}

Cell* push() {
    Cell* c = stack::push_slot();
    *c = Cell{TYPE_NONE, 0, 0, 0};
    return c;
}

Cell* make_in(Cell* block) {
    Cell* c = alloc_tail(block);
    c->header = TYPE_NONE;
    return c;
}

// ---- Actions -------------------------------------------------------------------------

namespace {
bool equality_q(int32_t op) { return op < actions::COMP_LESSER || op > actions::COMP_GREATER_EQUAL; }
}  // namespace

Cell* make(Cell* proto, Cell*, uint32_t) {
    *proto = Cell{TYPE_NONE, 0, 0, 0};
    return proto;
}

int32_t form(Cell*, Cell* buffer, Cell*, int32_t limit) {
    string::concatenate_literal(buffer, "none");
    return limit - 4;
}

int32_t mold(Cell*, Cell* buffer, bool, bool all, bool, Cell*, int32_t limit, int32_t) {
    const char* text = all ? "#(none)" : "none";
    string::concatenate_literal(buffer, text);
    return limit - static_cast<int32_t>(std::strlen(text));
}

int32_t compare(Cell*, Cell* value2, int32_t op) {
    if (value2->type() != TYPE_NONE) return actions::NOT_COMPARABLE;
    return equality_q(op) ? 0 : actions::NOT_COMPARABLE;
}

// The series actions that none! answers with none.
Cell* clear(Cell* value) { return make(value, nullptr, 0); }
Cell* find(Cell* series, Cell*, Cell*, bool, bool, bool, bool, Cell*, Cell*, bool, bool, bool, bool) {
    return make(series, nullptr, 0);
}
// -1 asks the stack entry point for none!.
int32_t length_q(Cell*) { return -1; }
Cell* remove(Cell* series, Cell*, Cell*) { return make(series, nullptr, 0); }
Cell* select(Cell* series, Cell*, Cell*, bool, bool, bool, bool, Cell*, Cell*, bool, bool) {
    return make(series, nullptr, 0);
}
Cell* take(Cell* series, Cell*, bool, bool) { return make(series, nullptr, 0); }

}  // namespace none

// ---- Registration --------------------------------------------------------------

template <>
void datatype::init_type<TYPE_NONE>() {
    register_type<TYPE_NONE, "o--ooo--o --------------- ----o-o----o-----o-o-----o- -----------">(
        own<slot::make>(none::make), own<slot::to>(none::make), own<slot::form>(none::form),
        own<slot::mold>(none::mold), own<slot::compare>(none::compare),
        own<slot::clear>(none::clear), own<slot::find>(none::find),
        own<slot::length_q>(none::length_q), own<slot::remove>(none::remove),
        own<slot::select>(none::select), own<slot::take>(none::take));
}
