// The shared body of point2D! and point3D! (N coordinates as 32-bit floats
// in words 1..N); each datatype's file instantiates it and registers.
#pragma once
#include <cmath>
#include <cstdio>
#include <cstring>

#include "datatypes/block.h"
#include "datatypes/datatype.h"
#include "datatypes/float.h"
#include "datatypes/scalar.h"
#include "evaluator/actions.h"
#include "evaluator/stack.h"
#include "evaluator/words.h"
#include "runtime/hashtable.h"
#include "runtime/rng.h"
#include "runtime/typesets.h"

namespace point_impl {

template <uint32_t N>
struct Point {
    static constexpr uint32_t type = N == 2 ? TYPE_POINT2D : TYPE_POINT3D;

    static float get(const Cell* p, uint32_t i) {
        float f;
        std::memcpy(&f, &p->data1 + i, 4);
        return f;
    }
    static void put(Cell* p, uint32_t i, double v) {
        float f = static_cast<float>(v);
        std::memcpy(&p->data1 + i, &f, 4);
    }
    static Cell* make_at(Cell* slot, const double* v) {
        set_type(slot, type);
        slot->data3 = 0;
        for (uint32_t i = 0; i < N; ++i) put(slot, i, v[i]);
        return slot;
    }

    // The coordinate a field word or index names (0-based), or -1.
    static int32_t field_of(const Cell* element, bool& is_word) {
        is_word = false;
        if (element->type() == TYPE_INTEGER) {
            int32_t n = element->int_value();
            return n >= 1 && n <= static_cast<int32_t>(N) ? n - 1 : -1;
        }
        if (element->type() == TYPE_WORD) {
            is_word = true;
            if (scalar::word_is(element, words::sym::x)) return 0;
            if (scalar::word_is(element, words::sym::y)) return 1;
            if (N == 3 && scalar::word_is(element, words::sym::z)) return 2;
        }
        return -1;
    }

    // The coordinates of a pair!, point2D! or point3D! (z 0 when missing).
    static bool coordinates(const Cell* v, double* out) {
        out[2] = 0;
        switch (v->type()) {
            case TYPE_PAIR: out[0] = v->int_value(); out[1] = static_cast<int32_t>(v->data3); return true;
            case TYPE_POINT2D: case TYPE_POINT3D: {
                uint32_t n = v->type() == TYPE_POINT2D ? 2 : 3;
                for (uint32_t i = 0; i < n; ++i) out[i] = Point<3>::get(v, i);
                return true;
            }
            default: return false;
        }
    }

    static Cell* make(Cell* proto, Cell* spec, uint32_t) {
        double v[3] = {0, 0, 0};
        switch (spec->type()) {
            case TYPE_BLOCK: case TYPE_PAREN: case TYPE_HASH: {
                if (block::rs_length_q(spec) < N) datatype::fire_malconstruct(type, spec);
                for (uint32_t i = 0; i < N; ++i) {
                    const Cell* c = block::rs_clamp_head(spec) + i;
                    if (c->type() == TYPE_INTEGER) v[i] = c->int_value();
                    else if (c->type() == TYPE_FLOAT) v[i] = c->float_value();
                    else datatype::fire_malconstruct(type, spec);
                }
                break;
            }
            case TYPE_INTEGER: v[0] = v[1] = v[2] = spec->int_value(); break;
            case TYPE_FLOAT: v[0] = v[1] = v[2] = spec->float_value(); break;
            case TYPE_PAIR: coordinates(spec, v); break;
            case TYPE_POINT2D:
                coordinates(spec, v);
                break;
            case TYPE_POINT3D:
                if (N != 3) scalar::bad_to_arg(type, spec);
                coordinates(spec, v);
                break;
            default: {
                if (!in(ANY_STRING, spec->type())) scalar::bad_to_arg(type, spec);
                Cell r = scalar::load_text(spec);
                if (r.type() != type) scalar::bad_to_arg(type, spec);
                *proto = r;
                return proto;
            }
        }
        proto->header = type;
        return make_at(proto, v);
    }

    static int32_t form(Cell* value, Cell* buffer, Cell*, int32_t limit) {
        limit = scalar::append(buffer, "(", limit);
        for (uint32_t i = 0; i < N; ++i) {
            if (i) limit = scalar::append(buffer, ", ", limit);
            limit = scalar::append(buffer, float_::form_float(get(value, i), 5), limit);
        }
        return scalar::append(buffer, ")", limit);
    }
    static int32_t mold(Cell* value, Cell* buffer, bool, bool, bool, Cell* part, int32_t limit, int32_t) {
        return form(value, buffer, part, limit);
    }

    static Cell* do_math(Cell* value1, Cell* value2, int32_t op) {
        double r[3];
        bool scale = false;
        switch (value2->type()) {
            case TYPE_INTEGER: r[0] = r[1] = r[2] = value2->int_value(); break;
            case TYPE_FLOAT: case TYPE_PERCENT:
                r[0] = r[1] = r[2] = value2->float_value();
                scale = op == 2 || op == 3;
                break;
            case TYPE_PAIR:
                if (N != 2) scalar::fire_type(err::INVALID_TYPE, value2->type());
                coordinates(value2, r);
                break;
            default:
                if (value2->type() != type) scalar::fire_type(err::INVALID_TYPE, value2->type());
                coordinates(value2, r);
        }
        double out[3];
        for (uint32_t i = 0; i < N; ++i) {
            double a = get(value1, i);
            out[i] = scale ? (op == 2 ? a * r[i] : a / r[i]) : float_::do_math_op(a, r[i], op);
        }
        for (uint32_t i = 0; i < N; ++i) put(value1, i, out[i]);
        return value1;
    }

    using Math = scalar::Math<do_math>;

    static Cell* absolute(Cell* value) {
        for (uint32_t i = 0; i < N; ++i) put(value, i, std::fabs(get(value, i)));
        return value;
    }
    static Cell* negate(Cell* value) {
        for (uint32_t i = 0; i < N; ++i) put(value, i, 0.0 - get(value, i));
        return value;
    }
    static Cell* reverse(Cell* value, Cell*, Cell*) {
        float a = get(value, 0), b = get(value, N - 1);
        put(value, 0, b);
        put(value, N - 1, a);
        return value;
    }

    static int32_t compare(Cell* value1, Cell* value2, int32_t op) {
        Cell other = *value2;
        if (N == 2 && other.type() == TYPE_PAIR) {
            double v[3] = {0, 0, 0};
            coordinates(value2, v);
            make_at(&other, v);
            other.header = type;
        }
        if (other.type() != type) return actions::NOT_COMPARABLE;
        switch (op) {
            case actions::COMP_EQUAL: case actions::COMP_NOT_EQUAL: case actions::COMP_FIND:
                for (uint32_t i = 0; i < N; ++i)
                    if (!float_::almost_equal_f32_q(get(value1, i), get(&other, i))) return 1;
                return 0;
            case actions::COMP_STRICT_EQUAL:
                for (uint32_t i = 0; i < N; ++i)
                    if (get(value1, i) != get(&other, i)) return 1;
                return 0;
            case actions::COMP_SAME:
                return std::memcmp(&value1->data1, &other.data1, 4 * N) == 0 ? 0 : 1;
            default:
                for (uint32_t i = 0; i < N; ++i) {
                    float a = get(value1, i), b = get(&other, i);
                    if (float_::almost_equal_f32_q(a, b)) continue;
                    return a < b ? -1 : 1;
                }
                return 0;
        }
    }

    static Cell* round(Cell* n, Cell* scale, bool even, bool down, bool half_down, bool floor,
                       bool ceiling, bool half_ceiling) {
        double s[3] = {1, 1, 1};
        if (scale) {
            switch (scale->type()) {
                case TYPE_MONEY: scalar::fire_caller_type(err::NOT_RELATED, TYPE_MONEY);
                case TYPE_INTEGER: s[0] = s[1] = s[2] = scale->int_value(); break;
                case TYPE_FLOAT: case TYPE_PERCENT: s[0] = s[1] = s[2] = scale->float_value(); break;
                case TYPE_PAIR: case TYPE_POINT2D: case TYPE_POINT3D: {
                    double v[3] = {0, 0, 0};
                    coordinates(scale, v);
                    for (uint32_t i = 0; i < 3; ++i) s[i] = v[i];
                    if (scale->type() != TYPE_POINT3D) s[2] = 1;
                    break;
                }
                default: scalar::fire_type(err::INVALID_TYPE, scale->type());
            }
        }
        for (uint32_t i = 0; i < N; ++i) {
            double step = std::fabs(s[i]);
            if (step == 0 || std::isnan(step)) continue;
            put(n, i, scalar::round(get(n, i), step, {even, down, half_down, floor, ceiling, half_ceiling}));
        }
        return n;
    }

    static Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell* holder, Cell* prev,
                           int32_t index, bool, bool, bool) {
        bool is_word;
        int32_t i = field_of(element, is_word);
        if (i < 0) fire(err::INVALID_PATH, path ? path : parent, element);
        if (!value) {
            Cell r = scalar::make_float(TYPE_FLOAT, get(parent, static_cast<uint32_t>(i)));
            return stack::push(&r);
        }
        if (value->type() == TYPE_INTEGER) put(parent, static_cast<uint32_t>(i), value->int_value());
        else if (value->type() == TYPE_FLOAT) put(parent, static_cast<uint32_t>(i), value->float_value());
        else scalar::fire_type(err::INVALID_TYPE, value->type());
        scalar::store_back(parent, path, holder, prev, index);
        return value;
    }

    static Cell* pick(Cell* value, int32_t, Cell* boxed) {
        bool is_word;
        int32_t i = field_of(boxed, is_word);
        if (i < 0) {
            if (is_word) fire(err::CANNOT_USE, boxed, value);
            fire(err::OUT_OF_RANGE, boxed);
        }
        Cell r = scalar::make_float(TYPE_FLOAT, get(value, static_cast<uint32_t>(i)));
        return stack::push(&r);
    }

    static Cell* random(Cell* value, bool seed, bool secure, bool) {
        if (seed) {
            rng::seed(static_cast<int32_t>(hashtable::murmur3(&value->data1, 4 * N)));
            value->header = TYPE_UNSET;
            return value;
        }
        for (uint32_t i = 0; i < N; ++i) {
            double v = get(value, i);
            if (v == 0) continue;
            if (secure) {
                double g1 = rng::secure_next(), g2 = rng::secure_next();
                v = v * (g2 + g1 / 2147483647.0) / 2147483648.0;
            } else {
                v = v * rng::next() / 2147483647.0;
            }
            put(value, i, v);
        }
        return value;
    }

    static void init() {
        using namespace datatype;
        datatype::register_type<type,
                                "oo-oooo-o ooooo-ooo------ --------------o---o-------- -----------">(
            own<slot::make>(make), own<slot::random>(random), own<slot::to>(make),
            own<slot::form>(form), own<slot::mold>(mold), own<slot::eval_path>(eval_path),
            own<slot::compare>(compare), own<slot::absolute>(absolute), own<slot::add>(Math::add),
            own<slot::divide>(Math::divide), own<slot::multiply>(Math::multiply), own<slot::negate>(negate),
            own<slot::remainder>(Math::remainder), own<slot::round>(round), own<slot::subtract>(Math::subtract),
            own<slot::pick>(pick), own<slot::reverse>(reverse));
    }
};

}  // namespace point_impl
