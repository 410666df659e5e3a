// The cell layouts of the callables and what calling them needs: function!,
// routine!, native!, action! and op!.
//
// A function! cell:
//   word 0  header: 24 | 0x400 (trace) | 0x200 (no-trace)
//   word 1  node of its context (on the stack, no self, kind 1)
//   word 2  node of this spec block
//   word 3  node of the "more" block of 5 cells: the body, the argument
//           cache, the entry of compiled code, the function itself once an
//           op! is made from it, the creator's extra word
// A routine! (a function whose body is C++ code registered in the routine
// table) is laid out as function!, with the argument count in header bits
// 25-29.
// native! and action! cells:
//   word 1  entry id: a native's index in the natives table (1-120), or
//           ACTION_ENTRY_BASE + an action's slot (1-62) for an action!
//   word 2  node of this spec block
//   word 3  node of the more block: [context! cell of the arguments, cache]
// An op! keeps the three words of the callable it was made from and that
// callable's type in header bits 16-23.
#pragma once
#include <cstdint>

#include "evaluator/actions.h"
#include "evaluator/natives.h"
#include "evaluator/stack.h"
#include "runtime/cell.h"

namespace function {

constexpr uint32_t FLAG_TRACE = 0x400;
constexpr uint32_t FLAG_NO_TRACE = 0x200;

enum More : uint32_t { MORE_BODY, MORE_CACHE, MORE_ENTRY, MORE_OP, MORE_EXTRA, MORE_CELLS };

// Cell i of a callable's more block (valid until the next allocation).
inline Cell* more(const Cell* callable, uint32_t i) {
    return reinterpret_cast<Cell*>(memory::buffer(callable->data3)->offset_addr()) + i;
}
// A block value on the callable's spec, at its head.
Cell spec_of(const Cell* callable);

// The one empty block shared by functions without a body (made at start-up).
extern Cell empty_body;
void make_empty_body();

// Pushes logic false and n - 1 none cells: the locals of a call.
void init_locals(uint32_t n);

}  // namespace function

namespace routine {

// Header bits of a routine!: the creator's flag and its argument count.
constexpr uint32_t FLAG_CELLS = 0x8000;
constexpr uint32_t ARITY_SHIFT = 25;
constexpr uint32_t ARITY_MASK = 0x3E000000;

// A routine's C++ body: the arguments are the cells of the current call;
// it leaves its result in the result slot.
using Body = void (*)();

// Puts a routine body into the table at its entry id (from 1; the ids are
// those of ZEM_ROUTINES in evaluator/routines.h).
void register_body(int32_t entry, Body body);
Body body_of(int32_t entry);

}  // namespace routine

namespace native {

// More block of a native or action: the argument context and the argument
// cache of the interpreter.
enum More : uint32_t { MORE_CONTEXT, MORE_CACHE, MORE_CELLS };

// The type an op! was made from (the value's own type for the others).
inline uint32_t source_type(const Cell* callable) {
    return callable->type() == TYPE_OP ? (callable->header >> OP_SOURCE_SHIFT) & 0xFF : callable->type();
}
// The entry point of a native! or action! (or an op! made from one); null
// when its id names no entry. Inline: every native call looks here.
inline NativeEntry entry_of(const Cell* callable) {
    uint32_t id = callable->data1;
    if (id >= ACTION_ENTRY_BASE) return actions::entry(id - ACTION_ENTRY_BASE);
    return natives::entry(id);
}
// Whether an op! or native-like value is backed by the action table.
inline bool action_q(const Cell* callable) { return callable->data1 >= ACTION_ENTRY_BASE; }

}  // namespace native
