// The routine table: routines are C++ bodies with a fixed 1-based index,
// made into routine! values by the library with `make routine! [spec index]`.
// Every routine is declared once below: its index, its C++ name and its
// word, in the list of the folder that defines its body. Each folder
// registers its own bodies at start-up (library/routines.cpp, console/input.cpp).
#pragma once
#include <cstdint>

// clang-format off
// X(index, C++ name, word)
#define ZEM_LIBRARY_ROUTINES(X)                          \
    X(1, quit_return, "quit-return")                     \
    X(2, set_quiet, "set-quiet")                         \
    X(3, set_slot_quiet, "set-slot-quiet")               \
    X(4, shift_right, "shift-right")                     \
    X(5, shift_left, "shift-left")                       \
    X(6, shift_logical, "shift-logical")                 \
    X(7, last_lf_q, "last-lf?")                          \
    X(8, get_current_dir, "get-current-dir")             \
    X(9, set_current_dir, "set-current-dir")             \
    X(10, create_dir, "create-dir")                      \
    X(11, exists_q, "exists?")                           \
    X(12, os_info, "os-info")                            \
    X(13, as_color, "as-color")                          \
    X(14, as_ipv4, "as-ipv4")                            \
    X(15, as_rgba, "as-rgba")                            \
    X(16, count_chars, "count-chars")                    \
    X(17, stack_size_q, "stack-size?")                   \
    X(18, pick_stack, "pick-stack")                      \
    X(19, frame_index_q, "frame-index?")                 \
    X(20, collect_calls, "collect-calls")                \
    X(21, tracing_q, "tracing?")                         \
    X(22, read_clipboard, "read-clipboard")              \
    X(23, write_clipboard, "write-clipboard")            \
    X(24, write_stdout, "write-stdout")                  \
    X(25, gc_active_q, "active?")                        \
    X(26, gc_series_cycles, "series-cycles")             \
    X(27, gc_nodes_cycles, "nodes-cycles")               \
    X(34, zembin_encode, "encode*")                      \
    X(35, zembin_decode, "decode")                       \
    X(36, version, "version")                            \
    X(37, float_pretty, "float-pretty")                  \
    X(38, float_full, "float-full")                      \
    X(39, build_config, "build-config")                  \
    X(41, error_catalog, "error-catalog")                \
    X(42, error_prototype, "error-prototype")            \
    X(43, image_encode_bmp, "encode")                    \
    X(44, image_encode_png, "encode")                    \
    X(45, image_encode_gif, "encode")                    \
    X(46, image_encode_jpeg, "encode")                   \
    X(47, image_encode_tiff, "encode")                   \
    X(48, image_decode, "decode")                        \
    X(49, unescape, "unescape")                          \
    X(50, build_info, "build-info")

#define ZEM_CONSOLE_ROUTINES(X)                          \
    X(28, set_buffer_history, "_set-buffer-history")     \
    X(29, read_input, "_read-input")                     \
    X(30, input_stdin, "input-stdin")                    \
    X(31, read_stdin, "read-stdin")                      \
    X(32, terminate_console, "_terminate-console")       \
    X(33, console_init, "init")                          \
    X(40, fit_columns, "_fit-columns")

// The DRAW interpreter's routines (gui/draw.cpp).
#define ZEM_GUI_DRAW_ROUTINES(X)                         \
    X(200, do_draw, "do-draw")
// clang-format on

#define ZEM_ROUTINES(X) ZEM_LIBRARY_ROUTINES(X) ZEM_CONSOLE_ROUTINES(X) ZEM_GUI_DRAW_ROUTINES(X)

namespace routines {

// The highest routine index. The GUI's groups start at 100, so the table
// has gaps below them.
constexpr uint32_t COUNT = [] {
    uint32_t highest = 0;
#define X(index, name, word) \
    if ((index) > highest) highest = (index);
    ZEM_ROUTINES(X)
#undef X
    return highest;
}();

// Every index from 1 to COUNT names at most one routine.
constexpr bool indexes_once() {
    bool seen[COUNT + 1] = {};
#define X(index, name, word)                                      \
    if ((index) < 1 || (index) > COUNT || seen[index]) return false; \
    seen[index] = true;
    ZEM_ROUTINES(X)
#undef X
    return true;
}
static_assert(indexes_once(), "each routine index is used once");

// The word of a routine index ("quit-return" for 1); null outside the table.
constexpr const char* word_of(uint32_t index) {
    switch (index) {
#define X(i, name, word) \
    case i: return word;
        ZEM_ROUTINES(X)
#undef X
        default: return nullptr;
    }
}

}  // namespace routines
