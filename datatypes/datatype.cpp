// datatype!, the value that names a type, and the start-up registration of
// every datatype (the registry is evaluator/datatype_registry.cpp).
#include "datatypes/datatype.h"

#include <array>

#include "datatypes/string.h"
#include "evaluator/actions.h"
#include "evaluator/errors.h"
#include "evaluator/stack.h"

namespace datatype {

namespace {

// The start-up order: by id, each type after its parent (and that one after
// its own), so that an inherited slot copies a row already registered.
constexpr std::array<uint32_t, TYPE_COUNT> start_up_order() {
    std::array<uint32_t, TYPE_COUNT> order{};
    bool placed[TYPE_COUNT + 1] = {};
    uint32_t n = 0;
    for (uint32_t id = 1; id <= TYPE_COUNT; ++id) {
        uint32_t chain[TYPE_COUNT], depth = 0;
        for (uint32_t t = id; t != 0 && !placed[t]; t = parent_of(t)) chain[depth++] = t;
        while (depth > 0) {
            uint32_t t = chain[--depth];
            placed[t] = true;
            order[n++] = t;
        }
    }
    return order;
}

using InitFn = void (*)();
constexpr InitFn inits[TYPE_COUNT + 1] = {
    nullptr,
#define X(id, ...) &init_type<id>,
    ZEM_DATATYPES(X)
#undef X
};

}  // namespace

void init_all() {
    reset_tables();
    static constexpr std::array<uint32_t, TYPE_COUNT> order = start_up_order();
    for (uint32_t id : order)
        if (id != TYPE_EVENT) inits[id]();
}

// ---- datatype! ------------------------------------------------------------------------

Cell* make_in(Cell* block, uint32_t type) { return make_at(alloc_tail(block), type); }

Cell* push(uint32_t type) { return make_at(stack::push_slot(), type); }

namespace {
// A datatype! names a registered type; anything else writes nothing.
const NameEntry* entry_of(const Cell* value) { return name_entry(value->data1); }
}  // namespace

int32_t form(Cell* value, Cell* buffer, Cell*, int32_t limit) {
    const NameEntry* e = entry_of(value);
    if (!e) return limit;
    const NameEntry& n = *e;
    string::concatenate_literal_part(buffer, n.name, n.length);
    return limit - static_cast<int32_t>(n.length);
}

int32_t mold(Cell* value, Cell* buffer, bool, bool all, bool, Cell*, int32_t limit, int32_t) {
    const NameEntry* e = entry_of(value);
    if (!e) return limit;
    const NameEntry& n = *e;
    if (all) string::concatenate_literal(buffer, "#(");
    string::concatenate_literal(buffer, n.name);
    if (all) string::concatenate_literal(buffer, ")");
    return limit - static_cast<int32_t>(n.length + 1) - (all ? 3 : 0);
}

int32_t compare(Cell* value1, Cell* value2, int32_t op) {
    if (!actions::identity_op_q(op)) return actions::NOT_COMPARABLE;
    return value2->type() == TYPE_DATATYPE && value1->data1 == value2->data1 ? 0 : 1;
}

// ---- Registration --------------------------------------------------------------

template <>
void init_type<TYPE_DATATYPE>() {
    register_type<TYPE_DATATYPE, "----oo--o --------------- --------------------------- -----------">(
        own<slot::form>(form), own<slot::mold>(mold), own<slot::compare>(compare));
}

void fire_malconstruct(uint32_t type, const Cell* spec) {
    constexpr int32_t EXCERPT = 80;
    Cell dt, v = *spec;
    make_at(&dt, type);
    Cell part{TYPE_INTEGER, 0, static_cast<uint32_t>(EXCERPT), 0};
    Cell* text = string::rs_make_at(stack::push_slot(), 16);
    actions::mold(&v, text, false, false, true, &part, EXCERPT, 0);
    Cell excerpt = *text;
    fire(err::MALCONSTRUCT, &dt, &excerpt);
}

}  // namespace datatype
