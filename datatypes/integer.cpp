// integer!: 32-bit signed integers. Sums, differences, products, inexact
// quotients and powers that leave the 32-bit range become float! values.
#include "datatypes/integer.h"

#include <climits>
#include <cmath>
#include <cstring>

#include "datatypes/datatype.h"
#include "datatypes/date.h"
#include "datatypes/float.h"
#include "datatypes/money.h"
#include "datatypes/scalar.h"
#include "datatypes/string.h"
#include "datatypes/vector.h"
#include "evaluator/errors.h"
#include "evaluator/stack.h"
#include "evaluator/symbol.h"
#include "runtime/sys.h"
#include "runtime/number_text.h"
#include "runtime/rng.h"

namespace integer {

namespace {

Cell integer_cell(int32_t value) { return Cell{TYPE_INTEGER, 0, static_cast<uint32_t>(value), 0}; }

// script not-related: the function being called and a datatype.
[[noreturn]] void not_related(uint32_t type) {
    Cell caller, dt;
    actions::caller_word(&caller);
    datatype::make_at(&dt, type);
    fire(err::NOT_RELATED, &caller, &dt);
}

bool in_range(int64_t v) { return v >= INT32_MIN && v <= INT32_MAX; }

// Exchanges the two operands, so that the right one's datatype does the work.
void swap_cells(Cell* a, Cell* b) {
    Cell t = *a;
    *a = *b;
    *b = t;
}

}  // namespace

// ---- Makers and accessors -------------------------------------------------------

Cell* push(int32_t value) {
    Cell c = integer_cell(value);
    return stack::push(&c);
}

Cell* box(int32_t value) {
    *stack::arguments = integer_cell(value);
    return stack::arguments;
}

Cell* make_at(Cell* cell, int32_t value) {
    set_type(cell, TYPE_INTEGER);
    cell->data2 = static_cast<uint32_t>(value);
    return cell;
}

Cell* make_in(Cell* block, int32_t value) {
    Cell* c = alloc_tail(block);
    *c = integer_cell(value);
    return c;
}

int32_t first_arg() { return stack::arguments->int_value(); }

int32_t first_arg_or_zero() {
    return stack::arguments->type() == TYPE_INTEGER ? stack::arguments->int_value() : 0;
}

// ---- Helpers -----------------------------------------------------------------------------

int32_t abs(int32_t n) {
    if (n == INT32_MIN) fire(err::OVERFLOW);
    return n < 0 ? -n : n;
}

const char* form_signed(int32_t n) {
    static char buffer[12];
    if (n == 0) return "0";
    if (n == INT32_MIN) return "-2147483648";
    uint32_t m = static_cast<uint32_t>(n < 0 ? -n : n);
    char* p = buffer + sizeof buffer - 1;
    *p = '\0';
    while (m) {
        *--p = static_cast<char>('0' + m % 10);
        m /= 10;
    }
    if (n < 0) *--p = '-';
    return p;
}

bool out_of_range_q(double d) { return !(d >= -2147483648.0 && d <= 2147483647.0); }

bool float_out_of_range_q(const Cell* value) { return out_of_range_q(value->float_value()); }

int32_t checked(const Cell* value) {
    if (value->type() == TYPE_INTEGER) return value->int_value();
    double d = value->float_value();
    if (std::isnan(d) || d > 2147483647.0 || d < -2147483648.0) fire(err::OUT_OF_RANGE, value);
    return static_cast<int32_t>(d);
}

int32_t truncate(double d) {
    if (std::isnan(d)) return 0;
    if (d >= 2147483647.0) return INT32_MAX;
    if (d <= -2147483648.0) return INT32_MIN;
    return static_cast<int32_t>(d);
}

int32_t do_math_op(int32_t left, int32_t right, int32_t op, Cell* result, bool* overflowed) {
    if (overflowed) *overflowed = false;
    int64_t a = left, b = right, wide;
    double exact;
    switch (op) {
        case OP_ADD:
            wide = a + b;
            exact = static_cast<double>(left) + static_cast<double>(right);
            break;
        case OP_SUB:
            wide = a - b;
            exact = static_cast<double>(left) - static_cast<double>(right);
            break;
        case OP_MUL:
            wide = a * b;
            exact = static_cast<double>(left) * static_cast<double>(right);
            break;
        case OP_DIV:
        case OP_REM: {
            if (right == 0) fire(err::ZERO_DIVIDE);
            if (left == INT32_MIN && right == -1) fire(err::OVERFLOW);
            int32_t r;
            if (op == OP_REM) {
                r = left % right;
            } else {
                if (result && left % right != 0) {
                    float_::make_at(result, static_cast<double>(left) / static_cast<double>(right));
                    return 0;
                }
                r = left / right;
            }
            if (result) result->data2 = static_cast<uint32_t>(r);
            return r;
        }
        case OP_OR:
        case OP_AND:
        case OP_XOR: {
            uint32_t x = static_cast<uint32_t>(left), y = static_cast<uint32_t>(right);
            uint32_t r = op == OP_OR ? (x | y) : op == OP_AND ? (x & y) : (x ^ y);
            if (result) result->data2 = r;
            return static_cast<int32_t>(r);
        }
        default: sys::no_switch_matched();
    }
    if (!in_range(wide)) {
        if (result) {
            float_::make_at(result, exact);
            return 0;
        }
        if (overflowed) *overflowed = true;
        return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(wide)));
    }
    if (result) result->data2 = static_cast<uint32_t>(wide);
    return static_cast<int32_t>(wide);
}

Cell* dispatch_math(uint32_t type, Cell* left, Cell* right, int32_t op) {
    using namespace actions;
    switch (op) {
        case OP_ADD: return lookup_type<slot::add>(type, left)(left, right);
        case OP_SUB: return lookup_type<slot::subtract>(type, left)(left, right);
        case OP_MUL: return lookup_type<slot::multiply>(type, left)(left, right);
        case OP_DIV: return lookup_type<slot::divide>(type, left)(left, right);
        case OP_REM: return lookup_type<slot::remainder>(type, left)(left, right);
        case OP_OR: return lookup_type<slot::or_>(type, left)(left, right);
        case OP_AND: return lookup_type<slot::and_>(type, left)(left, right);
        case OP_XOR: return lookup_type<slot::xor_>(type, left)(left, right);
        default: sys::no_switch_matched();
    }
}

Cell* do_math(Cell* left, Cell* right, int32_t op) {
    uint32_t type = right->type();
    switch (type) {
        case TYPE_CHAR:
        case TYPE_INTEGER:
            do_math_op(left->int_value(), right->int_value(), op, left);
            return left;
        case TYPE_FLOAT:
        case TYPE_PERCENT:
        case TYPE_TIME: return float_::do_math(left, right, op);
        case TYPE_VECTOR: return vector::scalar_math(left, right, op);
        case TYPE_PAIR:
        case TYPE_POINT2D:
        case TYPE_POINT3D:
            if (op == OP_DIV) not_related(TYPE_INTEGER);
            if (op == OP_SUB) {
                actions::negate(right);
                op = OP_ADD;
            }
            swap_cells(left, right);
            return dispatch_math(type, left, right, op);
        case TYPE_TUPLE:
            if (op == OP_SUB || op == OP_DIV) not_related(TYPE_INTEGER);
            swap_cells(left, right);
            return dispatch_math(type, left, right, op);
        case TYPE_DATE:
            if (op != OP_ADD) not_related(TYPE_INTEGER);
            swap_cells(left, right);
            return dispatch_math(type, left, right, op);
        case TYPE_MONEY:
            // money! computes with an integer! on its left itself.
            return dispatch_math(type, left, right, op);
        default: scalar::fire_type(err::INVALID_TYPE, type);
    }
}

// ---- Actions ----------------------------------------------------------------------------------

Cell* make(Cell* proto, Cell* spec, uint32_t type) {
    if (spec->type() == TYPE_LOGIC) {
        *proto = integer_cell(spec->data1 == 1 ? 1 : 0);
        return proto;
    }
    return to(proto, spec, type);
}

Cell* to(Cell* proto, Cell* spec, uint32_t type) {
    int32_t n = 0;
    switch (spec->type()) {
        case TYPE_INTEGER:
        case TYPE_CHAR: n = spec->int_value(); break;
        case TYPE_FLOAT:
        case TYPE_PERCENT:
            if (float_out_of_range_q(spec)) scalar::fire_type(err::TYPE_LIMIT, TYPE_INTEGER);
            n = truncate(spec->float_value());
            break;
        case TYPE_TIME: n = truncate(spec->float_value() + 0.5); break;
        case TYPE_STRING:
        case TYPE_FILE:
        case TYPE_URL:
        case TYPE_TAG:
        case TYPE_EMAIL:
        case TYPE_REF: {
            SeriesBuffer* s = series_of(spec);
            uint32_t unit = s->unit();
            uint32_t length = string::rs_length_q(spec);
            int error = -1;
            if (length) n = number_text::text_to_integer(s->data_at(spec->head() * unit), static_cast<int32_t>(length), static_cast<int>(unit), error);
            if (error) scalar::bad_to_arg(type, spec);
            break;
        }
        case TYPE_ISSUE: {
            uint32_t length = 0;
            const char* text = symbol::text(spec->symbol(), &length);
            if (length > 8) fire(err::INVALID_DATA, spec);
            uint32_t v = 0;
            for (uint32_t i = 0; i < length; ++i) {
                char c = text[i];
                uint32_t d;
                if (c >= '0' && c <= '9') d = static_cast<uint32_t>(c - '0');
                else if (c >= 'a' && c <= 'f') d = static_cast<uint32_t>(c - 'a' + 10);
                else if (c >= 'A' && c <= 'F') d = static_cast<uint32_t>(c - 'A' + 10);
                else fire(err::INVALID_DATA, spec);
                v = v << 4 | d;
            }
            n = static_cast<int32_t>(v);
            break;
        }
        case TYPE_BINARY: {
            SeriesBuffer* s = series_of(spec);
            uint32_t count = s->count();
            uint32_t length = spec->head() < count ? count - spec->head() : 0;
            if (length > 4) length = 4;
            const uint8_t* p = s->data_at(spec->head());
            uint32_t v = 0;
            for (uint32_t i = 0; i < length; ++i) v = v << 8 | p[i];
            n = static_cast<int32_t>(v);
            break;
        }
        case TYPE_DATE: n = date::to_integer(spec); break;
        case TYPE_MONEY: n = money::to_integer(spec); break;
        default: scalar::bad_to_arg(type, spec);
    }
    *proto = integer_cell(n);
    return proto;
}

Cell* random(Cell* value, bool seed, bool secure, bool) {
    if (seed) {
        rng::seed(value->int_value());
        value->header = TYPE_UNSET;
        return value;
    }
    int32_t n = value->int_value();
    if (n != 0) value->data2 = static_cast<uint32_t>(rng::int_in_range(secure, n));
    return value;
}

int32_t form(Cell* value, Cell* buffer, Cell*, int32_t limit) {
    const char* text = form_signed(value->int_value());
    string::concatenate_literal(buffer, text);
    return limit - static_cast<int32_t>(std::strlen(text));
}

int32_t mold(Cell* value, Cell* buffer, bool, bool, bool, Cell* part, int32_t limit, int32_t) {
    return form(value, buffer, part, limit);
}

int32_t compare(Cell* value1, Cell* value2, int32_t op) {
    uint32_t type = value2->type();
    if ((op == actions::COMP_STRICT_EQUAL || op == actions::COMP_FIND) && type != TYPE_INTEGER) return 1;
    switch (type) {
        case TYPE_CHAR:
        case TYPE_INTEGER: {
            int32_t a = value1->int_value(), b = value2->int_value();
            return a < b ? -1 : a > b ? 1 : 0;
        }
        case TYPE_FLOAT:
        case TYPE_PERCENT:
        case TYPE_TIME:
            return float_::compare_doubles(static_cast<double>(value1->int_value()), value2->float_value(), op);
        case TYPE_MONEY: {
            // money! compares with an integer! on its right: ask it the other
            // way round and turn the answer over.
            auto fn = reinterpret_cast<actions::Impl<actions::slot::compare>>(
                datatype::action(TYPE_MONEY, actions::slot::compare));
            if (!fn) return actions::NOT_COMPARABLE;
            int32_t r = fn(value2, value1, op);
            return r == actions::NOT_COMPARABLE ? r : -r;
        }
        default: return actions::NOT_COMPARABLE;
    }
}

Cell* absolute(Cell* value) {
    value->data2 = static_cast<uint32_t>(abs(value->int_value()));
    return value;
}

Cell* add(Cell* value1, Cell* value2) { return do_math(value1, value2, OP_ADD); }
Cell* subtract(Cell* value1, Cell* value2) { return do_math(value1, value2, OP_SUB); }
Cell* multiply(Cell* value1, Cell* value2) { return do_math(value1, value2, OP_MUL); }
Cell* divide(Cell* value1, Cell* value2) { return do_math(value1, value2, OP_DIV); }
Cell* remainder(Cell* value1, Cell* value2) { return do_math(value1, value2, OP_REM); }
Cell* and_(Cell* value1, Cell* value2) { return do_math(value1, value2, OP_AND); }
Cell* or_(Cell* value1, Cell* value2) { return do_math(value1, value2, OP_OR); }
Cell* xor_(Cell* value1, Cell* value2) { return do_math(value1, value2, OP_XOR); }

Cell* negate(Cell* value) {
    int32_t n = value->int_value();
    if (n == INT32_MIN) fire(err::OVERFLOW);
    value->data2 = static_cast<uint32_t>(-n);
    return value;
}

Cell* complement(Cell* value) {
    value->data2 = ~value->data2;
    return value;
}

Cell* power(Cell* number, Cell* exponent) {
    uint32_t etype = exponent->type();
    if (etype != TYPE_INTEGER && etype != TYPE_FLOAT) {
        Cell caller, dt, arg;
        actions::caller_word(&caller);
        datatype::make_at(&dt, etype);
        actions::call_argument_hook(1, &arg);
        fire(err::EXPECT_ARG, &caller, &dt, &arg);
    }
    int32_t base = number->int_value();
    if (etype == TYPE_INTEGER && exponent->int_value() >= 0) {
        // Binary exponentiation; a product that leaves the range hands the
        // work to the float power.
        int64_t result = 1, b = base;
        int32_t e = exponent->int_value();
        bool fits = true;
        while (e) {
            if (e & 1) {
                result *= b;
                if (!in_range(result)) {
                    fits = false;
                    break;
                }
            }
            e >>= 1;
            if (e) {
                b *= b;
                if (!in_range(b)) {
                    fits = false;
                    break;
                }
            }
        }
        if (fits) {
            number->data2 = static_cast<uint32_t>(static_cast<int32_t>(result));
            return number;
        }
    }
    float_::make_at(number, static_cast<double>(base));
    return float_::power(number, exponent);
}

bool even_q(Cell* number) { return (number->data2 & 1) == 0; }
bool odd_q(Cell* number) { return (number->data2 & 1) != 0; }

Cell* round(Cell* value, Cell* scale, bool even, bool down, bool half_down, bool floor, bool ceiling,
            bool half_ceiling) {
    if (scale && scale->type() == TYPE_MONEY) not_related(TYPE_MONEY);
    int32_t n = value->int_value();
    if (n == INT32_MIN) return value;
    int64_t s = 1;
    if (scale) {
        if (scale->type() != TYPE_INTEGER) {
            float_::make_at(value, static_cast<double>(n));
            return float_::round(value, scale, even, down, half_down, floor, ceiling, half_ceiling);
        }
        s = abs(scale->int_value());
    }
    if (s == 0) return value;
    int64_t a = n < 0 ? -static_cast<int64_t>(n) : n;
    int64_t r = a % s;
    if (r == 0) return value;
    int64_t sign = n < 0 ? -1 : 1;
    int64_t d = s - r;
    int64_t toward = sign * (a - r);  // toward zero
    int64_t away = sign * (a + d);    // away from zero
    bool up;
    if (down) up = false;
    else if (floor) up = n < 0;
    else if (ceiling) up = n > 0;
    else if (r < d) up = false;
    else if (r > d) up = true;
    else if (even) up = (a / s) % 2 != 0;
    else if (half_down) up = false;
    else if (half_ceiling) up = n >= 0;
    else up = true;
    // Only the result returned can overflow.
    int64_t result = up ? away : toward;
    if (!in_range(result)) fire(err::OVERFLOW);
    value->data2 = static_cast<uint32_t>(static_cast<int32_t>(result));
    return value;
}

}  // namespace integer

// ---- Registration --------------------------------------------------------------

template <>
void datatype::init_type<TYPE_INTEGER>() {
    register_type<TYPE_INTEGER,
                  "oo-ooo--o ooooooooooooooo --------------------------- -----------">(
        own<slot::make>(integer::make), own<slot::random>(integer::random),
        own<slot::to>(integer::to), own<slot::form>(integer::form), own<slot::mold>(integer::mold),
        own<slot::compare>(integer::compare), own<slot::absolute>(integer::absolute),
        own<slot::add>(integer::add), own<slot::divide>(integer::divide),
        own<slot::multiply>(integer::multiply), own<slot::negate>(integer::negate),
        own<slot::power>(integer::power), own<slot::remainder>(integer::remainder),
        own<slot::round>(integer::round), own<slot::subtract>(integer::subtract),
        own<slot::even_q>(integer::even_q), own<slot::odd_q>(integer::odd_q),
        own<slot::and_>(integer::and_), own<slot::complement>(integer::complement),
        own<slot::or_>(integer::or_), own<slot::xor_>(integer::xor_));
}
