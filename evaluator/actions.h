// Actions: the 62 polymorphic operations of the language, dispatched on the
// datatype of their first argument through the registry's action table.
//
// Every action slot is declared once, in ZEM_ACTIONS below:
//   X(slot, name, word, signature, refinements)
//     slot        1-62, the position in every datatype's registration list
//     name        the C++ name of the slot (dispatcher, entry point)
//     word        the action's word ("" for the two path slots and compare)
//     signature   the function type of a datatype's implementation
//     refinements the refinements of the action's spec, in the order in
//                 which the stack entry point takes their positions
// The Debug build checks the words and refinements against the library's
// `make action!` specs at start-up (library/boot_check.h).
//
// Implementations take cells and plain values. A refinement that takes an
// argument arrives as that argument's cell, or null when it was not used; a
// flag refinement arrives as a bool. Implementations that produce a value
// return its cell (usually the first argument's cell, which is the call's
// result slot); the stack entry point copies it into the result slot.
#pragma once
#include <cstdint>

#include "runtime/cell.h"
#include "evaluator/stack.h"

// clang-format off
#define ZEM_ACTIONS(X)                                                                             \
    X(1, make, "make", Cell*(Cell* proto, Cell* spec, uint32_t type), "")                          \
    X(2, random, "random", Cell*(Cell* value, bool seed, bool secure, bool only),                  \
      "/seed /secure /only")                                                                       \
    X(3, reflect, "reflect", Cell*(Cell* value, Cell* field), "")                                  \
    X(4, to, "to", Cell*(Cell* proto, Cell* spec, uint32_t type), "")                              \
    X(5, form, "form", int32_t(Cell* value, Cell* buffer, Cell* part, int32_t limit),              \
      "/part limit")                                                                               \
    X(6, mold, "mold",                                                                             \
      int32_t(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part,               \
              int32_t limit, int32_t indent),                                                      \
      "/only /all /flat /part limit")                                                              \
    X(7, eval_path, "",                                                                            \
      Cell*(Cell* parent, Cell* element, Cell* value, Cell* path, Cell* holder, Cell* prev,        \
            int32_t index, bool case_, bool get, bool last),                                       \
      "/set value")                                                                                \
    X(8, set_path, "", Cell*(), "")                                                                \
    X(9, compare, "", int32_t(Cell* value1, Cell* value2, int32_t op), "")                         \
    X(10, absolute, "absolute", Cell*(Cell* value), "")                                            \
    X(11, add, "add", Cell*(Cell* value1, Cell* value2), "")                                       \
    X(12, divide, "divide", Cell*(Cell* value1, Cell* value2), "")                                 \
    X(13, multiply, "multiply", Cell*(Cell* value1, Cell* value2), "")                             \
    X(14, negate, "negate", Cell*(Cell* number), "")                                               \
    X(15, power, "power", Cell*(Cell* number, Cell* exponent), "")                                 \
    X(16, remainder, "remainder", Cell*(Cell* value1, Cell* value2), "")                           \
    X(17, round, "round",                                                                          \
      Cell*(Cell* n, Cell* scale, bool even, bool down, bool half_down, bool floor, bool ceiling,  \
            bool half_ceiling),                                                                    \
      "/to scale /even /down /half-down /floor /ceiling /half-ceiling")                            \
    X(18, subtract, "subtract", Cell*(Cell* value1, Cell* value2), "")                             \
    X(19, even_q, "even?", bool(Cell* number), "")                                                 \
    X(20, odd_q, "odd?", bool(Cell* number), "")                                                   \
    X(21, and_, "and~", Cell*(Cell* value1, Cell* value2), "")                                     \
    X(22, complement, "complement", Cell*(Cell* value), "")                                        \
    X(23, or_, "or~", Cell*(Cell* value1, Cell* value2), "")                                       \
    X(24, xor_, "xor~", Cell*(Cell* value1, Cell* value2), "")                                     \
    X(25, append, "append",                                                                        \
      Cell*(Cell* series, Cell* value, int32_t part, bool only, int32_t dup, bool append),         \
      "/part length /only /dup count")                                                             \
    X(26, at, "at", Cell*(Cell* series, Cell* index), "")                                          \
    X(27, back, "back", Cell*(Cell* series), "")                                                   \
    X(28, change, "change",                                                                        \
      Cell*(Cell* series, Cell* value, int32_t part, bool only, int32_t dup),                      \
      "/part range /only /dup count")                                                              \
    X(29, clear, "clear", Cell*(Cell* series), "")                                                 \
    X(30, copy, "copy", Cell*(Cell* value, Cell* result, Cell* part, bool deep, Cell* types),      \
      "/part length /deep /types kind")                                                            \
    X(31, find, "find",                                                                            \
      Cell*(Cell* series, Cell* value, Cell* part, bool only, bool case_, bool same, bool any,     \
            Cell* with, Cell* skip, bool last, bool reverse, bool tail, bool match),               \
      "/part length /only /case /same /any /with wild /skip size /last /reverse /tail /match")     \
    X(32, head, "head", Cell*(Cell* series), "")                                                   \
    X(33, head_q, "head?", Cell*(Cell* series), "")                                                \
    X(34, index_q, "index?", Cell*(Cell* series), "")                                              \
    X(35, insert, "insert",                                                                        \
      Cell*(Cell* series, Cell* value, int32_t part, bool only, int32_t dup, bool append),         \
      "/part length /only /dup count")                                                             \
    X(36, length_q, "length?", int32_t(Cell* series), "")                                          \
    X(37, move, "move", Cell*(Cell* origin, Cell* target, Cell* part), "/part length")             \
    X(38, next, "next", Cell*(Cell* series), "")                                                   \
    X(39, pick, "pick", Cell*(Cell* series, int32_t index, Cell* boxed), "")                       \
    X(40, poke, "poke", Cell*(Cell* series, int32_t index, Cell* value, Cell* boxed), "")          \
    X(41, put, "put", Cell*(Cell* series, Cell* key, Cell* value, bool case_), "/case")            \
    X(42, remove, "remove", Cell*(Cell* series, Cell* part, Cell* key),                            \
      "/part length /key key-arg")                                                                 \
    X(43, reverse, "reverse", Cell*(Cell* series, Cell* part, Cell* skip),                         \
      "/part length /skip size")                                                                   \
    X(44, select, "select",                                                                        \
      Cell*(Cell* series, Cell* value, Cell* part, bool only, bool case_, bool same, bool any,     \
            Cell* with, Cell* skip, bool last, bool reverse),                                      \
      "/part length /only /case /same /any /with wild /skip size /last /reverse")                  \
    X(45, sort, "sort",                                                                            \
      Cell*(Cell* series, bool case_, Cell* skip, Cell* comparator, Cell* part, bool all,          \
            bool reverse, bool stable),                                                            \
      "/case /skip size /compare comparator /part length /all /reverse /stable")                   \
    X(46, skip, "skip", Cell*(Cell* series, Cell* offset), "")                                     \
    X(47, swap, "swap", Cell*(Cell* series1, Cell* series2), "")                                   \
    X(48, tail, "tail", Cell*(Cell* series), "")                                                   \
    X(49, tail_q, "tail?", Cell*(Cell* series), "")                                                \
    X(50, take, "take", Cell*(Cell* series, Cell* part, bool deep, bool last),                     \
      "/part length /deep /last")                                                                  \
    X(51, trim, "trim",                                                                            \
      Cell*(Cell* series, bool head, bool tail, bool auto_, bool lines, bool all, Cell* with),     \
      "/head /tail /auto /lines /all /with str")                                                   \
    X(52, create, "create", Cell*(Cell* port), "")                                                 \
    X(53, close, "close", Cell*(Cell* port), "")                                                   \
    X(54, delete_, "delete", Cell*(Cell* port), "")                                                \
    X(55, modify, "modify", Cell*(Cell* target, Cell* field, Cell* value, bool case_), "/case")    \
    X(56, open, "open",                                                                            \
      Cell*(Cell* port, bool new_, bool read, bool write, bool seek, Cell* allow),                 \
      "/new /read /write /seek /allow access")                                                     \
    X(57, open_q, "open?", Cell*(Cell* port), "")                                                  \
    X(58, query, "query", Cell*(Cell* target), "")                                                 \
    X(59, read, "read",                                                                            \
      Cell*(Cell* source, Cell* part, Cell* seek, bool binary, bool lines, bool info, Cell* as),   \
      "/part length /seek index /binary /lines /info /as encoding")                                \
    X(60, rename, "rename", Cell*(Cell* from, Cell* to), "")                                       \
    X(61, update, "update", Cell*(Cell* port), "")                                                 \
    X(62, write, "write",                                                                          \
      Cell*(Cell* destination, Cell* data, bool binary, bool lines, bool info, bool append,        \
            Cell* part, Cell* seek, Cell* allow, Cell* as),                                        \
      "/binary /lines /info /append /part length /seek index /allow access /as encoding")
// clang-format on

namespace actions {

constexpr uint32_t ACTION_COUNT = 62;

// Slot numbers by name: slot::append == 25.
namespace slot {
#define X(n, name, word, sig, refs) inline constexpr uint32_t name = n;
ZEM_ACTIONS(X)
#undef X
}  // namespace slot

// Number of refinements in a refinement text ("/part length /only" has 2).
constexpr uint32_t count_refinements(const char* text) {
    uint32_t n = 0;
    for (; *text; ++text) n += *text == '/';
    return n;
}

// What each slot is: its implementation's type, its word and refinements.
template <uint32_t S>
struct Slot;
#define X(n, name, word_, sig, refs)                                          \
    template <>                                                               \
    struct Slot<n> {                                                          \
        using Fn = sig;                                                       \
        static constexpr const char* word = word_;                            \
        static constexpr const char* refinements = refs;                      \
        static constexpr uint32_t refinement_count = count_refinements(refs); \
    };
ZEM_ACTIONS(X)
#undef X

// A datatype's implementation of slot S.
template <uint32_t S>
using Impl = typename Slot<S>::Fn*;

// Declares a datatype's implementation of a slot under the slot's name, with
// the slot's signature: ZEM_ACTION_DECL(mold); inside namespace block
// declares block::mold.
#define ZEM_ACTION_DECL(name) ::actions::Slot<::actions::slot::name>::Fn name

// Implementations are stored type-erased in the action table; the
// dispatchers cast them back to their slot's type.
using ActionFn = void (*)();

// The word of a slot ("" for the slots without one), its refinements (as in
// the table) and their count.
const char* word_of(uint32_t slot);
const char* refinements_of(uint32_t slot);
uint32_t refinement_count(uint32_t slot);

// ---- Comparison ------------------------------------------------------------------

// Operation codes of the comparison slot.
enum CompareOp : int32_t {
    COMP_EQUAL = 0,
    COMP_NOT_EQUAL = 1,
    COMP_STRICT_EQUAL = 2,
    COMP_LESSER = 3,
    COMP_LESSER_EQUAL = 4,
    COMP_GREATER = 5,
    COMP_GREATER_EQUAL = 6,
    COMP_SORT = 7,
    COMP_CASE_SORT = 8,
    COMP_SAME = 9,
    COMP_STRICT_EQUAL_WORD = 10,
    COMP_EQUAL_WORD = 11,
    COMP_FIND = 12,
};

// The comparison result of a type that cannot compare the two values.
constexpr int32_t NOT_COMPARABLE = -2;

// The codes under which values that only know "same or not" (datatypes,
// typesets) compare: equal, not-equal, strict-equal, same, search.
constexpr bool identity_op_q(int32_t op) {
    return op == COMP_EQUAL || op == COMP_NOT_EQUAL || op == COMP_STRICT_EQUAL || op == COMP_SAME ||
           op == COMP_FIND;
}

// The comparison of the callables (native!, action!, op!, function!,
// routine!), which are equal only to themselves: two values of one type
// compare by the ids that name them (`id1`, `id2`: an entry index, a "more"
// node) under the equality, sort, same and search codes; other codes and
// other types are not comparable.
inline int32_t compare_identity(const Cell* value1, const Cell* value2, uint32_t id1, uint32_t id2, int32_t op) {
    if (value2->type() != value1->type()) return NOT_COMPARABLE;
    switch (op) {
        case COMP_EQUAL: case COMP_NOT_EQUAL: case COMP_STRICT_EQUAL: case COMP_SORT: case COMP_CASE_SORT:
        case COMP_SAME: case COMP_FIND:
            return id1 < id2 ? -1 : id1 > id2 ? 1 : 0;
        default: return NOT_COMPARABLE;
    }
}

// Three-way comparison used inside containers: -1, 0, 1, or -2 when the two
// values cannot be compared under `op`. logic! answers the difference of
// the truth values; native!, action! and op! compare their entry indexes;
// function! and routine! their "more" nodes; every other type its own slot.
int32_t compare(Cell* value1, Cell* value2, int32_t op);
// The truth of `value1 op value2`. Ordering values that cannot be ordered
// raises script invalid-compare; -2 under an equality code is "not equal".
// The sort codes 7 and 8, and codes above 12, are not accepted here: they
// end the program with runtime error 101 once the values compare.
bool compare_star(Cell* value1, Cell* value2, int32_t op);
// Compares the first two arguments of the current call and writes the
// logic! into its result slot (the comparison natives).
void compare_box(int32_t op);

// ---- Implementation lookup ---------------------------------------------------------

// The implementation of `slot` for `type`, `value` being the value acted on
// (its port! actor may route the action). An unsupported slot raises script
// expect-arg with the caller's name, the datatype and the first argument's
// word; a handle! actor without the entry raises access no-port-action.
ActionFn get_action_ptr_from(uint32_t type, Cell* value, uint32_t slot);
inline ActionFn get_action_ptr_value(Cell* value, uint32_t slot) { return get_action_ptr_from(value->type(), value, slot); }
// Lookup for path evaluation: an unsupported slot raises bad-path-type2
// (element, datatype) without a path, else bad-path-type (path, datatype,
// the path cut after the failing element).
ActionFn get_action_ptr_path(Cell* value, uint32_t slot, Cell* path, Cell* element,
                             int32_t element_index);

template <uint32_t S>
Impl<S> lookup(Cell* value) {
    return reinterpret_cast<Impl<S>>(get_action_ptr_value(value, S));
}
template <uint32_t S>
Impl<S> lookup_type(uint32_t type, Cell* value) {
    return reinterpret_cast<Impl<S>>(get_action_ptr_from(type, value, S));
}

// The port routing: called for a port! value and a slot of 25 or more.
// Answers the implementation the port's actor gives, or null to use the
// action table (port!'s own forwarders). Installed by the port! datatype.
extern ActionFn (*port_action_hook)(Cell* port, uint32_t slot);
// The n-th (0-based) argument word of the function being called, written
// into `out` (the word <anon> when it cannot be told). Installed by the
// error module; the default answers <anon>.
extern void (*call_argument_hook)(int32_t n, Cell* out);

// A word naming the function being called: the innermost call frame not
// named <body> or <anon>, else <not-found>.
Cell* caller_word(Cell* out);

// ---- Generic dispatchers -------------------------------------------------------------

// Each calls the implementation of the first argument's datatype; the
// arguments are the implementation's. make and to dispatch on the type a
// datatype! names, else on the prototype's own type.
Cell* make(Cell* proto, Cell* spec);
Cell* to(Cell* proto, Cell* spec);
Cell* random(Cell* value, bool seed, bool secure, bool only);
Cell* reflect(Cell* value, Cell* field);
int32_t form(Cell* value, Cell* buffer, Cell* part, int32_t limit);
int32_t mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part, int32_t limit,
             int32_t indent);
Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell* holder, Cell* prev,
                int32_t index, bool case_, bool get, bool last);
Cell* absolute(Cell* value);
Cell* add(Cell* value1, Cell* value2);
Cell* divide(Cell* value1, Cell* value2);
Cell* multiply(Cell* value1, Cell* value2);
Cell* negate(Cell* number);
Cell* power(Cell* number, Cell* exponent);
Cell* remainder(Cell* value1, Cell* value2);
Cell* round(Cell* n, Cell* scale, bool even, bool down, bool half_down, bool floor, bool ceiling,
            bool half_ceiling);
Cell* subtract(Cell* value1, Cell* value2);
bool even_q(Cell* number);
bool odd_q(Cell* number);
Cell* and_(Cell* value1, Cell* value2);
Cell* complement(Cell* value);
Cell* or_(Cell* value1, Cell* value2);
Cell* xor_(Cell* value1, Cell* value2);
Cell* append(Cell* series, Cell* value, int32_t part, bool only, int32_t dup);
Cell* at(Cell* series, Cell* index);
Cell* back(Cell* series);
Cell* change(Cell* series, Cell* value, int32_t part, bool only, int32_t dup);
Cell* clear(Cell* series);
Cell* copy(Cell* value, Cell* result, Cell* part, bool deep, Cell* types);
Cell* find(Cell* series, Cell* value, Cell* part, bool only, bool case_, bool same, bool any,
           Cell* with, Cell* skip, bool last, bool reverse, bool tail, bool match);
Cell* head(Cell* series);
Cell* head_q(Cell* series);
Cell* index_q(Cell* series);
Cell* insert(Cell* series, Cell* value, int32_t part, bool only, int32_t dup, bool append);
int32_t length_q(Cell* series);
Cell* move(Cell* origin, Cell* target, Cell* part);
Cell* next(Cell* series);
Cell* pick(Cell* series, int32_t index, Cell* boxed);
Cell* poke(Cell* series, int32_t index, Cell* value, Cell* boxed);
Cell* put(Cell* series, Cell* key, Cell* value, bool case_);
Cell* remove(Cell* series, Cell* part, Cell* key);
Cell* reverse(Cell* series, Cell* part, Cell* skip);
Cell* select(Cell* series, Cell* value, Cell* part, bool only, bool case_, bool same, bool any,
             Cell* with, Cell* skip, bool last, bool reverse);
Cell* sort(Cell* series, bool case_, Cell* skip, Cell* comparator, Cell* part, bool all,
           bool reverse, bool stable);
Cell* skip(Cell* series, Cell* offset);
Cell* swap(Cell* series1, Cell* series2);
Cell* tail(Cell* series);
Cell* tail_q(Cell* series);
Cell* take(Cell* series, Cell* part, bool deep, bool last);
Cell* trim(Cell* series, bool head, bool tail, bool auto_, bool lines, bool all, Cell* with);
Cell* create(Cell* port);
Cell* close(Cell* port);
Cell* delete_(Cell* port);
Cell* modify(Cell* target, Cell* field, Cell* value, bool case_);
Cell* open(Cell* port, bool new_, bool read, bool write, bool seek, Cell* allow);
Cell* open_q(Cell* port);
Cell* query(Cell* target);
Cell* read(Cell* source, Cell* part, Cell* seek, bool binary, bool lines, bool info, Cell* as);
Cell* rename(Cell* from, Cell* to);
Cell* update(Cell* port);
Cell* write(Cell* destination, Cell* data, bool binary, bool lines, bool info, bool append,
            Cell* part, Cell* seek, Cell* allow, Cell* as);

// An integer! or char! argument's value; a float! or percent! truncated
// toward zero (NaN or beyond the 32-bit range: script error out-of-range).
int32_t count_arg(const Cell* value);
// The index argument of pick and poke (the second argument of the current
// call): logic! true 1, false 2; a number as count_arg reads it; else 0.
int32_t pick_index();

// ---- Stack entry points ----------------------------------------------------------------

// Fills the table of stack entry points (slot 8 has none).
void init();
// The stack entry points by slot - 1 (init fills them).
extern NativeEntry entries[ACTION_COUNT];
// The stack entry point of a slot (1-62), null for slot 8 and out of range.
// An action! value calls it with the refinement positions of its spec.
inline NativeEntry entry(uint32_t slot) { return slot >= 1 && slot <= ACTION_COUNT ? entries[slot - 1] : nullptr; }

}  // namespace actions
