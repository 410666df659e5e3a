// float!: IEEE-754 doubles. Also the text of floating-point numbers for
// every datatype that shows one, the floating-point arithmetic core and the
// tolerant equality of doubles.
#include "datatypes/float.h"

#include <bit>
#include <climits>
#include <cmath>
#include <cstring>
#include <limits>

#include "datatypes/block.h"
#include "datatypes/datatype.h"
#include "runtime/dtoa.h"
#include "datatypes/integer.h"
#include "datatypes/money.h"
#include "datatypes/scalar.h"
#include "datatypes/string.h"
#include "datatypes/vector.h"
#include "datatypes/word.h"
#include "evaluator/errors.h"
#include "evaluator/stack.h"
#include "evaluator/symbol.h"
#include "runtime/sys.h"
#include "runtime/number_text.h"
#include "runtime/rng.h"
#include "runtime/typesets.h"

namespace float_ {

const double max_finite = std::numeric_limits<double>::max();
const double plus_inf = std::numeric_limits<double>::infinity();
const double minus_inf = -std::numeric_limits<double>::infinity();
const double quiet_nan = std::bit_cast<double>(uint64_t{0x7FF8000000000000});
const double below_half = 0.49999999999999994;

bool pretty_q = true;
bool full_q = false;

namespace {

Cell float_cell(uint32_t type, double value) {
    Cell c{type, 0, 0, 0};
    c.set_float(value);
    return c;
}

uint64_t bits_of(double d) { return std::bit_cast<uint64_t>(d); }

// script not-related: a word naming the operation or the function being
// called (null: the caller), and a datatype.
[[noreturn]] void not_related(const char* op_word, uint32_t type) {
    Cell w{}, dt;
    if (op_word) word::make_at(symbol::make(op_word), &w);
    else actions::caller_word(&w);
    datatype::make_at(&dt, type);
    fire(err::NOT_RELATED, &w, &dt);
}

const char* op_name(int32_t op) {
    static const char* const names[] = {"add", "subtract", "multiply", "divide", "remainder", "or~", "and~", "xor~"};
    return op >= 0 && op < 8 ? names[op] : "<anon>";
}

// The types whose payload is a double.
constexpr typesets::Mask DOUBLE_VALUED = typesets::of({TYPE_FLOAT, TYPE_PERCENT, TYPE_TIME});

// ---- Text ----------------------------------------------------------------------------

// The text C's "%.<precision>g" gives, read from the correctly rounded
// digits (so no locale can change the decimal point), with the exponent
// already cleaned of "+" and leading zeros. Written into `out`.
void format_g(double value, int precision, char* out) {
    int point, sign, length;
    const char* text = dtoa::to_digits(value, precision, point, sign, length, false);
    if (point == dtoa::zero_point) {  // "0" or "-0"
        std::strcpy(out, text);
        return;
    }
    const char* digits = text + sign;
    char* p = out;
    if (sign) *p++ = '-';
    int x = point - 1;  // decimal exponent of the first digit
    if (x < -4 || x >= precision) {
        *p++ = digits[0];
        if (length > 1) {
            *p++ = '.';
            std::memcpy(p, digits + 1, static_cast<size_t>(length - 1));
            p += length - 1;
        }
        *p++ = 'e';
        if (x < 0) {
            *p++ = '-';
            x = -x;
        }
        char e[8];
        int n = 0;
        do e[n++] = static_cast<char>('0' + x % 10);
        while ((x /= 10) != 0);
        while (n) *p++ = e[--n];
    } else if (point <= 0) {
        *p++ = '0';
        *p++ = '.';
        for (int i = 0; i < -point; ++i) *p++ = '0';
        std::memcpy(p, digits, static_cast<size_t>(length));
        p += length;
    } else if (point >= length) {
        std::memcpy(p, digits, static_cast<size_t>(length));
        p += length;
        for (int i = length; i < point; ++i) *p++ = '0';
    } else {
        std::memcpy(p, digits, static_cast<size_t>(point));
        p += point;
        *p++ = '.';
        std::memcpy(p, digits + point, static_cast<size_t>(length - point));
        p += length - point;
    }
    *p = '\0';
}

void first_text(double value, int32_t kind, bool again, char* out) {
    switch (kind) {
        case KIND_VECTOR_F32:
        case KIND_POINT: format_g(value, again ? 5 : 7, out); break;
        case KIND_VECTOR_PERCENT: format_g(value, again ? 14 : 7, out); break;
        case KIND_PERCENT: format_g(value, again ? 14 : 13, out); break;
        case KIND_TIME:
            if (again) format_g(value, 5, out);
            else std::strcpy(out, dtoa::form_float(value, 6, false));
            break;
        default: format_g(value, again ? 14 : 16, out); break;
    }
}

// The two characters that show binary noise: the last two of a long text
// without exponent, or the two before the "e" of a long mantissa.
bool noisy_q(const char* text) {
    const char* e = std::strchr(text, 'e');
    const char* two;
    if (!e) {
        size_t length = std::strlen(text);
        char first = text[0] == '-' ? text[1] : text[0];
        if (length <= 16 || (first == '0' && length <= 17)) return false;
        two = text + length - 2;
    } else {
        if (e - text <= 16) return false;
        two = e - 2;
    }
    return (two[0] == '0' && two[1] == '1') || (two[0] == '9' && two[1] == '9');
}

// ---- Rounding --------------------------------------------------------------------------

double round_quotient(double q, bool even, bool down, bool half_down, bool floor, bool ceiling,
                      bool half_ceiling) {
    if (down) return std::trunc(q);
    if (floor) return std::floor(q);
    if (ceiling) return std::ceil(q);
    double a = std::fabs(q);
    double f = std::floor(a);
    double fraction = a - f;  // exact
    double r;
    if (fraction < 0.5) r = f;
    else if (fraction > 0.5) r = f + 1.0;
    else if (even) r = std::fmod(f, 2.0) == 0.0 ? f : f + 1.0;
    else if (half_down) r = f;
    else if (half_ceiling) return std::ceil(q);
    else r = f + 1.0;
    return std::copysign(r, q);
}

}  // namespace

// ---- Makers and accessors -------------------------------------------------------------

Cell* push(double value) {
    Cell c = float_cell(TYPE_FLOAT, value);
    return stack::push(&c);
}

Cell* box(double value) {
    *stack::arguments = float_cell(TYPE_FLOAT, value);
    return stack::arguments;
}

Cell* make_at(Cell* cell, double value) {
    set_type(cell, TYPE_FLOAT);
    cell->set_float(value);
    return cell;
}

Cell* make_in(Cell* block, uint32_t high, uint32_t low) {
    Cell* c = alloc_tail(block);
    *c = Cell{TYPE_FLOAT, 0, low, high};
    return c;
}

// ---- Shared operations ----------------------------------------------------------------

double abs(double d) { return std::bit_cast<double>(bits_of(d) & ~(uint64_t{1} << 63)); }

bool nan_q(double d) {
    uint64_t b = bits_of(d);
    return (b & 0x7FF0000000000000) == 0x7FF0000000000000 && (b & 0x000FFFFFFFFFFFFF) != 0;
}

bool special_q(double d) { return (bits_of(d) & 0x7FF0000000000000) == 0x7FF0000000000000; }

namespace {
// Doubles (floats) mapped to unsigned integers in the order of their values.
uint64_t ordered(double d) {
    uint64_t b = bits_of(d);
    return (b >> 63) ? ~b + 1 : b | (uint64_t{1} << 63);
}
uint32_t ordered_f32(float f) {
    uint32_t b = std::bit_cast<uint32_t>(f);
    return (b >> 31) ? ~b + 1 : b | (uint32_t{1} << 31);
}
}  // namespace

bool almost_equal_q(double a, double b) {
    if (nan_q(a) || nan_q(b)) return false;
    if (a == b) return true;
    // An infinity equals only itself, not the largest finite double next to it.
    if (std::isinf(a) || std::isinf(b)) return false;
    if (std::fabs(a - b) < epsilon) return true;
    uint64_t x = ordered(a), y = ordered(b);
    return (x > y ? x - y : y - x) <= 10;
}

bool almost_equal_f32_q(float a, float b) {
    if (a != a || b != b) return false;
    if (a == b) return true;
    if (std::isinf(a) || std::isinf(b)) return false;
    uint32_t x = ordered_f32(a), y = ordered_f32(b);
    return (x > y ? x - y : y - x) <= 10;
}

const char* form_float(double value, int32_t kind) {
    static char buffer[40];
    if (special_q(value)) return nan_q(value) ? "1.#NaN" : value > 0 ? "1.#INF" : "-1.#INF";
    if (pretty_q && std::fabs(value) < epsilon) {
        if (kind == KIND_VECTOR_PERCENT || kind == KIND_PERCENT) return "0%";
        return kind == KIND_POINT ? "0" : "0.0";
    }
    first_text(value, kind, false, buffer);
    if (pretty_q && noisy_q(buffer)) first_text(value, kind, true, buffer);
    size_t length = std::strlen(buffer);
    if (kind == KIND_VECTOR_PERCENT || kind == KIND_PERCENT) {
        buffer[length] = '%';
        buffer[length + 1] = '\0';
    } else if (kind != KIND_TIME && kind != KIND_POINT && !std::strchr(buffer, '.')) {
        char* e = std::strchr(buffer, 'e');
        size_t at = e ? static_cast<size_t>(e - buffer) : length;
        std::memmove(buffer + at + 2, buffer + at, length - at + 1);
        buffer[at] = '.';
        buffer[at + 1] = '0';
    }
    return buffer;
}

// ---- Arithmetic -----------------------------------------------------------------------------

double do_math_op(double x, double y, int32_t op) {
    switch (op) {
        case integer::OP_ADD: return x + y;
        case integer::OP_SUB: return x - y;
        case integer::OP_MUL: return x * y;
        case integer::OP_DIV: return x / y;
        case integer::OP_REM:
            if (std::isnan(y)) return quiet_nan;
            if (std::isinf(y)) return std::isfinite(x) ? x : quiet_nan;
            return std::fmod(x, y);
        case integer::OP_OR:
        case integer::OP_AND:
        case integer::OP_XOR: {
            Cell caller, dt;
            actions::caller_word(&caller);
            datatype::make_at(&dt, TYPE_FLOAT);
            fire(err::CANNOT_USE, &caller, &dt);
        }
        default: sys::no_switch_matched();
    }
}

Cell* do_math(Cell* left, Cell* right, int32_t op) {
    uint32_t lt = left->type(), rt = right->type();
    switch (rt) {
        case TYPE_TUPLE:
        case TYPE_MONEY:
            // These compute with a number on their left themselves.
            return integer::dispatch_math(rt, left, right, op);
        case TYPE_VECTOR: return vector::scalar_math(left, right, op);
        case TYPE_PAIR:
        case TYPE_POINT2D:
        case TYPE_POINT3D:
            if (lt == TYPE_TIME) break;
            if (op == integer::OP_SUB || op == integer::OP_DIV) not_related(op_name(op), rt);
            {
                Cell t = *left;
                if (lt == TYPE_INTEGER) t = float_cell(TYPE_FLOAT, static_cast<double>(left->int_value()));
                *left = *right;
                *right = t;
            }
            return integer::dispatch_math(rt, left, right, op);
        default: break;
    }
    bool number = rt == TYPE_INTEGER || in(DOUBLE_VALUED, rt) ||
                  (rt == TYPE_CHAR && lt != TYPE_TIME && lt != TYPE_PERCENT);
    if (!number) scalar::fire_type(err::INVALID_TYPE, rt);
    double x = lt == TYPE_INTEGER ? static_cast<double>(left->int_value()) : left->float_value();
    double y = (rt == TYPE_INTEGER || rt == TYPE_CHAR) ? static_cast<double>(right->int_value()) : right->float_value();
    double r = do_math_op(x, y, op);
    uint32_t type;
    if ((lt == TYPE_TIME) != (rt == TYPE_TIME)) type = TYPE_TIME;
    else if (lt == TYPE_PERCENT && rt != TYPE_PERCENT && rt != TYPE_TIME) type = TYPE_PERCENT;
    else type = lt == TYPE_INTEGER ? TYPE_FLOAT : lt;
    *left = float_cell(type, r);
    return left;
}

int32_t compare_doubles(double a, double b, int32_t op) {
    switch (op) {
        case actions::COMP_EQUAL:
        case actions::COMP_NOT_EQUAL: return almost_equal_q(a, b) ? 0 : 1;
        case actions::COMP_STRICT_EQUAL: return a == b ? 0 : 1;
        case actions::COMP_SAME: return bits_of(a) == bits_of(b) ? 0 : 1;
        case actions::COMP_FIND:
            // A search never finds a NaN, nor finds anything with one.
            if (std::isnan(a) || std::isnan(b)) return 1;
            break;
        default: break;
    }
    if (std::isnan(a) || std::isnan(b)) {
        switch (op) {
            case actions::COMP_LESSER:
            case actions::COMP_LESSER_EQUAL: return 1;
            case actions::COMP_GREATER:
            case actions::COMP_GREATER_EQUAL: return -1;
            default: return 0;
        }
    }
    return a < b ? -1 : a > b ? 1 : 0;
}

// ---- Actions --------------------------------------------------------------------------------

Cell* make(Cell* proto, Cell* spec, uint32_t type) {
    double d = 0.0;
    switch (spec->type()) {
        case TYPE_INTEGER:
        case TYPE_CHAR: d = static_cast<double>(spec->int_value()); break;
        case TYPE_FLOAT:
        case TYPE_PERCENT:
        case TYPE_TIME: d = spec->float_value(); break;
        case TYPE_BLOCK:
        case TYPE_PAREN:
        case TYPE_HASH: {
            if (block::rs_length_q(spec) != 2) scalar::bad_to_arg(TYPE_FLOAT, spec);
            Cell m = block::rs_clamp_head(spec)[0], e = block::rs_clamp_head(spec)[1];
            auto value = [&](const Cell& c) {
                if (c.type() == TYPE_INTEGER) return static_cast<double>(c.int_value());
                if (c.type() != TYPE_FLOAT) scalar::bad_to_arg(TYPE_FLOAT, spec);
                return c.float_value();
            };
            double mantissa = value(m);
            double exponent = static_cast<double>(integer::truncate(value(e)));
            d = mantissa * std::pow(10.0, exponent);
            break;
        }
        case TYPE_STRING:
        case TYPE_FILE:
        case TYPE_URL:
        case TYPE_TAG:
        case TYPE_EMAIL:
        case TYPE_REF: {
            uint32_t length = string::rs_length_q(spec);
            if (length == 0) scalar::bad_to_arg(type, spec);
            if (type == TYPE_PERCENT) {
                if (!word::load_value_hook) fire(err::FEATURE_NA);
                Cell* slot = stack::push_slot();
                slot->header = TYPE_UNSET;
                Cell v = *word::load_value_hook(spec, slot);
                stack::pop(1);
                if (v.type() == TYPE_INTEGER) d = static_cast<double>(v.int_value());
                else if (v.type() == TYPE_FLOAT || v.type() == TYPE_PERCENT) d = v.float_value();
                else scalar::bad_to_arg(type, spec);
            } else {
                SeriesBuffer* s = series_of(spec);
                uint32_t unit = s->unit();
                int error = 0;
                d = number_text::text_to_float(s->data_at(spec->head() * unit), static_cast<int32_t>(length),
                                         static_cast<int>(unit), error);
                if (error) scalar::bad_to_arg(type, spec);
            }
            break;
        }
        case TYPE_BINARY: {
            SeriesBuffer* s = series_of(spec);
            uint32_t count = s->count();
            uint32_t length = spec->head() < count ? count - spec->head() : 0;
            if (length > 8) length = 8;
            const uint8_t* p = s->data_at(spec->head());
            uint64_t bits = 0;
            for (uint32_t i = 0; i < length; ++i) bits = bits << 8 | p[i];
            d = std::bit_cast<double>(bits);
            break;
        }
        case TYPE_MONEY: d = money::to_float(spec); break;
        default: scalar::bad_to_arg(type, spec);
    }
    *proto = float_cell(type, d);
    return proto;
}

Cell* random(Cell* value, bool seed, bool secure, bool) {
    double v = value->float_value();
    if (seed) {
        uint64_t b = bits_of(v);
        rng::seed(static_cast<int32_t>(static_cast<uint32_t>(b) ^ static_cast<uint32_t>(b >> 32)));
        value->header = TYPE_UNSET;
        return value;
    }
    if (secure) {
        double g1 = rng::secure_next();
        double g2 = rng::secure_next();
        v = v * ((g2 + g1 / 2147483647.0) / 2147483648.0);
    } else {
        // The fraction first: value × g would overflow for the largest values.
        v = v * (rng::next() / 2147483647.0);
    }
    value->set_float(v);
    return value;
}

int32_t form(Cell* value, Cell* buffer, Cell*, int32_t limit) {
    const char* text = form_float(value->float_value(), KIND_FLOAT);
    string::concatenate_literal(buffer, text);
    return limit - static_cast<int32_t>(std::strlen(text));
}

int32_t mold(Cell* value, Cell* buffer, bool, bool, bool, Cell*, int32_t limit, int32_t) {
    const char* text = dtoa::form_float(value->float_value(), 0, true);
    string::concatenate_literal(buffer, text);
    return limit - static_cast<int32_t>(std::strlen(text));
}

int32_t compare(Cell* value1, Cell* value2, int32_t op) {
    uint32_t t2 = value2->type();
    if ((op == actions::COMP_STRICT_EQUAL || op == actions::COMP_SAME || op == actions::COMP_FIND) &&
        t2 != value1->type())
        return 1;
    double b;
    switch (t2) {
        case TYPE_INTEGER: b = static_cast<double>(value2->int_value()); break;
        case TYPE_FLOAT:
        case TYPE_PERCENT:
        case TYPE_TIME: b = value2->float_value(); break;
        case TYPE_MONEY: {
            // money! compares with a number on its right: ask it the other
            // way round and turn the answer over.
            auto fn = reinterpret_cast<actions::Impl<actions::slot::compare>>(
                datatype::action(TYPE_MONEY, actions::slot::compare));
            if (!fn) return actions::NOT_COMPARABLE;
            int32_t r = fn(value2, value1, op);
            return r == actions::NOT_COMPARABLE ? r : -r;
        }
        default: return actions::NOT_COMPARABLE;
    }
    return compare_doubles(value1->float_value(), b, op);
}

Cell* absolute(Cell* value) {
    value->set_float(abs(value->float_value()));
    return value;
}

Cell* add(Cell* value1, Cell* value2) { return do_math(value1, value2, integer::OP_ADD); }
Cell* subtract(Cell* value1, Cell* value2) { return do_math(value1, value2, integer::OP_SUB); }
Cell* multiply(Cell* value1, Cell* value2) { return do_math(value1, value2, integer::OP_MUL); }
Cell* divide(Cell* value1, Cell* value2) { return do_math(value1, value2, integer::OP_DIV); }
Cell* remainder(Cell* value1, Cell* value2) { return do_math(value1, value2, integer::OP_REM); }

Cell* negate(Cell* value) {
    value->set_float(0.0 - value->float_value());
    return value;
}

Cell* power(Cell* number, Cell* exponent) {
    double e;
    switch (exponent->type()) {
        case TYPE_INTEGER: e = static_cast<double>(exponent->int_value()); break;
        case TYPE_FLOAT: e = exponent->float_value(); break;
        default: {
            Cell caller, dt, arg;
            actions::caller_word(&caller);
            datatype::make_at(&dt, exponent->type());
            actions::call_argument_hook(1, &arg);
            fire(err::EXPECT_ARG, &caller, &dt, &arg);
        }
    }
    number->set_float(std::pow(number->float_value(), e));
    return number;
}

// The parity of the value truncated toward zero, at any magnitude (beyond
// 2^53 every double is even); infinities and NaN are neither.
bool even_q(Cell* number) { return std::fmod(std::trunc(number->float_value()), 2.0) == 0.0; }
bool odd_q(Cell* number) { return std::fabs(std::fmod(std::trunc(number->float_value()), 2.0)) == 1.0; }

Cell* round(Cell* value, Cell* scale, bool even, bool down, bool half_down, bool floor, bool ceiling,
            bool half_ceiling) {
    uint32_t stype = scale ? scale->type() : 0;
    if (stype == TYPE_MONEY) not_related(nullptr, TYPE_MONEY);
    bool percent = value->type() == TYPE_PERCENT;
    double s = percent ? 0.01 : 1.0;
    if (scale) {
        if (stype == TYPE_INTEGER) s = static_cast<double>(scale->int_value());
        else if (in(DOUBLE_VALUED, stype)) s = scale->float_value();
        else scalar::fire_type(err::INVALID_TYPE, stype);
        s = std::fabs(s);
        if (percent) s /= 100.0;
    }
    double v = value->float_value();
    double result = v;
    // Steps of 0 (or NaN) and values too large for the step stay as they are.
    if (s > 0.0 && std::fabs(v) * 0x1p-53 <= s) {
        // Steps so small that 1 / s would overflow work on rescaled numbers.
        int e2;
        std::frexp(s, &e2);
        int shift = e2 < -1021 ? 600 : 0;
        double x = std::ldexp(v, shift), step = std::ldexp(s, shift);
        double r;
        if (step >= 1.0) {
            r = round_quotient(x / step, even, down, half_down, floor, ceiling, half_ceiling) * step;
            if (std::fabs(r) > max_finite) fire(err::OVERFLOW);
        } else {
            double inverse = 1.0 / step;
            r = round_quotient(x * inverse, even, down, half_down, floor, ceiling, half_ceiling) / inverse;
        }
        result = std::ldexp(r, -shift);
    }
    if (stype == TYPE_INTEGER) {
        if (integer::out_of_range_q(result)) fire(err::OVERFLOW);
        *value = Cell{TYPE_INTEGER, 0, static_cast<uint32_t>(integer::truncate(result)), 0};
        return value;
    }
    *value = float_cell(scale ? stype : value->type(), result);
    return value;
}

// ---- Registration --------------------------------------------------------------

// Registers float! and puts system/options/float back to its start values.

}  // namespace float_

template <>
void datatype::init_type<TYPE_FLOAT>() {
    float_::pretty_q = true;
    float_::full_q = false;
    register_type<TYPE_FLOAT, "oo-ooo--o ooooooooooo---- --------------------------- -----------">(
        own<slot::make>(float_::make), own<slot::random>(float_::random),
        own<slot::to>(float_::make), own<slot::form>(float_::form), own<slot::mold>(float_::mold),
        own<slot::compare>(float_::compare), own<slot::absolute>(float_::absolute),
        own<slot::add>(float_::add), own<slot::divide>(float_::divide),
        own<slot::multiply>(float_::multiply), own<slot::negate>(float_::negate),
        own<slot::power>(float_::power), own<slot::remainder>(float_::remainder),
        own<slot::round>(float_::round), own<slot::subtract>(float_::subtract),
        own<slot::even_q>(float_::even_q), own<slot::odd_q>(float_::odd_q));
}
