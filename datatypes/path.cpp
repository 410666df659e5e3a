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

// ---- Registration --------------------------------------------------------------

void init() {
    using namespace datatype;
    datatype::register_type<TYPE_PATH>(
        /*  1 make            */ make,
        /*  2 random          */ unsupported,
        /*  3 reflect         */ inherit,
        /*  4 to              */ to,
        /*  5 form            */ form,
        /*  6 mold            */ mold,
        /*  7 path evaluation */ inherit,
        /*  8 path setting    */ unsupported,
        /*  9 comparison      */ inherit,
        /* 10 absolute        */ unsupported,
        /* 11 add             */ unsupported,
        /* 12 divide          */ unsupported,
        /* 13 multiply        */ unsupported,
        /* 14 negate          */ unsupported,
        /* 15 power           */ unsupported,
        /* 16 remainder       */ unsupported,
        /* 17 round           */ unsupported,
        /* 18 subtract        */ unsupported,
        /* 19 even?           */ unsupported,
        /* 20 odd?            */ unsupported,
        /* 21 and~            */ unsupported,
        /* 22 complement      */ unsupported,
        /* 23 or~             */ unsupported,
        /* 24 xor~            */ unsupported,
        /* 25 append          */ inherit,
        /* 26 at              */ inherit,
        /* 27 back            */ inherit,
        /* 28 change          */ inherit,
        /* 29 clear           */ inherit,
        /* 30 copy            */ block::copy,
        /* 31 find            */ inherit,
        /* 32 head            */ inherit,
        /* 33 head?           */ inherit,
        /* 34 index?          */ inherit,
        /* 35 insert          */ inherit,
        /* 36 length?         */ inherit,
        /* 37 move            */ inherit,
        /* 38 next            */ inherit,
        /* 39 pick            */ inherit,
        /* 40 poke            */ inherit,
        /* 41 put             */ inherit,
        /* 42 remove          */ inherit,
        /* 43 reverse         */ inherit,
        /* 44 select          */ inherit,
        /* 45 sort            */ unsupported,
        /* 46 skip            */ inherit,
        /* 47 swap            */ inherit,
        /* 48 tail            */ inherit,
        /* 49 tail?           */ inherit,
        /* 50 take            */ inherit,
        /* 51 trim            */ unsupported,
        /* 52 create          */ unsupported,
        /* 53 close           */ unsupported,
        /* 54 delete          */ unsupported,
        /* 55 modify          */ inherit,
        /* 56 open            */ unsupported,
        /* 57 open?           */ unsupported,
        /* 58 query           */ unsupported,
        /* 59 read            */ unsupported,
        /* 60 rename          */ unsupported,
        /* 61 update          */ unsupported,
        /* 62 write           */ unsupported);
}

}  // namespace path
