// map!: key/value dictionaries over a backing block and a hash table: key
// normalisation, making, lookups and updates, text, reflection, comparison,
// copying, and the workers of the extend and foreach natives.
#include "datatypes/map.h"

#include <cmath>

#include "datatypes/block.h"
#include "evaluator/context.h"
#include "datatypes/datatype.h"
#include "datatypes/integer.h"
#include "datatypes/series.h"
#include "datatypes/string.h"
#include "datatypes/word.h"
#include "evaluator/actions.h"
#include "evaluator/cycles.h"
#include "evaluator/errors.h"
#include "evaluator/stack.h"
#include "evaluator/symbol.h"
#include "evaluator/words.h"
#include "runtime/hashtable.h"
#include "runtime/typesets.h"

namespace map {

namespace {

const Cell none_value{TYPE_NONE, 0, 0, 0};
// What a path step answers for a missing key (the caller copies it at once).
Cell path_none{TYPE_NONE, 0, 0, 0};

// Keys stored as a copy of their text or bytes.
constexpr typesets::Mask TEXT_KEY = ANY_STRING | typesets::of({TYPE_BINARY});

// The backing block as a block! value.
Cell backing(const Cell* map) { return Cell{TYPE_BLOCK, 0, map->node(), 0}; }
Node table_of(const Cell* map) { return map->data3; }

Cell* cell_at(const Cell* blk, uint32_t i) { return block::rs_abs_at(blk, i); }

bool live_q(const Cell* key_cell) { return key_cell[1].header != 0; }

// The key cell of the pair whose key equals `key` (code 0, or 2 with
// case_), removed or not; null when there is none. `hash`, when given, gets
// the key's hash.
Cell* lookup(const Cell* map, const Cell* key, bool case_, uint32_t* hash = nullptr) {
    Cell k = *key;
    return hashtable::get(table_of(map), &k, 0, 1, case_ ? actions::COMP_STRICT_EQUAL : actions::COMP_EQUAL,
                          false, false, hash);
}

// Path setting, put and extend: the key's value becomes `value`; a missing
// key is normalised and appended, a removed pair lives again.
void set_value(const Cell* map, const Cell* key, const Cell* value, bool case_, const Cell* context) {
    Cell k = *key, v = *value;
    uint32_t hash;
    if (Cell* found = lookup(map, &k, case_, &hash)) {
        if (!live_q(found)) hashtable::record(table_of(map))->count++;
        found[1] = v;
        return;
    }
    if (!in(KEY_TYPES, k.type())) {
        Cell dt;
        datatype::make_at(&dt, k.type());
        fire(err::INVALID_PATH, context, &dt);
    }
    Cell blk = backing(map);
    uint32_t at = series_of(&blk)->count();
    block::rs_append(&blk, &k);
    Cell unset{TYPE_UNSET, 0, 0, 0};
    block::rs_append(&blk, &unset);
    preprocess_key(&blk, at, context);
    // The stored form hashes as the key did (a copy of the same text, a
    // word as set-word!), and the lookup found no equal key, so no strictly
    // equal one either.
    hashtable::put_new(table_of(map), cell_at(&blk, at), hash);
    *cell_at(&blk, at + 1) = v;
}

// A stored key as find, words and foreach give it: a set-word! as word!.
Cell key_out(const Cell* key) {
    Cell k = *key;
    if (k.type() == TYPE_SET_WORD) set_type(&k, TYPE_WORD);
    return k;
}

int32_t put_char(Cell* buffer, char c, int32_t limit) {
    string::append_char(series_of(buffer), static_cast<uint8_t>(c));
    return limit - 1;
}

}  // namespace

// ---- Keys and making ------------------------------------------------------------------

void preprocess_key(Cell* blk, uint32_t index, const Cell* context) {
    Cell k = *cell_at(blk, index);
    uint32_t t = k.type();
    if (in(TEXT_KEY, t)) {
        Cell copy;
        series::copy(&k, &copy, nullptr, false, nullptr);
        copy.header = t;
        *cell_at(blk, index) = copy;
    } else if (in(ANY_WORD, t)) {
        cell_at(blk, index)->header = TYPE_SET_WORD;
    } else if (!in(KEY_TYPES, t)) {
        Cell dt;
        datatype::make_at(&dt, t);
        Cell ctx = context ? *context : *blk;
        fire(err::INVALID_PATH, &ctx, &dt);
    }
}

Cell* make_at(Cell* slot, const Cell* backing_block, uint32_t size, const Cell* context) {
    if (backing_block) {
        Cell b = *backing_block;
        *slot = Cell{TYPE_BLOCK, 0, b.node(), 0};
    } else {
        block::make_at(slot, size);
    }
    Cell blk = *slot;
    uint32_t n = series_of(&blk)->count();
    for (uint32_t i = 0; i < n; i += 2) preprocess_key(&blk, i, context);
    Node table = hashtable::init(size ? size : 2, &blk, hashtable::KIND_MAP, 1);
    *slot = Cell{TYPE_MAP, 0, blk.node(), table};
    return slot;
}

Cell* push(const Cell* map) { return stack::push(map); }

uint32_t rs_length_q(const Cell* map) { return static_cast<uint32_t>(hashtable::record(table_of(map))->count); }

void extend(Cell* map, Cell* blk_in, bool case_) {
    Cell blk = *blk_in;
    series::clamp(&blk);
    uint32_t n = block::rs_length_q(&blk);
    if (n % 2) fire(err::INVALID_ARG, &blk);
    Cell m = *map;
    for (uint32_t i = 0; i < n; i += 2) {
        Cell k = *cell_at(&blk, blk.head() + i);
        Cell v = *cell_at(&blk, blk.head() + i + 1);
        set_value(&m, &k, &v, case_, &blk);
    }
}

bool foreach_next(const Cell* words_block, Cell* map, uint32_t count) {
    Cell words = *words_block;
    Cell blk = backing(map);
    // The values and the index after them come first, the values held on
    // the stack: the index has moved on before any word is set, so that an
    // on-change* handler of a word that continues the loop goes on with the
    // next pairs.
    Cell* values = stack::top;
    bool any = false;
    uint32_t at = map->head();
    for (uint32_t i = 0; i < count; ++i) {
        Cell w = *cell_at(&words, words.head() + i);
        if (!in(ANY_WORD, w.type())) fire(err::INVALID_ARG, &w);
        uint32_t len = series_of(&blk)->count();
        while (at % 2 == 0 && at + 1 < len && !live_q(cell_at(&blk, at))) at += 2;
        Cell c = none_value;
        if (at < len) {
            c = key_out(cell_at(&blk, at));
            if (at % 2) c = *cell_at(&blk, at);
            ++at;
            any = true;
        }
        stack::push(&c);
    }
    map->data1 = at;
    for (uint32_t i = 0; i < count; ++i) {
        Cell w = *cell_at(&words, words.head() + i);
        Cell v = values[i];
        context::set(&w, &v);
    }
    stack::top = values;
    return any;
}

// ---- make and to ----------------------------------------------------------------------

namespace {

[[noreturn]] void fire_bad_to(const Cell* spec) {
    Cell dt;
    datatype::make_at(&dt, TYPE_MAP);
    fire(err::BAD_TO_ARG, &dt, spec);
}

Cell* make_from(Cell* proto, Cell* spec, bool to) {
    switch (spec->type()) {
        case TYPE_BLOCK:
        case TYPE_PAREN:
        case TYPE_HASH: {
            Cell src = *spec;
            series::clamp(&src);
            uint32_t n = block::rs_length_q(&src);
            if (n % 2) fire(err::INVALID_ARG, &src);
            series::copy(&src, proto, nullptr, false, nullptr);
            *proto = Cell{TYPE_BLOCK, 0, proto->node(), 0};
            for (uint32_t i = 0; i < n; ++i) clear_new_line(cell_at(proto, i));
            return make_at(proto, proto, n ? n : 2, &src);
        }
        case TYPE_INTEGER:
        case TYPE_FLOAT: {
            if (to) fire_bad_to(spec);
            int32_t n = integer::checked(spec);
            if (n < 0) fire(err::OUT_OF_RANGE, spec);
            if (n >= 67108864) fire(err::NO_MEMORY);
            return make_at(proto, nullptr, n ? 2 * static_cast<uint32_t>(n) : 2);
        }
        case TYPE_MAP: return copy(spec, proto, nullptr, false, nullptr);
        default: fire_bad_to(spec);
    }
}

}  // namespace

Cell* make(Cell* proto, Cell* spec, uint32_t) { return make_from(proto, spec, false); }
Cell* to(Cell* proto, Cell* spec, uint32_t) { return make_from(proto, spec, true); }

// ---- Reflection ------------------------------------------------------------------------

Cell* reflect(Cell* value, Cell* field) {
    uint32_t f = in(ALL_WORD, field->type()) ? symbol::resolve(field->symbol()) : 0;
    bool words_q = f == symbol::resolve(words::sym::words);
    bool values_q = f == symbol::resolve(words::sym::values);
    bool body_q = f == symbol::resolve(words::sym::body);
    if (!words_q && !values_q && !body_q) fire(err::NOT_DONE);
    Cell m = *value;
    uint32_t count = rs_length_q(&m);
    uint32_t room = body_q ? 2 * count : count;
    Cell* out = block::make_at(stack::push_slot(), room ? room : 1);
    Cell blk = backing(&m);
    for (uint32_t i = 0; i + 1 < series_of(&blk)->count(); i += 2) {
        if (!live_q(cell_at(&blk, i))) continue;
        if (words_q || body_q) {
            Cell k = words_q ? key_out(cell_at(&blk, i)) : *cell_at(&blk, i);
            if (body_q) k.header |= FLAG_NEW_LINE;
            block::rs_append(out, &k);
        }
        if (values_q || body_q) {
            Cell v = *cell_at(&blk, i + 1);
            block::rs_append(out, &v);
        }
    }
    *value = *out;
    stack::pop(1);
    return value;
}

// ---- Text ------------------------------------------------------------------------------------

int32_t mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part, int32_t limit,
             int32_t indent) {
    if (cycles::detect_q(value, buffer, &limit, true)) return limit;
    Cell m = *value;
    Cell blk = backing(&m);
    if (!only) {
        string::concatenate_literal(buffer, "#[");
        limit -= 2;
    }
    bool written = false;
    if (rs_length_q(&m) > 0 && !flat && !only) limit = put_char(buffer, '\n', limit);
    cycles::push(m.node());
    for (uint32_t i = 0; i + 1 < series_of(&blk)->count(); i += 2) {
        if (part && limit <= 0) break;
        if (!live_q(cell_at(&blk, i))) continue;
        if (!flat) limit = block::mold_indent(buffer, indent + 1, limit);
        else if (written) limit = put_char(buffer, ' ', limit);
        Cell k = *cell_at(&blk, i);
        limit = actions::mold(&k, buffer, false, all, flat, part, limit, indent + 1);
        limit = put_char(buffer, ' ', limit);
        Cell v = *cell_at(&blk, i + 1);
        limit = actions::mold(&v, buffer, false, all, flat, part, limit, indent + 1);
        if (!flat) limit = put_char(buffer, '\n', limit);
        written = true;
    }
    cycles::pop();
    if (!only) {
        if (written && indent >= 1 && !flat) limit = block::mold_indent(buffer, indent, limit);
        limit = put_char(buffer, ']', limit);
    }
    return limit;
}

int32_t form(Cell* value, Cell* buffer, Cell* part, int32_t limit) {
    if (cycles::detect_q(value, buffer, &limit, false)) return limit;
    Cell m = *value;
    Cell blk = backing(&m);
    bool written = false;
    cycles::push(m.node());
    for (uint32_t i = 0; i + 1 < series_of(&blk)->count(); i += 2) {
        if (part && limit <= 0) break;
        if (!live_q(cell_at(&blk, i))) continue;
        if (written) limit = put_char(buffer, '\n', limit);
        Cell k = *cell_at(&blk, i);
        limit = actions::mold(&k, buffer, false, false, false, part, limit, 0);
        limit = put_char(buffer, ' ', limit);
        Cell v = *cell_at(&blk, i + 1);
        limit = actions::mold(&v, buffer, false, false, false, part, limit, 0);
        written = true;
    }
    cycles::pop();
    return limit;
}

// ---- Paths, lookups and updates ------------------------------------------------------------

Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell*, Cell*, int32_t, bool case_, bool,
                bool) {
    if (value) {
        set_value(parent, element, value, case_, path ? path : parent);
        return value;
    }
    Cell* found = lookup(parent, element, case_);
    if (!found || !live_q(found)) {
        path_none = none_value;
        return &path_none;
    }
    return found + 1;
}

Cell* put(Cell* map, Cell* key, Cell* value, bool case_) {
    Cell m = *map;
    set_value(&m, key, value, case_, &m);
    return value;
}

Cell* select(Cell* series, Cell* value, Cell*, bool, bool case_, bool, bool, Cell*, Cell*, bool, bool) {
    Cell* found = lookup(series, value, case_);
    Cell r = found && live_q(found) ? found[1] : none_value;
    *series = r;
    return series;
}

Cell* find(Cell* series, Cell* value, Cell*, bool, bool case_, bool, bool, Cell*, Cell*, bool, bool, bool,
           bool) {
    Cell* found = lookup(series, value, case_);
    Cell r = found && live_q(found) ? key_out(found) : none_value;
    *series = r;
    return series;
}

Cell* remove(Cell* map, Cell*, Cell* key) {
    if (!key) fire(err::MISSING_ARG);
    Cell* found = lookup(map, key, true);
    if (found && live_q(found)) hashtable::delete_cell(table_of(map), found);
    return map;
}

Cell* clear(Cell* map) {
    hashtable::clear(table_of(map));
    return map;
}

int32_t length_q(Cell* map) { return static_cast<int32_t>(rs_length_q(map)); }

Cell* copy(Cell* value, Cell* result, Cell*, bool deep, Cell* types) {
    Cell src = *value;
    Node blk = memory::copy_series(series_of(&src));
    Node table = hashtable::copy(table_of(&src), blk);
    *result = Cell{TYPE_MAP, 0, blk, table};
    if (!deep && !types) return result;
    // Deep copies walk the values; a map met again inside itself would be
    // copied for ever.
    if (deep) {
        if (cycles::find_q(src.node())) {
            cycles::reset();
            fire(err::NO_CYCLE);
        }
        cycles::push(src.node());
    }
    block::copy_values_deep(blk, 1, memory::buffer(blk)->count(), 2, deep, types);
    if (deep) cycles::pop();
    return result;
}

// ---- Comparison -----------------------------------------------------------------------------

namespace {

// Whether every live pair of m1 has a pair in m2 with an equal key and an
// equal value (strictly both under code 2).
bool pairs_match(const Cell* m1, const Cell* m2, int32_t op) {
    Cell b1 = backing(m1);
    int32_t value_op = op == actions::COMP_STRICT_EQUAL ? op : op == actions::COMP_FIND ? op : actions::COMP_EQUAL;
    for (uint32_t i = 0; i + 1 < series_of(&b1)->count(); i += 2) {
        if (!live_q(cell_at(&b1, i))) continue;
        Cell k = *cell_at(&b1, i);
        Cell v = *cell_at(&b1, i + 1);
        bool matched = false;
        if (op == actions::COMP_STRICT_EQUAL) {
            Cell* found = lookup(m2, &k, true);
            if (found && live_q(found)) {
                Cell w = found[1];
                matched = actions::compare(&v, &w, value_op) == 0;
            }
        } else {
            int32_t bucket = -1, end = 0, probes = 0;
            while (Cell* found = hashtable::get_next(table_of(m2), &k, &bucket, &end, &probes)) {
                if (!live_q(found)) continue;
                Cell w = found[1];
                if (actions::compare(&v, &w, value_op) == 0) {
                    matched = true;
                    break;
                }
            }
        }
        if (!matched) return false;
    }
    return true;
}

}  // namespace

int32_t compare(Cell* value1, Cell* value2, int32_t op) {
    if (value2->type() != TYPE_MAP) return actions::NOT_COMPARABLE;
    Node n1 = value1->node(), n2 = value2->node();
    switch (op) {
        case actions::COMP_SORT:
        case actions::COMP_CASE_SORT: return n1 < n2 ? -1 : n1 > n2 ? 1 : 0;
        case actions::COMP_EQUAL:
        case actions::COMP_NOT_EQUAL:
        case actions::COMP_STRICT_EQUAL:
        case actions::COMP_SAME:
        case actions::COMP_FIND: break;
        default: return actions::NOT_COMPARABLE;
    }
    if (n1 == n2) return 0;
    if (op == actions::COMP_SAME) return -1;
    if (cycles::find_q(n1)) return cycles::find_q(n2) ? 0 : -1;
    uint32_t c1 = rs_length_q(value1), c2 = rs_length_q(value2);
    if (c1 != c2) return 1;
    if (c1 == 0) return 0;
    Cell m1 = *value1, m2 = *value2;
    cycles::push(n1);
    cycles::push(n2);
    bool equal = pairs_match(&m1, &m2, op);
    cycles::pop_n(2);
    return equal ? 0 : 1;
}

}  // namespace map

// ---- Registration --------------------------------------------------------------

template <>
void datatype::init_type<TYPE_MAP>() {
    register_type<TYPE_MAP, "o-ooooo-o --------------- ----ooo----o----oo-o------- -----------">(
        own<slot::make>(map::make), own<slot::reflect>(map::reflect), own<slot::to>(map::to),
        own<slot::form>(map::form), own<slot::mold>(map::mold),
        own<slot::eval_path>(map::eval_path), own<slot::compare>(map::compare),
        own<slot::clear>(map::clear), own<slot::copy>(map::copy), own<slot::find>(map::find),
        own<slot::length_q>(map::length_q), own<slot::put>(map::put),
        own<slot::remove>(map::remove), own<slot::select>(map::select));
}
