// The library's routines: C++ bodies in the routine table, made into
// routine! values by the library with `make routine! [spec index]` (the
// Debug build checks at start-up that the word it sets is the routine's).
#pragma once
#include <cstdint>

// index, C++ name, word. The index is the routine's entry in the table.
#define ZEM_ROUTINES(X)                     \
    X(1, quit_return, "quit-return")         \
    X(2, set_quiet, "set-quiet")             \
    X(3, set_slot_quiet, "set-slot-quiet")   \
    X(4, shift_right, "shift-right")         \
    X(5, shift_left, "shift-left")           \
    X(6, shift_logical, "shift-logical")     \
    X(7, last_lf_q, "last-lf?")              \
    X(8, get_current_dir, "get-current-dir") \
    X(9, set_current_dir, "set-current-dir") \
    X(10, create_dir, "create-dir")          \
    X(11, exists_q, "exists?")               \
    X(12, os_info, "os-info")                \
    X(13, as_color, "as-color")              \
    X(14, as_ipv4, "as-ipv4")                \
    X(15, as_rgba, "as-rgba")                \
    X(16, count_chars, "count-chars")        \
    X(17, stack_size_q, "stack-size?")       \
    X(18, pick_stack, "pick-stack")          \
    X(19, frame_index_q, "frame-index?")     \
    X(20, collect_calls, "collect-calls")    \
    X(21, tracing_q, "tracing?")             \
    X(22, read_clipboard, "read-clipboard")  \
    X(23, write_clipboard, "write-clipboard") \
    X(24, write_stdout, "write-stdout")      \
    X(25, gc_active_q, "active?")            \
    X(26, gc_series_cycles, "series-cycles") \
    X(27, gc_nodes_cycles, "nodes-cycles") \
    X(28, set_buffer_history, "_set-buffer-history") \
    X(29, read_input, "_read-input")         \
    X(30, input_stdin, "input-stdin")        \
    X(31, read_stdin, "read-stdin")          \
    X(32, terminate_console, "_terminate-console") \
    X(33, console_init, "init")                \
    X(34, zembin_encode, "encode*")          \
    X(35, zembin_decode, "decode")          \
    X(36, version, "version")                \
    X(37, float_pretty, "float-pretty")      \
    X(38, float_full, "float-full")          \
    X(39, build_config, "build-config")      \
    X(40, fit_columns, "_fit-columns")       \
    X(41, error_catalog, "error-catalog")    \
    X(42, error_prototype, "error-prototype")

namespace routines {

#define X(index, name, word) void r_##name();
ZEM_ROUTINES(X)
#undef X

// Fills the routine table in index order (once; later calls do nothing).
void init();

// The word of a routine index ("quit-return" for 1); null outside the table.
const char* word_of(uint32_t index);

}  // namespace routines
