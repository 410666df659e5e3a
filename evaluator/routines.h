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
    X(50, build_info, "build-info")                  \
    X(240, set_tracing, "set-tracing")

#define ZEM_CONSOLE_ROUTINES(X)                          \
    X(28, set_buffer_history, "_set-buffer-history")     \
    X(29, read_input, "_read-input")                     \
    X(30, input_stdin, "input-stdin")                    \
    X(31, read_stdin, "read-stdin")                      \
    X(32, terminate_console, "_terminate-console")       \
    X(33, console_init, "init")                          \
    X(40, fit_columns, "_fit-columns")
// clang-format on

// The GUI back end's routines (indexes 100-179).
#define ZEM_GUI_ROUTINES(X)                              \
    X(100, make_null_handle, "make-null-handle")         \
    X(101, fetch_all_screens, "fetch-all-screens")       \
    X(102, get_screen_size, "get-screen-size")           \
    X(103, size_text, "size-text")                       \
    X(104, redraw_none, "on-change-facet")               \
    X(105, redraw_none, "update-text")                   \
    X(106, redraw_none, "update-font")                   \
    X(107, redraw_none, "update-para")                   \
    X(108, destroy_view, "destroy-view")                 \
    X(109, redraw_none, "detach-image")                  \
    X(110, update_view, "update-view")                   \
    X(111, redraw_none, "refresh-window")                \
    X(112, redraw_none, "redraw")                        \
    X(113, show_window, "show-window")                   \
    X(114, make_view, "make-view")                       \
    X(115, redraw_none, "draw-image")                    \
    X(116, redraw_none, "draw-face")                     \
    X(117, do_event_loop, "do-event-loop")               \
    X(118, exit_event_loop, "exit-event-loop")           \
    X(119, redraw_none, "request-font")                  \
    X(120, text_box_metrics, "text-box-metrics")         \
    X(121, redraw_none, "update-scroller")               \
    X(122, redraw_none, "set-dark-mode")                 \
    X(123, false, "support-dark-mode?")                  \
    X(124, event_q, "event?")                            \
    X(125, false, "send-event-os")                       \
    X(126, find_flag_q, "find-flag?")                    \
    X(127, focused_q, "focused?")                        \
    X(128, widget_data, "widget-data")                   \
    X(129, set_face_ui, "set-face-ui")                   \
    X(130, gui_init, "gui-init")                         \
    X(131, color_support, "check-color-support")

// The DRAW interpreter's routines (gui/draw.cpp, indexes 200-239).
#define ZEM_GUI_DRAW_ROUTINES(X)                         \
    X(200, draw_image, "draw-image")

#define ZEM_ROUTINES(X) \
    ZEM_LIBRARY_ROUTINES(X) ZEM_CONSOLE_ROUTINES(X) ZEM_GUI_ROUTINES(X) ZEM_GUI_DRAW_ROUTINES(X)

namespace routines {

// The number of routines.
#define X(index, name, word) +1
constexpr uint32_t COUNT = 0 ZEM_ROUTINES(X);
#undef X

// The highest index a routine may take (ranges are handed out per feature,
// so the table may have gaps).
constexpr uint32_t MAX_INDEX = 299;

// Every index names at most one routine.
constexpr bool indexes_once() {
    bool seen[MAX_INDEX + 1] = {};
#define X(index, name, word)                                          \
    if ((index) < 1 || (index) > MAX_INDEX || seen[index]) return false; \
    seen[index] = true;
    ZEM_ROUTINES(X)
#undef X
    return true;
}
static_assert(indexes_once(), "each routine index from 1 to MAX_INDEX is used once");

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
