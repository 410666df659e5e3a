// typeset!: the block of a typeset's types, set operations and molding.
#include "datatypes/typeset.h"

#include <cstring>

#include "datatypes/block.h"
#include "evaluator/context.h"
#include "datatypes/datatype.h"
#include "datatypes/string.h"
#include "evaluator/errors.h"

namespace typeset {

// ---- Making ---------------------------------------------------------------------------

Cell* to_block(const Cell* ts, Cell* slot) {
    Cell set = *ts;  // the slot may be the typeset's own cell
    block::make_at(slot, count(&set));
    for (uint32_t t = 1; t <= datatype::top_id; ++t)
        if (has_q(&set, t) && datatype::registered(t)) datatype::make_in(slot, t);
    return slot;
}

// ---- Actions ---------------------------------------------------------------------------

Cell* make(Cell* proto, Cell* spec, uint32_t) {
    Cell ts;
    make_at(&ts);
    switch (spec->type()) {
        case TYPE_TYPESET: ts = *spec; ts.header = TYPE_TYPESET; break;
        case TYPE_BLOCK: {
            uint32_t n = block::rs_length_q(spec);
            for (uint32_t i = 0; i < n; ++i) add(&ts, block::rs_clamp_head(spec) + i);
            break;
        }
        default: {
            Cell dt;
            datatype::make_at(&dt, TYPE_TYPESET);
            fire(err::BAD_TO_ARG, &dt, spec);
        }
    }
    return copy_cell(&ts, proto);
}

namespace {

// The names of the set's types, each followed by a space, while the part
// budget lasts.
int32_t write_names(const Cell* ts, Cell* buffer, int32_t limit) {
    for (uint32_t t = 1; t <= datatype::top_id && limit > 0; ++t) {
        const datatype::NameEntry* n = datatype::name_entry(t);
        if (!n || !has_q(ts, t)) continue;
        string::concatenate_literal(buffer, n->name);
        string::concatenate_literal(buffer, " ");
        limit -= static_cast<int32_t>(n->length) + 2;
    }
    return limit;
}

// Whether the string's last code point is a space.
bool ends_with_space(const Cell* str) {
    uint32_t n = series_of(str)->count();
    return n > 0 && string::rs_abs_at(str, n - 1) == ' ';
}

}  // namespace

int32_t form(Cell* value, Cell* buffer, Cell*, int32_t limit) {
    limit = write_names(value, buffer, limit);
    // The names alone: no space after the last one.
    if (ends_with_space(buffer)) {
        SeriesBuffer* s = series_of(buffer);
        s->tail -= s->unit();
    }
    return limit;
}

int32_t mold(Cell* value, Cell* buffer, bool, bool, bool, Cell*, int32_t limit, int32_t) {
    string::concatenate_literal(buffer, "make typeset! [");
    limit = write_names(value, buffer, limit);
    // The last space becomes the closing bracket; an empty set has none.
    if (ends_with_space(buffer)) {
        SeriesBuffer* s = series_of(buffer);
        string::poke_char(s, s->tail_addr() - s->unit(), ']');
    } else {
        string::concatenate_literal(buffer, "]");
    }
    return limit;
}

int32_t compare(Cell* value1, Cell* value2, int32_t op) {
    if (value2->type() != TYPE_TYPESET) return actions::NOT_COMPARABLE;
    if (actions::identity_op_q(op))
        return value1->data1 == value2->data1 && value1->data2 == value2->data2 && value1->data3 == value2->data3
                   ? 0
                   : 1;
    switch (op) {
        case actions::COMP_SORT:
        case actions::COMP_CASE_SORT: {
            uint32_t a = count(value1), b = count(value2);
            return a < b ? -1 : a > b ? 1 : 0;
        }
        default: return actions::NOT_COMPARABLE;
    }
}

Cell* find(Cell* series, Cell* value, Cell*, bool, bool, bool, bool, Cell*, Cell*, bool, bool, bool,
           bool) {
    if (value->type() != TYPE_DATATYPE) fire(err::INVALID_ARG, value);
    bool found = has_q(series, value->data1);
    series->header = TYPE_LOGIC;
    series->data1 = found ? 1 : 0;
    return series;
}

Cell* do_bitwise(Cell* value1, Cell* value2, int32_t op) {
    Cell other;
    switch (value2->type()) {
        case TYPE_TYPESET: other = *value2; break;
        case TYPE_DATATYPE: make_at(&other); set_bit(&other, value2->data1); break;
        default: fire(err::INVALID_ARG, value2);
    }
    Cell r;
    make_at(&r);
    uint32_t* w = &r.data1;
    const uint32_t* a = &value1->data1;
    const uint32_t* b = &other.data1;
    for (int i = 0; i < 3; ++i) {
        switch (op) {
            case 5: case 9: w[i] = a[i] | b[i]; break;
            case 6: case 10: w[i] = a[i] & b[i]; break;
            case 7: case 12: w[i] = a[i] ^ b[i]; break;
            case 11: w[i] = a[i] & ~b[i]; break;
            default: w[i] = a[i]; break;
        }
    }
    return copy_cell(&r, value1);
}

Cell* and_(Cell* value1, Cell* value2) { return do_bitwise(value1, value2, 6); }
Cell* or_(Cell* value1, Cell* value2) { return do_bitwise(value1, value2, 5); }
Cell* xor_(Cell* value1, Cell* value2) { return do_bitwise(value1, value2, 7); }

Cell* complement(Cell* value) {
    value->data1 = ~value->data1;
    value->data2 = ~value->data2;
    value->data3 = ~value->data3;
    return value;
}

}  // namespace typeset

// ---- Registration --------------------------------------------------------------

template <>
void datatype::init_type<TYPE_TYPESET>() {
    typeset::word_value = typeset::default_set();
    register_type<TYPE_TYPESET,
                  "o--ooo--o -----------oooo ------o-------------------- -----------">(
        own<slot::make>(typeset::make), own<slot::to>(typeset::make),
        own<slot::form>(typeset::form), own<slot::mold>(typeset::mold),
        own<slot::compare>(typeset::compare), own<slot::and_>(typeset::and_),
        own<slot::complement>(typeset::complement), own<slot::or_>(typeset::or_),
        own<slot::xor_>(typeset::xor_), own<slot::find>(typeset::find));
}
