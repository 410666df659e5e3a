// tuple!: short runs of bytes (versions, addresses, colours) in the cell.
#include "datatypes/tuple.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "datatypes/block.h"
#include "datatypes/datatype.h"
#include "datatypes/float.h"
#include "datatypes/scalar.h"
#include "evaluator/stack.h"
#include "evaluator/symbol.h"
#include "evaluator/words.h"
#include "runtime/rng.h"
#include "runtime/typesets.h"

namespace tuple {

// ---- Helpers -------------------------------------------------------------------

namespace {

void set_length(Cell* t, uint32_t n) {
    if (n < 3) n = 3;
    t->header = (t->header & ~TUPLE_SIZE_MASK) | (n << TUPLE_SIZE_SHIFT);
}

}  // namespace

Cell* make_at(Cell* slot, const uint8_t* data, uint32_t count) {
    if (count > 12) count = 12;
    slot->header = TYPE_TUPLE | ((count < 3 ? 3 : count) << TUPLE_SIZE_SHIFT);
    slot->data1 = slot->data2 = slot->data3 = 0;
    std::memcpy(bytes(slot), data, count);
    return slot;
}

Cell* push(uint32_t length, uint32_t word1, uint32_t word2, uint32_t word3) {
    Cell* c = stack::push_slot();
    *c = Cell{TYPE_TUPLE | ((length < 3 ? 3 : length) << TUPLE_SIZE_SHIFT), word1, word2, word3};
    return c;
}

Cell* from_binary(const Cell* binary, Cell* target) {
    SeriesBuffer* s = series_of(binary);
    uint32_t n = s->count() > binary->head() ? s->count() - binary->head() : 0;
    uint8_t b[12] = {};
    if (n > 12) n = 12;
    std::memcpy(b, s->data_at(binary->head()), n);
    return make_at(target, b, n);
}

Cell* from_rgba(Cell* target, int32_t r, int32_t g, int32_t b, int32_t a) {
    uint8_t v[4] = {static_cast<uint8_t>(r), static_cast<uint8_t>(g), static_cast<uint8_t>(b),
                    static_cast<uint8_t>(a)};
    return make_at(target, v, a == -1 ? 3 : 4);
}

Cell* from_issue(const Cell* issue, Cell* target) {
    uint32_t n = 0;
    const char* text = symbol::text(issue->symbol(), &n);
    if (n != 3 && n != 6 && n != 8) fire(err::INVALID_DATA, issue);
    int32_t d[8];
    for (uint32_t i = 0; i < n; ++i) {
        int c = static_cast<uint8_t>(text[i]) & 0x7F;
        if (c >= '0' && c <= '9') d[i] = c - '0';
        else if (c >= 'a' && c <= 'f') d[i] = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F') d[i] = c - 'A' + 10;
        else fire(err::INVALID_DATA, issue);
    }
    if (n == 3) return from_rgba(target, d[0] * 17, d[1] * 17, d[2] * 17, -1);
    return from_rgba(target, d[0] * 16 + d[1], d[2] * 16 + d[3], d[4] * 16 + d[5],
                     n == 8 ? d[6] * 16 + d[7] : -1);
}

bool zero_q(const Cell* t) {
    const uint8_t* b = bytes(t);
    for (uint32_t i = 0; i < length(t); ++i) if (b[i]) return false;
    return true;
}

Cell* do_math(Cell* value1, Cell* value2, int32_t op) {
    if (value1->type() != TYPE_TUPLE) {
        if (op == 1 || op == 3) {
            Cell w = scalar::op_word(op);
            Cell dt;
            datatype::make_at(&dt, value1->type());
            fire(err::NOT_RELATED, &w, &dt);
        }
        Cell t = *value1;
        *value1 = *value2;
        *value2 = t;
    }
    uint8_t* left = bytes(value1);
    uint32_t n = length(value1);
    switch (value2->type()) {
        case TYPE_FLOAT: case TYPE_PERCENT: case TYPE_TIME: {
            double v = value2->float_value();
            for (uint32_t i = 0; i < n; ++i) {
                double r = std::trunc(float_::do_math_op(left[i], v, op));
                left[i] = static_cast<uint8_t>(r > 255 ? 255 : (r > 0 ? r : 0));
            }
            return value1;
        }
        case TYPE_INTEGER: case TYPE_TUPLE: break;
        default: scalar::fire_type(err::INVALID_TYPE, value2->type());
    }
    bool is_tuple = value2->type() == TYPE_TUPLE;
    uint32_t n2 = is_tuple ? length(value2) : 0;
    uint32_t size = n2 > n ? n2 : n;
    uint8_t result[12];
    for (uint32_t i = 0; i < size; ++i) {
        int32_t a = i < n ? left[i] : 0;
        int32_t b = is_tuple ? (i < n2 ? bytes(value2)[i] : 0) : value2->int_value();
        int64_t r = scalar::int_op(a, b, op);
        if (!scalar::fits_int32(r)) result[i] = r > 0 ? 255 : 0;
        else result[i] = static_cast<uint8_t>(r > 255 ? 255 : (r < 0 ? 0 : r));
    }
    std::memcpy(left, result, size);
    set_length(value1, size);
    return value1;
}

Cell* do_math(int32_t op) { return do_math(stack::arguments, stack::arguments + 1, op); }

int32_t compare(Cell* value1, Cell* value2, int32_t) {
    if (value2->type() != TYPE_TUPLE) return actions::NOT_COMPARABLE;
    uint32_t n1 = length(value1), n2 = length(value2);
    uint32_t n = n1 > n2 ? n1 : n2;
    for (uint32_t i = 0; i < n; ++i) {
        int a = i < n1 ? bytes(value1)[i] : 0;
        int b = i < n2 ? bytes(value2)[i] : 0;
        if (a != b) return a < b ? -1 : 1;
    }
    return 0;
}

// ---- Actions -------------------------------------------------------------------

Cell* make(Cell* proto, Cell* spec, uint32_t) {
    Cell result;
    switch (spec->type()) {
        case TYPE_BLOCK: case TYPE_PAREN: case TYPE_HASH: {
            uint32_t n = block::rs_length_q(spec);
            if (n > 12) scalar::bad_to_arg(TYPE_TUPLE, spec);
            uint8_t b[12] = {};
            for (uint32_t i = 0; i < n; ++i) {
                const Cell* v = block::rs_clamp_head(spec) + i;
                int64_t x;
                if (v->type() == TYPE_INTEGER || v->type() == TYPE_CHAR) x = v->int_value();
                else if (v->type() == TYPE_FLOAT) {
                    double d = std::trunc(v->float_value());
                    x = d >= 0 && d <= 255 ? static_cast<int64_t>(d) : -1;
                } else {
                    scalar::bad_to_arg(TYPE_TUPLE, spec);
                }
                if (x < 0 || x > 255) scalar::bad_to_arg(TYPE_TUPLE, spec);
                b[i] = static_cast<uint8_t>(x);
            }
            make_at(&result, b, n);
            break;
        }
        case TYPE_ISSUE: from_issue(spec, &result); break;
        case TYPE_TUPLE: result = *spec; break;
        case TYPE_BINARY: from_binary(spec, &result); break;
        default:
            if (!in(ANY_STRING, spec->type())) scalar::bad_to_arg(TYPE_TUPLE, spec);
            result = scalar::load_text(spec);
            if (result.type() != TYPE_TUPLE) scalar::bad_to_arg(TYPE_TUPLE, spec);
    }
    *proto = result;
    return proto;
}

int32_t form(Cell* value, Cell* buffer, Cell*, int32_t limit) {
    char text[64];
    int n = 0;
    for (uint32_t i = 0; i < length(value); ++i)
        n += std::snprintf(text + n, sizeof text - n, i ? ".%u" : "%u", bytes(value)[i]);
    return scalar::append(buffer, text, limit);
}

int32_t mold(Cell* value, Cell* buffer, bool, bool, bool, Cell* part, int32_t limit, int32_t) {
    return form(value, buffer, part, limit);
}

namespace {

Cell* pick_at(Cell* value, int32_t index, const Cell* boxed) {
    if (index < 1 || static_cast<uint32_t>(index) > length(value)) fire(err::OUT_OF_RANGE, boxed);
    Cell r = scalar::integer(bytes(value)[index - 1]);
    return stack::push(&r);
}

}  // namespace

Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell* holder, Cell* prev, int32_t position,
                bool, bool, bool) {
    if (element->type() != TYPE_INTEGER) scalar::fire_type(err::INVALID_TYPE, element->type());
    int32_t index = element->int_value();
    if (!value) return pick_at(parent, index, element);
    if (value->type() != TYPE_INTEGER && value->type() != TYPE_NONE)
        scalar::fire_type(err::INVALID_TYPE, value->type());
    uint32_t n = length(parent);
    if (index < 1 || static_cast<uint32_t>(index) > n) fire(err::OUT_OF_RANGE, element);
    uint8_t* b = bytes(parent);
    if (value->type() == TYPE_INTEGER) {
        int32_t v = value->int_value();
        b[index - 1] = static_cast<uint8_t>(v > 255 ? 255 : (v < 0 ? 0 : v));
    } else {
        for (uint32_t i = static_cast<uint32_t>(index) - 1; i < n; ++i) b[i] = 0;
        set_length(parent, static_cast<uint32_t>(index) - 1);
    }
    scalar::store_back(parent, path, holder, prev, position);
    return value;
}

Cell* random(Cell* value, bool seed, bool secure, bool) {
    if (seed) {
        rng::seed(static_cast<int32_t>(value->data1 ^ value->data2 ^ value->data3));
        value->header = TYPE_UNSET;
        return value;
    }
    uint8_t* b = bytes(value);
    for (uint32_t i = 0; i < length(value); ++i) b[i] = static_cast<uint8_t>(rng::int_in_range(secure, b[i] + 1) - 1);
    return value;
}

using Math = scalar::Math<do_math>;

Cell* complement(Cell* value) {
    uint8_t* b = bytes(value);
    for (uint32_t i = 0; i < length(value); ++i) b[i] = static_cast<uint8_t>(255 - b[i]);
    return value;
}

int32_t length_q(Cell* value) { return static_cast<int32_t>(length(value)); }

Cell* pick(Cell* value, int32_t index, Cell* boxed) {
    if (boxed->type() != TYPE_INTEGER) fire(err::OUT_OF_RANGE, boxed);
    return pick_at(value, index, boxed);
}

Cell* reverse(Cell* value, Cell* part, Cell* skip) {
    uint32_t n = length(value);
    int32_t size = 1;
    if (part) {
        if (part->type() != TYPE_INTEGER) fire(err::INVALID_REFINE_ARG, &words::ref::part, part);
        if (part->int_value() < 0) fire(err::OUT_OF_RANGE, part);
        if (static_cast<uint32_t>(part->int_value()) < n) n = static_cast<uint32_t>(part->int_value());
    }
    if (skip) {
        if (skip->type() != TYPE_INTEGER) fire(err::INVALID_REFINE_ARG, &words::ref::skip, skip);
        size = skip->int_value();
        if (static_cast<uint32_t>(size) == length(value)) return value;
        if (size < 1) fire(err::OUT_OF_RANGE, skip);
        if (static_cast<uint32_t>(size) > length(value) || length(value) % static_cast<uint32_t>(size) != 0)
            fire(err::INVALID_REFINE_ARG, &words::ref::skip, skip);
    }
    uint8_t* b = bytes(value);
    if (size == 1) {
        for (uint32_t i = 0, j = n; i + 1 < j; ++i, --j) std::swap(b[i], b[j - 1]);
        return value;
    }
    uint32_t s = static_cast<uint32_t>(size);
    if (n < s) return value;
    for (uint32_t front = 0, back = n - s; front < back; front += s, back -= s) {
        for (uint32_t k = 0; k < s; ++k) std::swap(b[front + k], b[back + k]);
        if (back < s) break;
    }
    return value;
}

}  // namespace tuple

// ---- Registration --------------------------------------------------------------

template <>
void datatype::init_type<TYPE_TUPLE>() {
    register_type<TYPE_TUPLE, "oo-oooo-o -ooo--o-o--oooo -----------o--o---o-------- -----------">(
        own<slot::make>(tuple::make), own<slot::random>(tuple::random), own<slot::to>(tuple::make),
        own<slot::form>(tuple::form), own<slot::mold>(tuple::mold),
        own<slot::eval_path>(tuple::eval_path), own<slot::compare>(tuple::compare),
        own<slot::add>(tuple::Math::add), own<slot::divide>(tuple::Math::divide),
        own<slot::multiply>(tuple::Math::multiply), own<slot::remainder>(tuple::Math::remainder),
        own<slot::subtract>(tuple::Math::subtract), own<slot::and_>(tuple::Math::and_),
        own<slot::complement>(tuple::complement), own<slot::or_>(tuple::Math::or_),
        own<slot::xor_>(tuple::Math::xor_), own<slot::length_q>(tuple::length_q),
        own<slot::pick>(tuple::pick), own<slot::reverse>(tuple::reverse));
}
