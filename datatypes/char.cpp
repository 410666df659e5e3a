// char!: one Unicode code point (0 to 10FFFF hexadecimal). It shares
// integer!'s layout; its own arithmetic keeps every result a code point.
#include "datatypes/char.h"

#include <cstring>

#include "datatypes/datatype.h"
#include "datatypes/integer.h"
#include "datatypes/scalar.h"
#include "datatypes/string.h"
#include "datatypes/vector.h"
#include "evaluator/errors.h"
#include "evaluator/stack.h"
#include "runtime/unicode.h"

namespace char_ {

namespace {

Cell char_cell(uint32_t cp) { return Cell{TYPE_CHAR, 0, cp, 0}; }

// The escape of each code point below 95 that mold writes after a caret
// (0 when it is written as it is).
constexpr char escape_of(uint32_t cp) {
    if (cp == 0) return '@';
    if (cp >= 1 && cp <= 8) return static_cast<char>('A' + cp - 1);
    if (cp == 9) return '-';
    if (cp == 10) return '/';
    if (cp >= 11 && cp <= 26) return static_cast<char>('K' + cp - 11);
    switch (cp) {
        case 27: return '[';
        case 28: return '\\';
        case 29: return ']';
        case 31: return '_';
        case 34: return '"';
        case 94: return '^';
        default: return 0;
    }
}

}  // namespace

// ---- Makers ----------------------------------------------------------------------------

Cell* box(uint32_t cp) {
    Cell c = char_cell(cp);
    return stack::push(&c);
}

Cell* make_in(Cell* block, uint32_t cp) {
    Cell* c = alloc_tail(block);
    *c = char_cell(cp);
    return c;
}

int32_t append_escaped(Cell* buffer, uint32_t cp, bool all) {
    char text[16];
    if (cp == 30 || (cp >= 128 && cp <= 159) || (all && cp > 127)) {
        char hex[9];
        int n = 0;
        uint32_t v = cp;
        do {
            hex[n++] = "0123456789ABCDEF"[v & 15];
            v >>= 4;
        } while (v);
        if (n < 2) hex[n++] = '0';
        int k = 0;
        text[k++] = '^';
        text[k++] = '(';
        while (n) text[k++] = hex[--n];
        text[k++] = ')';
        text[k] = '\0';
        string::concatenate_literal(buffer, text);
        return k;
    }
    if (cp == 127) {
        string::concatenate_literal(buffer, "^~");
        return 2;
    }
    if (cp < 95 && escape_of(cp)) {
        text[0] = '^';
        text[1] = escape_of(cp);
        text[2] = '\0';
        string::concatenate_literal(buffer, text);
        return 2;
    }
    string::append_char(series_of(buffer), cp);
    return 1;
}

// ---- Arithmetic ---------------------------------------------------------------------------

Cell* do_math(Cell* left, Cell* right, int32_t op) {
    int32_t n;
    switch (right->type()) {
        case TYPE_CHAR:
        case TYPE_INTEGER: n = right->int_value(); break;
        case TYPE_FLOAT:
            // A number that no 32-bit integer holds cannot give a code point.
            if (integer::out_of_range_q(right->float_value())) fire(err::OVERFLOW);
            n = integer::truncate(right->float_value());
            break;
        case TYPE_VECTOR: return vector::scalar_math(left, right, op);
        default: {
            Cell dt;
            datatype::make_at(&dt, right->type());
            fire(err::INVALID_TYPE, &dt);
        }
    }
    bool overflowed = false;
    int32_t r = integer::do_math_op(left->int_value(), n, op, nullptr, &overflowed);
    if (overflowed || r < 0 || r > max_code_point) fire(err::OVERFLOW);
    left->data2 = static_cast<uint32_t>(r);
    return left;
}

// ---- Actions --------------------------------------------------------------------------------

Cell* make(Cell* proto, Cell* spec, uint32_t) {
    int32_t cp = 0;
    switch (spec->type()) {
        case TYPE_STRING:
        case TYPE_FILE:
        case TYPE_URL:
        case TYPE_TAG:
        case TYPE_EMAIL:
        case TYPE_REF:
            if (string::rs_length_q(spec) == 0) scalar::bad_to_arg(TYPE_CHAR, spec);
            cp = static_cast<int32_t>(string::rs_abs_at(spec, spec->head()));
            break;
        case TYPE_CHAR:
        case TYPE_INTEGER:
            cp = spec->int_value();
            if (cp < 0 || cp > max_code_point) fire(err::OUT_OF_RANGE, spec);
            break;
        case TYPE_FLOAT:
        case TYPE_PERCENT: {
            double d = spec->float_value();
            if (integer::out_of_range_q(d)) fire(err::OUT_OF_RANGE, spec);
            cp = integer::truncate(d);
            if (cp < 0 || cp > max_code_point) fire(err::OUT_OF_RANGE, spec);
            break;
        }
        case TYPE_BINARY: {
            SeriesBuffer* s = series_of(spec);
            uint32_t count = s->count();
            uint32_t length = spec->head() < count ? count - spec->head() : 0;
            if (length == 0) scalar::bad_to_arg(TYPE_CHAR, spec);
            // Copied out: decoding may raise an error that builds values.
            uint8_t bytes[4];
            uint32_t n = length < 4 ? length : 4;
            std::memcpy(bytes, s->data_at(spec->head()), n);
            uint32_t used = n;
            cp = unicode::decode_utf8_char_checked(bytes, &used);
            if (cp < 0) scalar::bad_to_arg(TYPE_CHAR, spec);
            break;
        }
        default: scalar::bad_to_arg(TYPE_CHAR, spec);
    }
    *proto = char_cell(static_cast<uint32_t>(cp));
    return proto;
}

int32_t form(Cell* value, Cell* buffer, Cell*, int32_t limit) {
    string::append_char(series_of(buffer), value->data2);
    return limit - 1;
}

int32_t mold(Cell* value, Cell* buffer, bool, bool all, bool, Cell*, int32_t limit, int32_t) {
    string::concatenate_literal(buffer, "#\"");
    append_escaped(buffer, value->data2, all);
    string::concatenate_literal(buffer, "\"");
    return limit - 4;
}

int32_t compare(Cell* value1, Cell* value2, int32_t op) {
    uint32_t type = value2->type();
    if ((op == actions::COMP_STRICT_EQUAL || op == actions::COMP_FIND) && type != TYPE_CHAR) return 1;
    if (type != TYPE_CHAR && type != TYPE_INTEGER) return actions::NOT_COMPARABLE;
    int32_t a = value1->int_value(), b = value2->int_value();
    return a < b ? -1 : a > b ? 1 : 0;
}

Cell* add(Cell* value1, Cell* value2) { return do_math(value1, value2, integer::OP_ADD); }
Cell* subtract(Cell* value1, Cell* value2) { return do_math(value1, value2, integer::OP_SUB); }
Cell* multiply(Cell* value1, Cell* value2) { return do_math(value1, value2, integer::OP_MUL); }
Cell* divide(Cell* value1, Cell* value2) { return do_math(value1, value2, integer::OP_DIV); }
Cell* remainder(Cell* value1, Cell* value2) { return do_math(value1, value2, integer::OP_REM); }
Cell* and_(Cell* value1, Cell* value2) { return do_math(value1, value2, integer::OP_AND); }
Cell* or_(Cell* value1, Cell* value2) { return do_math(value1, value2, integer::OP_OR); }
Cell* xor_(Cell* value1, Cell* value2) { return do_math(value1, value2, integer::OP_XOR); }

}  // namespace char_

// ---- Registration --------------------------------------------------------------

template <>
void datatype::init_type<TYPE_CHAR>() {
    register_type<TYPE_CHAR, "oi-ooo--o iooo--o-oiio-oo --------------------------- -----------">(
        own<slot::make>(char_::make), own<slot::to>(char_::make), own<slot::form>(char_::form),
        own<slot::mold>(char_::mold), own<slot::compare>(char_::compare),
        own<slot::add>(char_::add), own<slot::divide>(char_::divide),
        own<slot::multiply>(char_::multiply), own<slot::remainder>(char_::remainder),
        own<slot::subtract>(char_::subtract), own<slot::and_>(char_::and_),
        own<slot::or_>(char_::or_), own<slot::xor_>(char_::xor_));
}
