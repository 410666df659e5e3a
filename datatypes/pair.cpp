// pair!: integer pairs for sizes, offsets and coordinates.
#include "datatypes/pair.h"

#include <cmath>
#include <cstdio>

#include "datatypes/block.h"
#include "datatypes/datatype.h"
#include "datatypes/point2d.h"
#include "datatypes/scalar.h"
#include "evaluator/actions.h"
#include "evaluator/stack.h"
#include "evaluator/words.h"
#include "runtime/rng.h"
#include "runtime/typesets.h"

namespace pair {

// ---- Helpers -------------------------------------------------------------------

Cell* make_at(Cell* slot, int32_t x, int32_t y) {
    set_type(slot, TYPE_PAIR);
    slot->data1 = 0;
    slot->data2 = static_cast<uint32_t>(x);
    slot->data3 = static_cast<uint32_t>(y);
    return slot;
}

Cell* make_in(Cell* block, int32_t x, int32_t y) { return make_at(alloc_tail(block), x, y); }

Cell* push(int32_t x, int32_t y) {
    Cell* c = stack::push_slot();
    c->header = TYPE_PAIR;
    return make_at(c, x, y);
}

namespace {

// A float component converted as to integer! converts it.
int32_t float_to_int(double d) {
    if (std::isnan(d) || d > 2147483647.0 || d < -2147483648.0) scalar::fire_type(err::TYPE_LIMIT, TYPE_INTEGER);
    return static_cast<int32_t>(d);
}

// Turns the pair cell into the point2D! of its components.
void to_point(Cell* c) {
    double x = x_of(c), y = y_of(c);
    c->header = TYPE_POINT2D | (c->header & FLAG_NEW_LINE);
    point2d::make_at(c, static_cast<float>(x), static_cast<float>(y));
}

int32_t field_of(const Cell* element, bool& is_word) {
    is_word = false;
    if (element->type() == TYPE_INTEGER) {
        int32_t n = element->int_value();
        return n == 1 || n == 2 ? n : 0;
    }
    if (element->type() == TYPE_WORD) {
        is_word = true;
        if (scalar::word_is(element, words::sym::x)) return 1;
        if (scalar::word_is(element, words::sym::y)) return 2;
    }
    return 0;
}

int32_t abs_checked(int32_t n) {
    if (n == INT32_MIN) fire(err::OVERFLOW);
    return n < 0 ? -n : n;
}

// integer!'s rounding of n to a multiple of step.
int32_t round_int(int32_t n, int32_t scale, const scalar::RoundMode& m) {
    if (n == INT32_MIN) return n;
    int64_t s = abs_checked(scale);
    if (s == 0) return n;
    int64_t a = n < 0 ? -static_cast<int64_t>(n) : n;
    int64_t r = a % s;
    if (r == 0) return n;
    int64_t sign = n < 0 ? -1 : 1;
    int64_t down = sign * (a - r), d = s - r;
    auto up = [&]() {
        if (a + d > INT32_MAX) fire(err::OVERFLOW);
        return sign * (a + d);
    };
    int64_t result;
    if (m.down) result = down;
    else if (m.floor) { int64_t u = up(); result = n > 0 ? down : u; }
    else if (m.ceiling) { int64_t u = up(); result = n < 0 ? down : u; }
    else if (r < d) result = down;
    else if (r > d) result = up();
    else if (m.even) result = ((a / s) % 2 == 0) ? down : up();
    else if (m.half_down) result = down;
    else if (m.half_ceiling) result = n >= 0 ? up() : down;
    else result = up();
    return static_cast<int32_t>(result);
}

// A component of a float scale rounded as a double, then taken as an integer.
int32_t round_float(int32_t n, double scale, const scalar::RoundMode& m) {
    double s = std::fabs(scale);
    if (s == 0 || std::isnan(s)) return n;
    return float_to_int(std::trunc(scalar::round(n, s, m)));
}

}  // namespace

Cell* do_math(Cell* value1, Cell* value2, int32_t op) {
    int32_t rx, ry;
    switch (value2->type()) {
        case TYPE_INTEGER: rx = ry = value2->int_value(); break;
        case TYPE_FLOAT: case TYPE_PERCENT: {
            double f = value2->float_value();
            if (op == 2 && std::isfinite(f)) {
                to_point(value1);
                return point2d::do_math(value1, value2, op);
            }
            if (op == 3 && !std::isnan(f)) {
                to_point(value1);
                return point2d::do_math(value1, value2, op);
            }
            if (!std::isfinite(f)) fire(err::INVALID_ARG, value2);
            rx = ry = float_to_int(f);
            break;
        }
        case TYPE_PAIR: rx = x_of(value2); ry = y_of(value2); break;
        case TYPE_POINT2D:
            to_point(value1);
            return point2d::do_math(value1, value2, op);
        default: scalar::fire_type(err::INVALID_TYPE, value2->type());
    }
    int64_t x = scalar::int_op(x_of(value1), rx, op);
    int64_t y = scalar::int_op(y_of(value1), ry, op);
    if (!scalar::fits_int32(x) || !scalar::fits_int32(y)) {
        to_point(value1);
        Cell right;
        right.header = TYPE_POINT2D;
        point2d::make_at(&right, static_cast<float>(rx), static_cast<float>(ry));
        return point2d::do_math(value1, &right, op);
    }
    value1->data2 = static_cast<uint32_t>(static_cast<int32_t>(x));
    value1->data3 = static_cast<uint32_t>(static_cast<int32_t>(y));
    return value1;
}

int32_t compare(Cell* value1, Cell* value2, int32_t op) {
    if (value2->type() == TYPE_POINT2D) {
        Cell p = *value1;
        to_point(&p);
        return point2d::compare(&p, value2, op);
    }
    if (value2->type() != TYPE_PAIR) return actions::NOT_COMPARABLE;
    int32_t a = x_of(value1), b = x_of(value2);
    if (a == b) {
        a = y_of(value1);
        b = y_of(value2);
    }
    return a < b ? -1 : (a > b ? 1 : 0);
}

// ---- Actions -------------------------------------------------------------------

Cell* make(Cell* proto, Cell* spec, uint32_t) {
    int32_t x, y;
    switch (spec->type()) {
        case TYPE_PAIR: x = x_of(spec); y = y_of(spec); break;
        case TYPE_INTEGER: x = y = spec->int_value(); break;
        case TYPE_FLOAT: x = y = float_to_int(spec->float_value()); break;
        case TYPE_POINT2D: {
            double px = point2d::x_of(spec), py = point2d::y_of(spec);
            if (!std::isfinite(px) || !std::isfinite(py)) fire(err::INVALID_ARG, spec);
            x = float_to_int(px);
            y = float_to_int(py);
            break;
        }
        case TYPE_BLOCK: case TYPE_PAREN: case TYPE_HASH: {
            if (block::rs_length_q(spec) < 2) datatype::fire_malconstruct(TYPE_PAIR, spec);
            int32_t v[2];
            for (int i = 0; i < 2; ++i) {
                const Cell* c = block::rs_clamp_head(spec) + i;
                if (c->type() == TYPE_INTEGER) v[i] = c->int_value();
                else if (c->type() == TYPE_FLOAT) v[i] = float_to_int(c->float_value());
                else datatype::fire_malconstruct(TYPE_PAIR, spec);
            }
            x = v[0];
            y = v[1];
            break;
        }
        default: {
            if (!in(ANY_STRING, spec->type())) scalar::bad_to_arg(TYPE_PAIR, spec);
            Cell r = scalar::load_text(spec);
            if (r.type() != TYPE_PAIR) scalar::bad_to_arg(TYPE_PAIR, spec);
            x = x_of(&r);
            y = y_of(&r);
        }
    }
    proto->header = TYPE_PAIR;
    return make_at(proto, x, y);
}

Cell* random(Cell* value, bool seed, bool secure, bool) {
    if (seed) {
        rng::seed(x_of(value) ^ y_of(value));
        value->header = TYPE_UNSET;
        return value;
    }
    int32_t x = x_of(value), y = y_of(value);
    if (x) x = rng::int_in_range(secure, x);
    if (y) y = rng::int_in_range(secure, y);
    return make_at(value, x, y);
}

int32_t form(Cell* value, Cell* buffer, Cell*, int32_t limit) {
    char text[32];
    std::snprintf(text, sizeof text, "%dx%d", x_of(value), y_of(value));
    return scalar::append(buffer, text, limit);
}

int32_t mold(Cell* value, Cell* buffer, bool, bool, bool, Cell* part, int32_t limit, int32_t) {
    return form(value, buffer, part, limit);
}

Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell* holder, Cell* prev, int32_t index,
                bool, bool, bool) {
    bool is_word;
    int32_t field = field_of(element, is_word);
    if (field == 0) fire(err::INVALID_PATH, path ? path : parent, element);
    if (!value) {
        Cell r = scalar::integer(field == 1 ? x_of(parent) : y_of(parent));
        return stack::push(&r);
    }
    if (value->type() != TYPE_INTEGER) scalar::fire_type(err::INVALID_TYPE, value->type());
    if (field == 1) parent->data2 = value->data2;
    else parent->data3 = value->data2;
    scalar::store_back(parent, path, holder, prev, index);
    return value;
}

Cell* pick(Cell* value, int32_t, Cell* boxed) {
    bool is_word;
    int32_t field = field_of(boxed, is_word);
    if (field == 0) {
        if (is_word) fire(err::CANNOT_USE, boxed, value);
        fire(err::OUT_OF_RANGE, boxed);
    }
    Cell r = scalar::integer(field == 1 ? x_of(value) : y_of(value));
    return stack::push(&r);
}

Cell* absolute(Cell* value) { return make_at(value, abs_checked(x_of(value)), abs_checked(y_of(value))); }

Cell* negate(Cell* value) {
    if (x_of(value) == INT32_MIN || y_of(value) == INT32_MIN) fire(err::OVERFLOW);
    return make_at(value, -x_of(value), -y_of(value));
}

Cell* reverse(Cell* value, Cell*, Cell*) { return make_at(value, y_of(value), x_of(value)); }

Cell* round(Cell* n, Cell* scale, bool even, bool down, bool half_down, bool floor, bool ceiling,
            bool half_ceiling) {
    scalar::RoundMode m{even, down, half_down, floor, ceiling, half_ceiling};
    int32_t x = x_of(n), y = y_of(n);
    if (!scale) return make_at(n, round_int(x, 1, m), round_int(y, 1, m));
    switch (scale->type()) {
        case TYPE_MONEY: scalar::fire_caller_type(err::NOT_RELATED, TYPE_MONEY);
        case TYPE_INTEGER: return make_at(n, round_int(x, scale->int_value(), m), round_int(y, scale->int_value(), m));
        case TYPE_PAIR: return make_at(n, round_int(x, x_of(scale), m), round_int(y, y_of(scale), m));
        case TYPE_FLOAT: case TYPE_PERCENT:
            return make_at(n, round_float(x, scale->float_value(), m), round_float(y, scale->float_value(), m));
        default: scalar::fire_type(err::INVALID_TYPE, scale->type());
    }
}

using Math = scalar::Math<do_math>;

}  // namespace pair

// ---- Registration --------------------------------------------------------------

template <>
void datatype::init_type<TYPE_PAIR>() {
    register_type<TYPE_PAIR, "oo-oooo-o ooooo-ooo--o-oo --------------o---o-------- -----------">(
        own<slot::make>(pair::make), own<slot::random>(pair::random), own<slot::to>(pair::make),
        own<slot::form>(pair::form), own<slot::mold>(pair::mold),
        own<slot::eval_path>(pair::eval_path), own<slot::compare>(pair::compare),
        own<slot::absolute>(pair::absolute), own<slot::add>(pair::Math::add),
        own<slot::divide>(pair::Math::divide), own<slot::multiply>(pair::Math::multiply),
        own<slot::negate>(pair::negate), own<slot::remainder>(pair::Math::remainder),
        own<slot::round>(pair::round), own<slot::subtract>(pair::Math::subtract),
        own<slot::and_>(pair::Math::and_), own<slot::or_>(pair::Math::or_), own<slot::xor_>(pair::Math::xor_),
        own<slot::pick>(pair::pick), own<slot::reverse>(pair::reverse));
}
