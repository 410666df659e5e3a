// path!: a sequence of values that navigates data.
#include "datatypes/path.h"

#include "datatypes/block.h"
#include "datatypes/datatype.h"
#include "datatypes/string.h"
#include "datatypes/series.h"
#include "evaluator/actions.h"
#include "evaluator/cycles.h"
#include "evaluator/errors.h"
#include "evaluator/stack.h"
#include "runtime/typesets.h"

namespace path {

Cell* push_typed(Cell* value, uint32_t type) {
    set_header(value, type);
    return stack::push(value);
}

Cell* make_at(Cell* slot, uint32_t size) {
    block::make_at(slot, size);
    set_type(slot, TYPE_PATH);
    return slot;
}

// ---- Actions -------------------------------------------------------------------------

Cell* make(Cell* proto, Cell* spec, uint32_t type) {
    uint32_t t = spec->type();
    if (in(ANY_BLOCK, t)) return block::to(proto, spec, type);
    int64_t n;
    switch (t) {
        case TYPE_INTEGER: n = spec->int_value(); break;
        case TYPE_FLOAT:
        case TYPE_PERCENT: {
            double d = spec->float_value();
            n = d != d ? 0 : d > 2147483647.0 ? 2147483647 : d < -2147483648.0 ? 0 : static_cast<int64_t>(d);
            break;
        }
        default: {
            Cell dt;
            datatype::make_at(&dt, type);
            fire(err::BAD_MAKE_ARG, &dt, spec);
        }
    }
    block::make_at(proto, n > 0 ? static_cast<uint32_t>(n) : 1u);
    set_header(proto, type);
    return proto;
}

Cell* to(Cell* proto, Cell* spec, uint32_t type) {
    uint32_t t = spec->type();
    if (t == TYPE_OBJECT || t == TYPE_TYPESET || t == TYPE_MAP) {
        Cell v = *spec;
        block::make_at(proto, 1);
        block::rs_append(proto, &v);
        set_header(proto, type);
        return proto;
    }
    return block::to(proto, spec, type);
}

namespace {

// The elements from the index, formed or molded, "/" between them.
int32_t write_elements(Cell* value, Cell* buffer, bool mold, bool only, bool all, bool flat, Cell* part,
                       int32_t limit) {
    if (cycles::detect_q(value, buffer, &limit, true)) return limit;
    Cell p = *value;
    series::clamp(&p);
    uint32_t len = series_of(&p)->count();
    cycles::push(p.node());
    for (uint32_t i = p.head(); i < len; ++i) {
        if (i > p.head()) {
            string::append_char(series_of(buffer), '/');
            --limit;
        }
        Cell v = *block::rs_abs_at(&p, i);
        limit = mold ? actions::mold(&v, buffer, only, all, flat, part, limit, 0)
                     : actions::form(&v, buffer, part, limit);
        if (part && limit < 1) break;
    }
    cycles::pop();
    return limit;
}

}  // namespace

int32_t form(Cell* value, Cell* buffer, Cell* part, int32_t limit) {
    return write_elements(value, buffer, false, false, false, false, part, limit);
}

int32_t mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part, int32_t limit, int32_t) {
    return write_elements(value, buffer, true, only, all, flat, part, limit);
}

}  // namespace path

// ---- Registration --------------------------------------------------------------

template <>
void datatype::init_type<TYPE_PATH>() {
    register_type<TYPE_PATH, "o-ioooi-i --------------- iiiiioiiiiiiiiiiiiii-iiiii- ---i-------">(
        own<slot::make>(path::make), own<slot::to>(path::to), own<slot::form>(path::form),
        own<slot::mold>(path::mold), own<slot::copy>(block::copy));
}
