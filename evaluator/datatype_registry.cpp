// The datatype registry: the name table and the action table.
#include "evaluator/datatype_registry.h"

#include <cstdlib>
#include <cstring>

#include "evaluator/word_storage.h"
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

}  // namespace datatype
