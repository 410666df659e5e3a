// money!: exact decimal amounts of 22 digits with five decimal places, with
// currencies, in the cell itself.
#include "datatypes/money.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "datatypes/block.h"
#include "datatypes/datatype.h"
#include "runtime/dtoa.h"
#include "datatypes/scalar.h"
#include "datatypes/word.h"
#include "evaluator/actions.h"
#include "evaluator/stack.h"
#include "evaluator/symbol.h"
#include "evaluator/words.h"
#include "runtime/number_text.h"
#include "runtime/rng.h"
#include "runtime/typesets.h"

namespace money {

Cell* (*currency_list_hook)() = nullptr;
int32_t (*money_digits_hook)() = nullptr;

// ---- Amounts -------------------------------------------------------------------

namespace {

using u128 = unsigned __int128;

constexpr uint64_t E5 = 100000;

u128 pow10(int n) {
    u128 r = 1;
    while (n-- > 0) r *= 10;
    return r;
}

const u128 LIMIT = pow10(DIGITS);  // first amount that does not fit

uint8_t* amount_bytes(Cell* m) { return reinterpret_cast<uint8_t*>(m) + 5; }
const uint8_t* amount_bytes(const Cell* m) { return reinterpret_cast<const uint8_t*>(m) + 5; }

// The 22 digits as an integer (units of 0.00001).
u128 magnitude(const Cell* m) {
    const uint8_t* b = amount_bytes(m);
    u128 v = 0;
    for (int i = 0; i < 11; ++i) v = v * 100 + (b[i] >> 4) * 10 + (b[i] & 15);
    return v;
}

void set_magnitude(Cell* m, u128 v) {
    uint8_t* b = amount_bytes(m);
    for (int i = 10; i >= 0; --i) {
        uint8_t lo = static_cast<uint8_t>(v % 10);
        v /= 10;
        uint8_t hi = static_cast<uint8_t>(v % 10);
        v /= 10;
        b[i] = static_cast<uint8_t>(hi << 4 | lo);
    }
}

// Digit n (1..22) of the amount.
int digit(const Cell* m, int n) {
    uint8_t b = amount_bytes(m)[(n - 1) / 2];
    return (n & 1) ? b >> 4 : b & 15;
}

// Significant digits: 22 less the leading zeros, at least 1.
int significant(const Cell* m) {
    for (int n = 1; n <= DIGITS; ++n)
        if (digit(m, n)) return DIGITS - n + 1;
    return 1;
}

[[noreturn]] void limit_error() { scalar::fire_type(err::TYPE_LIMIT, TYPE_MONEY); }

void make_zero(Cell* m, uint32_t currency) {
    m->header = TYPE_MONEY;
    m->data1 = currency & 0xFF;
    m->data2 = m->data3 = 0;
}

// Writes a signed magnitude into the cell, keeping its currency.
void set_signed(Cell* m, bool negative, u128 v) {
    set_magnitude(m, v);
    set_sign(m, negative ? 1 : 0);
}

const char* const builtin_codes[] = {
    "AED", "AFN", "ALL", "AMD", "ANG", "AOA", "ARS", "AUD", "AWG", "AZN", "BAM", "BBD", "BDT", "BTC", "BGN",
    "BHD", "BIF", "BMD", "BND", "BOB", "BRL", "BSD", "BTN", "BWP", "BYN", "BZD", "CAD", "CDF", "CHF", "CKD",
    "CLP", "CNY", "COP", "CRC", "CUC", "CUP", "CVE", "CZK", "DJF", "DKK", "DOP", "DZD", "EGP", "ERN", "ETB",
    "ETH", "EUR", "FJD", "FKP", "FOK", "GBP", "GEL", "GGP", "GHS", "GIP", "GMD", "GNF", "GTQ", "GYD", "HKD",
    "HNL", "HRK", "HTG", "HUF", "IDR", "ILS", "IMP", "INR", "IQD", "IRR", "ISK", "JEP", "JMD", "JOD", "JPY",
    "KES", "KGS", "KHR", "KID", "KMF", "KPW", "KRW", "KWD", "KYD", "KZT", "LAK", "LBP", "LKR", "LRD", "LSL",
    "LYD", "MAD", "MDL", "MGA", "MKD", "MMK", "MNT", "MOP", "MRU", "MUR", "MVR", "MWK", "MXN", "MYR", "MZN",
    "NAD", "NGN", "NIO", "NOK", "NPR", "NZD", "OMR", "PAB", "PEN", "PGK", "PHP", "PKR", "PLN", "PND", "PRB",
    "PYG", "QAR", "ZEM", "RON", "RSD", "RUB", "RWF", "SAR", "SBD", "SCR", "SDG", "SEK", "SGD", "SHP", "SLL",
    "SLS", "SOS", "SRD", "SSP", "STN", "SYP", "SZL", "THB", "TJS", "TMT", "TND", "TOP", "TRY", "TTD", "TVD",
    "TWD", "TZS", "UAH", "UGX", "USD", "UYU", "UZS", "VES", "VND", "VUV", "WST", "CFA", "XAF", "XCD", "XOF",
    "CFP", "XPF", "YER", "ZAR", "ZMW"};
constexpr int32_t builtin_count = sizeof builtin_codes / sizeof builtin_codes[0];
static_assert(builtin_count == 170, "the currency list starts with 170 codes");

bool same_code(const char* a, uint32_t na, const char* b, uint32_t nb) {
    if (na != nb) return false;
    for (uint32_t i = 0; i < na; ++i) {
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
        if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
        if (x != y) return false;
    }
    return true;
}

// The text of currency index n (1-based), or null.
const char* code_text(uint32_t n, uint32_t* length) {
    Cell* list = currency_list_hook ? currency_list_hook() : nullptr;
    if (!list) {
        if (n < 1 || n > static_cast<uint32_t>(builtin_count)) return nullptr;
        *length = 3;
        return builtin_codes[n - 1];
    }
    if (n < 1 || n > block::rs_length_q(list)) return nullptr;
    const Cell* w = block::rs_clamp_head(list) + (n - 1);
    if (!in(ALL_WORD, w->type())) return nullptr;
    return symbol::text(w->symbol(), length);
}

}  // namespace

int32_t get_sign(const Cell* m) { return (m->header & SIGN_FLAG) ? 1 : 0; }
void set_sign(Cell* m, int32_t negative) {
    m->header = negative ? m->header | SIGN_FLAG : m->header & ~SIGN_FLAG;
}
void flip_sign(Cell* m) { m->header ^= SIGN_FLAG; }
void set_currency(Cell* m, uint32_t index) { m->data1 = (m->data1 & ~0xFFu) | (index & 0xFF); }

int32_t get_currency_index(const char* code, uint32_t length) {
    Cell* list = currency_list_hook ? currency_list_hook() : nullptr;
    if (!list) {
        for (int32_t i = 0; i < builtin_count; ++i)
            if (same_code(code, length, builtin_codes[i], 3)) return i + 1;
        return -1;
    }
    uint32_t n = block::rs_length_q(list);
    for (uint32_t i = 0; i < n && i < 255; ++i) {
        const Cell* w = block::rs_clamp_head(list) + i;
        if (!in(ALL_WORD, w->type())) continue;
        uint32_t len = 0;
        const char* text = symbol::text(w->symbol(), &len);
        if (same_code(code, length, text, len)) return static_cast<int32_t>(i) + 1;
    }
    return -1;
}

int32_t get_currency_index(uint32_t sym) {
    uint32_t len = 0;
    const char* text = symbol::text(sym, &len);
    return get_currency_index(text, len);
}

int32_t sign_q(const Cell* m) {
    if (m->data2 == 0 && m->data3 == 0 && (m->data1 & 0xFFFFFF00u) == 0) return 0;
    return get_sign(m) ? -1 : 1;
}
bool zero_q(const Cell* m) { return sign_q(m) == 0; }
bool negative_q(const Cell* m) { return sign_q(m) < 0; }
bool positive_q(const Cell* m) { return sign_q(m) > 0; }

Cell* from_digits(Cell* slot, bool negative, const char* code, const uint8_t* int_start,
                  const uint8_t* frac_start, const uint8_t* end) {
    return from_digits(slot, negative, reinterpret_cast<const uint8_t*>(code),
                       code ? static_cast<uint32_t>(std::strlen(code)) : 0, int_start, frac_start, end);
}

Cell* from_digits(Cell* slot, bool negative, const uint8_t* code, uint32_t code_length,
                  const uint8_t* int_start, const uint8_t* frac_start, const uint8_t* end) {
    uint32_t currency = 0;
    if (code && code_length) {
        int32_t index = get_currency_index(reinterpret_cast<const char*>(code), code_length);
        if (index < 0) return nullptr;
        currency = static_cast<uint32_t>(index);
    }
    const uint8_t* int_end = frac_start ? frac_start : end;
    u128 int_part = 0, scale = 1;
    int n = 0;
    for (const uint8_t* p = int_end; p > int_start && n < INT_DIGITS;) {
        uint8_t c = *--p;
        if (c < '0' || c > '9') continue;
        int_part += scale * (c - '0');
        scale *= 10;
        ++n;
    }
    uint64_t frac = 0;
    int k = 0;
    if (frac_start) {
        for (const uint8_t* p = frac_start; p < end && k < SCALE; ++p) {
            if (*p < '0' || *p > '9') continue;
            frac = frac * 10 + (*p - '0');
            ++k;
        }
    }
    for (; k < SCALE; ++k) frac *= 10;
    make_zero(slot, currency);
    set_signed(slot, negative, int_part * E5 + frac);
    return slot;
}

Cell* make_at(Cell* slot, bool negative, uint32_t currency, const uint8_t* amount) {
    make_zero(slot, currency);
    std::memcpy(amount_bytes(slot), amount, 11);
    set_sign(slot, negative);
    return slot;
}

Cell* push(bool negative, uint32_t currency, const uint8_t* amount) {
    return make_at(stack::push_slot(), negative, currency, amount);
}

Cell* make_integer_at(Cell* slot, int32_t n) {
    make_zero(slot, 0);
    int64_t v = n;
    set_signed(slot, n < 0, static_cast<u128>(v < 0 ? -v : v) * E5);
    return slot;
}

Cell* from_integer(int32_t n) { return make_integer_at(stack::push_slot(), n); }

namespace {

// The amount of a finite double in units of 0.00001 from its shortest
// digits; `dropped` tells whether decimals past the fifth were cut.
bool float_units(double x, u128& units, bool& dropped) {
    int point = 0, sign = 0, length = 0;
    const char* text = dtoa::to_digits(x, 0, point, sign, length, false);
    units = 0;
    dropped = false;
    if (point == dtoa::zero_point) return true;
    const char* d = text + (sign ? 1 : 0);
    // value = 0.d1d2...dn x 10^point; units = value x 10^5.
    int shift = point + SCALE;  // digits before the unit position
    for (int i = 0; i < length; ++i) {
        if (i < shift) units = units * 10 + (d[i] - '0');
        else if (d[i] != '0') dropped = true;
    }
    for (int i = length; i < shift; ++i) units *= 10;
    return true;
}

}  // namespace

Cell* make_float_at(Cell* slot, double x, bool strict) {
    double a = std::fabs(x);
    Cell f = scalar::make_float(TYPE_FLOAT, x);
    if (!std::isfinite(x) || (a > 0 && a < 0.00001) || a >= 1e17) scalar::bad_make_arg(TYPE_MONEY, &f);
    u128 units;
    bool dropped;
    float_units(x, units, dropped);
    if (strict && dropped) scalar::bad_make_arg(TYPE_MONEY, &f);
    make_zero(slot, 0);
    set_signed(slot, std::signbit(x) && units != 0, units);
    return slot;
}

Cell* from_float(double x, bool strict) {
    Cell m;
    make_float_at(&m, x, strict);
    return stack::push(&m);
}

namespace {

// The amount's digits as text: integer part, "." and five decimals.
void amount_text(const Cell* m, char* out) {
    u128 v = magnitude(m);
    uint64_t frac = static_cast<uint64_t>(v % E5);
    u128 ip = v / E5;
    char digits[24];
    int n = 0;
    do {
        digits[n++] = static_cast<char>('0' + static_cast<int>(ip % 10));
        ip /= 10;
    } while (ip);
    int k = 0;
    while (n) out[k++] = digits[--n];
    std::snprintf(out + k, 8, ".%05llu", static_cast<unsigned long long>(frac));
}

}  // namespace

double to_float(const Cell* m) {
    char text[40];
    amount_text(m, text);
    int left = 0;
    double d = dtoa::strtod(reinterpret_cast<const uint8_t*>(text),
                            reinterpret_cast<const uint8_t*>(text) + std::strlen(text), 0, left);
    return sign_q(m) < 0 ? -d : d;
}

int32_t to_integer(const Cell* m) {
    u128 ip = magnitude(m) / E5;
    bool negative = sign_q(m) < 0;
    if (ip > (negative ? u128(2147483648u) : u128(2147483647u))) scalar::fire_type(err::TYPE_LIMIT, TYPE_INTEGER);
    int64_t v = static_cast<int64_t>(ip);
    return static_cast<int32_t>(negative ? -v : v);
}

int32_t compare_amounts(const Cell* a, const Cell* b) {
    int32_t sa = sign_q(a), sb = sign_q(b);
    if (sa != sb) return sa < sb ? -1 : 1;
    u128 x = magnitude(a), y = magnitude(b);
    int32_t r = x < y ? -1 : (x > y ? 1 : 0);
    return sa < 0 ? -r : r;
}

Cell* add_amounts(Cell* a, const Cell* b) {
    if (zero_q(b)) return a;
    if (zero_q(a)) {
        uint32_t currency = currency_of(a);
        *a = *b;
        set_currency(a, currency);
        return a;
    }
    bool na = sign_q(a) < 0, nb = sign_q(b) < 0;
    u128 x = magnitude(a), y = magnitude(b);
    if (na == nb) {
        if (digit(a, 1) + digit(b, 1) >= 10 || x + y >= LIMIT) limit_error();
        set_signed(a, na, x + y);
    } else if (x >= y) {
        set_signed(a, na, x - y);
    } else {
        set_signed(a, nb, y - x);
    }
    return a;
}

Cell* subtract_amounts(Cell* a, const Cell* b) {
    Cell nb = *b;
    flip_sign(&nb);
    return add_amounts(a, &nb);
}

Cell* multiply_amounts(Cell* a, const Cell* b) {
    if (zero_q(a)) return a;
    if (zero_q(b)) {
        uint32_t currency = currency_of(a);
        *a = *b;
        set_currency(a, currency);
        return a;
    }
    if (significant(a) + significant(b) > 28) limit_error();
    u128 p = magnitude(a) * magnitude(b);  // ten decimal places, below 10^28
    if (p >= pow10(27)) limit_error();
    u128 r = p / E5;
    if (r == 0) limit_error();
    set_signed(a, (sign_q(a) < 0) != (sign_q(b) < 0), r);
    return a;
}

Cell* divide_amounts(Cell* a, const Cell* b, bool remainder) {
    if (zero_q(b)) fire(err::ZERO_DIVIDE);
    if (zero_q(a)) return a;
    u128 x = magnitude(a), y = magnitude(b);
    bool na = sign_q(a) < 0;
    if (remainder) {
        set_signed(a, na, x % y);
        return a;
    }
    if (significant(a) - significant(b) + 6 > DIGITS) limit_error();
    u128 q = x * E5 / y;
    if (q == 0 || q >= LIMIT) limit_error();
    set_signed(a, na != (sign_q(b) < 0), q);
    return a;
}

// ---- Money text ----------------------------------------------------------------------

void text_to_money(const uint8_t* chars, int32_t length, int unit, int& error, Cell* slot) {
    error = -1;
    int32_t i = 0;
    bool negative = false;
    auto at = [&](int32_t k) { return number_text::char_at(chars, k, unit); };
    auto letter = [](uint32_t c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
    if (i < length && (at(i) == '+' || at(i) == '-')) negative = at(i++) == '-';
    char code[4] = {};
    bool has_code = false;
    if (i < length && letter(at(i))) {
        if (length - i < 5) return;
        for (int k = 0; k < 3; ++k) {
            if (!letter(at(i + k))) return;
            code[k] = static_cast<char>(at(i + k));
        }
        if (at(i + 3) != '$') return;
        has_code = true;
        i += 4;
    } else if (i < length && at(i) == '$') {
        ++i;
    }
    if (i >= length) return;
    // The digits, copied as ASCII for the builder.
    uint8_t text[400];
    if (length - i > static_cast<int32_t>(sizeof text)) return;
    int32_t n = 0, frac = -1, significant = 0;
    for (; i < length; ++i) {
        uint32_t c = at(i);
        bool last = i == length - 1;
        if (c >= '0' && c <= '9') {
            if (frac < 0 && (significant || c != '0')) ++significant;
        } else if (c == '\'') {
            if (n == 0 || last || text[n - 1] == '\'' || frac >= 0) return;
        } else if (c == '.') {
            if (n == 0 || last || frac >= 0 || text[n - 1] == '\'') return;
            frac = n + 1;
        } else {
            return;
        }
        text[n++] = static_cast<uint8_t>(c);
    }
    if (significant > 17) return;
    const uint8_t* frac_start = frac >= 0 ? text + frac : nullptr;
    if (!money::from_digits(slot, negative, has_code ? code : nullptr, text, frac_start, text + n)) return;
    error = 0;
}

// ---- Comparison and arithmetic ---------------------------------------------------

namespace {

// The money! value of an integer!, float! or percent! operand (non-strict);
// any other type raises invalid-type.
Cell operand(const Cell* v) {
    Cell m;
    switch (v->type()) {
        case TYPE_MONEY: return *v;
        case TYPE_INTEGER: make_integer_at(&m, v->int_value()); return m;
        case TYPE_FLOAT: case TYPE_PERCENT: make_float_at(&m, v->float_value(), false); return m;
        default: scalar::fire_type(err::INVALID_TYPE, v->type());
    }
}

int32_t compare_codes(const Cell* a, const Cell* b, bool case_) {
    uint32_t ca = currency_of(a), cb = currency_of(b);
    if (ca == cb) return 0;
    if (ca == 0 || cb == 0) return ca == 0 ? -1 : 1;
    uint32_t la = 0, lb = 0;
    const char* ta = code_text(ca, &la);
    const char* tb = code_text(cb, &lb);
    if (!ta || !tb) return ca < cb ? -1 : 1;
    for (uint32_t i = 0; i < la && i < lb; ++i) {
        int x = static_cast<uint8_t>(ta[i]), y = static_cast<uint8_t>(tb[i]);
        if (!case_) {
            if (x >= 'a' && x <= 'z') x -= 32;
            if (y >= 'a' && y <= 'z') y -= 32;
        }
        if (x != y) return x < y ? -1 : 1;
    }
    return la == lb ? 0 : (la < lb ? -1 : 1);
}

int32_t compare_money(Cell* a, Cell* b, int32_t op) {
    uint32_t ca = currency_of(a), cb = currency_of(b);
    switch (op) {
        case actions::COMP_EQUAL: case actions::COMP_NOT_EQUAL:
            if (ca && cb && ca != cb) return 1;
            return compare_amounts(a, b) == 0 ? 0 : 1;
        case actions::COMP_STRICT_EQUAL: case actions::COMP_SAME: case actions::COMP_FIND:
            if (ca != cb) return 1;
            return compare_amounts(a, b) == 0 ? 0 : 1;
        case actions::COMP_SORT: case actions::COMP_CASE_SORT: {
            int32_t r = compare_codes(a, b, op == actions::COMP_CASE_SORT);
            return r ? r : compare_amounts(a, b);
        }
        default:
            if (ca && cb && ca != cb) fire(err::WRONG_DENOM, a, b);
            return compare_amounts(a, b);
    }
}

}  // namespace

int32_t compare(Cell* value1, Cell* value2, int32_t op) {
    bool strict = op == actions::COMP_STRICT_EQUAL || op == actions::COMP_SAME || op == actions::COMP_FIND;
    if (strict && value2->type() != TYPE_MONEY) return 1;
    Cell m;
    switch (value2->type()) {
        case TYPE_MONEY: return compare_money(value1, value2, op);
        case TYPE_INTEGER:
            make_integer_at(&m, value2->int_value());
            return compare_money(value1, &m, op);
        case TYPE_FLOAT: case TYPE_PERCENT: {
            // Decided by the sign and the range first, then on the grid of
            // 0.00001: a float between two grid points lies between them.
            double f = value2->float_value();
            if (std::isnan(f)) return op == actions::COMP_EQUAL || op == actions::COMP_NOT_EQUAL ? 1 : -2;
            double a = std::fabs(f);
            if (a >= 1e17) return f > 0 ? -1 : 1;
            int32_t s = sign_q(value1);
            if (a > 0 && a < 0.00001) return s != 0 ? s : (f > 0 ? -1 : 1);
            u128 units;
            bool dropped;
            float_units(f, units, dropped);
            make_zero(&m, 0);
            set_signed(&m, f < 0, units);
            int32_t r = compare_money(value1, &m, op);
            if (r != 0 || !dropped) return r;
            if (op == actions::COMP_EQUAL || op == actions::COMP_NOT_EQUAL) return 1;
            return f > 0 ? -1 : 1;
        }
        default: return actions::NOT_COMPARABLE;
    }
}

Cell* do_math(Cell* value1, Cell* value2, int32_t op) {
    bool m1 = value1->type() == TYPE_MONEY, m2 = value2->type() == TYPE_MONEY;
    if (m1 && m2 && op == 2) scalar::fire_type(err::INVALID_TYPE, TYPE_MONEY);
    if (!m1 && m2 && (op == 3 || op == 4)) scalar::fire_type(err::INVALID_TYPE, value1->type());
    Cell a = operand(value1), b = operand(value2);
    uint32_t ca = currency_of(&a), cb = currency_of(&b);
    if (ca && cb && ca != cb) fire(err::WRONG_DENOM, value1, value2);
    set_currency(&a, cb ? cb : ca);
    switch (op) {
        case 0: add_amounts(&a, &b); break;
        case 1: subtract_amounts(&a, &b); break;
        case 2: multiply_amounts(&a, &b); break;
        case 3: divide_amounts(&a, &b, false); break;
        case 4: divide_amounts(&a, &b, true); break;
        default: scalar::fire_caller_type(err::CANNOT_USE, TYPE_MONEY);
    }
    set_currency(&a, cb ? cb : ca);
    if (op == 3 && m1 && m2) {
        *value1 = scalar::make_float(TYPE_FLOAT, to_float(&a));
        return value1;
    }
    a.header = (a.header & SIGN_FLAG) | TYPE_MONEY;
    *value1 = a;
    return value1;
}

// ---- Actions -------------------------------------------------------------------

namespace {

// Money from text through the lexer's converter; bad-to-arg when refused.
Cell* from_text(Cell* proto, Cell* spec) {
    SeriesBuffer* s = series_of(spec);
    uint32_t count = s->count();
    uint32_t head = spec->head() < count ? spec->head() : count;
    int error = 0;
    Cell m;
    text_to_money(s->data_at(head * s->unit()), static_cast<int32_t>(count - head),
                         static_cast<int>(s->unit()), error, &m);
    if (error) scalar::bad_to_arg(TYPE_MONEY, spec);
    *proto = m;
    return proto;
}

}  // namespace

Cell* to(Cell* proto, Cell* spec, uint32_t) {
    Cell m;
    switch (spec->type()) {
        case TYPE_MONEY: m = *spec; break;
        case TYPE_INTEGER: make_integer_at(&m, spec->int_value()); break;
        case TYPE_FLOAT: make_float_at(&m, spec->float_value(), true); break;
        default:
            if (in(ANY_STRING, spec->type())) return from_text(proto, spec);
            scalar::bad_to_arg(TYPE_MONEY, spec);
    }
    *proto = m;
    return proto;
}

Cell* make(Cell* proto, Cell* spec, uint32_t type) {
    Cell m;
    if (spec->type() == TYPE_WORD) {
        int32_t index = get_currency_index(spec->symbol());
        if (index < 0) scalar::bad_make_arg(TYPE_MONEY, spec);
        make_zero(&m, static_cast<uint32_t>(index));
        *proto = m;
        return proto;
    }
    if (!in(ANY_LIST, spec->type())) return to(proto, spec, type);
    uint32_t n = block::rs_length_q(spec);
    if (n < 1 || n > 3) scalar::bad_make_arg(TYPE_MONEY, spec);
    Cell v[3];
    for (uint32_t i = 0; i < n; ++i) v[i] = block::rs_clamp_head(spec)[i];
    uint32_t i = 0, currency = 0;
    if (v[0].type() == TYPE_WORD) {
        int32_t index = get_currency_index(v[0].symbol());
        if (index < 0 || n == 1) scalar::bad_make_arg(TYPE_MONEY, spec);
        currency = static_cast<uint32_t>(index);
        i = 1;
    }
    if (v[i].type() == TYPE_INTEGER) {
        make_integer_at(&m, v[i].int_value());
        ++i;
        if (i < n) {
            if (v[i].type() != TYPE_INTEGER || v[i].int_value() < 0 || v[i].int_value() > 99999)
                scalar::bad_make_arg(TYPE_MONEY, &v[i]);
            bool negative = v[i - 1].int_value() < 0;
            u128 units = magnitude(&m) + static_cast<uint32_t>(v[i].int_value());
            set_signed(&m, negative, units);
            ++i;
        }
    } else if (v[i].type() == TYPE_FLOAT) {
        make_float_at(&m, v[i].float_value(), true);
        ++i;
    } else {
        scalar::bad_make_arg(TYPE_MONEY, &v[i]);
    }
    if (i != n) scalar::bad_make_arg(TYPE_MONEY, spec);
    set_currency(&m, currency);
    *proto = m;
    return proto;
}

namespace {

int32_t places() {
    int32_t d = money_digits_hook ? money_digits_hook() : 2;
    return d < 0 ? 0 : (d > SCALE ? SCALE : d);
}

int32_t form_text(Cell* value, Cell* buffer, int32_t limit, bool group, int32_t d) {
    char text[64];
    int n = 0;
    if (sign_q(value) < 0) text[n++] = '-';
    if (uint32_t c = currency_of(value)) {
        uint32_t len = 0;
        const char* code = code_text(c, &len);
        if (code && len < 16) {
            std::memcpy(text + n, code, len);
            n += static_cast<int>(len);
        }
    }
    text[n++] = '$';
    int first = 1;
    while (first < INT_DIGITS && digit(value, first) == 0) ++first;
    for (int k = first; k <= INT_DIGITS; ++k) {
        text[n++] = static_cast<char>('0' + digit(value, k));
        if (group && k < INT_DIGITS && (INT_DIGITS - k) % 3 == 0) text[n++] = '\'';
    }
    if (d >= 1) {
        text[n++] = '.';
        for (int k = 0; k < d; ++k) text[n++] = static_cast<char>('0' + digit(value, INT_DIGITS + 1 + k));
    }
    text[n] = 0;
    return scalar::append(buffer, text, limit);
}

}  // namespace

int32_t form(Cell* value, Cell* buffer, Cell*, int32_t limit) {
    return form_text(value, buffer, limit, true, places());
}

int32_t mold(Cell* value, Cell* buffer, bool, bool all, bool, Cell*, int32_t limit, int32_t) {
    return form_text(value, buffer, limit, false, all ? SCALE : places());
}

Cell* absolute(Cell* value) {
    set_sign(value, 0);
    return value;
}

Cell* negate(Cell* value) {
    flip_sign(value);
    return value;
}

using Math = scalar::Math<do_math>;

Cell* round(Cell* n, Cell* scale, bool even, bool down, bool half_down, bool floor, bool ceiling,
            bool half_ceiling) {
    if (zero_q(n)) return n;
    u128 s = E5;  // $1
    if (scale) {
        Cell m;
        switch (scale->type()) {
            case TYPE_MONEY: m = *scale; break;
            case TYPE_INTEGER: make_integer_at(&m, scale->int_value()); break;
            case TYPE_FLOAT: make_float_at(&m, scale->float_value(), true); break;
            default: scalar::fire_caller_type(err::NOT_RELATED, scale->type());
        }
        s = magnitude(&m);
        if (s == 0) return n;
    }
    bool negative = sign_q(n) < 0;
    u128 v = magnitude(n);
    u128 r = v % s, h = s - r;
    if (r == 0) return n;
    u128 lower = v - r;
    auto upper = [&]() {
        if (v + h >= LIMIT) limit_error();
        return v + h;
    };
    bool half = 2 * r == s;
    auto nearest = [&]() { return r < h ? lower : upper(); };
    u128 result;
    if (down) result = lower;
    else if (floor) result = negative ? upper() : lower;
    else if (ceiling) result = negative ? lower : upper();
    else if (even) result = half ? ((v / s) % 2 == 0 ? lower : upper()) : nearest();
    else if (half_down) result = half ? lower : nearest();
    else if (half_ceiling) result = half ? (negative ? lower : upper()) : nearest();
    else result = nearest();
    set_magnitude(n, result);
    return n;
}

bool even_q(Cell* value) { return digit(value, INT_DIGITS) % 2 == 0; }
bool odd_q(Cell* value) { return digit(value, INT_DIGITS) % 2 != 0; }

Cell* random(Cell* value, bool seed, bool secure, bool) {
    if (seed) {
        rng::seed(static_cast<int32_t>(value->data1 ^ value->data2 ^ value->data3 ^ (value->header & SIGN_FLAG)));
        value->header = TYPE_UNSET;
        return value;
    }
    auto draw = [&](int32_t n) { return rng::int_in_range(secure, n + 1) - 1; };
    bool free_digits = false;
    int first = DIGITS - significant(value) + 1;
    for (int k = first; k <= DIGITS; ++k) {
        int f = digit(value, k);
        int g;
        if (free_digits) {
            g = draw(9);
        } else {
            g = draw(f);
            // A draw equal to the digit is kept only when two further draws
            // agree modulo 1000; otherwise it is drawn again.
            while (g == f && f > 0) {
                int a = rng::int_in_range(secure, 1000), b = rng::int_in_range(secure, 1000);
                if (a % 1000 == b % 1000) break;
                g = draw(f);
            }
            if (g < f) free_digits = true;
        }
        uint8_t* b = amount_bytes(value) + (k - 1) / 2;
        *b = (k & 1) ? static_cast<uint8_t>((*b & 0x0F) | (g << 4)) : static_cast<uint8_t>((*b & 0xF0) | g);
    }
    return value;
}

namespace {

int32_t field_of(const Cell* element) {
    if (element->type() == TYPE_INTEGER) {
        int32_t n = element->int_value();
        return n == 1 || n == 2 ? n : 0;
    }
    if (element->type() == TYPE_WORD) {
        if (scalar::word_is(element, words::sym::code)) return 1;
        if (scalar::word_is(element, words::sym::amount)) return 2;
    }
    return 0;
}

Cell* get(Cell* value, int32_t n) {
    Cell r;
    if (n == 1) {
        uint32_t len = 0;
        const char* code = currency_of(value) ? code_text(currency_of(value), &len) : nullptr;
        if (code) {
            r = Cell{TYPE_UNSET, 0, 0, 0};
            word::make_at(symbol::make_utf8(reinterpret_cast<const uint8_t*>(code), len), &r);
        } else {
            r = scalar::none();
        }
    } else {
        r = *value;
        set_currency(&r, 0);
    }
    return stack::push(&r);
}

}  // namespace

Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell*, Cell*, int32_t, bool,
                bool, bool) {
    if (value) fire(err::BAD_PATH_SET, path ? path : parent, element);
    int32_t n = field_of(element);
    if (n == 0) fire(err::INVALID_PATH, path ? path : parent, element);
    return get(parent, n);
}

Cell* pick(Cell* value, int32_t, Cell* boxed) {
    int32_t n = field_of(boxed);
    if (n == 0) fire(err::OUT_OF_RANGE, boxed);
    return get(value, n);
}

}  // namespace money

// ---- Registration --------------------------------------------------------------

template <>
void datatype::init_type<TYPE_MONEY>() {
    register_type<TYPE_MONEY, "oo-oooo-o ooooo-ooooo---- --------------o------------ -----------">(
        own<slot::make>(money::make), own<slot::random>(money::random), own<slot::to>(money::to),
        own<slot::form>(money::form), own<slot::mold>(money::mold),
        own<slot::eval_path>(money::eval_path), own<slot::compare>(money::compare),
        own<slot::absolute>(money::absolute), own<slot::add>(money::Math::add),
        own<slot::divide>(money::Math::divide), own<slot::multiply>(money::Math::multiply),
        own<slot::negate>(money::negate), own<slot::remainder>(money::Math::remainder),
        own<slot::round>(money::round), own<slot::subtract>(money::Math::subtract),
        own<slot::even_q>(money::even_q), own<slot::odd_q>(money::odd_q),
        own<slot::pick>(money::pick));
}
