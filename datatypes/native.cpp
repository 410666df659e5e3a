// native!: built-in functions of the natives table as values: making them
// from a spec and an index, reflection, form, mold and comparison (shared
// with action! and op!).
#include "datatypes/native.h"

#include <cstring>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "datatypes/block.h"
#include "evaluator/context.h"
#include "datatypes/datatype.h"
#include "datatypes/function.h"
#include "datatypes/routine.h"
#include "evaluator/routines.h"
#include "datatypes/string.h"
#include "datatypes/typeset.h"
#include "evaluator/actions.h"
#include "evaluator/errors.h"
#include "evaluator/interpreter.h"
#include "evaluator/natives.h"
#include "evaluator/stack.h"
#include "evaluator/symbol.h"
#include "evaluator/words.h"

namespace native {

bool two_argument_spec_q(const Cell* spec) {
    SeriesBuffer* s = series_of(spec);
    auto* cells = reinterpret_cast<Cell*>(s->offset_addr());
    uint32_t n = s->count();
    uint32_t local = symbol::resolve(words::local.symbol());
    uint32_t ext = symbol::resolve(words::ref::extern_.symbol());
    uint32_t count = 0;
    bool plain = false;
    for (uint32_t i = 0; i < n; ++i) {
        const Cell& c = cells[i];
        switch (c.type()) {
            case TYPE_WORD: ++count; plain = true; break;
            case TYPE_LIT_WORD:
            case TYPE_GET_WORD:
                if (!plain) return false;
                ++count;
                break;
            case TYPE_REFINEMENT: {
                uint32_t sym = symbol::resolve(c.symbol());
                if (sym != local && sym != ext) return false;
                return count == 2;
            }
            case TYPE_SET_WORD: return count == 2;
            default: break;
        }
    }
    return count == 2;
}

namespace {

int32_t append_text(Cell* buffer, const char* text, int32_t limit) {
    string::concatenate_literal(buffer, text);
    return limit - static_cast<int32_t>(std::strlen(text));
}

[[noreturn]] void bad_make_arg(Cell* proto, Cell* spec) {
    Cell p = *proto, s = *spec;
    fire(err::BAD_MAKE_ARG, &p, &s);
}

// One entry of an argument cache, as the checks compare it.
struct CacheEntry {
    uint32_t header, data1, data2, data3;
};

// The own argument cache of every entry made so far, by key_of.
std::unordered_map<uint32_t, std::vector<CacheEntry>>& own_caches() {
    static std::unordered_map<uint32_t, std::vector<CacheEntry>> caches;
    return caches;
}

// Whether the library is loaded: until then the arguments last made for an
// entry are its own (the library's `make` replaces the start-up's bare one).
bool library_complete = false;

// The keys of the entries that fit no spec.
std::unordered_set<uint32_t>& sealed() {
    static std::unordered_set<uint32_t> keys;
    return keys;
}

uint32_t key_of(uint32_t type, uint32_t entry) {
    switch (type) {
        case TYPE_ACTION: return natives::TABLE_SLOTS + entry;
        case TYPE_ROUTINE: return natives::TABLE_SLOTS + actions::ACTION_COUNT + entry;
        default: return entry;
    }
}

std::vector<CacheEntry> entries_of(const Cell* cache) {
    std::vector<CacheEntry> list;
    uint32_t n = block::rs_length_q(cache);
    for (uint32_t i = 0; i < n; ++i) {
        const Cell& c = block::rs_head(cache)[i];
        list.push_back(CacheEntry{c.header, c.data1, c.data2, c.data3});
    }
    return list;
}

// Whether an entry of a new spec's cache fits the entry of the own cache at
// its place: an argument of the same kind taking no datatype the own one
// refuses, a refinement (its name is free), the same count.
bool fits(const CacheEntry& made, const CacheEntry& own) {
    uint32_t type = made.header & 0xFF;
    if (type != (own.header & 0xFF)) return false;
    switch (type) {
        case TYPE_TYPESET: {
            if (made.header != own.header) return false;  // the kind bits
            Cell m{made.header, made.data1, made.data2, made.data3}, o{own.header, own.data1, own.data2, own.data3};
            for (uint32_t t = 1; t <= datatype::top_id; ++t)
                if (typeset::has_q(&m, t) && !typeset::has_q(&o, t)) return false;
            return true;
        }
        case TYPE_INTEGER: return made.data2 == own.data2;
        default: return true;
    }
}

}  // namespace

bool entry_cache(uint32_t type, uint32_t entry, const Cell* spec, Cell* cache) {
    if (sealed().count(key_of(type, entry))) return false;
    Cell made = interpreter::argument_cache(spec, type != TYPE_ROUTINE);
    std::vector<CacheEntry> list = entries_of(&made);
    auto& caches = own_caches();
    auto own = caches.find(key_of(type, entry));
    if (own == caches.end()) {
        caches.emplace(key_of(type, entry), std::move(list));
    } else if (!library_complete) {
        own->second = std::move(list);
    } else {
        if (own->second.size() != list.size()) return false;
        for (size_t i = 0; i < list.size(); ++i)
            if (!fits(list[i], own->second[i])) return false;
    }
    *cache = made;
    return true;
}

bool own_spec_q(uint32_t type, uint32_t entry) { return own_caches().count(key_of(type, entry)) != 0; }

void seal_entries() {
    library_complete = true;
    auto seal = [](uint32_t type, uint32_t entry) {
        if (!own_caches().count(key_of(type, entry))) sealed().insert(key_of(type, entry));
    };
    for (uint32_t i = 1; i <= natives::TABLE_SLOTS; ++i)
        if (natives::entry(i)) seal(TYPE_NATIVE, i);
    for (uint32_t i = 1; i <= actions::ACTION_COUNT; ++i)
        if (actions::entry(i)) seal(TYPE_ACTION, i);
    for (uint32_t i = 1; i <= routines::MAX_INDEX; ++i)
        if (routine::body_of(static_cast<int32_t>(i))) seal(TYPE_ROUTINE, i);
}

Cell* make(Cell* proto, Cell* spec, uint32_t type) {
    Cell arg = *spec;
    if (arg.type() != TYPE_BLOCK || block::rs_length_q(&arg) != 2) bad_make_arg(proto, spec);
    Cell spec_block = block::rs_clamp_head(&arg)[0];
    Cell index = block::rs_clamp_head(&arg)[1];
    if (spec_block.type() != TYPE_BLOCK || index.type() != TYPE_INTEGER) bad_make_arg(proto, spec);
    int32_t i = index.int_value();
    uint32_t id;
    if (type == TYPE_ACTION) {
        // Only an action slot that has an entry point makes a value.
        if (i < 1 || i > static_cast<int32_t>(actions::ACTION_COUNT) || !actions::entry(static_cast<uint32_t>(i)))
            bad_make_arg(proto, spec);
        id = ACTION_ENTRY_BASE + static_cast<uint32_t>(i);
    } else {
        // An index of the table that holds no native is refused instead of
        // making a value that would call nothing.
        if (i < 1 || i > static_cast<int32_t>(natives::TABLE_SLOTS) || !natives::entry(static_cast<uint32_t>(i)))
            bad_make_arg(proto, spec);
        id = static_cast<uint32_t>(i);
    }
    // The cache is made now, from the argument block as it is: that block
    // changed later cannot change how calls are laid out.
    Cell cache;
    if (!entry_cache(type, static_cast<uint32_t>(i), &spec_block, &cache)) bad_make_arg(proto, spec);
    Node ctx = context::make(&spec_block, true, false, context::KIND_FUNCTION);
    Node more = memory::alloc_cells(MORE_CELLS);
    SeriesBuffer* m = memory::buffer(more);
    auto* cells = reinterpret_cast<Cell*>(m->offset_addr());
    cells[MORE_CONTEXT] = *context::cell_of(ctx);
    cells[MORE_CACHE] = cache;
    m->tail = m->offset + MORE_CELLS * static_cast<uint32_t>(sizeof(Cell));
    Cell r{type, id, spec_block.node(), more};
    return copy_cell(&r, proto);
}

Cell* reflect(Cell* value, Cell* field) {
    Cell v = *value;
    uint32_t s = field->type() == TYPE_WORD ? symbol::resolve(field->symbol()) : 0;
    if (s == symbol::resolve(words::sym::spec)) {
        Cell r{TYPE_BLOCK, 0, v.data2, 0};
        return copy_cell(&r, value);
    }
    if (s == symbol::resolve(words::sym::body)) {
        uint32_t src = source_type(&v);
        if (src == TYPE_FUNCTION || src == TYPE_ROUTINE) {
            Cell r = *function::more(&v, function::MORE_BODY);
            return copy_cell(&r, value);
        }
        int32_t index = static_cast<int32_t>(action_q(&v) ? v.data1 - ACTION_ENTRY_BASE : v.data1);
        Cell r{TYPE_INTEGER, 0, static_cast<uint32_t>(index), 0};
        return copy_cell(&r, value);
    }
    fire(err::NOT_DONE);
}

int32_t form(Cell*, Cell* buffer, Cell*, int32_t limit) { return append_text(buffer, "?native?", limit); }

int32_t mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part, int32_t limit, int32_t indent) {
    Cell spec{TYPE_BLOCK, 0, value->data2, 0};
    limit = append_text(buffer, value->type() == TYPE_ACTION ? "make action! [" : "make native! [", limit);
    limit = actions::mold(&spec, buffer, only, all, flat, part, limit, indent);
    return append_text(buffer, "]", limit);
}

int32_t compare(Cell* value1, Cell* value2, int32_t op) {
    return actions::compare_identity(value1, value2, value1->data1, value2->data1, op);
}

}  // namespace native

// ---- Registration --------------------------------------------------------------

template <>
void datatype::init_type<TYPE_NATIVE>() {
    native::own_caches().clear();
    native::sealed().clear();
    native::library_complete = false;
    register_type<TYPE_NATIVE, "o-o-oo--o --------------- --------------------------- -----------">(
        own<slot::make>(native::make), own<slot::reflect>(native::reflect),
        own<slot::form>(native::form), own<slot::mold>(native::mold),
        own<slot::compare>(native::compare));
}
