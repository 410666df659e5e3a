// vector!: series of numbers of one element type: elements, making,
// arithmetic, forming and molding, comparison and modification.
#include "datatypes/vector.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "datatypes/binary.h"
#include "datatypes/block.h"
#include "datatypes/char.h"
#include "datatypes/datatype.h"
#include "datatypes/float.h"
#include "datatypes/integer.h"
#include "datatypes/scalar.h"
#include "datatypes/string.h"
#include "evaluator/errors.h"
#include "evaluator/ownership.h"
#include "evaluator/stack.h"
#include "evaluator/symbol.h"
#include "evaluator/words.h"
#include "runtime/typesets.h"

namespace vector {

namespace {

bool float_type_q(uint32_t type) { return type == TYPE_FLOAT || type == TYPE_PERCENT; }

// Bytes of an element when a spec gives no size.
uint32_t default_size(uint32_t type) { return float_type_q(type) ? 8 : 4; }

// Elements from the index to the tail; an index past the tail counts as
// the tail.
uint32_t length_of(const Cell* vec) {
    uint32_t n = series_of(vec)->count();
    return vec->head() < n ? n - vec->head() : 0;
}

uint32_t clamped_head(const Cell* vec) {
    uint32_t n = series_of(vec)->count();
    return vec->head() < n ? vec->head() : n;
}

// Address of element i (absolute) of the vector, read through its node.
uint8_t* element(const Cell* vec, uint32_t i) {
    SeriesBuffer* s = series_of(vec);
    return s->offset_addr() + static_cast<size_t>(i) * s->unit();
}

// The low bytes of n, little-endian, into an element of `size` bytes.
void put_integer(uint8_t* p, int32_t n, uint32_t size) {
    uint32_t u = static_cast<uint32_t>(n);
    std::memcpy(p, &u, size < 4 ? size : 4);
}

void put_float(uint8_t* p, double d, uint32_t size) {
    if (size == 4) {
        float f = static_cast<float>(d);
        std::memcpy(p, &f, 4);
    } else {
        std::memcpy(p, &d, 8);
    }
}

// script invalid-arg unless the value is of the vector's element type.
void check_element(const Cell* value, uint32_t type) {
    if (value->type() != type) fire(err::INVALID_ARG, value);
}

[[noreturn]] void fire_no_memory() { fire(err::NO_MEMORY); }

}  // namespace

// ---- Elements ----------------------------------------------------------------------

int32_t get_integer(const uint8_t* p, uint32_t size, uint32_t type) {
    bool code_point = type == TYPE_CHAR;
    switch (size) {
        case 1: return code_point ? p[0] : static_cast<int8_t>(p[0]);
        case 2: {
            uint16_t v;
            std::memcpy(&v, p, 2);
            return code_point ? v : static_cast<int16_t>(v);
        }
        default: {
            int32_t v;
            std::memcpy(&v, p, 4);
            return v;
        }
    }
}

double get_float(const uint8_t* p, uint32_t size) {
    if (size == 4) {
        float f;
        std::memcpy(&f, p, 4);
        return f;
    }
    double d;
    std::memcpy(&d, p, 8);
    return d;
}

Cell get_value(const uint8_t* p, uint32_t size, uint32_t type) {
    if (float_type_q(type)) return scalar::make_float(type, get_float(p, size));
    return Cell{type, 0, static_cast<uint32_t>(get_integer(p, size, type)), 0};
}

void set_value(uint8_t* p, const Cell* value, uint32_t size) {
    switch (value->type()) {
        case TYPE_CHAR:
        case TYPE_INTEGER: put_integer(p, value->int_value(), size); return;
        case TYPE_FLOAT:
        case TYPE_PERCENT: put_float(p, value->float_value(), size); return;
        default: scalar::fire_type(err::INVALID_TYPE, value->type());
    }
}

bool valid_element_q(uint32_t type, uint32_t size) {
    switch (type) {
        case TYPE_CHAR:
        case TYPE_INTEGER: return size == 1 || size == 2 || size == 4;
        case TYPE_FLOAT: return size == 4 || size == 8;
        case TYPE_PERCENT: return size == 8;
        default: return false;
    }
}

Cell* make_at(Cell* slot, uint32_t count, uint32_t type, uint32_t size) {
    if (uint64_t{count} * size > memory::MAX_SERIES_SIZE) fire_no_memory();
    Node node = memory::alloc_series(count ? count : 1, size, 0);
    *slot = Cell{TYPE_VECTOR, 0, node, type};
    return slot;
}

// ---- Making ----------------------------------------------------------------------------

namespace {

// The element type a word of a spec names (0 for any other word).
uint32_t type_named(const Cell* word) {
    for (uint32_t t : {TYPE_INTEGER, TYPE_CHAR, TYPE_FLOAT, TYPE_PERCENT}) {
        const datatype::NameEntry* e = datatype::name_entry(t);
        if (e && scalar::word_is(word, e->word.symbol())) return t;
    }
    return 0;
}

// Element size in bytes for a size in bits of a spec (0 when the type has
// no such size); percent! takes any size and is always 64 bits.
uint32_t size_of_bits(uint32_t type, int32_t bits) {
    if (type == TYPE_PERCENT) return 8;
    if (bits != 8 && bits != 16 && bits != 32 && bits != 64) return 0;
    uint32_t size = static_cast<uint32_t>(bits) / 8;
    return valid_element_q(type, size) ? size : 0;
}

// Appends the values of the block from its index, each of the element
// type, then zeros up to `count` elements (the room is there).
void fill(Cell* vec, const Cell* values, uint32_t count) {
    uint32_t type = vec->data3;
    uint32_t n = values ? block::rs_length_q(values) : 0;
    for (uint32_t i = 0; i < n; ++i) check_element(block::rs_head(values) + i, type);
    SeriesBuffer* s = series_of(vec);
    uint32_t size = s->unit();
    for (uint32_t i = 0; i < n; ++i) set_value(s->tail_addr() + i * size, block::rs_head(values) + i, size);
    std::memset(s->tail_addr() + n * size, 0, static_cast<size_t>(count - n) * size);
    s->tail += count * size;
}

}  // namespace

Cell* make(Cell* proto, Cell* spec, uint32_t) {
    if (spec->type() == TYPE_INTEGER || spec->type() == TYPE_FLOAT) {
        int32_t n = integer::checked(spec);
        uint32_t count = n > 0 ? static_cast<uint32_t>(n) : 0;
        make_at(proto, count, TYPE_INTEGER, 4);
        fill(proto, nullptr, count);
        return proto;
    }
    if (spec->type() != TYPE_BLOCK) fire(err::NOT_DONE);
    Cell blk = *spec;
    uint32_t len = block::rs_length_q(&blk);
    const Cell* cells = block::rs_head(&blk);
    uint32_t type = TYPE_INTEGER, size = 4;
    int64_t count = -1;
    Cell values = blk;
    bool has_values = true;
    if (len > 0 && cells[0].type() == TYPE_WORD) {
        type = type_named(&cells[0]);
        if (type == 0 || len < 2) scalar::bad_make_arg(TYPE_VECTOR, &blk);
        uint32_t i = 1;
        size = default_size(type);
        if (cells[1].type() == TYPE_INTEGER) {
            size = size_of_bits(type, cells[1].int_value());
            if (size == 0) scalar::bad_make_arg(TYPE_VECTOR, &blk);
            i = 2;
        } else if (type != TYPE_PERCENT) {
            fire(err::INVALID_SPEC_FIELD, &blk);
        }
        if (i < len && cells[i].type() == TYPE_INTEGER) {
            count = cells[i].int_value();
            ++i;
            has_values = i < len && cells[i].type() == TYPE_BLOCK;
        } else if (i >= len || cells[i].type() != TYPE_BLOCK) {
            fire(err::INVALID_SPEC_FIELD, &blk);
        }
        if (has_values) values = cells[i];
    } else if (len > 0) {
        type = cells[0].type();
        if (type != TYPE_INTEGER && type != TYPE_CHAR && type != TYPE_FLOAT && type != TYPE_PERCENT)
            scalar::fire_type(err::INVALID_TYPE, type);
        size = default_size(type);
    }
    uint32_t n = has_values ? block::rs_length_q(&values) : 0;
    if (count < 0 || n >= count) count = n;
    if (count > 0x7FFFFFFF) fire_no_memory();
    make_at(proto, static_cast<uint32_t>(count), type, size);
    fill(proto, has_values ? &values : nullptr, static_cast<uint32_t>(count));
    return proto;
}

// ---- Arithmetic ------------------------------------------------------------------------

namespace {

bool commutative_q(int32_t op) {
    return op == integer::OP_ADD || op == integer::OP_MUL || op == integer::OP_OR || op == integer::OP_AND ||
           op == integer::OP_XOR;
}

// Whether element op scalar (or, for an operation that commutes, scalar op
// element) leaves every element as it is.
bool identity_q(int32_t op, double scalar, bool scalar_left) {
    if (scalar_left && !commutative_q(op)) return false;
    switch (op) {
        case integer::OP_ADD:
        case integer::OP_SUB: return scalar == 0;
        case integer::OP_MUL:
        case integer::OP_DIV: return scalar == 1;
        default: return false;
    }
}

// One integer element operation, wrapping at 32 bits. A 32-bit char!
// element must stay a code point: a result outside 0..10FFFF raises math
// overflow, as char! arithmetic does.
int32_t integer_op(int32_t a, int32_t b, int32_t op, bool char32) {
    int32_t r = integer::do_math_op(a, b, op, nullptr);
    if (char32 && (r < 0 || r > char_::max_code_point)) fire(err::OVERFLOW);
    return r;
}

// The vector changed in place: each element becomes element op scalar, or
// scalar op element when the scalar was the left operand.
void do_math(Cell* vec, const Cell* scalar, int32_t op, bool scalar_left) {
    uint32_t type = vec->data3;
    bool floats = float_type_q(type);
    double d = 0;
    int32_t k = 0;
    switch (scalar->type()) {
        case TYPE_INTEGER:
            k = scalar->int_value();
            d = k;
            break;
        case TYPE_FLOAT:
        case TYPE_PERCENT:
            d = scalar->float_value();
            k = integer::truncate(d);
            if (!floats) d = k;
            break;
        default: fire(err::NOT_DONE);
    }
    if (identity_q(op, d, scalar_left)) return;
    uint32_t head = clamped_head(vec);
    uint32_t n = length_of(vec);
    uint32_t size = series_of(vec)->unit();
    if (floats) {
        for (uint32_t i = 0; i < n; ++i) {
            uint8_t* p = element(vec, head + i);
            double e = get_float(p, size);
            put_float(p, scalar_left ? float_::do_math_op(d, e, op) : float_::do_math_op(e, d, op), size);
        }
        return;
    }
    bool char32 = type == TYPE_CHAR && size == 4;
    auto apply = [&](int32_t e) { return scalar_left ? integer_op(k, e, op, char32) : integer_op(e, k, op, char32); };
    // An operation that fails on some element fails before any element
    // changed.
    if (op == integer::OP_DIV || op == integer::OP_REM || char32)
        for (uint32_t i = 0; i < n; ++i) apply(get_integer(element(vec, head + i), size, type));
    for (uint32_t i = 0; i < n; ++i) {
        uint8_t* p = element(vec, head + i);
        put_integer(p, apply(get_integer(p, size, type)), size);
    }
}

// A new vector of value1's element type, as wide as the wider operand and as
// long as the shorter, element k being (value1 k) op (value2 k); written
// into value1's cell.
Cell* with_vector(Cell* value1, Cell* value2, int32_t op) {
    uint32_t type = value1->data3;
    if (value2->data3 != type) fire(err::NOT_SAME_TYPE);
    uint32_t la = length_of(value1), lb = length_of(value2);
    uint32_t n = la < lb ? la : lb;
    uint32_t ua = series_of(value1)->unit(), ub = series_of(value2)->unit();
    uint32_t size = ua > ub ? ua : ub;
    Cell* slot = stack::push_slot();
    make_at(slot, n, type, size);
    // Read the operands only now: the allocation may have moved them.
    uint32_t ha = clamped_head(value1), hb = clamped_head(value2);
    for (uint32_t i = 0; i < n; ++i) {
        const uint8_t* a = element(value1, ha + i);
        const uint8_t* b = element(value2, hb + i);
        uint8_t* r = element(slot, i);
        if (float_type_q(type))
            put_float(r, float_::do_math_op(get_float(a, ua), get_float(b, ub), op), size);
        else
            put_integer(r, integer_op(get_integer(a, ua, type), get_integer(b, ub, type), op, type == TYPE_CHAR && size == 4),
                        size);
    }
    series_of(slot)->tail += n * size;
    Cell result = *slot;
    stack::pop(1);
    return copy_cell(&result, value1);
}

// The arithmetic actions of a vector on the left.
Cell* do_arithmetic(Cell* value1, Cell* value2, int32_t op) {
    if (value2->type() == TYPE_VECTOR) return with_vector(value1, value2, op);
    do_math(value1, value2, op, false);
    return value1;
}

using Math = scalar::Math<do_arithmetic>;

}  // namespace

Cell* scalar_math(Cell* scalar, Cell* vec, int32_t op) {
    do_math(vec, scalar, op, true);
    return copy_cell(vec, scalar);
}

// ---- Forming and molding -----------------------------------------------------------------

namespace {

// Appends the text of element i of the vector; answers the characters
// appended.
int32_t append_element(Cell* vec, uint32_t i, Cell* buffer, bool mold) {
    uint32_t type = vec->data3;
    uint32_t size = series_of(vec)->unit();
    Cell e = get_value(element(vec, i), size, type);
    const char* text;
    switch (type) {
        case TYPE_CHAR: {
            uint32_t cp = e.data2;
            if (mold) {
                string::concatenate_literal(buffer, "#\"");
                int32_t n = char_::append_escaped(buffer, cp, false);
                string::concatenate_literal(buffer, "\"");
                return n + 3;
            }
            if (cp < 32 || (cp >= 127 && cp <= 159)) return char_::append_escaped(buffer, cp, false);
            string::append_char(series_of(buffer), cp);
            return 1;
        }
        case TYPE_FLOAT:
            text = float_::form_float(e.float_value(), size == 4 ? float_::KIND_VECTOR_F32 : float_::KIND_FLOAT);
            break;
        case TYPE_PERCENT:
            text = float_::form_float(e.float_value() * 100.0,
                                      size == 4 ? float_::KIND_VECTOR_PERCENT : float_::KIND_PERCENT);
            break;
        default: text = integer::form_signed(e.int_value()); break;
    }
    string::concatenate_literal(buffer, text);
    return static_cast<int32_t>(std::strlen(text));
}

// The elements from the index, one space apart; stops once a /part limit
// is used up. Answers the budget left.
int32_t form_elements(Cell* vec, Cell* buffer, bool mold, bool part, int32_t limit) {
    uint32_t head = clamped_head(vec);
    uint32_t n = length_of(vec);
    for (uint32_t i = 0; i < n; ++i) {
        if (part && limit <= 0) return limit;
        if (i > 0) limit = scalar::append(buffer, " ", limit);
        limit -= append_element(vec, head + i, buffer, mold);
    }
    return limit;
}

}  // namespace

int32_t form(Cell* value, Cell* buffer, Cell* part, int32_t limit) {
    Cell vec = *value;
    return form_elements(&vec, buffer, false, part != nullptr, limit);
}

int32_t mold(Cell* value, Cell* buffer, bool only, bool, bool, Cell* part, int32_t limit, int32_t) {
    Cell vec = *value;
    bool limited = part != nullptr;
    uint32_t type = vec.data3;
    uint32_t size = series_of(&vec)->unit();
    if (!only) limit = scalar::append(buffer, "make vector! [", limit);
    bool long_form = length_of(&vec) == 0 || size != default_size(type);
    if (long_form) {
        char text[48];
        std::snprintf(text, sizeof text, "%s %u [", datatype::name_of(type), size * 8);
        limit = scalar::append(buffer, text, limit);
    }
    if (limited && limit <= 0) return limit;
    limit = form_elements(&vec, buffer, true, limited, limit);
    if (limited && limit <= 0) return limit;
    // The inner bracket is closed under /only too, so that the text loads.
    if (long_form) limit = scalar::append(buffer, "]", limit);
    if (!only) limit = scalar::append(buffer, "]", limit);
    return limit;
}

// ---- Comparison ----------------------------------------------------------------------

int32_t compare_elements(const uint8_t* a, uint32_t size_a, const uint8_t* b, uint32_t size_b, uint32_t type) {
    if (float_type_q(type)) {
        double x = get_float(a, size_a), y = get_float(b, size_b);
        return x < y ? -1 : x > y ? 1 : 0;
    }
    int32_t x = get_integer(a, size_a, type), y = get_integer(b, size_b, type);
    return x < y ? -1 : x > y ? 1 : 0;
}

int32_t compare(Cell* value1, Cell* value2, int32_t op) {
    if (value2->type() != TYPE_VECTOR) return actions::NOT_COMPARABLE;
    uint32_t type = value1->data3;
    if (value2->data3 != type) fire(err::NOT_SAME_TYPE);
    uint32_t ha = clamped_head(value1), hb = clamped_head(value2);
    bool same = value1->node() == value2->node() && ha == hb;
    if (op == actions::COMP_SAME) return same ? 0 : -1;
    uint32_t la = length_of(value1), lb = length_of(value2);
    bool equality = op == actions::COMP_EQUAL || op == actions::COMP_NOT_EQUAL ||
                    op == actions::COMP_STRICT_EQUAL || op == actions::COMP_FIND;
    if (equality) {
        if (same) return 0;
        if (la != lb) return 1;
    }
    uint32_t ua = series_of(value1)->unit(), ub = series_of(value2)->unit();
    uint32_t n = la < lb ? la : lb;
    for (uint32_t i = 0; i < n; ++i)
        if (int32_t r = compare_elements(element(value1, ha + i), ua, element(value2, hb + i), ub, type)) return r;
    return la == lb ? 0 : la < lb ? -1 : 1;
}

// ---- Modification -----------------------------------------------------------------------

namespace {

// The values a modification writes: those of a value of the `lists` types
// from its index (at most `limit` of them when limit >= 0), the elements of
// a vector from its index when `vectors`, or the value itself; each must be
// of the element type. Kept outside the collected heap: they are scalars.
std::vector<Cell> values_of(const Cell* value, typesets::Mask lists, bool vectors, int64_t limit, uint32_t type) {
    std::vector<Cell> out;
    Cell v = *value;
    if (in(lists, v.type())) {
        uint32_t n = block::rs_length_q(&v);
        if (limit >= 0 && limit < n) n = static_cast<uint32_t>(limit);
        out.assign(block::rs_head(&v), block::rs_head(&v) + n);
    } else if (vectors && v.type() == TYPE_VECTOR) {
        uint32_t head = clamped_head(&v), n = length_of(&v);
        uint32_t size = series_of(&v)->unit();
        out.reserve(n);
        for (uint32_t i = 0; i < n; ++i) out.push_back(get_value(element(&v, head + i), size, v.data3));
    } else {
        out.push_back(v);
    }
    for (const Cell& c : out) check_element(&c, type);
    return out;
}

// The elements of the values, repeated `dup` times, as the bytes of the
// vector's element size; no-memory when the vector could not hold them
// besides the `kept` elements it keeps.
std::vector<uint8_t> bytes_of(const std::vector<Cell>& values, int32_t dup, uint32_t size, uint64_t kept) {
    uint64_t count = uint64_t{values.size()} * static_cast<uint32_t>(dup < 1 ? 1 : dup);
    if ((count + kept) * size > memory::MAX_SERIES_SIZE) fire_no_memory();
    std::vector<uint8_t> bytes(static_cast<size_t>(count * size));
    size_t run = values.size() * size;
    for (size_t i = 0; i < values.size(); ++i) set_value(bytes.data() + i * size, &values[i], size);
    for (size_t at = run; at < bytes.size(); at += run) std::memcpy(bytes.data() + at, bytes.data(), run);
    return bytes;
}

// The vector's buffer seen as bytes from its head, for binary!'s raw
// insertion (which counts its offsets in bytes).
Cell bytes_cell(const Cell* vec) { return Cell{TYPE_BINARY, 0, vec->node(), 0}; }

}  // namespace

Cell* insert(Cell* series, Cell* value, int32_t part, bool, int32_t dup, bool append) {
    uint32_t size = series_of(series)->unit();
    std::vector<Cell> values =
        values_of(value, typesets::of({TYPE_BLOCK, TYPE_PAREN, TYPE_HASH}), false, part, series->data3);
    if (values.empty()) return series;
    uint32_t length = series_of(series)->count();
    std::vector<uint8_t> bytes = bytes_of(values, dup, size, length);
    uint32_t at = append ? length : clamped_head(series);
    auto count = static_cast<uint32_t>(bytes.size() / size);
    Cell target = *series;
    bool notify = ownership::before(&target, append ? words::append : words::insert, value, static_cast<int32_t>(at),
                                    static_cast<int32_t>(count));
    Cell raw = bytes_cell(series);
    binary::rs_insert(&raw, at * size, bytes.data(), static_cast<uint32_t>(bytes.size()));
    ownership::after(notify, &target, append ? words::appended : words::inserted, value, static_cast<int32_t>(at),
                     static_cast<int32_t>(count));
    if (!append) series->data1 = at + count;
    return series;
}

Cell* change(Cell* series, Cell* value, int32_t part, bool, int32_t dup) {
    uint32_t size = series_of(series)->unit();
    // Read first: the value may be this vector.
    std::vector<Cell> values = values_of(value, ANY_BLOCK, true, -1, series->data3);
    uint32_t length = series_of(series)->count();
    uint32_t at = clamped_head(series);
    uint32_t left = length - at;
    uint64_t wanted = uint64_t{values.size()} * static_cast<uint32_t>(dup < 1 ? 1 : dup);
    uint64_t replaced = part >= 0 ? static_cast<uint64_t>(part) : wanted;
    if (replaced > left) replaced = left;
    std::vector<uint8_t> bytes = bytes_of(values, dup, size, length - replaced);
    auto count = static_cast<uint32_t>(bytes.size() / size);
    auto cut = static_cast<uint32_t>(replaced);
    Cell target = *series;
    bool notify = ownership::before(&target, words::change, value, static_cast<int32_t>(at), static_cast<int32_t>(count));
    uint32_t over = count < cut ? count : cut;
    if (over) std::memcpy(element(series, at), bytes.data(), static_cast<size_t>(over) * size);
    Cell raw = bytes_cell(series);
    if (count > cut) {
        binary::rs_insert(&raw, (at + cut) * size, bytes.data() + size_t{cut} * size, (count - cut) * size);
    } else if (count < cut) {
        SeriesBuffer* s = series_of(series);
        uint8_t* p = element(series, at + count);
        std::memmove(p, p + size_t{cut - count} * size, size_t{length - at - cut} * size);
        s->tail -= (cut - count) * size;
    }
    ownership::after(notify, &target, words::changed, value, static_cast<int32_t>(at), static_cast<int32_t>(count));
    uint32_t end = series_of(series)->count();
    series->data1 = at + count < end ? at + count : end;
    return series;
}

}  // namespace vector

// ---- Registration --------------------------------------------------------------

template <>
void datatype::init_type<TYPE_VECTOR>() {
    using vector::Math;
    register_type<TYPE_VECTOR, "oii-ooi-o -ooo--o-o--o-oo oiioiiiiiioiiiii-iiiii-iii- ---i-------">(
        own<slot::make>(vector::make), own<slot::form>(vector::form), own<slot::mold>(vector::mold),
        own<slot::compare>(vector::compare), own<slot::add>(Math::add), own<slot::divide>(Math::divide),
        own<slot::multiply>(Math::multiply), own<slot::remainder>(Math::remainder),
        own<slot::subtract>(Math::subtract), own<slot::and_>(Math::and_), own<slot::or_>(Math::or_),
        own<slot::xor_>(Math::xor_), own<slot::append>(vector::insert), own<slot::change>(vector::change),
        own<slot::insert>(vector::insert));
}
