// The datatype registry: the name table and the action table built from one
// registration per datatype.
//
// A datatype registers, in its start-up, one row of its 62 action slots in
// slot order and in four groups (1-9 general, 10-24 arithmetic and logic,
// 25-51 series, 52-62 ports), then its own implementations in slot order:
//
//   template <>
//   void datatype::init_type<TYPE_PAREN>() {
//       register_type<TYPE_PAREN, "iiiiioi-i --------------- iiiiiiiiiiiiiiiiiiiiiiiiii- ---i-------">(
//           own<slot::mold>(paren::mold));
//   }
//
//   o  own implementation, one of the list
//   i  the parent's entry for the slot, as registered then
//   -  the action is not supported
//   p  own, but not provided yet (unsupported)
//
// The row and the list are checked when the program is built: the row has
// its 62 slots in their groups, every `o` has its implementation and only
// those, each with its slot's signature, and a type without a parent cannot
// inherit. Its id, name and parent come from the datatype table of cell.h.
#pragma once
#include <cstddef>
#include <cstdint>

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

// ---- Registration rows ----------------------------------------------------------

enum class SlotKind : uint8_t {
    unsupported,  // `-` in the row: the type does not support the action
    own,          // `o`: the type's own implementation
    inherit,      // `i`: the parent's entry, as registered then
    pending,      // `p`: own, but its implementation is not written yet (unsupported)
};

// A row as written: 62 slot letters, a space after slots 9, 24 and 51.
struct Row {
    char kinds[actions::ACTION_COUNT];  // one letter per slot, without the spaces

    template <std::size_t N>
    consteval Row(const char (&text)[N]) : kinds{} {
        static_assert(N == actions::ACTION_COUNT + 4, "a row holds 62 slot letters in four groups");
        std::size_t i = 0;
        for (uint32_t s = 0; s < actions::ACTION_COUNT; ++s, ++i) {
            if (s == 9 || s == 24 || s == 51) {
                if (text[i] != ' ') bad_row("a space ends each group");
                ++i;
            }
            char c = text[i];
            if (c != 'o' && c != 'i' && c != '-' && c != 'p') bad_row("a slot is one of o i - p");
            kinds[s] = c;
        }
    }
    constexpr char kind(uint32_t slot) const { return kinds[slot - 1]; }
    constexpr uint32_t count(char c) const {
        uint32_t n = 0;
        for (char k : kinds) n += k == c;
        return n;
    }

private:
    static void bad_row(const char*) {}  // not constexpr: a bad row stops the build here
};

// A type's own implementation of slot S.
template <uint32_t S>
struct Own {
    actions::Impl<S> fn;
};
template <uint32_t S>
constexpr Own<S> own(actions::Impl<S> fn) {
    return Own<S>{fn};
}
namespace slot = actions::slot;

struct ListEntry {
    SlotKind kind;
    actions::ActionFn fn;
};

struct ActionList {
    ListEntry slots[actions::ACTION_COUNT];
};

// Records a type's row of the action table: own entries as given, inherited
// ones copied from the parent's row (which must be registered already).
void register_list(uint32_t id, const ActionList& list);

namespace detail {
template <uint32_t... S>
constexpr bool in_slot_order() {
    uint32_t slots[] = {0, S...};
    for (std::size_t i = 1; i < sizeof...(S); ++i)
        if (slots[i] >= slots[i + 1]) return false;
    return true;
}
ActionList list_of(const Row& row, const ListEntry* own);
}  // namespace detail

template <uint32_t Id, Row R, uint32_t... S>
void register_type(Own<S>... owns) {
    static_assert(Id >= 1 && Id <= TYPE_COUNT, "a datatype id runs from 1 to 54");
    static_assert(parent_of(Id) != 0 || R.count('i') == 0,
                  "a datatype without a parent cannot inherit an action");
    static_assert(((R.kind(S) == 'o') && ...), "an implementation is given for a slot not marked o");
    static_assert(R.count('o') == sizeof...(S), "every slot marked o needs its implementation");
    static_assert(detail::in_slot_order<S...>(), "the implementations follow slot order, once each");
    const ListEntry entries[] = {{SlotKind::own, nullptr},
                                 {SlotKind::own, reinterpret_cast<actions::ActionFn>(owns.fn)}...};
    register_list(Id, detail::list_of(R, entries + 1));
}

// Fills a slot that the type registered as pending with its own
// implementation, for an action a higher layer provides (file!'s reads and
// writes come from the simple I/O service). Children that inherited the
// slot before keep what they took.
void install_entry(uint32_t id, uint32_t slot, actions::ActionFn fn);

template <uint32_t Id, uint32_t S>
void install(actions::Impl<S> f) {
    install_entry(Id, S, reinterpret_cast<actions::ActionFn>(f));
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

// A datatype's start-up: its registration and whatever state it sets up.
// Each type's own file defines it.
template <uint32_t Id>
void init_type();
#define X(id, ...) \
    template <>   \
    void init_type<id>();
ZEM_DATATYPES(X)
#undef X

// Writes a datatype! naming `type` into the slot (flags cleared; the unused
// words zeroed).
inline Cell* make_at(Cell* slot, uint32_t type) {
    *slot = Cell{TYPE_DATATYPE, type, 0, 0};
    return slot;
}

}  // namespace datatype
