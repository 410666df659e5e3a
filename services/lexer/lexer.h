// The lexer: turns UTF-8 text into values. Entry points for the runtime
// (scan of bytes and of strings), the `transcode` native, the trace callback
// protocol and the collector's root hook.
#pragma once
#include <cstdint>

#include "runtime/cell.h"
#include "evaluator/stack.h"

namespace lexer {

// ---- Trace events ---------------------------------------------------------------

// Event bits of a trace callback's mask, and their order as words.
enum Event : uint32_t {
    EVENT_PRESCAN = 1,
    EVENT_SCAN = 2,
    EVENT_LOAD = 4,
    EVENT_OPEN = 8,
    EVENT_CLOSE = 16,
    EVENT_ERROR = 32,
    EVENT_ALL = 63,
};
// The word naming an event bit ("prescan" ... "error"); null for others.
const char* event_name(uint32_t event);
// The mask named by a block of words (the first value of a callback's
// body): the OR of the bits of the event words in it, other values adding
// nothing. Anything but a block gives every event.
uint32_t event_mask(const Cell* spec);

// A trace callback as the lexer calls it. `call` receives the event bit and
// the four other arguments of a /trace callback: `input` (a copy of the
// source whose index is the token's start or end; the callback may move
// that index, and the scan then resumes there), `type` (datatype!, none! or
// a token-kind word), `line` and `token` (the value just made, or a pair! of
// the 1-based start and end positions). Its answer steers the scan (false
// skips, cancels or stops, as the event says). `events` is the mask of the
// events it wants; the others answer true without a call.
struct Tracer {
    bool (*call)(void* context, uint32_t event, Cell* input, const Cell* type, int32_t line,
                 const Cell* token);
    void* context;
    uint32_t events;
};

// Calls a /trace callback value (function! or routine!) with the five
// arguments (event word, input, type, line, token) through the interpreter
// and answers the truth of its result (tests put a stand-in here).
extern bool (*call_callback_hook)(const Cell* callback, Cell args[5]);
// The event mask of a callback value (event_mask of the first value of its
// body).
extern uint32_t (*callback_events_hook)(const Cell* callback);

// ---- Scanning --------------------------------------------------------------------

// Token type answered for a scan that ended in an error (error!).
constexpr int32_t TYPE_SCAN_ERROR = TYPE_ERROR;

// Scans `size` bytes of UTF-8 from `src`.
//   slot          receives the values: a new block of exactly the values made
//                 (at least one cell), or with `one_value` (and not
//                 `block_output`) the first value itself; untouched when
//                 `into` is given (values appended at its tail instead)
//   one_value     stop after the first complete value (blocks count as one)
//   scan_only     make no values; answer the recognised type
//   prescan       make no values; answer the guessed type of the first token
//   consumed      receives the bytes read (characters for a string source)
//   tracer        the /trace callback, or null
//   source        the value the bytes come from (string! or binary!), for the
//                 callback's `input` argument; may be null without a tracer
// Answers the datatype id of the last token (error! when a scan-only or
// prescan scan ended in an error, 0 when nothing was read). In load mode
// syntax errors are raised (category syntax: invalid, missing, bad-char,
// malconstruct). `src` must stay where it is during the scan: a series
// buffer it points into is pinned by the collector's stack scan, since the
// scan keeps it in a local.
int32_t scan(Cell* slot, const uint8_t* src, uint32_t size, bool one_value, bool scan_only,
             bool prescan, uint32_t* consumed, const Tracer* tracer = nullptr, const Cell* source = nullptr,
             Cell* into = nullptr, bool block_output = false);

// The same for `length` characters (-1: to the tail) of a string! from its
// index; the consumed count is in characters.
int32_t scan_string(Cell* slot, Cell* str, int32_t length, bool one_value, bool scan_only, bool prescan,
                    uint32_t* consumed, const Tracer* tracer = nullptr, Cell* into = nullptr,
                    bool block_output = false);

// The first value loaded from the whole text of a string into the slot:
// unset! when the text holds none, none! when the scan stopped before the
// end. Installed as word::load_value_hook.
Cell* load_value(Cell* text, Cell* slot);

// ---- Runtime --------------------------------------------------------------------

// Start-up: the character, transition and dispatch tables, the Unicode
// blanks, the output stack (1000 cells) and the conversion buffer (100000
// bytes); installs word::load_value_hook, interpreter::load_hook, block::scan_hook
// and the collector's root hook.
void init();

// Root hook of the collector, run in every marking phase (also when no scan
// runs; init registers it with collector::mark_block): hands every live cell
// range the lexer holds (values loaded so far by the scans in progress) to
// `mark_cells` as [first, end).
void mark_buffers(void (*mark_cells)(Cell* first, Cell* end));

// ---- Natives -------------------------------------------------------------------

// transcode src /next /one /prescan /scan /part length /into dst /trace
// callback: refinement slots 0-6 in that order (stack offsets of their
// arguments from stack::arguments, -1 when absent). The result replaces the
// first argument and the stack is cut to it.
Unwind transcode_native(bool check, const int32_t* refinements);

}  // namespace lexer
