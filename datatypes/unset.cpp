// unset!: the value of nothing (a word without a value, a missing result).
#include "datatypes/logic.h"

#include "datatypes/datatype.h"
#include "datatypes/string.h"
#include "evaluator/actions.h"
#include "evaluator/stack.h"

#include <cstring>

namespace unset {

Cell* push_last() {
    *stack::arguments = Cell{TYPE_UNSET, 0, 0, 0};
    return stack::arguments;
}

Cell* push() {
    Cell* c = stack::push_slot();
    *c = Cell{TYPE_UNSET, 0, 0, 0};
    return c;
}

Cell* make_in(Cell* block) { return alloc_tail(block); }

// ---- Actions -------------------------------------------------------------------------

namespace {
bool equality_q(int32_t op) { return op < actions::COMP_LESSER || op > actions::COMP_GREATER_EQUAL; }
}  // namespace

Cell* make(Cell* proto, Cell*, uint32_t) {
    *proto = Cell{TYPE_UNSET, 0, 0, 0};
    return proto;
}

int32_t form(Cell*, Cell*, Cell*, int32_t limit) { return limit; }

int32_t mold(Cell*, Cell* buffer, bool, bool all, bool, Cell*, int32_t limit, int32_t) {
    const char* text = all ? "#(unset)" : "unset";
    string::concatenate_literal(buffer, text);
    return limit - static_cast<int32_t>(std::strlen(text));
}

int32_t compare(Cell*, Cell* value2, int32_t op) {
    if (value2->type() != TYPE_UNSET) return actions::NOT_COMPARABLE;
    return equality_q(op) ? 0 : actions::NOT_COMPARABLE;
}

}  // namespace unset

// ---- Registration --------------------------------------------------------------

template <>
void datatype::init_type<TYPE_UNSET>() {
    register_type<TYPE_UNSET, "o--ooo--o --------------- --------------------------- -----------">(
        own<slot::make>(unset::make), own<slot::to>(unset::make), own<slot::form>(unset::form),
        own<slot::mold>(unset::mold), own<slot::compare>(unset::compare));
}
