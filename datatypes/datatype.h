// The datatype registry (the name table and the action table built from one
// registration per datatype) and the datatype! datatype itself.
//
// A datatype registers with one list of its 62 action slots, in slot order:
//
//   datatype::register_type<TYPE_BLOCK>(
//       /* 1 make   */ block::make,      // own implementation
//       /* 2 random */ inherit,          // the parent's entry for the slot
//       /* 8 ...    */ unsupported,      // the action is not supported
//       /* 9 ...    */ pending,          // own, but not provided yet
//       ...);
//
// The list is checked when the program is built: it must hold exactly 62
// entries, each own implementation must have its slot's signature, and a
// type without a parent cannot inherit. Its id, name and parent come from the
// datatype table of cell.h.
#pragma once
#include <cstdint>
#include <type_traits>
#include <utility>

#include "evaluator/actions.h"
#include "runtime/cell.h"

namespace datatype {

// ---- The datatype table --------------------------------------------------------

constexpr uint32_t parent_of(uint32_t id) {
    switch (id) {
#define X(id_, name, text, parent, layout) \
    case id_: return parent;
        ZEM_DATATYPES(X)
#undef X
        default: return 0;
    }
}

constexpr const char* name_of(uint32_t id) {
    switch (id) {
#define X(id_, name, text, parent, layout) \
    case id_: return text;
        ZEM_DATATYPES(X)
#undef X
        default: return nullptr;
    }
}

// ---- Registration lists ----------------------------------------------------------

enum class SlotKind : uint8_t {
    unsupported,  // 0 in the list: the type does not support the action
    own,          // the type's own implementation
    inherit,      // -1 in the list: the parent's entry, as registered then
    pending,      // own, but its implementation is not written yet (unsupported)
};

struct Inherit {};
struct Unsupported {};
struct Pending {};
inline constexpr Inherit inherit{};
inline constexpr Unsupported unsupported{};
inline constexpr Pending pending{};

struct ListEntry {
    SlotKind kind;
    actions::ActionFn fn;
};

// One entry of a registration list, typed by its slot.
template <uint32_t S>
struct SlotEntry : ListEntry {
    SlotEntry(actions::Impl<S> f) : ListEntry{SlotKind::own, reinterpret_cast<actions::ActionFn>(f)} {}
    SlotEntry(std::nullptr_t) = delete;  // write `unsupported` or `pending`
    SlotEntry(Inherit) : ListEntry{SlotKind::inherit, nullptr} {}
    SlotEntry(Unsupported) : ListEntry{SlotKind::unsupported, nullptr} {}
    SlotEntry(Pending) : ListEntry{SlotKind::pending, nullptr} {}
};

struct ActionList {
    ListEntry slots[actions::ACTION_COUNT];
};

namespace detail {
template <std::size_t... I, typename... E>
ActionList make_list(std::index_sequence<I...>, E... entries) {
    return ActionList{{SlotEntry<static_cast<uint32_t>(I + 1)>(entries)...}};
}
}  // namespace detail

// Records a type's row of the action table: own entries as given, inherited
// ones copied from the parent's row (which must be registered already).
void register_list(uint32_t id, const ActionList& list);

template <uint32_t Id, typename... E>
void register_type(E... entries) {
    static_assert(Id >= 1 && Id <= TYPE_COUNT, "a datatype id runs from 1 to 54");
    static_assert(sizeof...(E) == actions::ACTION_COUNT,
                  "a registration lists all 62 action slots, in slot order");
    static_assert(parent_of(Id) != 0 || (!std::is_same_v<E, Inherit> && ...),
                  "a datatype without a parent cannot inherit an action");
    register_list(Id, detail::make_list(std::make_index_sequence<actions::ACTION_COUNT>{}, entries...));
}

// ---- The registry's tables ---------------------------------------------------------

struct NameEntry {
    const char* name;  // with its final "!"
    uint32_t length;   // without the "!"
    Cell word;         // the word of the full name (type 0 until built)
};

// Highest registered id.
extern uint32_t top_id;

// Name entry of a registered type (null for an id never registered).
const NameEntry* name_entry(uint32_t id);
// The resolved implementations: row = type id, column = action slot - 1.
extern actions::ActionFn action_table[TYPE_SLOTS][actions::ACTION_COUNT];
// The resolved implementation (null when unsupported) and the registered
// kind of a slot. Inline: every action and every infix operator looks here.
inline actions::ActionFn action(uint32_t type, uint32_t slot) {
    if (type >= TYPE_SLOTS || slot < 1 || slot > actions::ACTION_COUNT) return nullptr;
    return action_table[type][slot - 1];
}
SlotKind slot_kind(uint32_t type, uint32_t slot);
bool registered(uint32_t id);

// Clears every row (start-up runs it before the first registration).
void reset_tables();

// Makes the word of every registered type's name in the global context.
void build_names();

// Registers every datatype of the core in their fixed order (event! comes
// later, with the GUI engine).
void init_all();

// ---- datatype! -------------------------------------------------------------------------

// Appends a datatype! naming `type` to the block; answers the new cell.
Cell* make_in(Cell* block, uint32_t type);
// Pushes a datatype! naming `type` on the value stack.
Cell* push(uint32_t type);
// Writes a datatype! naming `type` into the slot (flags cleared; the unused
// words zeroed).
inline Cell* make_at(Cell* slot, uint32_t type) {
    *slot = Cell{TYPE_DATATYPE, type, 0, 0};
    return slot;
}

int32_t form(Cell* value, Cell* buffer, Cell* part, int32_t limit);
int32_t mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part, int32_t limit,
             int32_t indent);
int32_t compare(Cell* value1, Cell* value2, int32_t op);

void init();

// syntax malconstruct for a make of the datatype from a value it refuses:
// the datatype and that value's mold (flat, cut near 80 characters) fill the
// message as the lexer's place and excerpt do.
[[noreturn]] void fire_malconstruct(uint32_t type, const Cell* spec);

}  // namespace datatype
