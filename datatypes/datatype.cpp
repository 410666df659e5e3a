// The datatype registry (name table, action table) and datatype!, the value
// that names a type.
#include "datatypes/datatype.h"

#include <array>
#include <cstdlib>
#include <cstring>

#include "datatypes/string.h"
#include "datatypes/word.h"
#include "evaluator/actions.h"
#include "evaluator/errors.h"
#include "evaluator/stack.h"
#include "runtime/collector.h"
#include "runtime/print.h"
#include "runtime/sys.h"

namespace datatype {

uint32_t top_id = 0;
actions::ActionFn action_table[TYPE_SLOTS][actions::ACTION_COUNT];

namespace {

auto& table = action_table;
NameEntry names[TYPE_SLOTS];
SlotKind kinds[TYPE_SLOTS][actions::ACTION_COUNT];
bool is_registered[TYPE_SLOTS];
bool names_built = false;

void make_name_word(uint32_t id) { names[id].word = *word::load(names[id].name); }

// The name words are C++ copies bound to the global context: the collector
// rewrites their context handle when the context moves.
void mark_names() {
    for (NameEntry& n : names)
        if (n.word.type() == TYPE_WORD && n.word.data1) collector::mark_context(&n.word.data1);
}

// A registration that breaks the order of the start-up list is a fault of
// the build: report it and stop.
[[noreturn]] void bad_registration(const char* what, uint32_t id) {
    sys::print_line({sys::Item::cstr("*** Datatype Error: "), sys::Item::cstr(what),
                     sys::Item::i32(static_cast<int32_t>(id))});
    sys::free_all();
    std::exit(1);
}

}  // namespace

// ---- The registry -------------------------------------------------------------------

void reset_tables() {
    std::memset(table, 0, sizeof table);
    std::memset(kinds, 0, sizeof kinds);
    for (auto& n : names) n = NameEntry{nullptr, 0, Cell{}};
    for (bool& r : is_registered) r = false;
    top_id = 0;
    names_built = false;
}

void register_list(uint32_t id, const ActionList& list) {
    uint32_t parent = parent_of(id);
    if (id == 0 || id >= TYPE_SLOTS) bad_registration("invalid type id: ", id);
    if (parent != 0 && !is_registered[parent]) bad_registration("parent not registered for type: ", id);
    if (id > top_id) top_id = id;

    const char* name = name_of(id);
    names[id] = NameEntry{name, static_cast<uint32_t>(std::strlen(name) - 1), Cell{}};
    if (names_built) make_name_word(id);

    for (uint32_t s = 0; s < actions::ACTION_COUNT; ++s) {
        const ListEntry& e = list.slots[s];
        kinds[id][s] = e.kind;
        switch (e.kind) {
            case SlotKind::own: table[id][s] = e.fn; break;
            case SlotKind::inherit: table[id][s] = table[parent][s]; break;
            default: table[id][s] = nullptr; break;
        }
    }
    is_registered[id] = true;
}

void install_entry(uint32_t id, uint32_t slot, actions::ActionFn fn) {
    if (!registered(id) || slot_kind(id, slot) != SlotKind::pending || !fn)
        bad_registration("action installed into a slot not pending for type: ", id);
    kinds[id][slot - 1] = SlotKind::own;
    table[id][slot - 1] = fn;
}

ActionList detail::list_of(const Row& row, const ListEntry* own) {
    ActionList list{};
    for (uint32_t s = 0; s < actions::ACTION_COUNT; ++s) {
        switch (row.kinds[s]) {
            case 'o': list.slots[s] = *own++; break;
            case 'i': list.slots[s] = ListEntry{SlotKind::inherit, nullptr}; break;
            case 'p': list.slots[s] = ListEntry{SlotKind::pending, nullptr}; break;
            default: list.slots[s] = ListEntry{SlotKind::unsupported, nullptr}; break;
        }
    }
    return list;
}

const NameEntry* name_entry(uint32_t id) {
    return id < TYPE_SLOTS && is_registered[id] ? &names[id] : nullptr;
}

SlotKind slot_kind(uint32_t type, uint32_t slot) {
    if (type >= TYPE_SLOTS || slot < 1 || slot > actions::ACTION_COUNT) return SlotKind::unsupported;
    return kinds[type][slot - 1];
}

bool registered(uint32_t id) { return id < TYPE_SLOTS && is_registered[id]; }

void build_names() {
    collector::register_mark_callback(mark_names);
    for (uint32_t id = 1; id <= top_id; ++id)
        if (is_registered[id]) make_name_word(id);
    names_built = true;
}

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
const NameEntry* entry_of(const Cell* value) {
    return value->data1 < TYPE_SLOTS && names[value->data1].name ? &names[value->data1] : nullptr;
}
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
