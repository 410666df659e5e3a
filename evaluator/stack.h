// The value stack and the call stack. Every call passes its arguments and
// its result through the value stack and records itself as a call frame.
//
// Non-local exits: errors are C++ exceptions (ErrorThrown, see errors.h).
// `break`, `continue`, `return`, `exit` and `throw` are frequent and travel
// as an Unwind code returned through the evaluator and the natives: a
// routine that receives a code other than Unwind::none returns it at once,
// without touching either stack (the exit has already cut them back to the
// frame that will take it). C++ code that calls the evaluator but cannot
// return a code (an action implementation calling a comparator, say)
// rethrows it as an UnwindThrown exception, which the interpreter turns
// back into a code at its next native call.
#pragma once
#include <cstdint>

#include "runtime/cell.h"

struct ErrorThrown;

// The codes of the non-local exits, highest first.
enum class Unwind : uint32_t {
    none = 0,
    error = 0x7FFFFFFF,
    brk = 0x7FFFFFFE,
    cont = 0x7FFFFFFD,
    ret = 0x7FFFFFFC,
    exit = 0x7FFFFFFB,
    thrown = 0x7FFFFFFA,
};

struct UnwindThrown {
    Unwind code;
};

// The entry point of a native or an action: the check flag (true when the
// arguments' types still need checking), then one position per refinement
// of its spec: -1 when absent, else the offset in cells from
// stack::arguments of the refinement's arguments.
using NativeEntry = Unwind (*)(bool check, const int32_t* refinements);

namespace stack {

// ---- Call frames ----------------------------------------------------------------

constexpr uint32_t FRAME_FUNCTION = 0x01000000;
constexpr uint32_t FRAME_NATIVE = 0x02000000;
constexpr uint32_t FRAME_TRY = 0x04000000;
constexpr uint32_t FRAME_TRY_ALL = 0x05000000;
constexpr uint32_t FRAME_CATCH = 0x06000000;
constexpr uint32_t FRAME_EVAL = 0x87000000;
constexpr uint32_t FRAME_LOOP = 0x08000000;
constexpr uint32_t FRAME_INTERP_FUNC = 0x81000000;
constexpr uint32_t FRAME_INTERP_NATIVE = 0x82000000;
constexpr uint32_t FRAME_TYPE_MASK = 0x0F000000;
constexpr uint32_t FRAME_RETURN_TARGET = 0x10000000;
constexpr uint32_t FRAME_INTERPRETED = 0x80000000;

// One call frame. The name's symbol id has a word of its own, so names stay
// right however many symbols there are.
struct Frame {
    uint32_t header;        // frame type and flags (bits 24-31)
    uint32_t symbol;        // symbol id of the frame's name word
    uint32_t base;          // the caller's stack::arguments, in cells from bottom
    Node name_ctx;          // context of the name word
    Node fn_ctx;            // function context (function frames), else 0
    Node saved_values;      // values node the function context held at push
    uint32_t type() const { return header & FRAME_TYPE_MASK; }
};

constexpr uint32_t VALUE_STACK_CELLS = 20000;
constexpr uint32_t CALL_STACK_FRAMES = 12000;

// ---- State -------------------------------------------------------------------------

extern Cell* bottom;     // first cell of the value stack
extern Cell* top;        // next free cell
extern Cell* arguments;  // first argument and result slot of the current call
extern Cell* limit;      // end of the value-stack buffer
extern Frame* cbottom;
extern Frame* ctop;      // next free frame
extern Frame* climit;
extern Frame* error_ctop;  // saved call-stack top, null when unused

// Takes the value-stack and call-stack buffers made at start-up.
void init(Node value_stack, Node call_stack);

// ---- Value stack --------------------------------------------------------------------

// Raises stack-overflow (either stack), after leaving room for the error.
[[noreturn]] void overflow();
// A new cell at the top, unset! until the caller fills it. The collector
// reads every cell below the top, and callers often allocate before they
// write the slot (block::make_at(push_slot(), n)): whatever an earlier
// value left in that cell must not be taken for a live reference. Inline
// with push and the frame functions below: every expression the
// interpreter evaluates goes through them.
inline Cell* push_slot() {
    Cell* c = top++;
    if (top >= limit) overflow();
    c->header = TYPE_UNSET;
    return c;
}
inline Cell* push(const Cell* value) {
    Cell* c = push_slot();
    *c = *value;
    return c;
}
void pop(uint32_t n);
Cell* top_cell();                  // last live cell (bottom when empty)
inline Cell* reset() {  // top := arguments
    top = arguments;
    return arguments;
}
inline Cell* keep() {  // top := arguments + 1
    top = arguments + 1;
    return arguments;
}
inline void set_last(const Cell* value) { *arguments = *value; }
inline void set_last_keep(const Cell* value) {
    top = arguments + 1;
    *arguments = *value;
}
void adjust_after_try();

inline uint32_t index_of(const Cell* c) { return static_cast<uint32_t>(c - bottom); }

// ---- Frames --------------------------------------------------------------------------

inline void push_frame(const Cell* name, uint32_t header, Node fn_ctx, Node saved) {
    if (ctop >= climit) overflow();
    *ctop++ = Frame{header, name ? name->symbol() : 0, index_of(arguments), name ? name->ctx() : 0, fn_ctx, saved};
    arguments = top;
}
inline void mark(const Cell* name, uint32_t header) { push_frame(name, header, 0, 0); }
inline void mark_native(const Cell* name) { mark(name, FRAME_NATIVE); }
inline void mark_try(const Cell* name) { mark(name, FRAME_TRY); }
inline void mark_try_all(const Cell* name) { mark(name, FRAME_TRY_ALL); }
inline void mark_catch(const Cell* name) { mark(name, FRAME_CATCH); }
inline void mark_eval_block(const Cell* name) { mark(name, FRAME_EVAL); }
inline void mark_loop(const Cell* name) { mark(name, FRAME_LOOP); }
inline void mark_interp_native(const Cell* name) { mark(name, FRAME_INTERP_NATIVE); }
// The values node of a function context's own context! cell.
inline Node context_values(Node fn_ctx) {
    return reinterpret_cast<const Cell*>(memory::buffer(fn_ctx)->offset_addr())->data2;
}
inline void set_context_values(Node fn_ctx, Node values) {
    reinterpret_cast<Cell*>(memory::buffer(fn_ctx)->offset_addr())->data2 = values;
}
inline void mark_func(const Cell* name, Node fn_ctx) {
    push_frame(name, FRAME_FUNCTION, fn_ctx, fn_ctx ? context_values(fn_ctx) : 0);
}
inline void mark_interp_func(const Cell* name, Node fn_ctx) {
    push_frame(name, FRAME_INTERP_FUNC, fn_ctx, fn_ctx ? context_values(fn_ctx) : 0);
}

inline void unwind() {
    Frame* f = --ctop;
    top = arguments + 1;
    arguments = bottom + f->base;
}
inline void unwind_func() {
    const Frame* f = ctop - 1;
    if (f->fn_ctx) set_context_values(f->fn_ctx, f->saved_values);  // the function's values as before the call
    unwind();
}
inline void unwind_last() {
    Cell* result = arguments;
    unwind();
    *arguments = *result;
}
void revert();
void drop_frame();

// Marks the top frame as the one `return` and `exit` land on, or not.
inline void set_return_flag(bool on) {
    Frame* f = ctop - 1;
    f->header = on ? f->header | FRAME_RETURN_TARGET : f->header & ~FRAME_RETURN_TARGET;
}

// Base (first argument cell) of a frame: word `base` of the frame above it,
// or the current arguments for the top frame.
Cell* frame_base(Frame* frame);

// Collector: marks what every call frame refers to (name context, function
// context, the saved values block unless the values live on the stack).
void mark_frames();
// Collector: the live values of the value stack, then the frames; init
// registers it to run right after the stack buffers are marked.
void mark_roots();


// ---- Depth of the machine stack ---------------------------------------------------

// Lowest address a deeply nested evaluation may reach before it raises
// internal stack-overflow (the machine stack's limit plus a safety margin
// for building and throwing the error).
extern uintptr_t machine_limit;
[[noreturn]] void machine_overflow();
// Raises stack-overflow when the machine stack is nearly used up.
inline void check_depth() {
    volatile char probe = 0;
    if (reinterpret_cast<uintptr_t>(&probe) < machine_limit) machine_overflow();
}

// ---- Unrolling and non-local exits ------------------------------------------------

// Pops frames down to the nearest frame of `type` (a FRAME_TRY_ALL frame or
// the bottom frame stops every unrolling), restoring the function contexts
// of the popped function frames. With keep the found frame stays current;
// without, it stays on the call stack as the top frame with the value-stack
// base set to its caller's. Answers the found frame (null: no frames).
Frame* unroll(uint32_t type, bool keep);

// The error path of `fire`: fills the error's `where` and `stack`, unrolls to
// the nearest try frame, pops it, pushes the error at the old stack top and
// throws the exception. With no guard at all the stacks end at their bottom
// and the exception reaches the C++ caller (the top-level guard prints it
// and exits with status 254).
[[noreturn]] void throw_error(ErrorThrown& e);
// break (with_value: /return given; its value is the first argument of the
// current call) and continue: the nearest loop frame becomes current with
// its result slot set, and the code to return is answered. A try/all frame
// met first, or no loop at all, raises throw break or continue.
[[nodiscard]] Unwind throw_break(bool with_value, bool cont);
// return (with_value) and exit: the same for the nearest return-target
// frame; Unwind::ret or Unwind::exit. from_top: the top frame is a candidate.
[[nodiscard]] Unwind throw_return(bool with_value, bool from_top);
// The landing of throw_return from the top frame with the value, for the
// evaluator's own `return`: false, and nothing done, when it would raise.
[[nodiscard]] bool return_to(const Cell* value);
// throw: the nearest catch frame becomes current with the thrown value and
// the name (the current call's first two argument cells) pushed on it.
[[nodiscard]] Unwind throw_value(Unwind code);

// ---- Call trace -------------------------------------------------------------------

// The name of the innermost named frame (from error_ctop when set), a word
// bound to the frame's name context; <not-found> when there is none.
Cell* get_caller(Cell* out);
// Appends, from the top frame but the `skip` newest ones down to the second
// one, each named frame's word and its base (value-stack index) as integer!.
void collect_calls(Cell* block, uint32_t skip);
// Appends the names of the frames from the bottom up to frame `end`
// (exclusive, counted from the bottom): all named ones when level > 1, else
// those whose name holds a function!.
void trace_to_block(int32_t level, Cell* block, int32_t end);
// The same names formed into the string, each followed by a space; answers
// the remaining limit.
int32_t form_trace(int32_t level, int32_t end, Cell* buffer, int32_t limit);
// Stores the call-stack depth in the error's `stack` field unless it holds
// a block already.
void record_error_position(Cell* error);

}  // namespace stack
