// The interpreter: evaluates blocks expression by expression on the value
// stack, looks words up, assigns set-words and set-paths, calls natives,
// actions, functions and routines with arguments fetched by their specs,
// evaluates paths and reports each step to an optional tracing callback.
//
// Every evaluation routine answers an Unwind code: Unwind::none when the
// expression completed, else the non-local exit in flight, which the caller
// returns at once without touching the stacks (the exit has already cut
// them back to the frame that will take it). Errors are ErrorThrown
// exceptions. "keep" means the value is pushed on the value stack;
// otherwise it replaces the current call's result slot and the stack top
// is just above it.
#pragma once
#include <cstdint>

#include "runtime/cell.h"
#include "evaluator/stack.h"

namespace interpreter {

// The block being evaluated, at the index of the expression in progress
// (what an error's `near` shows); unset! outside any evaluation.
extern Cell position;

// ---- Tracing ------------------------------------------------------------------------

// The trace events, X(name, bit): an event is named by the fixed word
// words::name, which a tracing callback's event block holds and which its
// first argument is.
#define ZEM_TRACE_EVENTS(X)                                                                      \
    X(init, 0x0001) X(end, 0x0002) X(prolog, 0x0004) X(epilog, 0x0008) X(enter, 0x0010)        \
    X(exit_, 0x0020) X(open, 0x0040) X(return_, 0x0080) X(fetch, 0x0100) X(push, 0x0200)       \
    X(set, 0x0400) X(call, 0x0800) X(error, 0x1000) X(throw_, 0x2000) X(catch_, 0x4000)         \
    X(expr, 0x8000)

namespace event {
#define X(name, bit) inline constexpr uint32_t name = bit;
ZEM_TRACE_EVENTS(X)
#undef X
}  // namespace event

constexpr uint32_t DEFAULT_EVENT_MASK = 0x1FFFF;

// Whether events reach the callback now (off inside no-trace bodies and
// the callback itself).
extern bool tracing;
// Tracing as the tracer asked for it: on from do/trace's start, switched by
// `trace true`/`trace false`; trace_switches counts the switches.
extern bool trace_enabled;
extern uint32_t trace_switches;
extern uint32_t event_mask;
// The tracing callback (a cell of the root block, normally a function!).
Cell* callback();
// Installs a callback (its mask from its body) and switches tracing on;
// answers false when tracing was already on (nothing changes then).
bool start_trace(const Cell* fn);
void stop_trace();
// Whether a callback is installed (a do/trace is running).
bool trace_installed();
// Switches the installed tracing on or off (on only while a callback is installed).
void switch_trace(bool on);
// The mask a callback asks for: the OR of the event words of a block at the
// head of its body, else the default.
uint32_t trace_mask(const Cell* fn);
// Calls the callback for an event when tracing is on and the mask has it.
// A non-local exit out of the callback travels as UnwindThrown.
void fire_event(uint32_t bit, const Cell* code, int32_t position, const Cell* value, const Cell* reference);
// The `error` event for `fire`.
void trace_error(const Cell* error);

// ---- Evaluation ---------------------------------------------------------------------

// Mode bits of a call: refinements come from a path / follow in the code.
constexpr uint32_t MODE_PATH = 1;
constexpr uint32_t MODE_CODE = 2;
// Each argument is the single value at its position: a word gives its
// value, nothing is called.
constexpr uint32_t MODE_ONE = 4;

// When the evaluator compiles code it meets again: never, at its second
// evaluation, or at its first (the environment variable ZEM_COMPILE, "off"
// or "always", read at init; the tests run the language suite each way).
enum class Compile { off, on_second, always };
extern Compile compile_mode;

// Makes the tracing-callback cell and resets the code position; reads ZEM_COMPILE.
void init();

// The argument cache the interpreter lays a call out by, made from a
// callable's spec (native_like: a native's or action's, whose refinements
// are positions rather than cells): per argument a typeset! of the
// datatypes it takes (its kind, normal, get, lit or return, in header bits
// 20-21), per refinement a refinement!, for /local an integer! (1 + the
// locals) and, native-like with refinements, a last integer! (their count).
// Raises bad-func-def for a set-word other than return:.
Cell argument_cache(const Cell* spec, bool native_like);

// Evaluates a whole block (from its index); its value is that of its last
// expression (unset for an empty block). With chain the value goes into the
// caller's result slot, otherwise it stays at the old stack top.
[[nodiscard]] Unwind eval(const Cell* block, bool chain);
// Evaluates a block in the current frame: its value goes to the frame's
// result slot, and the cells from that slot up are its to use (a native's
// arguments it has done with, a loop frame's turn).
[[nodiscard]] Unwind eval_in_frame(const Cell* block);
// Evaluates the expression of `code` at *position under a frame of its own
// and advances *position past it.
[[nodiscard]] Unwind eval_next(const Cell* code, uint32_t* position, bool keep);
// do/next: one expression at the block's index (unset at the tail); *next
// is the index after it.
[[nodiscard]] Unwind eval_at(const Cell* block, uint32_t* next);
// One expression of `code` starting at index p, with the infix operators
// that follow it unless no_infix; callables in the code are values with
// functions_as_values. *next is the index after it.
[[nodiscard]] Unwind eval_expression(const Cell* code, uint32_t p, bool no_infix, bool keep,
                                     bool functions_as_values, uint32_t* next);
// Calls a callable with its arguments taken from `code` at p. Refinements
// come from `path` (its elements from ref_start) with MODE_PATH. With infix
// the cell at the stack top is the left operand.
[[nodiscard]] Unwind eval_call(const Cell* callable, const Cell* code, uint32_t p, bool keep, const Cell* path,
                               uint32_t ref_start, const Cell* name, uint32_t mode, bool infix, uint32_t* next);
// Evaluates a path (arguments of a called function from `code` at p); with
// set the value assigned is `value`.
[[nodiscard]] Unwind eval_path(const Cell* path, const Cell* code, uint32_t p, bool set, bool get, bool keep,
                               const Cell* value, uint32_t* next);
// Runs a function whose arguments (and locals) are already on the stack in
// the current frame; the result is in the frame's result slot.
[[nodiscard]] Unwind call_function(const Cell* fn, const Cell* name);
// Runs a routine whose arguments are on the stack in the current frame.
[[nodiscard]] Unwind exec_routine(const Cell* routine, const Cell* name);
// Calls a function! or routine! (a callback) with n argument values under
// a frame named `name`; its locals are pushed after them. The result is
// written to *out; the stacks are back where they were afterwards. A
// non-local exit out of the callback leaves as an UnwindThrown, which the
// native call that led here turns back into its Unwind code.
void call_with(const Cell* fn, const Cell* name, const Cell* args, uint32_t n, Cell* out);

// Evaluates any value as `do` does: a block whole, a path, an error raised,
// any other value as one expression. The result goes into the current
// result slot.
[[nodiscard]] Unwind do_value(const Cell* value);

// Loads text into a block (the lexer installs it): answers `out`.
extern Cell* (*load_hook)(const Cell* text, Cell* out);

}  // namespace interpreter
