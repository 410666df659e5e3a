// string!: text storage (code points in units of 1, 2 or 4 bytes that widen
// in place), comparison, making, forming and molding, search and
// modification, and the registration of string!.
#include "datatypes/string.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <unordered_set>
#include <vector>

#include "datatypes/block.h"
#include "datatypes/datatype.h"
#include "datatypes/integer.h"
#include "datatypes/series.h"
#include "datatypes/vector.h"
#include "evaluator/errors.h"
#include "evaluator/ownership.h"
#include "evaluator/stack.h"
#include "evaluator/symbol.h"
#include "evaluator/words.h"
#include "runtime/case_folding.h"
#include "runtime/sort.h"
#include "runtime/sys.h"
#include "runtime/typesets.h"
#include "runtime/unicode.h"
#include "runtime/number_text.h"

namespace string {

namespace {

inline uint32_t unit_of_cp(uint32_t cp) { return cp > 0xFFFF ? 4 : cp > 0xFF ? 2 : 1; }
inline uint32_t fold(uint32_t cp) { return case_folding::change_char(cp, true); }

inline Cell none_cell() { return Cell{TYPE_NONE, 0, 0, 0}; }
inline Cell char_cell(uint32_t cp) { return Cell{TYPE_CHAR, 0, cp, 0}; }
inline Cell int_cell(int32_t n) { return Cell{TYPE_INTEGER, 0, static_cast<uint32_t>(n), 0}; }

// A refinement's word as a word! (error arguments).
Cell refinement_word(const Cell& ref) {
    Cell w = ref;
    set_type(&w, TYPE_WORD);
    return w;
}

[[noreturn]] void fire_refine_arg(const Cell& ref, const Cell* arg) {
    Cell w = refinement_word(ref);
    fire(err::INVALID_REFINE_ARG, &w, arg);
}

}  // namespace

// ---- Comparison ------------------------------------------------------------------

int32_t compare_text(const Cell* c1, const Cell* c2, int32_t op, bool match) {
    if (c1->node() == c2->node() && c1->head() == c2->head() && c1->type() != TYPE_SYMBOL &&
        c2->type() != TYPE_SYMBOL) {
        if (op == actions::COMP_SAME || op == 0 || op == 1 || op == 2 || op == 12) return 0;
    } else if (op == actions::COMP_SAME) {
        return -1;
    }
    Cell s1 = text_cell(c1), s2 = text_cell(c2);
    uint32_t l1 = rs_length_q(&s1), l2 = rs_length_q(&s2);
    bool equality = op == 0 || op == 1 || op == 2 || op == 12;
    uint32_t length;
    if (match) {
        if (l2 == 0) return op == 12 ? 1 : 0;
        if (l1 < l2) return 1;
        length = l2;
    } else {
        if (l1 != l2) {
            if (equality || l2 == 0) return 1;
            length = std::min(l1, l2);
        } else {
            if (l1 == 0) return 0;
            length = l1;
        }
    }
    SeriesBuffer* b1 = series_of(&s1);
    SeriesBuffer* b2 = series_of(&s2);
    const uint8_t* p1 = b1->offset_addr() + s1.head() * b1->unit();
    const uint8_t* p2 = b2->offset_addr() + s2.head() * b2->unit();
    uint32_t u1 = b1->unit(), u2 = b2->unit();
    bool exact = op == 2 || op == 8;
    uint32_t a = 0, b = 0;
    bool differ = false;
    for (uint32_t i = 0; i < length; ++i) {
        a = unicode::get_char(p1, u1, i);
        b = unicode::get_char(p2, u2, i);
        if (!exact) {
            a = fold(a);
            b = fold(b);
        }
        if (a != b) {
            differ = true;
            break;
        }
    }
    if (!differ && !match) return l1 > l2 ? 1 : l1 == l2 ? 0 : -1;
    return a > b ? 1 : a == b ? 0 : -1;
}

bool match_tag_q(const Cell* input, const Cell* tag) {
    uint32_t n = rs_length_q(tag);
    uint32_t l = rs_length_q(input);
    if (l < n + 2) return false;
    return rs_abs_at(input, input->head()) == '<' && rs_abs_at(input, input->head() + n + 1) == '>';
}

bool match_q(const Cell* input, const Cell* value, int32_t mode) {
    switch (value->type()) {
        case TYPE_STRING:
        case TYPE_FILE:
        case TYPE_URL:
        case TYPE_EMAIL:
        case TYPE_REF: return compare_text(input, value, mode, true) == 0;
        case TYPE_CHAR: {
            if (rs_tail_q(input)) return false;
            uint32_t c = rs_abs_at(input, input->head());
            uint32_t v = static_cast<uint32_t>(value->int_value());
            return mode == 2 ? c == v : fold(c) == fold(v);
        }
        case TYPE_TAG: {
            if (!match_tag_q(input, value)) return false;
            Cell after = *input;
            after.data1 += 1;
            return compare_text(&after, value, mode, true) == 0;
        }
        default: return false;
    }
}

// ---- Loading and small conversions -------------------------------------------------

Cell* load_at(const uint8_t* src, uint32_t size, Cell* slot, int32_t encoding) {
    if (encoding != 0 && encoding != -1) {
        Cell e = int_cell(encoding);
        fire(err::INVALID_ARG, &e);
    }
    if (!slot) slot = stack::push_slot();
    *slot = Cell{TYPE_UNSET, 0, 0, 0};
    Node node;
    if (encoding == 0) {
        node = unicode::load_utf8(src, size, 0, nullptr, false, false);
    } else {
        node = unicode::load_utf16(reinterpret_cast<const uint16_t*>(src), size, nullptr, false);
    }
    slot->data2 = node;
    slot->header = TYPE_STRING;
    return slot;
}

Cell* load(const uint8_t* src, uint32_t size, int32_t encoding) {
    return load_at(src, size, nullptr, encoding);
}

Cell* load_in(const uint8_t* src, uint32_t size, Cell* parent, int32_t encoding) {
    Cell* made = load_at(src, size, nullptr, encoding);
    Cell value = *made;
    Cell* cell = alloc_tail(parent);
    copy_cell(&value, cell);
    stack::pop(1);
    return cell;
}

double to_float(const uint8_t* src, uint32_t size, bool* error) {
    int e = 0;
    double d = number_text::text_to_float(src, static_cast<int32_t>(size), 1, e);
    if (error) *error = e != 0;
    return d;
}

const char* byte_to_hex(uint32_t byte) {
    static char out[3];
    static const char digits[] = "0123456789ABCDEF";
    out[0] = digits[(byte >> 4) & 15];
    out[1] = digits[byte & 15];
    out[2] = 0;
    return out;
}

const char* to_hex(uint32_t value, bool shorten) {
    static char out[9];
    static const char digits[] = "0123456789ABCDEF";
    for (int i = 7; i >= 0; --i, value >>= 4) out[i] = digits[value & 15];
    out[8] = 0;
    if (!shorten) return out;
    int skip = 0;
    while (skip < 6 && out[skip] == '0') ++skip;
    return out + skip;
}

// ---- Form and mold helpers -----------------------------------------------------------

namespace {

// Escapes of the code points 0-94 (0 = written as it is).
constexpr char escape_entry(uint32_t cp) {
    if (cp == 0) return '@';
    if (cp >= 1 && cp <= 8) return static_cast<char>('A' + cp - 1);
    if (cp == 9) return '-';
    if (cp == 10) return '/';
    if (cp >= 11 && cp <= 26) return static_cast<char>('A' + cp - 1);
    if (cp == 27) return '[';
    if (cp == 28) return '\\';
    if (cp == 29) return ']';
    if (cp == 31) return '_';
    if (cp == 34) return '"';
    if (cp == 94) return '^';
    return 0;
}

struct EscapeTable {
    char entry[95];
    constexpr EscapeTable() : entry{} {
        for (uint32_t i = 0; i < 95; ++i) entry[i] = escape_entry(i);
    }
};
constexpr EscapeTable escapes{};

}  // namespace

uint32_t append_escaped_char(Cell* buffer, uint32_t cp, bool quote, bool all) {
    SeriesBuffer* s = series_of(buffer);
    if (cp == 30 || (cp >= 128 && cp <= 159) || (all && cp > 127)) {
        const char* hex = to_hex(cp, true);
        s = append_char(s, '^');
        s = append_char(s, '(');
        uint32_t n = 0;
        for (; hex[n]; ++n) s = append_char(s, static_cast<uint8_t>(hex[n]));
        append_char(s, ')');
        return n + 3;
    }
    if (cp == 127) {
        s = append_char(s, '^');
        append_char(s, '~');
        return 2;
    }
    if (cp < 95 && escapes.entry[cp] && (quote || cp != 34)) {
        s = append_char(s, '^');
        append_char(s, static_cast<uint8_t>(escapes.entry[cp]));
        return 2;
    }
    append_char(s, cp);
    return 1;
}

void form_value(Cell* value, Cell* buffer) {
    if (value->type() == TYPE_UNSET) return;
    actions::form(value, buffer, nullptr, INT32_MAX);
}

// Case changes report once, after the change.
void uppercase(Cell* value, const Cell* part) {
    Cell target = *value;
    uint32_t count = case_folding::change_case(value, part, true);
    if (ownership::maybe_owned(&target))
        ownership::check(&target, words::uppercase, nullptr, static_cast<int32_t>(target.head()), static_cast<int32_t>(count));
}
void lowercase(Cell* value, const Cell* part) {
    Cell target = *value;
    uint32_t count = case_folding::change_case(value, part, false);
    if (ownership::maybe_owned(&target))
        ownership::check(&target, words::lowercase, nullptr, static_cast<int32_t>(target.head()), static_cast<int32_t>(count));
}

// ---- make and to ------------------------------------------------------------------------

namespace {

[[noreturn]] void fire_bad_to(uint32_t type, const Cell* spec) {
    Cell dt;
    datatype::make_at(&dt, type);
    fire(err::BAD_TO_ARG, &dt, spec);
}

// A copy of the text from the index in a new buffer of the same unit.
Cell copy_text(const Cell* spec, uint32_t type) {
    Cell src = *spec;
    clamp_head(&src);
    uint32_t n = rs_length_q(&src);
    uint32_t unit = series_of(&src)->unit();
    Cell* slot = stack::push_slot();
    *slot = Cell{TYPE_UNSET, 0, 0, 0};
    make_at(slot, n, unit);
    SeriesBuffer* from = series_of(&src);
    SeriesBuffer* to_buf = series_of(slot);
    std::memcpy(to_buf->offset_addr(), from->offset_addr() + src.head() * unit, n * unit);
    to_buf->tail = to_buf->offset + n * unit;
    Cell r = *slot;
    stack::pop(1);
    r.header = type;
    return r;
}

// Appends the value's text as append would (the block rule included).
void append_text(Cell* target, Cell* value);

}  // namespace

Cell* to(Cell* proto, Cell* spec, uint32_t type) {
    Cell r;
    switch (spec->type()) {
        case TYPE_STRING:
        case TYPE_FILE:
        case TYPE_URL:
        case TYPE_TAG:
        case TYPE_EMAIL:
        case TYPE_REF: r = copy_text(spec, type); break;
        case TYPE_BINARY: {
            Cell src = *spec;
            clamp_head(&src);
            uint32_t n = series_of(&src)->count() - src.head();
            std::vector<uint8_t> bytes(series_of(&src)->offset_addr() + src.head(),
                                       series_of(&src)->offset_addr() + src.head() + n);
            uint32_t remaining = 0;
            Cell* slot = stack::push_slot();
            *slot = Cell{TYPE_UNSET, 0, 0, 0};
            slot->data2 = unicode::load_utf8(bytes.data(), n, 0, &remaining, false);
            slot->header = TYPE_STRING;
            if (remaining) {
                Cell* bin = stack::push_slot();
                *bin = Cell{TYPE_UNSET, 0, 0, 0};
                Node node = memory::alloc_bytes(remaining);
                SeriesBuffer* b = memory::buffer(node);
                std::memcpy(b->offset_addr(), bytes.data() + n - remaining, remaining);
                b->tail = b->offset + remaining;
                *bin = Cell{TYPE_BINARY, 0, node, 0};
                Cell arg = *bin;
                fire(err::INVALID_UTF8, &arg);
            }
            r = *slot;
            stack::pop(1);
            r.header = type;
            break;
        }
        case TYPE_BLOCK:
        case TYPE_PAREN:
        case TYPE_HASH: {
            Cell* slot = rs_make_at(stack::push_slot(), 16);
            append_text(slot, spec);
            r = *slot;
            stack::pop(1);
            r.header = type;
            break;
        }
        case TYPE_REFINEMENT: {
            Cell* slot = rs_make_at(stack::push_slot(), 16);
            if (type == TYPE_STRING) actions::form(spec, slot, nullptr, INT32_MAX);
            else actions::mold(spec, slot, true, true, true, nullptr, INT32_MAX, 0);
            r = *slot;
            stack::pop(1);
            r.header = type;
            break;
        }
        case TYPE_NONE: fire_bad_to(TYPE_STRING, spec);
        default: {
            Cell* slot = rs_make_at(stack::push_slot(), 16);
            form_value(spec, slot);
            r = *slot;
            stack::pop(1);
            r.header = type;
            break;
        }
    }
    return copy_cell(&r, proto);
}

Cell* make(Cell* proto, Cell* spec, uint32_t type) {
    // A number is a size for every child, binary! included: an empty value with that room.
    if (spec->type() == TYPE_INTEGER || spec->type() == TYPE_FLOAT) {
        int32_t n = integer::checked(spec);
        if (n < 0) fire(err::OUT_OF_RANGE, spec);
        Cell* slot = stack::push_slot();
        *slot = Cell{TYPE_UNSET, 0, 0, 0};
        slot->data2 = memory::alloc_bytes(static_cast<uint32_t>(n));
        slot->header = type;
        Cell r = *slot;
        stack::pop(1);
        return copy_cell(&r, proto);
    }
    if (type == TYPE_BINARY) {
        if (spec->type() == TYPE_MONEY) {
            Cell dt;
            datatype::make_at(&dt, TYPE_BINARY);
            fire(err::BAD_MAKE_ARG, &dt, spec);
        }
        return actions::lookup_type<actions::slot::to>(TYPE_BINARY, proto)(proto, spec, type);
    }
    return to(proto, spec, type);
}

// ---- form and mold ------------------------------------------------------------------------

int32_t form(Cell* value, Cell* buffer, Cell* part, int32_t limit) {
    Cell v = *value;
    clamp_head(&v);
    int32_t n = static_cast<int32_t>(rs_length_q(&v));
    int32_t take = -1;
    if (part) {
        int32_t p = part->type() == TYPE_INTEGER ? part->int_value() : limit;
        if (p == 0) take = 0;
        else if (p > 0) take = p;
    }
    if (take != 0) concatenate(buffer, &v, take, false);
    return limit - n;
}

namespace {

// The first opening brace of the range that has no closing brace after it
// (nesting counted), or `end` when every one is matched.
uint32_t first_unbalanced(const uint8_t* data, uint32_t unit, uint32_t start, uint32_t end) {
    std::vector<uint32_t> open;
    uint32_t first = end;
    for (uint32_t i = start; i < end; ++i) {
        uint32_t c = unicode::get_char(data, unit, i);
        if (c == '{') open.push_back(i);
        else if (c == '}' && !open.empty()) open.pop_back();
    }
    for (uint32_t i : open) first = std::min(first, i);
    return first;
}

}  // namespace

int32_t mold(Cell* value, Cell* buffer, bool, bool all, bool, Cell* part, int32_t limit, int32_t) {
    Cell v = *value;
    clamp_head(&v);
    uint32_t length = rs_length_q(&v);
    uint32_t count = length;
    if (part && part->int_value() != 0) count = limit < 0 ? 0 : std::min<uint32_t>(length, limit);
    uint32_t start = v.head(), end = start + count;

    uint32_t lines = 0;
    bool quote_seen = false;
    {
        SeriesBuffer* s = series_of(&v);
        for (uint32_t i = start; i < end; ++i) {
            uint32_t c = unicode::get_char(s->offset_addr(), s->unit(), i);
            if (c == '\n') ++lines;
            else if (c == '"') quote_seen = true;
        }
    }
    bool braces = lines >= 3 || quote_seen || length >= 50;
    int32_t written = 0;
    append_char(series_of(buffer), braces ? '{' : '"');
    if (!braces) {
        for (uint32_t i = start; i < end; ++i)
            written += append_escaped_char(buffer, rs_abs_at(&v, i), true, all);
    } else {
        uint32_t unbalanced;
        {
            SeriesBuffer* s = series_of(&v);
            unbalanced = first_unbalanced(s->offset_addr(), s->unit(), start, end);
        }
        uint32_t open = 0;
        for (uint32_t i = start; i < end; ++i) {
            uint32_t c = rs_abs_at(&v, i);
            SeriesBuffer* b = series_of(buffer);
            if (c == '{') {
                if (i < unbalanced) {
                    append_char(b, '{');
                    ++open;
                    written += 1;
                } else {
                    b = append_char(b, '^');
                    append_char(b, '{');
                    written += 2;
                }
            } else if (c == '}') {
                if (open > 0) {
                    --open;
                    append_char(b, '}');
                    written += 1;
                } else {
                    b = append_char(b, '^');
                    append_char(b, '}');
                    written += 2;
                }
            } else if (c == '"') {
                append_char(b, '"');
                written += 1;
            } else {
                written += append_escaped_char(buffer, c, false, all);
            }
        }
    }
    append_char(series_of(buffer), braces ? '}' : '"');
    return limit - written - 2;
}

// ---- pick, poke and path evaluation -----------------------------------------------------------

namespace {

// The absolute element of a 1-based position relative to the index, or -1.
int64_t pick_target(const Cell* series, int32_t n) {
    if (n == 0) return -1;
    int64_t target = int64_t{series->head()} + (n > 0 ? n - 1 : n);
    if (target < 0 || target >= series_of(series)->count()) return -1;
    return target;
}

}  // namespace

Cell* pick(Cell* series, int32_t index, Cell* result) {
    int64_t target = pick_target(series, index);
    Cell r;
    if (target < 0) r = none_cell();
    else if (series->type() == TYPE_BINARY) r = int_cell(static_cast<int32_t>(rs_abs_at(series, target)));
    else r = char_cell(rs_abs_at(series, static_cast<uint32_t>(target)));
    return copy_cell(&r, result);
}

Cell* poke(Cell* series, int32_t index, Cell* value) {
    int64_t target = pick_target(series, index);
    if (target < 0) fire_int(err::OUT_OF_RANGE, index);
    if (value->type() != TYPE_CHAR) fire(err::INVALID_ARG, value);
    SeriesBuffer* s = series_of(series);
    poke_char(s, s->offset_addr() + target * s->unit(), static_cast<uint32_t>(value->int_value()));
    return value;
}

Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell*, Cell*, int32_t, bool case_,
                bool, bool) {
    Cell none = none_cell();
    Cell* where = path ? path : &none;
    if (element->type() == TYPE_INTEGER) {
        // binary! and vector! inherit this slot; their elements are theirs.
        bool text = in(ANY_STRING, parent->type());
        if (value) {
            Cell target = *parent;
            Cell* r;
            {
                ownership::Hush hush;
                r = text ? poke(parent, element->int_value(), value)
                         : actions::poke(parent, element->int_value(), value, nullptr);
            }
            if (ownership::maybe_owned(&target))
                ownership::check(&target, words::set_path, value, static_cast<int32_t>(pick_target(&target, element->int_value())), 1);
            return r;
        }
        Cell p = *parent;
        if (!text) return copy_cell(actions::pick(&p, element->int_value(), nullptr), parent);
        return pick(&p, element->int_value(), parent);
    }
    if (element->type() == TYPE_WORD) fire(err::INVALID_PATH, where, element);
    if (!value) {
        Cell p = *parent;
        Cell* slot = stack::push(&p);
        select(slot, element, nullptr, false, case_, false, false, nullptr, nullptr, false, false);
        Cell r = *slot;
        stack::pop(1);
        return copy_cell(&r, parent);
    }
    Cell p = *parent;
    Cell* slot = stack::push(&p);
    find(slot, element, nullptr, false, case_, false, false, nullptr, nullptr, false, false, false,
         false);
    if (slot->type() == TYPE_NONE) fire(err::BAD_PATH_SET, where, element);
    Cell found = *slot;
    stack::pop(1);
    if (in(ANY_STRING, found.type())) poke(&found, 2, value);
    else actions::poke(&found, 2, value, nullptr);
    return value;
}

// ---- Comparison action ----------------------------------------------------------------------

int32_t compare(Cell* value1, Cell* value2, int32_t op) {
    if (value1->type() == value2->type()) return compare_text(value1, value2, op, false);
    if (!in(ANY_STRING, value2->type())) return actions::NOT_COMPARABLE;
    if (op != actions::COMP_EQUAL && op != actions::COMP_NOT_EQUAL) return actions::NOT_COMPARABLE;
    return compare_text(value1, value2, op, false);
}

// ---- The text of a value to add or search for -----------------------------------------------

namespace {

// Code points read from a string buffer, or from a local copy when the
// source shares the target's buffer or was made on the spot.
struct Source {
    Node node = 0;
    uint32_t start = 0;
    uint32_t count = 0;
    uint32_t unit = 1;
    std::vector<uint8_t> own;
    bool owned = false;

    const uint8_t* data() const {
        return owned ? own.data() : memory::buffer(node)->offset_addr() + start * unit;
    }
    uint32_t at(uint32_t i) const { return unicode::get_char(data(), unit, i); }
    // Copies the code points into `own` (the buffer may change or go away).
    void detach() {
        if (owned) return;
        const uint8_t* d = data();
        own.assign(d, d + uint64_t{count} * unit);
        owned = true;
    }
};

Source source_of_string(const Cell* str) {
    Cell s = text_cell(str);
    Source src;
    src.node = s.node();
    SeriesBuffer* b = series_of(&s);
    src.start = std::min(s.head(), b->count());
    src.count = b->count() - src.start;
    src.unit = b->unit();
    return src;
}

Source source_of_cp(uint32_t cp, uint32_t unit) {
    Source src;
    src.owned = true;
    src.unit = unit;
    src.count = 1;
    src.own.resize(4);
    unicode::set_char(src.own.data(), unit, 0, cp);
    return src;
}

// Forms each element of the block from its index into the string, nothing
// between them; with a budget (>= 0) the text is cut to it.
void form_block_into(Cell* target, Cell* block, int32_t budget) {
    SeriesBuffer* b = series_of(block);
    uint32_t n = b->count() > block->head() ? b->count() - block->head() : 0;
    uint32_t base = series_of(target)->count();
    for (uint32_t i = 0; i < n; ++i) {
        if (budget >= 0 && static_cast<int32_t>(series_of(target)->count() - base) >= budget) break;
        Cell e = *(reinterpret_cast<Cell*>(series_of(block)->offset_addr()) + block->head() + i);
        form_value(&e, target);
    }
    if (budget >= 0) truncate_to(series_of(target), base + static_cast<uint32_t>(budget));
}

void append_text(Cell* target, Cell* value) {
    Cell v = *value;
    switch (v.type()) {
        case TYPE_STRING:
        case TYPE_FILE:
        case TYPE_URL:
        case TYPE_EMAIL:
        case TYPE_REF: concatenate(target, &v, -1, false); break;
        case TYPE_CHAR: append_char(series_of(target), static_cast<uint32_t>(v.int_value())); break;
        case TYPE_BLOCK:
        case TYPE_PAREN:
        case TYPE_HASH: form_block_into(target, &v, -1); break;
        default: form_value(&v, target); break;
    }
}

// The text of the value as source_for_insert takes it (each case answers
// its Source in place, nothing moved).
Source text_for_insert(Cell* value, int32_t part) {
    switch (value->type()) {
        case TYPE_STRING:
        case TYPE_FILE:
        case TYPE_URL:
        case TYPE_EMAIL:
        case TYPE_REF:
        case TYPE_SYMBOL: return source_of_string(value);
        case TYPE_CHAR: {
            uint32_t cp = static_cast<uint32_t>(value->int_value());
            return source_of_cp(cp, cp > 0xFFFF ? 4 : cp > 127 ? 2 : 1);
        }
        case TYPE_TAG: {
            Cell v = *value;
            Cell* tmp = rs_make_at(stack::push_slot(), rs_length_q(&v) + 2);
            append_char(series_of(tmp), '<');
            concatenate(tmp, &v, -1, false);
            append_char(series_of(tmp), '>');
            return source_of_string(tmp);
        }
        case TYPE_BLOCK:
        case TYPE_PAREN:
        case TYPE_HASH: {
            Cell v = *value;
            Cell* tmp = rs_make_at(stack::push_slot(), 16);
            form_block_into(tmp, &v, part);
            return source_of_string(tmp);
        }
        default: {
            Cell v = *value;
            Cell* tmp = rs_make_at(stack::push_slot(), 16);
            form_value(&v, tmp);
            return source_of_string(tmp);
        }
    }
}

// The text that append, insert and change add for the value: temporary
// strings are pushed on the value stack (the caller pops them). `part` < 0
// means no limit. A source in the series' own buffer is copied.
Source source_for_insert(Cell* value, int32_t part, const Cell* series) {
    Source src = text_for_insert(value, part);
    if (part >= 0 && static_cast<uint32_t>(part) < src.count) src.count = static_cast<uint32_t>(part);
    if (!src.owned && src.node == series->node()) src.detach();
    return src;
}

// Replaces `remove` elements at `at` by `dup` copies of the source; answers
// the number of code points written.
uint32_t splice(Cell* series, uint32_t at, uint32_t remove, const Source& src, uint32_t dup) {
    SeriesBuffer* s = series_of(series);
    uint32_t length = s->count();
    if (at > length) at = length;
    if (remove > length - at) remove = length - at;
    uint64_t total = uint64_t{src.count} * dup;
    if (total > memory::MAX_SERIES_SIZE) fire(err::NO_MEMORY);
    if (src.unit > s->unit()) s = widen_to(s, s->unit(), src.unit);
    uint32_t unit = s->unit();
    uint64_t new_length = uint64_t{length} - remove + total;
    uint64_t bytes = new_length * unit;
    if (bytes > memory::MAX_SERIES_SIZE) fire(err::NO_MEMORY);
    if (uint64_t{s->offset} + bytes > s->size) s = ensure_bytes(s, bytes);
    uint8_t* base = s->offset_addr();
    uint32_t n = src.count;
    uint32_t written = static_cast<uint32_t>(total);
    if (at + remove < length)  // nothing to move when the splice reaches the tail
        std::memmove(base + (at + written) * unit, base + (at + remove) * unit, (length - at - remove) * unit);
    if (n) {
        const uint8_t* data = src.data();
        if (src.unit == unit) {
            std::memcpy(base + at * unit, data, n * unit);
        } else {
            for (uint32_t i = 0; i < n; ++i)
                unicode::set_char(base, unit, at + i, unicode::get_char(data, src.unit, i));
        }
        // Further copies by doubling.
        uint64_t done = n;
        while (done < total) {
            uint64_t chunk = std::min(done, total - done);
            std::memcpy(base + (at + done) * unit, base + at * unit, chunk * unit);
            done += chunk;
        }
    }
    s->tail = s->offset + static_cast<uint32_t>(bytes);
    return written;
}

// The commonest append, building a string: the whole text of a string!,
// file!, url!, email! or ref! of the target's own width, from another
// buffer, once, to a series no owner watches. Does what insert does for it
// without the source record and the general splice; false when insert must
// take the general path (which also raises whatever is to be raised).
bool append_whole_text(Cell* series, const Cell* value) {
    constexpr typesets::Mask PLAIN_TEXT = typesets::of({TYPE_STRING, TYPE_FILE, TYPE_URL, TYPE_EMAIL, TYPE_REF});
    if (!in(PLAIN_TEXT, value->type()) || value->node() == series->node() || ownership::maybe_owned(series))
        return false;
    SeriesBuffer* s = series_of(series);
    const SeriesBuffer* v = series_of(value);
    const uint32_t unit = s->unit();
    if (v->unit() != unit) return false;
    const uint32_t total = v->count();
    const uint32_t head = std::min(value->head(), total);
    const uint64_t bytes = uint64_t{s->count() + uint64_t{total - head}} * unit;
    if (bytes > memory::MAX_SERIES_SIZE) return false;
    if (uint64_t{s->offset} + bytes > s->size) {
        s = ensure_bytes(s, bytes);
        v = series_of(value);
    }
    std::memcpy(s->tail_addr(), v->data_at(head * unit), (total - head) * unit);
    s->tail = s->offset + static_cast<uint32_t>(bytes);
    series->data1 = 0;
    return true;
}

}  // namespace

// ---- append, insert and change ------------------------------------------------------------------

Cell* insert(Cell* series, Cell* value, int32_t part, bool, int32_t dup, bool append) {
    if (append && part < 0 && dup < 2 && append_whole_text(series, value)) return series;
    Cell* saved = stack::top;
    clamp_head(series);
    uint32_t times = dup < 2 ? 1 : static_cast<uint32_t>(dup);
    Source src = source_for_insert(value, part, series);
    uint32_t length = series_of(series)->count();
    bool at_tail = append || series->head() >= length;
    uint32_t at = at_tail ? length : series->head();
    Cell target = *series;
    auto part_ = static_cast<int32_t>(uint64_t{src.count} * times);
    bool notify = ownership::before(&target, append ? words::append : words::insert, value, static_cast<int32_t>(at), part_);
    uint32_t written = splice(series, at, 0, src, times);
    ownership::after(notify, &target, append ? words::appended : words::inserted, value, static_cast<int32_t>(at),
                     static_cast<int32_t>(written));
    stack::top = saved;
    series->data1 = append ? 0 : at + written;
    return series;
}

Cell* change(Cell* series, Cell* value, int32_t part, bool, int32_t dup) {
    Cell* saved = stack::top;
    clamp_head(series);
    uint32_t times = dup < 2 ? 1 : static_cast<uint32_t>(dup);
    Source src = source_for_insert(value, -1, series);
    uint32_t length = series_of(series)->count();
    uint32_t at = series->head();
    uint32_t left = length - at;
    uint64_t replace = part >= 0 ? static_cast<uint64_t>(part) : uint64_t{src.count} * times;
    if (replace > left) replace = left;
    Cell target = *series;
    auto part_ = static_cast<int32_t>(uint64_t{src.count} * times);
    bool notify = ownership::before(&target, words::change, value, static_cast<int32_t>(at), part_);
    uint32_t written = splice(series, at, static_cast<uint32_t>(replace), src, times);
    ownership::after(notify, &target, words::changed, value, static_cast<int32_t>(at), static_cast<int32_t>(written));
    stack::top = saved;
    series->data1 = at + written;
    return series;
}

// ---- find and select ----------------------------------------------------------------------------

namespace {

struct Pattern {
    enum Kind { ONE, SET, TEXT, NOTHING, NUMBER } kind = ONE;
    uint32_t cp = 0;
    double number = 0;      // NUMBER: one vector element of this value
    uint32_t elements = 0;  // NUMBER: the vector's element type
    Cell bits{};
    Source text;
    uint32_t length() const { return kind == TEXT ? text.count : 1; }
};

bool bit_set_q(const Cell* bits, uint32_t cp) {
    SeriesBuffer* b = series_of(bits);
    uint64_t room = uint64_t{b->size - b->offset} * 8;
    if (cp >= room) return (b->flags & SERIES_COMPLEMENT) != 0;
    return (b->offset_addr()[cp >> 3] & (0x80 >> (cp & 7))) != 0;
}

Pattern pattern_of(Cell* series, Cell* value) {
    Pattern p;
    bool bytes = series->type() == TYPE_BINARY || series->type() == TYPE_VECTOR;
    if (series->type() == TYPE_VECTOR && in(typesets::of({TYPE_CHAR, TYPE_INTEGER, TYPE_FLOAT, TYPE_PERCENT}), value->type())) {
        p.kind = Pattern::NUMBER;
        p.elements = series->data3;
        bool floats = value->type() == TYPE_FLOAT || value->type() == TYPE_PERCENT;
        p.number = floats ? value->float_value() : value->int_value();
        return p;
    }
    switch (value->type()) {
        case TYPE_CHAR: p.cp = static_cast<uint32_t>(value->int_value()); break;
        case TYPE_BITSET:
            p.kind = Pattern::SET;
            p.bits = *value;
            break;
        case TYPE_INTEGER:
            if (bytes) {
                p.cp = static_cast<uint32_t>(value->int_value());
                break;
            }
            [[fallthrough]];
        case TYPE_FLOAT:
            // A number among numbers: a float matches the element of its value,
            // so one with a fraction (or NaN) matches none.
            if (bytes && value->type() == TYPE_FLOAT) {
                double d = value->float_value();
                if (d == std::trunc(d) && d >= -2147483648.0 && d <= 4294967295.0) {
                    p.cp = static_cast<uint32_t>(static_cast<int64_t>(d));
                } else {
                    p.kind = Pattern::NOTHING;
                }
                break;
            }
            [[fallthrough]];
        default: {
            p.kind = Pattern::TEXT;
            if (in(ANY_STRING, value->type()) && value->type() != TYPE_TAG) {
                p.text = source_of_string(value);
            } else if (value->type() == TYPE_BINARY) {
                if (series->type() != TYPE_BINARY) fire(err::INVALID_ARG, value);
                p.text = source_of_string(value);
            } else if (value->type() == TYPE_WORD) {
                Cell spelling{TYPE_STRING, 0, symbol::to_c_string(value->symbol())->data2, 0};
                p.text = source_of_string(&spelling);
                p.text.detach();
            } else {
                Cell v = *value;
                Cell* tmp = rs_make_at(stack::push_slot(), 16);
                form_value(&v, tmp);
                p.text = source_of_string(tmp);
            }
            p.text.detach();
            break;
        }
    }
    return p;
}

// The length of the match at element i of the buffer, or -1.
int64_t match_at(const uint8_t* data, uint32_t unit, uint32_t i, uint32_t end, const Pattern& p,
                 bool exact) {
    switch (p.kind) {
        case Pattern::ONE: {
            uint32_t c = unicode::get_char(data, unit, i);
            return (exact ? c == p.cp : fold(c) == fold(p.cp)) ? 1 : -1;
        }
        case Pattern::SET: return bit_set_q(&p.bits, unicode::get_char(data, unit, i)) ? 1 : -1;
        case Pattern::TEXT: {
            uint32_t n = p.text.count;
            if (uint64_t{i} + n > end) return -1;
            const uint8_t* pd = p.text.own.data();
            for (uint32_t k = 0; k < n; ++k) {
                uint32_t a = unicode::get_char(data, unit, i + k);
                uint32_t b = unicode::get_char(pd, p.text.unit, k);
                if (exact ? a != b : fold(a) != fold(b)) return -1;
            }
            return n;
        }
        case Pattern::NOTHING: return -1;
        case Pattern::NUMBER: {
            // Compared by value: a NaN matches nothing.
            const uint8_t* e = data + size_t{i} * unit;
            bool floats = p.elements == TYPE_FLOAT || p.elements == TYPE_PERCENT;
            double d = floats ? vector::get_float(e, unit) : vector::get_integer(e, unit, p.elements);
            return d == p.number ? 1 : -1;
        }
    }
    return -1;
}

// Finds the value; answers the found element and the match length through
// `at` and `length`, false when nothing matched.
bool find_in(Cell* series, Cell* value, Cell* part, bool case_, bool same, bool any, Cell* with,
             Cell* skip, bool last, bool reverse, bool match, uint32_t* at, uint32_t* length) {
    SeriesBuffer* s = series_of(series);
    uint32_t total = s->count();
    if (total == 0) return false;
    if (series->head() >= total && !reverse) return false;
    if (any || with) fire(err::NOT_DONE);
    uint32_t step = 1;
    if (skip) {
        int32_t n = skip->type() == TYPE_INTEGER ? skip->int_value() : 0;
        if (n < 1) fire(err::OUT_OF_RANGE, skip);
        step = static_cast<uint32_t>(n);
    }
    uint32_t head = std::min(series->head(), total);
    int64_t limit = -1;
    if (part) {
        if (part->type() == TYPE_INTEGER) {
            limit = part->int_value();
        } else if (part->type() == series->type() && part->node() == series->node()) {
            limit = int64_t{part->head()} - head;
        } else {
            fire_refine_arg(words::ref::part, part);
        }
        if (limit < 1) return false;
    }
    bool exact = case_ || same || series->type() == TYPE_BINARY || series->type() == TYPE_VECTOR;
    Pattern p = pattern_of(series, value);
    uint32_t element_size = series_of(series)->unit();
    if (p.kind != Pattern::NUMBER && element_size != 1 && element_size != 2 && element_size != 4) fire(err::NOT_DONE);
    uint32_t plen = p.length();
    s = series_of(series);
    const uint8_t* data = s->offset_addr();
    uint32_t unit = s->unit();

    if (reverse) {
        if (match || head == 0) return false;
        uint32_t low = limit < 0 ? 0 : static_cast<uint32_t>(std::max<int64_t>(0, head - limit));
        for (int64_t i = int64_t{head} - step; i >= low; i -= step) {
            int64_t m = match_at(data, unit, static_cast<uint32_t>(i), head, p, exact);
            if (m >= 0) {
                *at = static_cast<uint32_t>(i);
                *length = static_cast<uint32_t>(m);
                return true;
            }
        }
        return false;
    }
    uint32_t end = limit < 0 ? total : static_cast<uint32_t>(std::min<int64_t>(total, head + limit));
    if (last) {
        if (plen > end - head) return false;
        uint32_t top = end - plen;
        for (int64_t i = head + (top - head) / step * step; i >= head; i -= step) {
            int64_t m = match_at(data, unit, static_cast<uint32_t>(i), end, p, exact);
            if (m >= 0) {
                *at = static_cast<uint32_t>(i);
                *length = static_cast<uint32_t>(m);
                return true;
            }
        }
        return false;
    }
    for (uint32_t i = head; i < end; i += step) {
        int64_t m = match_at(data, unit, i, end, p, exact);
        if (m >= 0) {
            *at = i;
            *length = static_cast<uint32_t>(m);
            return true;
        }
        if (match) break;
    }
    return false;
}

}  // namespace

Cell* find(Cell* series, Cell* value, Cell* part, bool, bool case_, bool same, bool any, Cell* with,
           Cell* skip, bool last, bool reverse, bool tail, bool match) {
    Cell* saved = stack::top;
    uint32_t at = 0, length = 0;
    bool found = find_in(series, value, part, case_, same, any, with, skip, last, reverse, match, &at,
                         &length);
    stack::top = saved;
    if (!found) {
        *series = none_cell();
        return series;
    }
    series->data1 = tail ? at + length : at;
    return series;
}

Cell* select(Cell* series, Cell* value, Cell* part, bool, bool case_, bool same, bool any, Cell* with,
             Cell* skip, bool last, bool reverse) {
    Cell* saved = stack::top;
    uint32_t at = 0, length = 0;
    bool found = find_in(series, value, part, case_, same, any, with, skip, last, reverse, false, &at,
                         &length);
    stack::top = saved;
    Cell r = none_cell();
    if (found) {
        Cell pos = *series;
        pos.data1 = at + length;
        if (pos.head() < series_of(&pos)->count()) {
            if (pos.type() == TYPE_VECTOR) series::pick_into(&pos, 1, &r);
            else pick(&pos, 1, &r);
        }
    }
    return copy_cell(&r, series);
}

// ---- sort ---------------------------------------------------------------------------------------

namespace {

// op: bits 0-3 unit, bit 4 reverse, bit 5 compare all code points of a
// record, bit 6 case-sensitive, bit 7 the elements are a vector's numbers,
// of the element type in bits 8-15; flags: the record length (all) or the
// offset of the compared code point.
int32_t compare_records(const void* a, const void* b, int32_t op, int32_t flags) {
    uint32_t unit = static_cast<uint32_t>(op & 15);
    bool exact = (op & 64) != 0;
    bool rev = (op & 16) != 0;
    bool all = (op & 32) != 0;
    uint32_t first = all ? 0 : static_cast<uint32_t>(flags);
    uint32_t last = all ? static_cast<uint32_t>(flags) : first + 1;
    const uint8_t* pa = static_cast<const uint8_t*>(a);
    const uint8_t* pb = static_cast<const uint8_t*>(b);
    for (uint32_t i = first; i < last; ++i) {
        if (op & 128) {
            uint32_t type = static_cast<uint32_t>(op >> 8) & 0xFF;
            int32_t r = vector::compare_elements(pa + i * unit, unit, pb + i * unit, unit, type);
            if (r) return rev ? -r : r;
            continue;
        }
        uint32_t x = unicode::get_char(pa, unit, i);
        uint32_t y = unicode::get_char(pb, unit, i);
        if (!exact) {
            if (unit == 1) {
                if (x >= 'A' && x <= 'Z') x += 32;
                if (y >= 'A' && y <= 'Z') y += 32;
            } else {
                x = fold(x);
                y = fold(y);
            }
        }
        if (x != y) {
            int32_t r = x > y ? 1 : -1;
            return rev ? -r : r;
        }
    }
    return 0;
}

// Sorting with a comparison function: the records are sorted as indexes,
// each comparison reading them through the series' node (the function may
// run a collection that moves the buffer), then written in their order.
struct TextSorting {
    Cell series;    // the series, its index at the first record
    uint32_t step;  // code points per record
    bool all;       // records are passed whole, as series of their elements
    Cell fn;
};
TextSorting* text_sorting = nullptr;

// Record r as the function sees it: its first element (a char! of a
// string), or with `all` a copy of the record.
Cell record_value(const TextSorting& s, uint32_t r) {
    Cell v = s.series;
    uint64_t at = uint64_t{v.head()} + uint64_t{r} * s.step;
    if (at >= series_of(&v)->count()) return none_cell();
    v.data1 = static_cast<uint32_t>(at);
    Cell out;
    if (!s.all || s.step < 2) return *series::pick_into(&v, 1, &out);
    Cell part = int_cell(static_cast<int32_t>(s.step));
    return *series::copy(&v, &out, &part, false, nullptr);
}

int32_t compare_by_function(const void* pa, const void* pb, int32_t, int32_t flags) {
    const TextSorting& s = *text_sorting;
    uint32_t a = *static_cast<const uint32_t*>(pa), b = *static_cast<const uint32_t*>(pb);
    bool reverse = flags != 0;
    Cell x = record_value(s, reverse ? a : b);
    Cell y = record_value(s, reverse ? b : a);
    return block::call_comparator(&s.fn, &x, &y);
}

void sort_by_function(Cell* series, uint32_t head, uint32_t count, uint32_t step, bool all, bool reverse,
                      bool stable, Cell* fn) {
    uint32_t records = count / step;
    TextSorting state{*series, step, all, *fn};
    state.series.data1 = head;
    std::vector<uint32_t> order(records);
    for (uint32_t i = 0; i < records; ++i) order[i] = i;
    struct Scope {
        TextSorting* saved = text_sorting;
        ~Scope() { text_sorting = saved; }
    } scope;
    text_sorting = &state;
    if (stable)
        sort::merge_sort(order.data(), records, sizeof(uint32_t), 0, reverse ? 1 : 0, compare_by_function);
    else
        sort::adaptive_sort(order.data(), records, sizeof(uint32_t), 0, reverse ? 1 : 0, compare_by_function);
    // A function that shortened the series leaves it as it is.
    SeriesBuffer* s = series_of(series);
    if (uint64_t{head} + count > s->count()) return;
    size_t width = size_t{step} * s->unit();
    uint8_t* base = s->offset_addr() + size_t{head} * s->unit();
    std::vector<uint8_t> sorted(size_t{records} * width);
    for (uint32_t i = 0; i < records; ++i) std::memcpy(&sorted[i * width], base + order[i] * width, width);
    std::memcpy(base, sorted.data(), sorted.size());
}

}  // namespace

Cell* sort(Cell* series, bool case_, Cell* skip, Cell* comparator, Cell* part, bool all, bool reverse,
           bool stable) {
    clamp_head(series);
    uint32_t total = series_of(series)->count();
    uint32_t head = series->head();
    uint32_t count = total - head;
    if (part) {
        int64_t n;
        if (part->type() == TYPE_INTEGER) {
            n = part->int_value();
        } else if (part->type() == series->type() && part->node() == series->node()) {
            n = int64_t{part->head()} - head;
        } else {
            fire_refine_arg(words::ref::part, part);
        }
        if (n < 0) {
            if (head + n < 0) {
                series->data1 = 0;
                return series;
            }
            head = static_cast<uint32_t>(head + n);
            series->data1 = head;
            count = static_cast<uint32_t>(-n);
        } else if (n < count) {
            count = static_cast<uint32_t>(n);
        }
    }
    uint32_t step = 1;
    if (skip) {
        int32_t n = skip->type() == TYPE_INTEGER ? skip->int_value() : 0;
        if (n < 1 || count % static_cast<uint32_t>(n) != 0 || count < static_cast<uint32_t>(n))
            fire_refine_arg(words::ref::skip, skip);
        step = static_cast<uint32_t>(n);
    } else if (all) {
        fire(err::BAD_REFINES);
    }
    int32_t offset = 0;
    Cell* fn = nullptr;
    if (comparator) {
        if (comparator->type() == TYPE_INTEGER) {
            if (!skip || all) fire(err::BAD_REFINES);
            int32_t k = comparator->int_value();
            if (k < 1 || static_cast<uint32_t>(k) > step) fire(err::OUT_OF_RANGE, comparator);
            offset = k - 1;
        } else if (comparator->type() == TYPE_FUNCTION) {
            fn = comparator;
        } else {
            fire_refine_arg(words::ref::compare, comparator);
        }
    }
    if (count < 2) return series;
    Cell target = *series;
    bool notify = ownership::before(&target, words::sort, nullptr, static_cast<int32_t>(head), static_cast<int32_t>(count));
    if (fn) {
        sort_by_function(series, head, count, step, all && skip, reverse, stable && !case_, fn);
        ownership::after(notify, &target, words::sorted, nullptr, static_cast<int32_t>(head), static_cast<int32_t>(count));
        return series;
    }
    SeriesBuffer* s = series_of(series);
    uint32_t unit = s->unit();
    // A vector's elements are numbers: signed, or floats.
    bool numbers = series->type() == TYPE_VECTOR;
    if (!numbers && unit != 1 && unit != 2 && unit != 4) fire(err::NOT_DONE);
    int32_t op = static_cast<int32_t>(unit) | (reverse ? 16 : 0) | (all && skip ? 32 : 0) | (case_ ? 64 : 0) |
                 (numbers ? static_cast<int32_t>(128 | series->data3 << 8) : 0);
    int32_t flags = all && skip ? static_cast<int32_t>(step) : offset;
    s = series_of(series);
    uint8_t* base = s->offset_addr() + head * unit;
    if (stable && !case_)
        sort::merge_sort(base, count / step, step * unit, op, flags, compare_records);
    else
        sort::adaptive_sort(base, count / step, step * unit, op, flags, compare_records);
    ownership::after(notify, &target, words::sorted, nullptr, static_cast<int32_t>(head), static_cast<int32_t>(count));
    return series;
}

// ---- swap and take ------------------------------------------------------------------------------

Cell* swap(Cell* series1, Cell* series2) {
    if (!in(ANY_STRING, series2->type()) && series2->type() != TYPE_BINARY)
        fire(err::INVALID_ARG, series2);
    if (rs_tail_q(series1) || rs_tail_q(series2)) return series1;
    uint32_t a = rs_abs_at(series1, series1->head());
    uint32_t b = rs_abs_at(series2, series2->head());
    // A byte series holds bytes only: widening it would corrupt it.
    if (series1->type() == TYPE_BINARY && b > 255) {
        Cell c = char_cell(b);
        fire(err::INVALID_ARG, &c);
    }
    if (series2->type() == TYPE_BINARY && a > 255) {
        Cell c = char_cell(a);
        fire(err::INVALID_ARG, &c);
    }
    Cell s1 = *series1, s2 = *series2;
    bool notify1 = ownership::before(&s1, words::swap, &s2, static_cast<int32_t>(s1.head()), 1);
    bool notify2 = s2.node() != s1.node() && ownership::before(&s2, words::swap, &s1, static_cast<int32_t>(s2.head()), 1);
    overwrite_char(series_of(series1), series1->head(), b);
    overwrite_char(series_of(series2), series2->head(), a);
    ownership::after(notify1, &s1, words::swaped, &s2, static_cast<int32_t>(s1.head()), 1);
    ownership::after(notify2, &s2, words::swaped, &s1, static_cast<int32_t>(s2.head()), 1);
    return series1;
}

Cell* take(Cell* series, Cell* part, bool, bool last) {
    clamp_head(series);
    uint32_t total = series_of(series)->count();
    uint32_t head = series->head();
    uint32_t length = total - head;
    if (length == 0) {
        *series = none_cell();
        return series;
    }
    int64_t n = 1;
    if (part) {
        if (part->type() == TYPE_INTEGER) {
            n = part->int_value();
        } else if (part->type() == series->type() && part->node() == series->node()) {
            if (last) n = int64_t{total} - std::min(part->head(), total);
            else n = part->head() < head ? 0 : int64_t{part->head()} - head;
        } else {
            fire_refine_arg(words::ref::part, part);
        }
    }
    uint32_t start;
    if (n < 0) {
        if (last) {
            n = 1;
            start = total - 1;
        } else {
            int64_t from = std::max<int64_t>(0, int64_t{head} + n);
            n = head - from;
            start = static_cast<uint32_t>(from);
        }
    } else {
        if (n > length) n = length;
        start = last ? total - static_cast<uint32_t>(n) : head;
    }
    uint32_t count = static_cast<uint32_t>(n);
    Cell r;
    if (!part) {
        if (series->type() == TYPE_VECTOR) {
            SeriesBuffer* b = series_of(series);
            r = vector::get_value(b->offset_addr() + size_t{start} * b->unit(), b->unit(), series->data3);
        } else {
            uint32_t cp = rs_abs_at(series, start);
            r = series->type() == TYPE_BINARY ? int_cell(static_cast<int32_t>(cp)) : char_cell(cp);
        }
    } else {
        Cell src = *series;
        src.data1 = start;
        Cell* slot = stack::push_slot();
        *slot = Cell{TYPE_UNSET, 0, 0, 0};
        uint32_t unit = series_of(&src)->unit();
        make_at(slot, count, unit);
        SeriesBuffer* to_buf = series_of(slot);
        std::memcpy(to_buf->offset_addr(), series_of(&src)->offset_addr() + start * unit, count * unit);
        to_buf->tail = to_buf->offset + count * unit;
        r = *slot;
        r.header = series->type();
        r.data3 = series->type() == TYPE_VECTOR ? series->data3 : 0;
        stack::pop(1);
    }
    Cell target = *series;
    bool notify = ownership::before(&target, words::take, nullptr, static_cast<int32_t>(start), static_cast<int32_t>(count));
    remove_part(series, start, count);
    ownership::after(notify, &target, words::taken, nullptr, static_cast<int32_t>(start), static_cast<int32_t>(count));
    return copy_cell(&r, series);
}

// ---- trim ---------------------------------------------------------------------------------------

namespace {

bool white_q(uint32_t c) {
    return (c >= 1 && c <= 32) || c == 133 || c == 160 || c == 5760 || c == 6158 ||
           (c >= 8192 && c <= 8202) || c == 8232 || c == 8233 || c == 8239 || c == 8287 ||
           c == 12288;
}

// Whitespace that is not a line break (the spaces of the plain trim).
bool space_q(uint32_t c) {
    return c == ' ' || c == '\t' || c == 133 || c == 160 || c == 5760 || c == 6158 ||
           (c >= 8192 && c <= 8202) || c == 8232 || c == 8233 || c == 8239 || c == 8287 ||
           c == 12288;
}

// Rewrites the elements from `head` to the tail with the kept code points.
void rewrite(Cell* series, uint32_t head, const std::vector<uint32_t>& kept) {
    SeriesBuffer* s = series_of(series);
    uint32_t unit = s->unit();
    uint8_t* base = s->offset_addr();
    for (uint32_t i = 0; i < kept.size(); ++i) unicode::set_char(base, unit, head + i, kept[i]);
    s->tail = s->offset + (head + static_cast<uint32_t>(kept.size())) * unit;
}

}  // namespace

Cell* trim(Cell* series, bool head_, bool tail_, bool auto_, bool lines, bool all, Cell* with) {
    clamp_head(series);
    uint32_t head = series->head();
    uint32_t n = rs_length_q(series);
    std::vector<uint32_t> text(n);
    for (uint32_t i = 0; i < n; ++i) text[i] = rs_abs_at(series, head + i);
    std::vector<uint32_t> kept;
    kept.reserve(n);

    if (all || with) {
        std::vector<uint32_t> set;
        if (with) {
            if (with->type() == TYPE_CHAR || with->type() == TYPE_INTEGER) {
                set.push_back(static_cast<uint32_t>(with->int_value()));
            } else if (in(ANY_STRING, with->type()) || with->type() == TYPE_BINARY) {
                Cell w = *with;
                uint32_t m = rs_length_q(&w);
                for (uint32_t i = 0; i < m; ++i) set.push_back(rs_abs_at(&w, w.head() + i));
            } else {
                fire(err::INVALID_ARG, with);
            }
        } else {
            set = {'\t', '\n', '\r', ' '};
        }
        for (uint32_t c : text)
            if (std::find(set.begin(), set.end(), c) == set.end()) kept.push_back(c);
    } else if (auto_) {
        fire(err::NOT_DONE);
    } else if (lines) {
        bool pending = false;
        for (uint32_t c : text) {
            if (white_q(c)) {
                pending = !kept.empty();
            } else {
                if (pending) kept.push_back(' ');
                pending = false;
                kept.push_back(c);
            }
        }
    } else if (head_ || tail_) {
        uint32_t b = 0, e = n;
        if (head_)
            while (b < e && white_q(text[b])) ++b;
        if (tail_)
            while (e > b && white_q(text[e - 1])) --e;
        kept.assign(text.begin() + b, text.begin() + e);
    } else {
        uint32_t b = 0, e = n;
        while (b < e && white_q(text[b])) ++b;
        bool line_at_end = false;
        while (e > b && white_q(text[e - 1])) {
            if (text[e - 1] == '\n') line_at_end = true;
            --e;
        }
        bool line_start = false;
        for (uint32_t i = b; i < e; ++i) {
            uint32_t c = text[i];
            if (c == '\n') {
                while (!kept.empty() && space_q(kept.back())) kept.pop_back();
                kept.push_back(c);
                line_start = true;
            } else if (line_start && space_q(c)) {
                continue;
            } else {
                line_start = false;
                kept.push_back(c);
            }
        }
        if (line_at_end) kept.push_back('\n');
    }
    Cell target = *series;
    bool notify = ownership::before(&target, words::trim, nullptr, static_cast<int32_t>(head), static_cast<int32_t>(n));
    rewrite(series, head, kept);
    ownership::after(notify, &target, words::trimmed, nullptr, static_cast<int32_t>(head), static_cast<int32_t>(n));
    return series;
}

// ---- Set operations -----------------------------------------------------------------------------

Cell* do_set_op(Cell* s1, Cell* s2, bool case_, Cell* skip, int32_t op) {
    uint32_t step = 1;
    if (skip) {
        int32_t n = skip->type() == TYPE_INTEGER ? skip->int_value() : 0;
        if (n < 1) fire_refine_arg(words::ref::skip, skip);
        step = static_cast<uint32_t>(n);
    }
    auto key = [&](uint32_t cp) { return case_ ? cp : fold(cp); };
    Cell a = *s1;
    clamp_head(&a);
    Cell b = s2 ? *s2 : a;
    if (s2) clamp_head(&b);
    uint32_t la = rs_length_q(&a);
    uint32_t lb = s2 ? rs_length_q(&b) : 0;
    std::unordered_set<uint32_t> other;
    if (op == 10 || op == 11 || op == 12) {
        for (uint32_t i = 0; i < lb; i += step) other.insert(key(rs_abs_at(&b, b.head() + i)));
    }
    std::unordered_set<uint32_t> first_keys;
    if (op == 12)
        for (uint32_t i = 0; i < la; i += step) first_keys.insert(key(rs_abs_at(&a, a.head() + i)));

    Cell* result = rs_make_at(stack::push_slot(), la + (op == 9 ? lb : 0));
    std::unordered_set<uint32_t> seen;
    auto visit = [&](Cell* from, uint32_t length, const std::unordered_set<uint32_t>* against, bool present) {
        for (uint32_t i = 0; i < length; i += step) {
            uint32_t k = key(rs_abs_at(from, from->head() + i));
            if (against && (against->count(k) != 0) != present) continue;
            if (!seen.insert(k).second) continue;
            SeriesBuffer* s = series_of(result);
            for (uint32_t j = 0; j < step && i + j < length; ++j)
                s = append_char(s, rs_abs_at(from, from->head() + i + j));
        }
    };
    switch (op) {
        case 8: visit(&a, la, nullptr, false); break;
        case 9:
            visit(&a, la, nullptr, false);
            visit(&b, lb, nullptr, false);
            break;
        case 10: visit(&a, la, &other, true); break;
        case 11: visit(&a, la, &other, false); break;
        case 12:
            visit(&a, la, &other, false);
            visit(&b, lb, &first_keys, false);
            break;
        default: sys::on_quit(101, 0);
    }
    Cell r = *result;
    r.header = s1->type();
    stack::pop(1);
    return copy_cell(&r, s1);
}

}  // namespace string

// ---- Registration --------------------------------------------------------------

template <>
void datatype::init_type<TYPE_STRING>() {
    string::init_scratch();
    register_type<TYPE_STRING, "oiioooo-o --------------- oiioiioiiioiiiii-iiooioiioo ---i-------">(
        own<slot::make>(string::make), own<slot::to>(string::to), own<slot::form>(string::form),
        own<slot::mold>(string::mold), own<slot::eval_path>(string::eval_path),
        own<slot::compare>(string::compare), own<slot::append>(string::insert),
        own<slot::change>(string::change), own<slot::find>(string::find),
        own<slot::insert>(string::insert), own<slot::select>(string::select),
        own<slot::sort>(string::sort), own<slot::swap>(string::swap), own<slot::take>(string::take),
        own<slot::trim>(string::trim));
}
