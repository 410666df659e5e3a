// Shared pieces of the small scalar datatypes: error shorthands, text with
// the part budget, double arithmetic, rounding and tolerant equality.
#include "datatypes/scalar.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "datatypes/datatype.h"
#include "datatypes/dtoa.h"
#include "datatypes/string.h"
#include "datatypes/word.h"
#include "evaluator/actions.h"
#include "evaluator/stack.h"
#include "evaluator/symbol.h"
#include "evaluator/words.h"

namespace scalar {

// ---- Errors ------------------------------------------------------------------------

void fire_type(ErrorId id, uint32_t type, const Cell* arg2) {
    Cell dt;
    datatype::make_at(&dt, type);
    fire(id, &dt, arg2);
}

void bad_to_arg(uint32_t type, const Cell* spec) { fire_type(err::BAD_TO_ARG, type, spec); }
void bad_make_arg(uint32_t type, const Cell* spec) { fire_type(err::BAD_MAKE_ARG, type, spec); }

void fire_caller_type(ErrorId id, uint32_t type) {
    Cell caller, dt;
    actions::caller_word(&caller);
    datatype::make_at(&dt, type);
    fire(id, &caller, &dt);
}

Cell op_word(int32_t op) {
    switch (op) {
        case 0: return words::add;
        case 1: return words::subtract;
        case 2: return words::multiply;
        case 3: return words::divide;
        default: {
            static const char* const names[] = {"remainder", "or~", "and~", "xor~"};
            Cell w{TYPE_UNSET, 0, 0, 0};
            word::make_at(symbol::make(names[(op - 4) & 3]), &w);
            return w;
        }
    }
}

// ---- Values -------------------------------------------------------------------------

bool any_string_q(uint32_t type) {
    switch (type) {
        case TYPE_STRING: case TYPE_FILE: case TYPE_URL: case TYPE_TAG: case TYPE_EMAIL: case TYPE_REF:
            return true;
        default: return false;
    }
}

bool any_block_q(uint32_t type) {
    return type == TYPE_BLOCK || type == TYPE_PAREN || type == TYPE_HASH;
}

Cell load_text(Cell* text) {
    if (!word::load_value_hook) fire(err::FEATURE_NA);
    Cell* slot = stack::push_slot();
    slot->header = TYPE_UNSET;
    Cell value = *word::load_value_hook(text, slot);
    stack::pop(1);
    return value;
}

bool word_is(const Cell* w, uint32_t sym) {
    return symbol::resolve(w->symbol()) == symbol::resolve(sym);
}

// ---- Text ------------------------------------------------------------------------------

int32_t append(Cell* buffer, const char* text, int32_t limit) {
    string::concatenate_literal(buffer, text);
    return limit - static_cast<int32_t>(std::strlen(text));
}

const char* form_signed(int32_t n) {
    static char text[16];
    std::snprintf(text, sizeof text, "%d", n);
    return text;
}

// ---- Doubles --------------------------------------------------------------------------

namespace {

constexpr double epsilon = 2.220446049250313e-16;

uint64_t ordered64(double d) {
    uint64_t u;
    std::memcpy(&u, &d, 8);
    return (u >> 63) ? ~u + 1 : u | 0x8000000000000000ull;
}

uint32_t ordered32(float f) {
    uint32_t u;
    std::memcpy(&u, &f, 4);
    return (u >> 31) ? ~u + 1 : u | 0x80000000u;
}

// Removes "+" and leading zeros of an exponent in place.
void clean_exponent(char* text) {
    char* e = std::strchr(text, 'e');
    if (!e) return;
    char* src = e + 1;
    char* dst = e + 1;
    if (*src == '+') ++src;
    else if (*src == '-') *dst++ = *src++;
    while (*src == '0' && src[1]) ++src;
    std::memmove(dst, src, std::strlen(src) + 1);
}

// Whether the text ends (before any exponent) in binary noise "01"/"99".
bool noisy(const char* text) {
    const char* e = std::strchr(text, 'e');
    size_t n = e ? static_cast<size_t>(e - text) : std::strlen(text);
    if (!e) {
        if (n <= 16) return false;
        const char* digits = text[0] == '-' ? text + 1 : text;
        if (digits[0] == '0' && n <= 17) return false;
    } else if (n <= 16) {
        return false;
    }
    const char* last = text + n - 2;
    return (last[0] == '0' && last[1] == '1') || (last[0] == '9' && last[1] == '9');
}

}  // namespace

bool almost_equal(double a, double b) {
    if (std::isnan(a) || std::isnan(b)) return false;
    if (a == b || std::fabs(a - b) < epsilon) return true;
    uint64_t x = ordered64(a), y = ordered64(b);
    return (x > y ? x - y : y - x) <= 10;
}

bool almost_equal_f32(float a, float b) {
    if (std::isnan(a) || std::isnan(b)) return false;
    if (a == b || std::fabs(static_cast<double>(a) - b) < epsilon) return true;
    uint32_t x = ordered32(a), y = ordered32(b);
    return (x > y ? x - y : y - x) <= 10;
}

const char* form_float(double value, int kind) {
    static char text[40];
    if (std::isinf(value)) return value > 0 ? "1.#INF" : "-1.#INF";
    if (std::isnan(value)) return "1.#NaN";
    if (std::fabs(value) < epsilon) return kind == 5 ? "0" : "0.0";
    if (kind == 4) std::snprintf(text, sizeof text, "%s", dtoa::form_float(value, 6, false));
    else std::snprintf(text, sizeof text, "%.7g", value);
    if (noisy(text)) std::snprintf(text, sizeof text, "%.5g", value);
    clean_exponent(text);
    return text;
}

double do_math_op(double x, double y, int32_t op) {
    switch (op) {
        case 0: return x + y;
        case 1: return x - y;
        case 2: return x * y;
        case 3: return x / y;
        case 4:
            if (std::isnan(y)) return y;
            if (std::isinf(y)) return std::isfinite(x) ? x : std::nan("");
            return std::fmod(x, y);
        default: fire_caller_type(err::CANNOT_USE, TYPE_FLOAT);
    }
}

double round(double value, double s, const RoundMode& m) {
    if (std::fabs(value) * 0x1p-53 > s) return value;
    double q = s >= 1.0 ? value / s : value * (1.0 / s);
    double r;
    if (m.down) {
        r = std::trunc(q);
    } else if (m.floor) {
        r = std::floor(q);
    } else if (m.ceiling) {
        r = std::ceil(q);
    } else {
        double a = std::fabs(q);
        double f = std::floor(a);
        double away = std::copysign(std::ceil(a), q);
        if (a < f + 0.5) {
            r = std::trunc(q);
        } else if (a > f + 0.5) {
            r = away;
        } else if (m.even) {
            r = std::fmod(f, 2.0) != 0 ? away : std::trunc(q);
        } else if (m.half_down) {
            r = std::trunc(q);
        } else if (m.half_ceiling) {
            r = std::ceil(q);
        } else {
            r = away;
        }
    }
    return s >= 1.0 ? r * s : r / (1.0 / s);
}

int32_t compare_doubles(double a, double b, int32_t op) {
    if (std::isnan(a) || std::isnan(b)) {
        if (op == actions::COMP_LESSER || op == actions::COMP_LESSER_EQUAL) return 1;
        if (op == actions::COMP_GREATER || op == actions::COMP_GREATER_EQUAL) return -1;
        return 0;
    }
    return a < b ? -1 : (a > b ? 1 : 0);
}

// ---- 32-bit integers ---------------------------------------------------------------------

int64_t int_op(int32_t a, int32_t b, int32_t op) {
    int64_t x = a, y = b;
    switch (op) {
        case 0: return x + y;
        case 1: return x - y;
        case 2: return x * y;
        case 3:
        case 4:
            if (b == 0) fire(err::ZERO_DIVIDE);
            if (a == INT32_MIN && b == -1) fire(err::OVERFLOW);
            return op == 3 ? x / y : x % y;
        case 5: return a | b;
        case 6: return a & b;
        case 7: return a ^ b;
        default: return 0;
    }
}

int32_t to_int(double d) {
    if (std::isnan(d)) return 0;
    if (d >= 2147483647.0) return INT32_MAX;
    if (d <= -2147483648.0) return INT32_MIN;
    return static_cast<int32_t>(d);
}

}  // namespace scalar
