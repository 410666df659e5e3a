// routine!: functions whose body is C++ code: the routine table, making
// routine values, form, mold and comparison.
#include "datatypes/routine.h"

#include <cstring>

#include "datatypes/block.h"
#include "evaluator/context.h"
#include "datatypes/datatype.h"
#include "datatypes/function.h"
#include "datatypes/native.h"
#include "datatypes/string.h"
#include "evaluator/errors.h"
#include "evaluator/stack.h"

namespace routine {

namespace {

int32_t append_text(Cell* buffer, const char* text, int32_t limit) {
    string::concatenate_literal(buffer, text);
    return limit - static_cast<int32_t>(std::strlen(text));
}

}  // namespace

Node push(const Cell* spec, const Cell* body, int32_t entry, int32_t extra, bool flag) {
    Node ctx = function::push(spec, body, 0, entry, extra, 0);
    Cell* r = stack::top_cell();
    r->header = TYPE_ROUTINE | (flag ? FLAG_CELLS : 0);
    set_arity(r);
    *context::self_of(ctx) = *r;
    return ctx;
}

uint32_t arity(const Cell* r) { return (r->header & ARITY_MASK) >> ARITY_SHIFT; }

void set_arity(Cell* r) {
    SeriesBuffer* s = memory::buffer(r->data2);
    auto* cells = reinterpret_cast<Cell*>(s->offset_addr());
    uint32_t n = 0;
    for (uint32_t i = 0; i < s->count(); ++i) n += cells[i].type() == TYPE_WORD;
    r->header = (r->header & ~ARITY_MASK) | ((n << ARITY_SHIFT) & ARITY_MASK);
}

// make routine! [spec index]: a routine of the table entry `index`.
Cell* make(Cell* proto, Cell* spec, uint32_t) {
    Cell arg = *spec;
    auto bad = [&]() {
        Cell p = *proto;
        fire(err::BAD_MAKE_ARG, &p, &arg);
    };
    if (arg.type() != TYPE_BLOCK || block::rs_length_q(&arg) != 2) bad();
    Cell spec_block = block::rs_clamp_head(&arg)[0];
    Cell index = block::rs_clamp_head(&arg)[1];
    if (spec_block.type() != TYPE_BLOCK || index.type() != TYPE_INTEGER || !body_of(index.int_value())) bad();
    function::check_spec(&spec_block);
    Cell cache;
    if (!native::entry_cache(TYPE_ROUTINE, static_cast<uint32_t>(index.int_value()), &spec_block, &cache)) bad();
    push(&spec_block, nullptr, index.int_value(), 0, false);
    Cell r = *stack::top_cell();
    stack::pop(1);
    *function::more(&r, function::MORE_CACHE) = cache;
    return copy_cell(&r, proto);
}

int32_t form(Cell*, Cell* buffer, Cell*, int32_t limit) { return append_text(buffer, "?routine?", limit); }

int32_t mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part, int32_t limit, int32_t indent) {
    Cell v = *value;
    limit = append_text(buffer, "routine ", limit);
    Cell spec = function::spec_of(&v);
    limit = actions::mold(&spec, buffer, only, all, flat, part, limit, indent);
    Cell body = *function::more(&v, function::MORE_BODY);
    if (body.type() == TYPE_BLOCK) return actions::mold(&body, buffer, only, all, flat, part, limit, indent);
    limit = append_text(buffer, " ", limit);
    return actions::mold(&body, buffer, only, all, flat, part, limit, indent);
}

int32_t compare(Cell* value1, Cell* value2, int32_t op) { return function::compare(value1, value2, op); }

}  // namespace routine

// ---- Registration --------------------------------------------------------------

template <>
void datatype::init_type<TYPE_ROUTINE>() {
    register_type<TYPE_ROUTINE,
                  "o-i-oo--o --------------- --------------------------- -----------">(
        own<slot::make>(routine::make), own<slot::form>(routine::form),
        own<slot::mold>(routine::mold), own<slot::compare>(routine::compare));
}
