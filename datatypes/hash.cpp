// hash!: a block indexed by a hash table: its makers, mold, copy, sort and
// trim, and the table upkeep that the block and series actions call.
#include "datatypes/hash.h"

#include <cmath>

#include "datatypes/block.h"
#include "datatypes/datatype.h"
#include "datatypes/integer.h"
#include "datatypes/series.h"
#include "datatypes/string.h"
#include "evaluator/cycles.h"
#include "evaluator/errors.h"
#include "runtime/hashtable.h"

namespace hash {

// ---- Tables and upkeep ------------------------------------------------------------

Cell* make_table_at(Cell* slot, uint32_t size) {
    Cell blk = *slot;
    blk.data1 = 0;
    Node table = hashtable::init(size ? size : 1, &blk, hashtable::KIND_HASH, 1);
    *slot = Cell{TYPE_HASH, 0, blk.node(), table};
    return slot;
}

void rebuild(const Cell* value) {
    Node table = table_of(value);
    if (!table) return;
    hashtable::resize(table, series_of(value)->count());
}

void inserted(const Cell* value, uint32_t at, uint32_t count) {
    Node table = table_of(value);
    if (!table || count == 0) return;
    uint32_t old_length = series_of(value)->count() - count;
    if (at < old_length && hashtable::refresh(table, static_cast<int32_t>(count), at, old_length - at, true) != 0) {
        rebuild(value);
        return;
    }
    for (uint32_t i = 0; i < count; ++i) {
        int32_t status = 0;
        hashtable::put(table, block::rs_abs_at(value, at + i), &status);
        if (status == 2) return;  // rebuilt whole, the rest included
    }
}

void removed(const Cell* value, uint32_t at, uint32_t count, uint32_t old_length) {
    Node table = table_of(value);
    if (!table || count == 0) return;
    if (hashtable::refresh(table, -static_cast<int32_t>(count), at + count, old_length - at - count, true) != 0)
        rebuild(value);
}

void forget(const Cell* value, uint32_t at, uint32_t count) {
    Node table = table_of(value);
    if (table && count) hashtable::remove_range(table, at, count);
}

void reindex(const Cell* value, uint32_t at, uint32_t count) {
    Node table = table_of(value);
    if (!table) return;
    for (uint32_t i = 0; i < count; ++i) {
        hashtable::delete_cell(table, block::rs_abs_at(value, at + i));
        int32_t status = 0;
        hashtable::put(table, block::rs_abs_at(value, at + i), &status);
        if (status == 2) return;
    }
}

// ---- Making ------------------------------------------------------------------------------

Cell* make(Cell* proto, Cell* spec, uint32_t type) {
    switch (spec->type()) {
        case TYPE_INTEGER:
        case TYPE_FLOAT: {
            int32_t n = integer::checked(spec);
            uint32_t size = n > 0 ? static_cast<uint32_t>(n) : 1u;
            block::make_at(proto, size);
            return make_table_at(proto, size);
        }
        case TYPE_HASH: return copy(spec, proto, nullptr, false, nullptr);
        case TYPE_BLOCK: {
            Cell src = *spec;
            series::copy(&src, proto, nullptr, false, nullptr);
            set_header(proto, TYPE_BLOCK);
            return make_table_at(proto, series_of(proto)->count());
        }
        default: return to(proto, spec, type);
    }
}

Cell* to(Cell* proto, Cell* spec, uint32_t) {
    if (spec->type() == TYPE_HASH) return copy(spec, proto, nullptr, false, nullptr);
    block::to(proto, spec, TYPE_BLOCK);
    return make_table_at(proto, series_of(proto)->count());
}

// ---- Actions ---------------------------------------------------------------------------------

int32_t mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part, int32_t limit,
             int32_t indent) {
    // A hash! met again inside itself shows as the cycle marker alone.
    if (cycles::detect_q(value, buffer, &limit, true)) return limit;
    if (!only) {
        string::concatenate_literal(buffer, "make hash! ");
        limit -= 11;
    }
    return block::mold(value, buffer, only, all, flat, part, limit, indent);
}

Cell* copy(Cell* value, Cell* result, Cell* part, bool deep, Cell* types) {
    Cell src = *value;
    bool same_positions = src.head() == 0 && !part && !deep && !types && src.data3;
    block::copy(&src, result, part, deep, types);
    Cell out = *result;
    Node table = same_positions ? hashtable::copy(src.data3, out.node())
                                : hashtable::init(series_of(&out)->count() ? series_of(&out)->count() : 1, &out,
                                                  hashtable::KIND_HASH, 1);
    *result = Cell{TYPE_HASH | (out.header & FLAG_NEW_LINE), 0, out.node(), table};
    return result;
}

Cell* sort(Cell* series, bool case_, Cell* skip, Cell* comparator, Cell* part, bool all, bool reverse,
           bool stable) {
    block::sort(series, case_, skip, comparator, part, all, reverse, stable);
    rebuild(series);
    return series;
}

Cell* trim(Cell* series, bool head, bool tail, bool auto_, bool lines, bool all, Cell* with) {
    block::trim(series, head, tail, auto_, lines, all, with);
    rebuild(series);
    return series;
}

}  // namespace hash

// ---- Registration --------------------------------------------------------------

template <>
void datatype::init_type<TYPE_HASH>() {
    register_type<TYPE_HASH, "o-ioioi-i --------------- iiiiioiiiiiiiiiiiiiioiiiiio ---i-------">(
        own<slot::make>(hash::make), own<slot::to>(hash::to), own<slot::mold>(hash::mold),
        own<slot::copy>(hash::copy), own<slot::sort>(hash::sort), own<slot::trim>(hash::trim));
}
