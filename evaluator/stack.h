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

#include "evaluator/cell.h"

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
constexpr uint32_t FRAME_COMPILED_FUNC = 0x12000000;
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

Cell* push_slot();                 // uninitialised cell at the top
Cell* push(const Cell* value);
void pop(uint32_t n);
Cell* top_cell();                  // last live cell (bottom when empty)
uint32_t top_type_q();
Cell* reset();                     // top := arguments
Cell* keep();                      // top := arguments + 1
void set_last(const Cell* value);
void set_last_keep(const Cell* value);
void adjust_after_try();

inline uint32_t index_of(const Cell* c) { return static_cast<uint32_t>(c - bottom); }

// ---- Frames --------------------------------------------------------------------------

void mark(const Cell* name, uint32_t header);
inline void mark_native(const Cell* name) { mark(name, FRAME_NATIVE); }
inline void mark_try(const Cell* name) { mark(name, FRAME_TRY); }
inline void mark_try_all(const Cell* name) { mark(name, FRAME_TRY_ALL); }
inline void mark_catch(const Cell* name) { mark(name, FRAME_CATCH); }
inline void mark_eval_block(const Cell* name) { mark(name, FRAME_EVAL); }
inline void mark_loop(const Cell* name) { mark(name, FRAME_LOOP); }
inline void mark_interp_native(const Cell* name) { mark(name, FRAME_INTERP_NATIVE); }
void mark_func(const Cell* name, Node fn_ctx);
void mark_interp_func(const Cell* name, Node fn_ctx);

void unwind();
void unwind_func();
void unwind_last();
void unwind_func_last();
void revert();
void revert_func();
void drop_frame();

void set_return_flag(bool on);
void set_interpreted();
Frame* claim_return_target();
void clear_return_flag(Frame* frame);
Frame* current_frame();
bool eval_q(Frame* frame, bool nearest_only);

// Base (first argument cell) of a frame: word `base` of the frame above it,
// or the current arguments for the top frame.
Cell* frame_base(Frame* frame);

// Collector: marks what every call frame refers to (name context, function
// context, the saved values block unless the values live on the stack).
void mark_frames();

// The values node of a function context's own context! cell.
Node context_values(Node fn_ctx);
void set_context_values(Node fn_ctx, Node values);

}  // namespace stack
