// issue!: a word written with a leading "#" that is never looked up.
#include "datatypes/issue.h"

#include "evaluator/context.h"
#include "datatypes/datatype.h"
#include "datatypes/string.h"
#include "datatypes/word.h"
#include "evaluator/stack.h"
#include "evaluator/symbol.h"
#include "runtime/memory.h"
#include "runtime/typesets.h"

namespace issue {

Cell* make(Cell* proto, Cell* spec, uint32_t type) {
    Cell r;
    switch (spec->type()) {
        case TYPE_STRING:
            r = make_issue(symbol::make_from_string(spec));
            break;
        case TYPE_CHAR: {
            Cell* text = string::rs_make_at(stack::push_slot(), 1);
            string::append_char(series_of(text), static_cast<uint32_t>(spec->int_value()));
            r = make_issue(symbol::make_from_string(stack::top_cell()));
            stack::pop(1);
            break;
        }
        default:
            if (!in(ALL_WORD, spec->type())) return word::make(proto, spec, type);
            r = *spec;
            break;
    }
    r.header = type;
    return copy_cell(&r, proto);
}

int32_t mold(Cell* value, Cell* buffer, bool, bool, bool, Cell*, int32_t limit, int32_t) {
    return word::mold_with(value, buffer, "#", false, limit);
}

int32_t compare(Cell* value1, Cell* value2, int32_t op) {
    if (value1->type() != TYPE_ISSUE) return actions::NOT_COMPARABLE;
    return word::compare(value1, value2, op);
}

}  // namespace issue

// ---- Registration --------------------------------------------------------------

template <>
void datatype::init_type<TYPE_ISSUE>() {
    register_type<TYPE_ISSUE, "o--oio--o --------------- --------------------------- -----------">(
        own<slot::make>(issue::make), own<slot::to>(issue::make), own<slot::mold>(issue::mold),
        own<slot::compare>(issue::compare));
}
