// op!: infix operators made from two-argument callables.
#include <cstring>

#include "datatypes/datatype.h"
#include "datatypes/function.h"
#include "datatypes/native.h"
#include "datatypes/string.h"
#include "evaluator/errors.h"
#include "evaluator/stack.h"
#include "evaluator/words.h"

namespace op {

namespace {

int32_t append_text(Cell* buffer, const char* text, int32_t limit) {
    string::concatenate_literal(buffer, text);
    return limit - static_cast<int32_t>(std::strlen(text));
}

}  // namespace

Cell* make(Cell* proto, Cell* spec, uint32_t) {
    Cell src = *spec;
    uint32_t t = src.type();
    if (t != TYPE_ACTION && t != TYPE_NATIVE && t != TYPE_FUNCTION && t != TYPE_ROUTINE) {
        Cell dt;
        datatype::make_at(&dt, t);
        fire(err::INVALID_TYPE, &dt);
    }
    Cell spec_block{TYPE_BLOCK, 0, src.data2, 0};
    if (!native::two_argument_spec_q(&spec_block)) fire(err::BAD_OP_SPEC);
    if (t == TYPE_FUNCTION || t == TYPE_ROUTINE) *function::more(&src, function::MORE_OP) = src;
    Cell r = src;
    r.header = TYPE_OP | (t << OP_SOURCE_SHIFT);
    return copy_cell(&r, proto);
}

int32_t form(Cell*, Cell* buffer, Cell*, int32_t limit) { return append_text(buffer, "?op?", limit); }

int32_t mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part, int32_t limit, int32_t indent) {
    Cell v = *value;
    limit = append_text(buffer, "make op! ", limit);
    Cell spec{TYPE_BLOCK, 0, v.data2, 0};
    if (native::source_type(&v) == TYPE_FUNCTION) {
        limit = append_text(buffer, "func ", limit);
        limit = actions::mold(&spec, buffer, only, all, flat, part, limit, indent);
        Cell body = *function::more(&v, function::MORE_BODY);
        if (body.type() == TYPE_BLOCK) limit = actions::mold(&body, buffer, only, all, flat, part, limit, indent);
        return limit;
    }
    limit = append_text(buffer, "[", limit);
    limit = actions::mold(&spec, buffer, only, all, flat, part, limit, indent);
    return append_text(buffer, "]", limit);
}

int32_t compare(Cell* value1, Cell* value2, int32_t op) {
    if (value2->type() != TYPE_OP) return actions::NOT_COMPARABLE;
    uint32_t src = native::source_type(value1);
    if (src == TYPE_FUNCTION || src == TYPE_ROUTINE) {
        if (native::source_type(value2) != src) return actions::NOT_COMPARABLE;
        return function::compare(value1, value2, op);
    }
    return native::compare(value1, value2, op);
}

}  // namespace op

// ---- Registration --------------------------------------------------------------

template <>
void datatype::init_type<TYPE_OP>() {
    register_type<TYPE_OP, "o-i-oo--o --------------- --------------------------- -----------">(
        own<slot::make>(op::make), own<slot::form>(op::form), own<slot::mold>(op::mold),
        own<slot::compare>(op::compare));
}
