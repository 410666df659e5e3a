// The numeric natives: sign tests, max and min, shift, to-hex, the
// trigonometric functions (degrees unless /radians), NaN?, the logarithms,
// exp, square-root and zero?.
#include <cfloat>
#include <cmath>

#include "datatypes/datatype.h"
#include "datatypes/float.h"
#include "datatypes/integer.h"
#include "datatypes/issue.h"
#include "datatypes/money.h"
#include "datatypes/pair.h"
#include "datatypes/point2d.h"
#include "datatypes/point3d.h"
#include "datatypes/string.h"
#include "datatypes/tuple.h"
#include "evaluator/actions.h"
#include "natives/native_support.h"
#include "runtime/sys.h"
#include "runtime/typesets.h"

namespace natives {

namespace {

constexpr double pi = 3.141592653589793;
constexpr double ln_2 = 0.6931471805599453;

constexpr typesets::Mask FLOAT_OR_PERCENT = typesets::of({TYPE_FLOAT, TYPE_PERCENT});

// Turns the first argument into a float! in place (an integer! converted,
// a percent! relabelled) and answers its double.
double argument_to_float() {
    Cell* c = arg(0);
    if (c->type() == TYPE_INTEGER) {
        float_::make_at(c, static_cast<double>(c->int_value()));
    } else if (c->type() == TYPE_PERCENT) {
        set_type(c, TYPE_FLOAT);
    } else if (c->type() != TYPE_FLOAT) {
        expect_arg(c->type(), 0);
    }
    return c->float_value();
}

// The value of an integer! or float! cell as a double.
double get_float(const Cell* c) {
    return c->type() == TYPE_INTEGER ? static_cast<double>(c->int_value()) : c->float_value();
}

// The value of an integer! cell, or of a float! truncated toward zero; a
// float outside the integer range, or not finite, raises type-limit.
int32_t get_integer(const Cell* c) {
    if (c->type() == TYPE_INTEGER) return c->int_value();
    double d = c->float_value();
    if (integer::out_of_range_q(d)) {
        Cell dt;
        datatype::make_at(&dt, TYPE_INTEGER);
        fire(err::TYPE_LIMIT, &dt);
    }
    return integer::truncate(d);
}

// Leaves the double in the result slot as a float!.
Unwind float_result(double d) {
    float_::make_at(arg(0), d);
    stack::keep();
    return Unwind::none;
}

Unwind int_result(int32_t n) {
    *arg(0) = Cell{TYPE_INTEGER, 0, static_cast<uint32_t>(n), 0};
    stack::keep();
    return Unwind::none;
}

// -1, 0 or 1 for the sign tests; raises expect-arg for other datatypes.
int32_t sign_of(const Cell* c) {
    switch (c->type()) {
        case TYPE_MONEY: return money::sign_q(c);
        case TYPE_INTEGER: return integer::sign(c->int_value());
        case TYPE_FLOAT:
        case TYPE_PERCENT:
        case TYPE_TIME: {
            double d = c->float_value();
            return d < 0.0 ? -1 : d > 0.0 ? 1 : 0;
        }
        default: expect_arg(c->type(), 0);
    }
}

// ---- max and min ------------------------------------------------------------

template <typename T>
T pick_of(T a, T b, bool max) {
    return max ? (b > a ? b : a) : (b < a ? b : a);
}

// Component by component for pairs and points; false when value2 does not
// suit value1's kind.
bool max_min_composite(Cell* v1, const Cell* v2, bool max) {
    uint32_t t1 = v1->type(), t2 = v2->type();
    bool scalar = t2 == TYPE_INTEGER || t2 == TYPE_FLOAT;
    if (!scalar && t1 != t2) return false;
    if (t1 == TYPE_PAIR) {
        int32_t x2, y2;
        if (scalar) {
            x2 = y2 = get_integer(v2);
        } else {
            x2 = pair::x_of(v2);
            y2 = pair::y_of(v2);
        }
        pair::make_at(v1, pick_of(pair::x_of(v1), x2, max), pick_of(pair::y_of(v1), y2, max));
        return true;
    }
    // Points: single-precision coordinates in words 1-3.
    uint32_t n = t1 == TYPE_POINT2D ? 2 : 3;
    float a[3], b[3];
    std::memcpy(a, &v1->data1, sizeof(float) * n);
    if (scalar) {
        float s = static_cast<float>(get_float(v2));
        for (uint32_t i = 0; i < n; ++i) b[i] = s;
    } else {
        std::memcpy(b, &v2->data1, sizeof(float) * n);
    }
    for (uint32_t i = 0; i < n; ++i) a[i] = pick_of(a[i], b[i], max);
    std::memcpy(&v1->data1, a, sizeof(float) * n);
    return true;
}

// Byte by byte for tuples, against a scalar clamped to 0..255 or another
// tuple (missing bytes count as 0; the longer length is kept).
bool max_min_tuple(Cell* v1, const Cell* v2, bool max) {
    uint32_t t2 = v2->type();
    uint8_t* a = tuple::bytes(v1);
    uint32_t n = tuple::length(v1);
    if (t2 == TYPE_INTEGER || t2 == TYPE_FLOAT) {
        int32_t s = get_integer(v2);
        uint8_t b = static_cast<uint8_t>(s < 0 ? 0 : s > 255 ? 255 : s);
        for (uint32_t i = 0; i < n; ++i) a[i] = pick_of(a[i], b, max);
        return true;
    }
    if (t2 != TYPE_TUPLE) return false;
    uint32_t m = tuple::length(v2);
    uint32_t len = n > m ? n : m;
    const uint8_t* b = tuple::bytes(v2);
    for (uint32_t i = 0; i < len; ++i) a[i] = pick_of(i < n ? a[i] : uint8_t{0}, i < m ? b[i] : uint8_t{0}, max);
    v1->header = (v1->header & ~TUPLE_SIZE_MASK) | (len << TUPLE_SIZE_SHIFT);
    return true;
}

Unwind max_min(bool max) {
    Cell* v1 = arg(0);
    Cell* v2 = arg(1);
    uint32_t t1 = v1->type(), t2 = v2->type();
    bool number2 = in(FLOAT_OR_PERCENT, t2) || t2 == TYPE_INTEGER;
    // A NaN wins against any number.
    if (in(FLOAT_OR_PERCENT, t1) && std::isnan(v1->float_value()) && number2) return result(*v1);
    if (in(FLOAT_OR_PERCENT, t2) && std::isnan(v2->float_value()) && (in(FLOAT_OR_PERCENT, t1) || t1 == TYPE_INTEGER))
        return result(*v2);
    if (t1 == TYPE_PAIR || t1 == TYPE_POINT2D || t1 == TYPE_POINT3D) {
        if (max_min_composite(v1, v2, max)) {
            stack::keep();
            return Unwind::none;
        }
    } else if (t1 == TYPE_TUPLE) {
        if (max_min_tuple(v1, v2, max)) {
            stack::keep();
            return Unwind::none;
        }
    }
    // Any other pair of values: value2 wins when (value1 < value2) equals
    // the max flag, so a tie gives value1 for max and value2 for min.
    if (actions::compare_star(v1, v2, actions::COMP_LESSER) == max) return result(*v2);
    stack::keep();
    return Unwind::none;
}

// ---- Trigonometry ------------------------------------------------------------------

// The angle in radians: without /radians converted from degrees with the
// function code (0 tangent, 1 cosine, 2 sine).
double trig_argument(const int32_t* refs, int function) {
    double a = argument_to_float();
    if (refs[0] < 0) a = sys::degrees_to_radians(a, function);
    return a;
}

// Selector 2 asin, 1 acos, 0 atan; degrees unless /radians.
Unwind arc_trig(const int32_t* refs, int selector) {
    double x = argument_to_float();
    double r = selector == 2 ? std::asin(x) : selector == 1 ? std::acos(x) : std::atan(x);
    if (refs[0] < 0) r = r * 180.0 / pi;
    return float_result(r);
}

// Sine and cosine results closer to 0 than the double epsilon are 0.
double snap_zero(double r) { return std::fabs(r) < DBL_EPSILON ? 0.0 : r; }

}  // namespace

// ---- Sign tests ----------------------------------------------------------------------

Unwind n_negative_q(bool, const int32_t*) { return logic_result(sign_of(arg(0)) < 0); }
Unwind n_positive_q(bool, const int32_t*) { return logic_result(sign_of(arg(0)) > 0); }
Unwind n_sign_q(bool, const int32_t*) { return int_result(sign_of(arg(0))); }

Unwind n_zero_q(bool, const int32_t*) {
    const Cell* v = arg(0);
    bool zero = false;
    switch (v->type()) {
        case TYPE_INTEGER:
        case TYPE_CHAR: zero = v->int_value() == 0; break;
        case TYPE_FLOAT:
        case TYPE_PERCENT:
        case TYPE_TIME: zero = v->float_value() == 0.0; break;
        case TYPE_PAIR: zero = pair::x_of(v) == 0 && pair::y_of(v) == 0; break;
        case TYPE_TUPLE: zero = tuple::zero_q(v); break;
        case TYPE_MONEY: zero = money::zero_q(v); break;
        case TYPE_POINT2D:
        case TYPE_POINT3D: {
            float c[3] = {0, 0, 0};
            std::memcpy(c, &v->data1, sizeof(float) * (v->type() == TYPE_POINT2D ? 2 : 3));
            zero = c[0] == 0.0f && c[1] == 0.0f && c[2] == 0.0f;
            break;
        }
        default: break;
    }
    return logic_result(zero);
}

// ---- max, min, shift, to-hex ----------------------------------------------------------

Unwind n_max(bool, const int32_t*) { return max_min(true); }
Unwind n_min(bool, const int32_t*) { return max_min(false); }

// shift data bits /left /logical: a negative count counts as 0.
Unwind n_shift(bool, const int32_t* refs) {
    int32_t data = arg(0)->int_value();
    int32_t bits = arg(1)->int_value();
    if (bits < 0) bits = 0;
    int32_t r;
    if (refs[0] >= 0)
        r = bits > 31 ? 0 : static_cast<int32_t>(static_cast<uint32_t>(data) << bits);
    else if (refs[1] >= 0)
        r = bits > 31 ? 0 : static_cast<int32_t>(static_cast<uint32_t>(data) >> bits);
    else
        r = bits > 31 ? (data < 0 ? -1 : 0) : data >> bits;
    return int_result(r);
}

// to-hex value /size length: the last `length` of the 8 hexadecimal digits.
Unwind n_to_hex(bool, const int32_t* refs) {
    uint32_t value = static_cast<uint32_t>(arg(0)->int_value());
    int32_t keep = 8;
    if (refs[0] >= 0) {
        Cell* length = arg(static_cast<uint32_t>(refs[0]));
        if (length->int_value() <= 0) fire(err::INVALID_ARG, length);
        if (length->int_value() < 8) keep = length->int_value();
    }
    const char* digits = string::to_hex(value, false);
    issue::make_at(arg(0), digits + (8 - keep));
    stack::keep();
    return Unwind::none;
}

// ---- Trigonometry ------------------------------------------------------------------------

Unwind n_sine(bool, const int32_t* refs) { return float_result(snap_zero(std::sin(trig_argument(refs, 2)))); }
Unwind n_cosine(bool, const int32_t* refs) { return float_result(snap_zero(std::cos(trig_argument(refs, 1)))); }

Unwind n_tangent(bool, const int32_t* refs) {
    double a = trig_argument(refs, 0);
    if (a == pi / 2) return float_result(float_::plus_inf);
    if (a == pi / -2.0) return float_result(float_::minus_inf);
    return float_result(std::tan(a));
}

Unwind n_arcsine(bool, const int32_t* refs) { return arc_trig(refs, 2); }
Unwind n_arccosine(bool, const int32_t* refs) { return arc_trig(refs, 1); }
Unwind n_arctangent(bool, const int32_t* refs) { return arc_trig(refs, 0); }

Unwind n_arctangent2(bool, const int32_t* refs) {
    for (uint32_t i = 0; i < 2; ++i)
        if (arg(i)->type() != TYPE_INTEGER && !in(FLOAT_OR_PERCENT, arg(i)->type()))
            expect_arg(arg(i)->type(), static_cast<int32_t>(i));
    double r = std::atan2(get_float(arg(0)), get_float(arg(1)));
    if (refs[0] < 0) r = r * 180.0 / pi;
    return float_result(r);
}

Unwind n_nan_q(bool, const int32_t*) {
    return logic_result(in(FLOAT_OR_PERCENT, arg(0)->type()) && std::isnan(arg(0)->float_value()));
}

// ---- Logarithms, exp, square-root ------------------------------------------------------

Unwind n_log_2(bool, const int32_t*) { return float_result(std::log(argument_to_float()) / ln_2); }
Unwind n_log_10(bool, const int32_t*) { return float_result(std::log10(argument_to_float())); }
Unwind n_log_e(bool, const int32_t*) { return float_result(std::log(argument_to_float())); }
Unwind n_exp(bool, const int32_t*) { return float_result(std::exp(argument_to_float())); }
Unwind n_square_root(bool, const int32_t*) { return float_result(std::sqrt(argument_to_float())); }

}  // namespace natives
