// bitset!: sets of code points and bytes as bit arrays: storage, the make-spec
// walker behind make/append/find/pick/poke/remove, set operations and mold.
#include "datatypes/bitset.h"

#include <cmath>
#include <cstring>
#include <string>

#include "datatypes/block.h"
#include "datatypes/binary.h"
#include "datatypes/datatype.h"
#include "datatypes/string.h"
#include "datatypes/word.h"
#include "evaluator/cycles.h"
#include "evaluator/errors.h"
#include "evaluator/ownership.h"
#include "evaluator/stack.h"
#include "evaluator/symbol.h"
#include "evaluator/words.h"
#include "runtime/typesets.h"

namespace bitset {

namespace {

uint8_t fill_of(bool complemented) { return complemented ? 0xFF : 0x00; }

bool word_is_q(const Cell* value, uint32_t symbol) {
    return value->type() == TYPE_WORD && symbol::resolve(value->symbol()) == symbol::resolve(symbol);
}

void set_logic(Cell* slot, bool b) { *slot = Cell{TYPE_LOGIC, b ? 1u : 0u, 0, 0}; }

// The highest number a bitset can hold in its bits: its length? (8 × the
// stored bytes) must stay a 32-bit integer.
constexpr int64_t MAX_BIT = int64_t{INT32_MAX / 8} * 8 - 1;

// Number of stored bits (as a 64-bit count: up to 2^35).
int64_t stored_bits(const Cell* bits) { return int64_t{rs_length_q(bits)} * 8; }

// Sets or clears the bits lo..hi (all stored) of the array at p.
void write_bits(uint8_t* p, int64_t lo, int64_t hi, bool set) {
    while (lo <= hi && (lo & 7) != 0) {
        uint8_t m = static_cast<uint8_t>(0x80u >> (lo & 7));
        p[lo >> 3] = set ? p[lo >> 3] | m : p[lo >> 3] & ~m;
        ++lo;
    }
    if (hi - lo + 1 >= 8) {
        int64_t whole = (hi - lo + 1) >> 3;
        std::memset(p + (lo >> 3), set ? 0xFF : 0x00, static_cast<size_t>(whole));
        lo += whole * 8;
    }
    for (; lo <= hi; ++lo) {
        uint8_t m = static_cast<uint8_t>(0x80u >> (lo & 7));
        p[lo >> 3] = set ? p[lo >> 3] | m : p[lo >> 3] & ~m;
    }
}

// Whether every bit lo..hi (all stored) is set.
bool all_set_q(const uint8_t* p, int64_t lo, int64_t hi) {
    for (; lo <= hi; ++lo) {
        if ((lo & 7) == 0 && hi - lo >= 7) {
            if (p[lo >> 3] != 0xFF) return false;
            lo += 7;
            continue;
        }
        if ((p[lo >> 3] & (0x80u >> (lo & 7))) == 0) return false;
    }
    return true;
}

Cell datatype_cell(uint32_t type) {
    Cell dt{};
    datatype::make_at(&dt, type);
    return dt;
}

// A spec value that lists no numbers.
[[noreturn]] void fire_bad_spec(const Cell* value, int32_t caller) {
    Cell dt = datatype_cell(TYPE_BITSET);
    switch (caller) {
        case CALLER_MAKE: fire(err::BAD_MAKE_ARG, &dt, value);
        case CALLER_TO: fire(err::BAD_TO_ARG, &dt, value);
        default: fire(err::INVALID_ARG, value);
    }
}

}  // namespace

// ---- Storage ----------------------------------------------------------------------

uint8_t* rs_head(const Cell* bits) { return series_of(bits)->offset_addr(); }
uint8_t* rs_tail(const Cell* bits) { return series_of(bits)->tail_addr(); }
uint32_t rs_length_q(const Cell* bits) {
    SeriesBuffer* s = series_of(bits);
    return s->tail - s->offset;
}
bool complemented_q(const Cell* bits) { return (series_of(bits)->flags & SERIES_COMPLEMENT) != 0; }

uint8_t* rs_expand(Cell* bits, uint32_t bit) {
    SeriesBuffer* s = series_of(bits);
    uint32_t need = (bit >> 3) + 1;
    if (s->size - s->offset < need)
        s = memory::expand_series_filled(s, need, fill_of((s->flags & SERIES_COMPLEMENT) != 0));
    if (s->tail - s->offset < need) s->tail = s->offset + need;
    return s->offset_addr();
}

void invert_bytes(SeriesBuffer* s) {
    uint8_t* p = s->offset_addr();
    for (uint32_t i = 0, n = s->size - s->offset; i < n; ++i) p[i] = static_cast<uint8_t>(~p[i]);
}

bool match_char_q(const Cell* input, const Cell* bits) {
    if (string::rs_length_q(input) == 0) return false;
    return member_q(bits, string::rs_abs_at(input, input->head()));
}

bool member_q(const Cell* bits, int64_t n) {
    if (n < 0) return false;
    if (n >= stored_bits(bits)) return complemented_q(bits);
    return (rs_head(bits)[n >> 3] & (0x80u >> (n & 7))) != 0;
}

Cell* make_at(Cell* cell, uint32_t bytes, bool complemented) {
    set_header(cell, TYPE_UNSET);  // never half-made while the buffer is allocated
    cell->data1 = cell->data2 = cell->data3 = 0;
    Node node = memory::alloc_bytes_filled(bytes, fill_of(complemented));
    SeriesBuffer* s = memory::buffer(node);
    s->tail = s->offset + bytes;
    if (complemented) s->flags |= SERIES_COMPLEMENT;
    cell->data2 = node;
    set_header(cell, TYPE_BITSET);
    return cell;
}

// ---- Spec walking -------------------------------------------------------------------

namespace {

struct Walk {
    Cell* bits;
    int32_t op;
    int32_t caller;
    int64_t highest = -1;
};

// Applies the operation to one number; for test answers membership.
bool number(Walk& w, int64_t n, const Cell* value) {
    if (n < 0 || n > MAX_BIT) {
        if (w.op == OP_TEST) return n > MAX_BIT && complemented_q(w.bits);
        fire(err::OUT_OF_RANGE, value);
    }
    if (n > w.highest) w.highest = n;
    return process_range(w.bits, n, n, w.op) != 0;
}

bool walk(const Cell* spec, Walk& w);

bool walk_block(const Cell* spec, Walk& w) {
    uint32_t length = block::rs_length_q(spec);
    if (length == 0) return w.op != OP_TEST;
    cycles::enter(spec->node());
    bool all = true;
    for (uint32_t i = 0; i < length; ++i) {
        // The block is read again at each step: setting bits may allocate.
        Cell item = block::rs_head(spec)[i];
        bool member;
        if ((item.type() == TYPE_CHAR || item.type() == TYPE_INTEGER) && i + 1 < length &&
            word_is_q(block::rs_head(spec) + i + 1, words::sym::dash)) {
            if (i + 2 >= length) fire(err::PAST_END);
            Cell upper = block::rs_head(spec)[i + 2];
            if (upper.type() != item.type()) fire(err::INVALID_ARG, &upper);
            int64_t lo = item.int_value(), hi = upper.int_value();
            if (hi < lo) fire(err::PAST_END);
            i += 2;
            if (lo < 0) {
                if (w.op != OP_TEST) fire(err::OUT_OF_RANGE, &item);
                member = false;
            } else if (hi > MAX_BIT && w.op != OP_TEST) {
                fire(err::OUT_OF_RANGE, &upper);
            } else {
                if (hi > w.highest) w.highest = hi;
                member = process_range(w.bits, lo, hi, w.op) != 0;
            }
        } else {
            member = walk(&item, w);
        }
        if (w.op == OP_TEST && !member) all = false;
        if (!all) break;
    }
    cycles::pop();
    return all;
}

bool walk(const Cell* spec, Walk& w) {
    switch (spec->type()) {
        case TYPE_CHAR:
        case TYPE_INTEGER: return number(w, spec->int_value(), spec);
        case TYPE_FLOAT: {
            double d = spec->float_value();
            if (std::isnan(d) || d >= 2147483648.0 || d <= -2147483649.0) {
                if (w.op == OP_TEST) return false;
                fire(err::OUT_OF_RANGE, spec);
            }
            return number(w, static_cast<int64_t>(std::trunc(d)), spec);
        }
        case TYPE_BLOCK:
        case TYPE_PAREN:
        case TYPE_HASH: return walk_block(spec, w);
        case TYPE_BINARY: fire(err::NOT_DONE);
        default:
            if (!in(ANY_STRING, spec->type())) fire_bad_spec(spec, w.caller);
            if (w.op == OP_MEASURE || w.op == OP_SET) {
                int64_t top = process_string(spec, nullptr, OP_MEASURE);
                if (top > w.highest) w.highest = top;
                if (w.op == OP_MEASURE) return true;
            }
            return process_string(spec, w.bits, w.op) != 0;
    }
}

}  // namespace

int32_t process(const Cell* spec, Cell* bits, int32_t op, bool nested, int32_t caller) {
    Walk w{bits, op, caller};
    bool result = walk(spec, w);
    if (op == OP_TEST) return result ? 1 : 0;
    if (nested) return op == OP_MEASURE ? static_cast<int32_t>(w.highest) : 0;
    if (op == OP_MEASURE || op == OP_SET) {
        int64_t bytes = (w.highest + 8) >> 3;
        if (bytes < 1) bytes = 1;
        if (op == OP_MEASURE) return static_cast<int32_t>(bytes);
        if (rs_length_q(bits) < bytes) rs_expand(bits, static_cast<uint32_t>(bytes * 8 - 1));
    }
    return 0;
}

int32_t process_range(Cell* bits, int64_t low, int64_t high, int32_t op) {
    if (op == OP_MEASURE) return 0;
    bool complemented = complemented_q(bits);
    int64_t stored = stored_bits(bits);
    switch (op) {
        case OP_SET:
            // Numbers beyond the stored bits of a complemented bitset are
            // members already.
            if (complemented) {
                if (low < stored) write_bits(rs_head(bits), low, high < stored ? high : stored - 1, true);
            } else {
                write_bits(rs_expand(bits, static_cast<uint32_t>(high)), low, high, true);
            }
            return 0;
        case OP_CLEAR:
            if (complemented) {
                write_bits(rs_expand(bits, static_cast<uint32_t>(high)), low, high, false);
            } else if (low < stored) {
                write_bits(rs_head(bits), low, high < stored ? high : stored - 1, false);
            }
            return 0;
        default: {
            // Every number of the range must be a member; those beyond the
            // stored bits answer the complement flag.
            if (high >= stored && !complemented) return 0;
            if (low < stored && !all_set_q(rs_head(bits), low, high < stored ? high : stored - 1)) return 0;
            return 1;
        }
    }
}

int64_t process_string(const Cell* str, Cell* bits, int32_t op) {
    uint32_t n = string::rs_length_q(str);
    if (!bits || op == OP_MEASURE) {
        int64_t highest = -1;
        for (uint32_t i = 0; i < n; ++i) {
            int64_t cp = string::rs_abs_at(str, str->head() + i);
            if (cp > highest) highest = cp;
        }
        return highest;
    }
    if (op == OP_TEST && n == 0) return 0;
    for (uint32_t i = 0; i < n; ++i) {
        int64_t cp = string::rs_abs_at(str, str->head() + i);
        if (process_range(bits, cp, cp, op) == 0 && op == OP_TEST) return 0;
    }
    return op == OP_TEST ? 1 : 0;
}

// ---- Making --------------------------------------------------------------------------

Cell* make_from(const Cell* spec, bool to, Cell* out) {
    Cell source = *spec;
    bool invert = false;
    if ((source.type() == TYPE_BLOCK || source.type() == TYPE_PAREN) && block::rs_length_q(&source) > 0 &&
        word_is_q(block::rs_clamp_head(&source), words::sym::not_)) {
        invert = true;
        source.data1 += 1;  // the rest of this spec
        if (block::rs_length_q(&source) > 0 && block::rs_clamp_head(&source)->type() == TYPE_BINARY)
            source = *block::rs_clamp_head(&source);
    }
    int32_t caller = to ? CALLER_TO : CALLER_MAKE;
    if (!invert && (source.type() == TYPE_INTEGER || source.type() == TYPE_FLOAT)) {
        if (to) fire_bad_spec(&source, CALLER_TO);
        double size = source.type() == TYPE_INTEGER ? source.int_value() : std::trunc(source.float_value());
        if (std::isnan(size) || size < 0 || size > static_cast<double>(MAX_BIT + 1))
            fire(err::OUT_OF_RANGE, &source);
        uint32_t bits = static_cast<uint32_t>(size);
        return make_at(out, static_cast<uint32_t>((uint64_t{bits} + 7) >> 3), false);
    }
    if (!invert && source.type() == TYPE_BITSET) return copy(&source, out, nullptr, false, nullptr);
    if (source.type() == TYPE_BINARY) {
        uint32_t n = binary::rs_length_q(&source);
        if (n > (MAX_BIT + 1) / 8) fire_int(err::OUT_OF_RANGE, static_cast<int32_t>(n));
        make_at(out, n, invert);
        // Read the bytes only now: the allocation may have moved them.
        const uint8_t* src = binary::rs_head(&source);
        uint8_t* dst = rs_head(out);
        for (uint32_t i = 0; i < n; ++i) dst[i] = invert ? static_cast<uint8_t>(~src[i]) : src[i];
        return out;
    }
    int32_t bytes = process(&source, nullptr, OP_MEASURE, false, caller);
    make_at(out, static_cast<uint32_t>(bytes), invert);
    process(&source, out, invert ? OP_CLEAR : OP_SET, false, caller);
    return out;
}

Cell* make(Cell* proto, Cell* spec, uint32_t) { return make_from(spec, false, proto); }
Cell* to(Cell* proto, Cell* spec, uint32_t) { return make_from(spec, true, proto); }

// ---- Set operations ---------------------------------------------------------------------

Cell* do_bitwise(Cell* value1, Cell* value2, int32_t op) {
    if (op == 8) return value1;
    if (value2->type() != TYPE_BITSET) {
        Cell dt = datatype_cell(value2->type());
        fire(err::INVALID_TYPE, &dt);
    }
    bool ca = complemented_q(value1), cb = complemented_q(value2);
    uint32_t la = rs_length_q(value1), lb = rs_length_q(value2);
    enum { OR, AND, XOR, EXCLUDE } kind;
    switch (op) {
        case 5: case 9: kind = OR; break;
        case 6: case 10: kind = AND; break;
        case 7: case 12: kind = XOR; break;
        case 11: kind = EXCLUDE; break;
        default: fire_int(err::INVALID_ARG, op);
    }
    bool flag = kind == OR ? (ca || cb) : kind == AND ? (ca && cb) : kind == XOR ? (ca != cb) : (ca && !cb);
    uint32_t n = la > lb ? la : lb;
    // and~ keeps the shorter length where that loses nothing: when the
    // shorter operand is plain, nothing beyond it can be in the result.
    if (op == 6 && la != lb && !(la < lb ? ca : cb)) n = la < lb ? la : lb;

    Cell result;
    make_at(stack::push_slot(), n, flag);
    result = *stack::top_cell();
    // The operands are read only now: the allocation may have moved them.
    const uint8_t* a = rs_head(value1);
    const uint8_t* b = rs_head(value2);
    uint8_t* r = rs_head(&result);
    uint8_t pa = fill_of(ca), pb = fill_of(cb);
    for (uint32_t i = 0; i < n; ++i) {
        uint8_t x = i < la ? a[i] : pa;
        uint8_t y = i < lb ? b[i] : pb;
        switch (kind) {
            case OR: r[i] = x | y; break;
            case AND: r[i] = x & y; break;
            case XOR: r[i] = x ^ y; break;
            case EXCLUDE: r[i] = x & static_cast<uint8_t>(~y); break;
        }
    }
    stack::pop(1);
    return copy_cell(&result, value1);
}

Cell* do_bitwise(int32_t op) { return do_bitwise(stack::arguments, stack::arguments + 1, op); }

Cell* and_(Cell* value1, Cell* value2) { return do_bitwise(value1, value2, 6); }
Cell* or_(Cell* value1, Cell* value2) { return do_bitwise(value1, value2, 5); }
Cell* xor_(Cell* value1, Cell* value2) { return do_bitwise(value1, value2, 7); }

// ---- Forming and molding ----------------------------------------------------------------

int32_t form_bytes(const Cell* bits, Cell* buffer, bool has_limit, int32_t limit, bool invert) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    const uint8_t* p = rs_head(bits);  // nothing allocates until the text is appended
    for (uint32_t i = 0, n = rs_length_q(bits); i < n; ++i) {
        if (has_limit && limit < 0) break;
        uint8_t b = invert ? static_cast<uint8_t>(~p[i]) : p[i];
        out += digits[b >> 4];
        out += digits[b & 15];
        limit -= 2;
    }
    string::concatenate_literal_part(buffer, out.data(), static_cast<uint32_t>(out.size()));
    return limit;
}

int32_t mold(Cell* value, Cell* buffer, bool, bool, bool, Cell* part, int32_t limit, int32_t) {
    bool has_limit = part != nullptr;
    bool complemented = complemented_q(value);
    string::concatenate_literal(buffer, "make bitset! ");
    limit -= 13;
    if (complemented) {
        string::concatenate_literal(buffer, "[not ");
        limit -= 5;
    }
    string::concatenate_literal(buffer, "#{");
    limit -= 2;
    limit = form_bytes(value, buffer, has_limit, limit, complemented);
    if (has_limit && limit <= 0) return limit;
    string::concatenate_literal(buffer, complemented ? "}]" : "}");
    return limit - (complemented ? 2 : 1);
}

int32_t form(Cell* value, Cell* buffer, Cell* part, int32_t limit) {
    return mold(value, buffer, false, false, false, part, limit, 0);
}

// ---- Comparison -----------------------------------------------------------------------------

int32_t compare(Cell* value1, Cell* value2, int32_t op) {
    if (value2->type() != TYPE_BITSET) return actions::NOT_COMPARABLE;
    if (op == actions::COMP_SAME) return value1->node() == value2->node() ? 0 : 1;
    uint32_t la = rs_length_q(value1), lb = rs_length_q(value2);
    if (la != lb) return la < lb ? -1 : 1;
    if (la == 0) return 0;
    bool ca = complemented_q(value1), cb = complemented_q(value2);
    if (ca != cb) return ca ? 1 : -1;
    const uint8_t* a = rs_head(value1);
    const uint8_t* b = rs_head(value2);
    for (uint32_t i = la; i-- > 0;)
        if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
    return 0;
}

// ---- Actions ---------------------------------------------------------------------------

Cell* reflect(Cell* value, Cell* field) {
    if (field->type() != TYPE_WORD || symbol::resolve(field->symbol()) != symbol::resolve(words::sym::owned))
        fire(err::NOT_DONE);
    return ownership::reflect_owner(value);
}

Cell* modify(Cell* target, Cell* field, Cell* value, bool) {
    if (in(ALL_WORD, field->type()) && symbol::resolve(field->symbol()) == symbol::resolve(words::sym::owned))
        ownership::modify_owned(target, value);
    return value;
}

Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell*, Cell*, Cell*, int32_t, bool, bool, bool) {
    if (element->type() != TYPE_INTEGER && element->type() != TYPE_CHAR) {
        Cell dt = datatype_cell(element->type());
        fire(err::INVALID_TYPE, &dt);
    }
    if (value) return poke(parent, element->int_value(), value, element);
    bool member = process(element, parent, OP_TEST, false, CALLER_OTHER) != 0;
    Cell* r = stack::push_slot();
    set_logic(r, member);
    return r;
}

Cell* complement(Cell* value) {
    Cell original = *value;
    copy(&original, value, nullptr, false, nullptr);
    SeriesBuffer* s = series_of(value);
    invert_bytes(s);
    s->flags ^= SERIES_COMPLEMENT;
    return value;
}

// The owner of a bitset hears of a change as of the whole set (index 0,
// part 1).
Cell* insert(Cell* series, Cell* value, int32_t, bool, int32_t, bool append) {
    Cell target = *series;
    bool notify = ownership::before(&target, append ? words::append : words::insert, value, 0, 1);
    process(value, series, OP_SET, false, CALLER_OTHER);
    ownership::after(notify, &target, append ? words::appended : words::inserted, value, 0, 1);
    return series;
}

Cell* clear(Cell* series) {
    // An empty set: no stored member and none beyond, so a complemented
    // bitset loses its flag, and the whole capacity goes back to 0.
    Cell target = *series;
    bool notify = ownership::before(&target, words::clear, nullptr, 0, 1);
    SeriesBuffer* s = series_of(series);
    s->flags &= ~SERIES_COMPLEMENT;
    std::memset(s->offset_addr(), 0, s->size - s->offset);
    ownership::after(notify, &target, words::cleared, nullptr, 0, 1);
    return series;
}

Cell* copy(Cell* value, Cell* result, Cell*, bool, Cell*) {
    Cell original = *value;
    set_header(result, TYPE_UNSET);
    Node node = memory::copy_series(series_of(&original));
    *result = Cell{TYPE_BITSET, 0, node, 0};
    return result;
}

Cell* find(Cell* series, Cell* value, Cell*, bool, bool, bool, bool, Cell*, Cell*, bool, bool, bool, bool) {
    bool member = process(value, series, OP_TEST, false, CALLER_OTHER) != 0;
    if (member) set_logic(series, true);
    else *series = Cell{TYPE_NONE, 0, 0, 0};
    return series;
}

int32_t length_q(Cell* series) { return static_cast<int32_t>(rs_length_q(series) * 8); }

Cell* pick(Cell* series, int32_t, Cell* boxed) {
    bool member = process(boxed, series, OP_TEST, false, CALLER_OTHER) != 0;
    set_logic(series, member);
    return series;
}

Cell* poke(Cell* series, int32_t, Cell* value, Cell* boxed) {
    bool clear_it = false;
    switch (value->type()) {
        case TYPE_NONE: clear_it = true; break;
        case TYPE_LOGIC: clear_it = value->data1 != 1; break;
        case TYPE_INTEGER: clear_it = value->int_value() == 0; break;
        case TYPE_FLOAT: clear_it = value->float_value() == 0.0; break;
        default: break;
    }
    Cell target = *series;
    bool notify = ownership::before(&target, words::poke, value, 0, 1);
    process(boxed, series, clear_it ? OP_CLEAR : OP_SET, false, CALLER_OTHER);
    ownership::after(notify, &target, words::poked, value, 0, 1);
    return value;
}

Cell* remove(Cell* series, Cell* part, Cell*) {
    if (!part) fire(err::MISSING_ARG);
    Cell target = *series;
    bool notify = ownership::before(&target, words::remove, part, 0, 1);
    process(part, series, OP_CLEAR, false, CALLER_OTHER);
    ownership::after(notify, &target, words::removed, part, 0, 1);
    return series;
}

}  // namespace bitset

// ---- Registration --------------------------------------------------------------

template <>
void datatype::init_type<TYPE_BITSET>() {
    register_type<TYPE_BITSET, "o-ooooo-o ----o------oooo o---ooo---oo--oo-o--------- ---o-------">(
        own<slot::make>(bitset::make), own<slot::reflect>(bitset::reflect),
        own<slot::to>(bitset::to), own<slot::form>(bitset::form), own<slot::mold>(bitset::mold),
        own<slot::eval_path>(bitset::eval_path), own<slot::compare>(bitset::compare),
        own<slot::negate>(bitset::complement), own<slot::and_>(bitset::and_),
        own<slot::complement>(bitset::complement), own<slot::or_>(bitset::or_),
        own<slot::xor_>(bitset::xor_), own<slot::append>(bitset::insert),
        own<slot::clear>(bitset::clear), own<slot::copy>(bitset::copy),
        own<slot::find>(bitset::find), own<slot::insert>(bitset::insert),
        own<slot::length_q>(bitset::length_q), own<slot::pick>(bitset::pick),
        own<slot::poke>(bitset::poke), own<slot::remove>(bitset::remove),
        own<slot::modify>(bitset::modify));
}
