// The text-terminal back end: widgets, windows, rendering, event delivery
// and the event loop.
#include "gui/terminal/backend.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <poll.h>
#include <string>
#include <unistd.h>
#include <vector>

#include "runtime/terminal.h"
#include "datatypes/event.h"
#include "datatypes/handle.h"
#include "datatypes/object.h"
#include "datatypes/pair.h"
#include "datatypes/point2d.h"
#include "datatypes/routine.h"
#include "evaluator/block_storage.h"
#include "evaluator/context.h"
#include "evaluator/cycles.h"
#include "evaluator/errors.h"
#include "evaluator/interpreter.h"
#include "evaluator/routines.h"
#include "evaluator/stack.h"
#include "evaluator/symbol.h"
#include "evaluator/text_storage.h"
#include "evaluator/word_storage.h"
#include "gui/draw.h"
#include "gui/terminal/color.h"
#include "gui/terminal/decoder.h"
#include "gui/terminal/screen.h"
#include "gui/terminal/timers.h"
#include "runtime/collector.h"
#include "runtime/fault.h"
#include "runtime/print.h"
#include "runtime/sys.h"
#include "runtime/unicode.h"

namespace gui {

namespace {

// ---- Words ----------------------------------------------------------------------------

// The words the back end reads faces and options by; their symbols are made
// on first use in each runtime (the tests start several).
#define GUI_WORDS(X) \
    X(type, "type") \
    X(offset, "offset") \
    X(size, "size") \
    X(text, "text") \
    X(color, "color") \
    X(data, "data") \
    X(enabled, "enabled?") \
    X(visible, "visible?") \
    X(selected, "selected") \
    X(flags, "flags") \
    X(options, "options") \
    X(pane, "pane") \
    X(state, "state") \
    X(para, "para") \
    X(font, "font") \
    X(align, "align") \
    X(v_align, "v-align") \
    X(wrap, "wrap?") \
    X(hint, "hint") \
    X(system, "system") \
    X(view, "view") \
    X(awake, "awake") \
    X(platform, "platform") \
    X(mouse_event, "mouse-event?") \
    X(screens, "screens") \
    X(window, "window") \
    X(field, "field") \
    X(button, "button") \
    X(check, "check") \
    X(radio, "radio") \
    X(progress, "progress") \
    X(group_box, "group-box") \
    X(text_list, "text-list") \
    X(rich_text, "rich-text") \
    X(right, "right") \
    X(center, "center") \
    X(middle, "middle") \
    X(bottom, "bottom") \
    X(focusable, "focusable") \
    X(password, "password") \
    X(fullscreen, "fullscreen") \
    X(all_over, "all-over") \
    X(border_corners, "border-corners") \
    X(round, "round") \
    X(border_color, "border-color") \
    X(done, "done") \
    X(rate, "rate")

enum Name : uint8_t {
#define X(name, text) s_##name,
    GUI_WORDS(X)
#undef X
    NAME_COUNT
};
const char* const name_texts[] = {
#define X(name, text) text,
    GUI_WORDS(X)
#undef X
};
uint32_t name_symbols[NAME_COUNT];

uint32_t sym(Name n) {
    if (!name_symbols[n]) name_symbols[n] = symbol::make(name_texts[n]);
    return name_symbols[n];
}

Cell word_of(uint32_t sym) { return Cell{TYPE_WORD, 0, sym, 0xFFFFFFFFu}; }
bool is_word(const Cell* v) { return v->type() >= TYPE_WORD && v->type() <= TYPE_REFINEMENT; }
bool word_is(const Cell* v, Name s) { return is_word(v) && symbol::resolve(v->symbol()) == symbol::resolve(sym(s)); }
Cell none_cell() { return Cell{TYPE_NONE, 0, 0, 0}; }
Cell logic_cell(bool b) { return Cell{TYPE_LOGIC, b ? 1u : 0u, 0, 0}; }

// A field of an object (none when the value is no object or lacks it).
Cell field(const Cell* obj, Name s) {
    if (obj->type() != TYPE_OBJECT) return none_cell();
    Cell w = word_of(sym(s));
    return *object::select_word(obj, &w);
}
// Sets a field through the object's change handler.
void set_field(const Cell* obj, Name s, const Cell* value) {
    if (obj->type() != TYPE_OBJECT) return;
    Cell w = word_of(sym(s));
    int32_t i = object::find_word(obj, &w);
    if (i < 0) return;
    Cell bound{TYPE_WORD, obj->ctx(), sym(s), static_cast<uint32_t>(i)};
    Cell v = *value;
    context::set_in(&bound, &v, obj->ctx(), true);
}
bool truthy(const Cell& v) { return !(v.type() == TYPE_NONE || (v.type() == TYPE_LOGIC && v.data1 == 0)); }

// A word or a block of words holds the word.
bool has_flag(const Cell& flags, Name s) {
    if (is_word(&flags)) return word_is(&flags, s);
    if (flags.type() != TYPE_BLOCK) return false;
    for (uint32_t i = 0, n = block::rs_length_q(&flags); i < n; ++i)
        if (word_is(block::rs_head(&flags) + i, s)) return true;
    return false;
}
// The value after a word in a key/value block (none when absent).
Cell option(const Cell& options, Name s) {
    if (options.type() != TYPE_BLOCK) return none_cell();
    uint32_t n = block::rs_length_q(&options);
    for (uint32_t i = 0; i + 1 < n; ++i) {
        const Cell* k = block::rs_head(&options) + i;
        if ((k->type() == TYPE_WORD || k->type() == TYPE_SET_WORD || k->type() == TYPE_LIT_WORD) && word_is(k, s))
            return block::rs_head(&options)[i + 1];
    }
    return none_cell();
}

// The bits of a face's flags (a word or a block of words; anything else is
// 0); a word that names no flag raises invalid-arg.
uint32_t face_flag_bits(const Cell& flags) {
    static const struct {
        const char* word;
        uint32_t bit;
    } table[] = {{"all-over", 0x1},         {"focusable", 0x2},         {"resize", 0x04000000},
                 {"no-title", 0x40000000},  {"no-border", 0x80000000},  {"no-min", 0x20000000},
                 {"no-max", 0x10000000},    {"no-buttons", 0x08000000}, {"modal", 0x02000000},
                 {"popup", 0x01000000},     {"tri-state", 0x00020000},  {"scrollable", 0x00040000},
                 {"password", 0x00080000},  {"no-sync", 0x00100000},    {"fullscreen", 0x00200000}};
    auto bit_of = [&](const Cell* w) {
        for (const auto& e : table)
            if (symbol::resolve(w->symbol()) == symbol::resolve(symbol::make(e.word))) return e.bit;
        fire(err::INVALID_ARG, w);
    };
    if (is_word(&flags)) return bit_of(&flags);
    if (flags.type() != TYPE_BLOCK) return 0;
    uint32_t bits = 0;
    for (uint32_t i = 0, n = block::rs_length_q(&flags); i < n; ++i) {
        Cell w = block::rs_head(&flags)[i];
        if (is_word(&w)) bits |= bit_of(&w);
    }
    return bits;
}

bool xy_of(const Cell& v, float& x, float& y) {
    if (v.type() == TYPE_PAIR) {
        x = static_cast<float>(v.int_value()), y = static_cast<float>(static_cast<int32_t>(v.data3));
        return true;
    }
    if (v.type() == TYPE_POINT2D) {
        x = point2d::x_of(&v), y = point2d::y_of(&v);
        return true;
    }
    return false;
}

std::u32string text_of(const Cell& v) {
    std::u32string r;
    if (v.type() < TYPE_STRING || v.type() > TYPE_URL) {
        if (v.type() != TYPE_STRING && v.type() != TYPE_TAG && v.type() != TYPE_EMAIL && v.type() != TYPE_REF)
            return r;
    }
    uint32_t n = string::rs_length_q(&v);
    for (uint32_t i = 0; i < n; ++i) r += static_cast<char32_t>(string::rs_abs_at(&v, v.head() + i));
    return r;
}
bool is_string(const Cell& v) { return v.type() == TYPE_STRING; }

Cell make_string(const std::u32string& text) {
    std::string utf8;
    for (char32_t c : text) {
        uint8_t b[4];
        utf8.append(reinterpret_cast<const char*>(b), unicode::encode_utf8_char(c, b));
    }
    Cell s;
    string::rs_make_at(&s, static_cast<uint32_t>(text.size() + 1));
    string::append_utf8(&s, utf8.data(), static_cast<uint32_t>(utf8.size()));
    return s;
}

uint32_t tuple_color(const Cell& v) {
    if (v.type() != TYPE_TUPLE) return tui::COLOR_DEFAULT;
    const uint8_t* b = reinterpret_cast<const uint8_t*>(&v.data1);
    return tui::color_of_rgb(b[0], b[1], b[2]);
}

// ---- Widgets --------------------------------------------------------------------------

enum Class : uint8_t { BASE, WINDOW, FIELD, BUTTON, CHECK, RADIO, PROGRESS, GROUP_BOX, TEXT_LIST, RICH_TEXT };

constexpr uint32_t W_HIDDEN = 0x20000, W_DISABLED = 0x40000, W_ALL_OVER = 0x100000, W_CARET = 0x200000,
                   W_FOCUSABLE = 0x400000, W_HOVER = 0x1000000, W_FOCUSED = 0x2000000, W_FULL_SCREEN = 0x40000000;

struct Widget {
    uint32_t id = 0;
    Class cls = BASE;
    uint32_t flags = 0;
    float x = 0, y = 0, x2 = 0, y2 = 0;
    Widget* parent = nullptr;
    Cell face{TYPE_NONE, 0, 0, 0};
    Cell label{TYPE_NONE, 0, 0, 0};  // text set by set-face-ui, drawn before the face's text
    size_t cursor = 0;               // field: caret position in its text
    int32_t scroll = 0;              // text-list: the first item shown; field: the first character (0-based)
    uint32_t rate_ms = 0;            // the interval of its timer (0: none)
    int width() const { return static_cast<int>(x2 - x); }
    int height() const { return static_cast<int>(y2 - y); }
};

struct Window {
    Widget* widget = nullptr;
    Widget* focused = nullptr;
};

std::vector<std::unique_ptr<Widget>> widgets;  // by id - 1; null once freed
std::vector<Window> windows;   // the last is the active one
Widget* hovered = nullptr;
Widget* captured = nullptr;
std::vector<Widget*> pressed;
float last_x = 0, last_y = 0;
tui::Clicks clicks;
Widget* last_clicked = nullptr;  // the widget of the last click
tui::Timers timers;
tui::Decoder decoder;
tui::Grid grid;
tui::Frame frame;
std::string last_output;       // the last frame written, for writing only changes
bool drawn = false;
bool console_set_up = false;
bool raw = false;
bool alternate = false;
bool mouse_on = false;
bool cursor_hidden = false;
int loop_depth = 0;
int columns = 80, rows = 24;
int first_row = 0;             // inline mode: the screen row the window starts at

Widget* widget_by_id(uint32_t id) { return id >= 1 && id <= widgets.size() ? widgets[id - 1].get() : nullptr; }

// Widgets freed while language code runs (an actor that closes its window)
// are parked here until no call into the language is under way, so the
// pointers the delivering code still holds stay readable; `alive` tells
// them the widget is gone.
std::vector<std::unique_ptr<Widget>> parked;
int delivering = 0;

// Held while events are delivered: widgets freed meanwhile are parked.
struct Delivery {
    Delivery() { ++delivering; }
    ~Delivery() {
        if (--delivering == 0) parked.clear();
    }
    Delivery(const Delivery&) = delete;
    Delivery& operator=(const Delivery&) = delete;
};

bool alive(const Widget* w) { return w && widget_by_id(w->id) == w; }

void mark_widgets() {
    for (auto& owned : widgets) {
        Widget* w = owned.get();
        if (!w) continue;
        if (w->face.type() != TYPE_NONE) collector::mark_block(&w->face, &w->face + 1);
        if (w->label.type() != TYPE_NONE) collector::mark_block(&w->label, &w->label + 1);
    }
}

// The widget of a face: the handle in `state/1`.
Widget* widget_of(const Cell& face) {
    Cell state = field(&face, s_state);
    if (state.type() != TYPE_BLOCK || block::rs_length_q(&state) < 1) return nullptr;
    const Cell* h = block::rs_head(&state);
    if (h->type() != TYPE_HANDLE) return nullptr;
    Widget* w = widget_by_id(h->data2);
    return w && w->face.type() == TYPE_OBJECT && w->face.ctx() == face.ctx() ? w : nullptr;
}

Window* window_record(const Widget* w) {
    while (w && w->parent) w = w->parent;
    for (Window& win : windows)
        if (win.widget == w) return &win;
    return nullptr;
}
Window* active() { return windows.empty() ? nullptr : &windows.back(); }

Class class_of(const Cell& type) {
    if (word_is(&type, s_window)) return WINDOW;
    if (word_is(&type, s_field)) return FIELD;
    if (word_is(&type, s_button)) return BUTTON;
    if (word_is(&type, s_check)) return CHECK;
    if (word_is(&type, s_radio)) return RADIO;
    if (word_is(&type, s_progress)) return PROGRESS;
    if (word_is(&type, s_group_box)) return GROUP_BOX;
    if (word_is(&type, s_text_list)) return TEXT_LIST;
    if (word_is(&type, s_rich_text)) return RICH_TEXT;
    return BASE;
}

// Takes the widget's box and flags from its face.
void sync_widget(Widget* w) {
    const Cell& face = w->face;
    float x = 0, y = 0, wd = 0, ht = 0;
    xy_of(field(&face, s_offset), x, y);
    if (w->cls == WINDOW) x = y = 0;  // a window is drawn at the grid's origin
    xy_of(field(&face, s_size), wd, ht);
    w->x = x, w->y = y, w->x2 = x + wd, w->y2 = y + ht;
    Cell flags = field(&face, s_flags);
    w->flags &= ~(W_HIDDEN | W_DISABLED | W_ALL_OVER | W_FOCUSABLE);
    if (field(&face, s_visible).type() == TYPE_LOGIC && !field(&face, s_visible).data1) w->flags |= W_HIDDEN;
    if (field(&face, s_enabled).type() == TYPE_LOGIC && !field(&face, s_enabled).data1) w->flags |= W_DISABLED;
    if (has_flag(flags, s_all_over)) w->flags |= W_ALL_OVER;
    if (w->cls == FIELD || w->cls == BUTTON || w->cls == CHECK || w->cls == RADIO || w->cls == TEXT_LIST ||
        has_flag(flags, s_focusable))
        w->flags |= W_FOCUSABLE;
    if (w->cls == FIELD) w->flags |= W_CARET;
    if (w->cls == WINDOW && has_flag(flags, s_fullscreen)) w->flags |= W_FULL_SCREEN;
    // A rate is a number of time events a second, or the time between two.
    Cell rate = field(&face, s_rate);
    double ms = rate.type() == TYPE_INTEGER && rate.int_value() > 0 ? 1000.0 / rate.int_value()
                : rate.type() == TYPE_TIME && rate.float_value() > 0 ? rate.float_value() * 1000.0
                : 0;
    uint32_t interval = ms >= 1 ? static_cast<uint32_t>(std::min(ms, 4294967295.0)) : ms > 0 ? 1 : 0;
    if (interval != w->rate_ms) {
        if (w->rate_ms) timers.remove(w->id);
        if (interval) timers.add(interval, w->id);
        w->rate_ms = interval;
    }
}

bool full_screen() {
    Window* a = active();
    return a && (a->widget->flags & W_FULL_SCREEN);
}


// ---- Guarded calls into the language -------------------------------------------------------

// Runs f; an error (printed) or a non-local exit out of it cuts the stacks
// back to where they were and answers false.
template <typename F>
bool guarded(F f) {
    Cell saved_position = interpreter::position;
    uint32_t saved_cycles = cycles::size();
    stack::Frame* saved_ctop = stack::ctop;
    Cell* saved_arguments = stack::arguments;
    Cell* saved_top = stack::top;
    auto cut = [&] {
        interpreter::position = saved_position;
        if (cycles::size() > saved_cycles) cycles::pop_n(cycles::size() - saved_cycles);
        for (stack::Frame* fr = stack::ctop - 1; fr >= saved_ctop; --fr)
            if (fr->type() == stack::FRAME_FUNCTION && fr->fn_ctx) stack::set_context_values(fr->fn_ctx, fr->saved_values);
        stack::ctop = saved_ctop;
        stack::arguments = saved_arguments;
        stack::top = saved_top;
    };
    try {
        f();
        return true;
    } catch (ErrorThrown& e) {
        if (e.value.type() == TYPE_ERROR) errors::print(&e.value);
        else sys::print_line({sys::Item::cstr("*** Error: "), sys::Item::cstr(errors::id_word(e.id))});
        cut();
        return false;
    } catch (UnwindThrown&) {
        cut();
        return false;
    }
}

// ---- Event delivery -------------------------------------------------------------------

Cell global(Name s) {
    int32_t i = context::find_symbol(context::global, sym(s), true);
    if (i < 0) return none_cell();
    return *context::value_at(context::global, static_cast<uint32_t>(i));
}

void set_focus(Widget* w, Window* win = nullptr);
void class_event(Widget* w, uint32_t type, event::Record& rec, uint32_t flags);

// Calls system/view/awake with the event; true when it answered `done`. An
// error in it ends the pass (the loop catches it) or reaches the routine
// that led here.
bool awake_event(uint32_t type, const event::Record& rec, uint32_t flags) {
    Cell system = global(s_system);
    Cell view = field(&system, s_view);
    Cell awake = field(&view, s_awake);
    if (awake.type() != TYPE_FUNCTION && awake.type() != TYPE_ROUTINE) return false;
    Cell ev = event::make_backend(type, event::keep(rec), flags);
    Cell result = none_cell();
    Cell name = word_of(sym(s_awake));
    interpreter::call_with(&awake, &name, &ev, 1, &result);
    return word_is(&result, s_done);
}

event::Record record_for(Widget* w, float x = 0, float y = 0, int32_t key = 0) {
    event::Record r;
    r.face = w && w->face.type() == TYPE_OBJECT ? w->face : Cell{0, 0, 0, 0};
    r.x = x, r.y = y, r.key = key;
    return r;
}

// Delivery to one widget: its class handler, then awake.
bool send_event(uint32_t type, Widget* w, event::Record rec, uint32_t flags) {
    if (!alive(w) || (w->flags & W_DISABLED)) return false;
    class_event(w, type, rec, flags);
    if (!alive(w) || w->face.type() != TYPE_OBJECT) return false;
    return awake_event(type, rec, flags);
}

// Delivery to awake only.
bool send_face_event(uint32_t type, Widget* w, int32_t value) {
    if (!alive(w) || (w->flags & W_DISABLED) || w->face.type() != TYPE_OBJECT) return false;
    return awake_event(type, record_for(w, 0, 0, value), 0);
}

Widget* focused_widget() {
    Window* a = active();
    return a ? a->focused : nullptr;
}

Window* window_of_root(const Widget* root) {
    for (Window& win : windows)
        if (win.widget == root) return &win;
    return nullptr;
}

void set_focus(Widget* w, Window* win) {
    if (!win) win = active();
    if (!win || !alive(w)) return;
    Widget* root = win->widget;
    Widget* old = win->focused;
    if (old == w) return;
    if (old) {
        old->flags &= ~W_FOCUSED;
        send_event(event::UNFOCUS, old, record_for(old), 0);
        // Its actor may have closed windows or freed w.
        win = window_of_root(root);
        if (!win || !alive(w)) return;
    }
    win->focused = w;
    w->flags |= W_FOCUSED;
    // The window's `selected` follows the focus, quietly.
    set_field(&root->face, s_selected, &w->face);
    if (w->cls == FIELD) w->cursor = text_of(field(&w->face, s_text)).size();
    send_event(event::FOCUS, w, record_for(w), 0);
}

// The children of a face that have widgets, in pane order.
std::vector<Widget*> children(const Widget* w) {
    std::vector<Widget*> r;
    Cell pane = field(&w->face, s_pane);
    if (pane.type() != TYPE_BLOCK) return r;
    for (uint32_t i = 0, n = block::rs_length_q(&pane); i < n; ++i) {
        Cell child = block::rs_head(&pane)[i];
        if (child.type() != TYPE_OBJECT) continue;
        Widget* c = widget_of(child);
        if (c) r.push_back(c);
    }
    return r;
}

// The deepest widget under the point (relative to w), w itself when no child holds it.
Widget* hit(Widget* w, float x, float y, float& lx, float& ly) {
    std::vector<Widget*> kids = children(w);
    for (size_t i = kids.size(); i-- > 0;) {
        Widget* c = kids[i];
        if (c->flags & W_HIDDEN) continue;
        if (x >= c->x && x < c->x2 && y >= c->y && y < c->y2) return hit(c, x - c->x, y - c->y, lx, ly);
    }
    lx = x, ly = y;
    return w;
}

// Focusable widgets of a window in tree order.
void focusables(Widget* w, std::vector<Widget*>& out) {
    for (Widget* c : children(w)) {
        if (c->flags & (W_HIDDEN | W_DISABLED)) continue;
        if (c->flags & W_FOCUSABLE) out.push_back(c);
        focusables(c, out);
    }
}

void move_focus(bool back) {
    Window* a = active();
    if (!a) return;
    std::vector<Widget*> list;
    focusables(a->widget, list);
    if (list.empty()) return;
    auto at = std::find(list.begin(), list.end(), a->focused);
    size_t i = at == list.end() ? (back ? list.size() - 1 : 0)
                                : back ? (at - list.begin() + list.size() - 1) % list.size()
                                       : (at - list.begin() + 1) % list.size();
    set_focus(list[i]);
}

void send_key(int32_t key, uint32_t flags) {
    Widget* w = focused_widget();
    if (!w) {
        Window* a = active();
        w = a ? a->widget : nullptr;
    }
    if (!w || (w->flags & W_DISABLED) || key == 0) return;
    if (key < 0) flags |= event::FLAG_SPECIAL_KEY;
    event::Record rec = record_for(w, 0, 0, key);
    Widget* before = focused_widget();
    if (w->face.type() == TYPE_OBJECT) {
        if (awake_event(event::KEY_DOWN, rec, flags)) return;
        if (windows.empty() || focused_widget() != before) return;
        if (awake_event(event::KEY, rec, flags)) return;
        if (windows.empty() || focused_widget() != before || !alive(w)) return;
    }
    class_event(w, event::KEY, rec, flags);
}

void send_button(uint32_t type, float x, float y, uint32_t flags) {
    Window* a = active();
    if (!a) return;
    if (type == event::DOWN) captured = hovered;
    float lx, ly;
    Widget* target = hit(a->widget, x, y, lx, ly);
    // The deepest widget gets it; awake passes it on to the parent faces.
    Widget* receiver = target;
    while (receiver && (receiver->flags & W_DISABLED)) receiver = receiver->parent;
    if (receiver) {
        if (type == event::DOWN) pressed.push_back(receiver);
        if (type == event::DOWN && (receiver->flags & W_FOCUSABLE)) set_focus(receiver);
        send_event(type, receiver, record_for(receiver, lx, ly), flags);
    }
    if (type == event::UP) {
        for (Widget* w = target; w; w = w->parent) {
            if (std::find(pressed.begin(), pressed.end(), w) == pressed.end()) continue;
            // A double click is two clicks on the same widget.
            bool twice = clicks.click_is_double() && last_clicked == w;
            last_clicked = w;
            send_event(event::CLICK, w, record_for(w, lx, ly), flags);
            if (twice) {
                send_event(event::DBL_CLICK, w, record_for(w, lx, ly), flags);
                clicks.state = 10;
            }
            break;
        }
        if (captured && !windows.empty()) send_event(event::OVER, captured, record_for(captured, x, y), flags);
        captured = nullptr;
        pressed.clear();
        clicks.released();
    }
}

void send_over(float x, float y, uint32_t flags) {
    Window* a = active();
    if (!a) return;
    float lx, ly;
    Widget* w = hit(a->widget, x, y, lx, ly);
    if (w != hovered) {
        if (hovered) {
            hovered->flags &= ~W_HOVER;
            send_event(event::OVER, hovered, record_for(hovered, last_x, last_y), flags | event::FLAG_AWAY);
        }
        hovered = alive(w) ? w : nullptr;
        if (hovered) {
            w->flags |= W_HOVER;
            send_event(event::OVER, w, record_for(w, lx, ly), flags);
        }
    } else if (w && (w->flags & W_ALL_OVER)) {
        send_event(event::OVER, w, record_for(w, lx, ly), flags);
    }
    if ((flags & tui::MOD_DOWN) && captured && captured != w && (captured->flags & W_HOVER))
        send_event(event::OVER, captured, record_for(captured, x, y), flags);
    last_x = lx, last_y = ly;
}

void send_wheel(float x, float y, int amount, uint32_t flags) {
    Window* a = active();
    if (!a) return;
    float lx, ly;
    Widget* w = hit(a->widget, x, y, lx, ly);
    while (w && (w->face.type() != TYPE_OBJECT || (w->flags & W_DISABLED))) w = w->parent;
    if (!w) return;
    event::Record rec = record_for(w, lx, ly);
    rec.wheel = static_cast<float>(amount);
    send_event(event::WHEEL, w, rec, flags);
}

// ---- Widget classes: keys and mouse ---------------------------------------------------------

void set_text(Widget* w, const std::u32string& text) {
    Cell s = make_string(text);
    set_field(&w->face, s_text, &s);
}

void toggle(Widget* w) {
    Cell data = field(&w->face, s_data);
    if (w->cls == RADIO) {
        // A radio goes on; its sibling radios go off.
        if (w->parent) {
            for (Widget* c : children(w->parent)) {
                if (c == w || c->cls != RADIO) continue;
                if (truthy(field(&c->face, s_data))) {
                    Cell off = logic_cell(false);
                    set_field(&c->face, s_data, &off);
                }
            }
        }
        Cell on = logic_cell(true);
        set_field(&w->face, s_data, &on);
    } else {
        Cell v = logic_cell(!truthy(data));
        set_field(&w->face, s_data, &v);
    }
    send_face_event(event::CHANGE, w, 0);
}

void list_select(Widget* w, int32_t index) {
    Cell data = field(&w->face, s_data);
    int32_t n = data.type() == TYPE_BLOCK ? static_cast<int32_t>(block::rs_length_q(&data)) : 0;
    if (n == 0) return;
    index = std::clamp(index, 1, n);
    Cell sel = Cell{TYPE_INTEGER, 0, static_cast<uint32_t>(index), 0};
    set_field(&w->face, s_selected, &sel);
    int h = std::max(w->height(), 1);
    if (index - 1 < w->scroll) w->scroll = index - 1;
    if (index - 1 >= w->scroll + h) w->scroll = index - h;
    send_face_event(event::SELECT, w, index);
    send_face_event(event::CHANGE, w, index);
}

void field_key(Widget* w, int32_t key, uint32_t flags) {
    std::u32string text = text_of(field(&w->face, s_text));
    size_t& c = w->cursor;
    c = std::min(c, text.size());
    bool changed = false;
    switch (key) {
        case tui::KEY_LEFT: if (c > 0) --c; break;
        case tui::KEY_RIGHT: if (c < text.size()) ++c; break;
        case tui::KEY_HOME: c = 0; break;
        case tui::KEY_END: c = text.size(); break;
        case 127: case 8:
            if (c > 0) text.erase(--c, 1), changed = true;
            break;
        case tui::KEY_DELETE:
            if (c < text.size()) text.erase(c, 1), changed = true;
            break;
        case 13:
            send_face_event(event::ENTER, w, 13);
            break;
        case 9: move_focus(flags & tui::MOD_SHIFT); return;
        default:
            if (key >= 32 && !(flags & event::FLAG_SPECIAL_KEY)) {
                text.insert(c++, 1, static_cast<char32_t>(key));
                changed = true;
            }
    }
    if (changed) {
        set_text(w, text);
        send_face_event(event::CHANGE, w, 0);
    }
}

void class_event(Widget* w, uint32_t type, event::Record& rec, uint32_t flags) {
    if (type == event::KEY) {
        int32_t key = rec.key;
        switch (w->cls) {
            case FIELD: field_key(w, key, flags); return;
            case BUTTON:
                if (key == ' ' || key == 13) send_face_event(event::CLICK, w, 0);
                break;
            case CHECK: case RADIO:
                if (key == ' ' || key == 13) toggle(w);
                break;
            case TEXT_LIST: {
                // With nothing selected the first item shows highlighted.
                int32_t sel = field(&w->face, s_selected).type() == TYPE_INTEGER
                                  ? field(&w->face, s_selected).int_value() : 1;
                int h = std::max(w->height(), 1);
                if (key == tui::KEY_UP) list_select(w, sel - 1);
                else if (key == tui::KEY_DOWN) list_select(w, sel + 1);
                else if (key == tui::KEY_PAGE_UP) list_select(w, sel - h);
                else if (key == tui::KEY_PAGE_DOWN) list_select(w, sel + h);
                else if (key == tui::KEY_HOME) list_select(w, 1);
                else if (key == tui::KEY_END) list_select(w, INT32_MAX);
                else if (key == 13) send_face_event(event::ENTER, w, sel);
                break;
            }
            default: break;
        }
        if (key == 9) move_focus(flags & tui::MOD_SHIFT);
        return;
    }
    if (type == event::CLICK) {
        if (w->cls == CHECK || w->cls == RADIO) toggle(w);
        else if (w->cls == FIELD) {
            // The character under the pointer, counted in cells from the scroll position.
            std::u32string text = text_of(field(&w->face, s_text));
            size_t i = std::min(static_cast<size_t>(std::max(w->scroll, 0)), text.size());
            for (int col = 0; i < text.size(); ++i) {
                col += tui::char_width(text[i]);
                if (col > static_cast<int>(rec.x)) break;
            }
            w->cursor = i;
        }
        return;
    }
    if (type == event::DOWN && w->cls == TEXT_LIST) {
        list_select(w, w->scroll + static_cast<int32_t>(rec.y) + 1);
    }
    if (type == event::WHEEL && w->cls == TEXT_LIST) {
        w->scroll = std::max(0, w->scroll - static_cast<int32_t>(rec.wheel));
    }
}

// ---- Rendering ----------------------------------------------------------------------------

std::u32string progress_text(Widget* w) {
    Cell data = field(&w->face, s_data);
    double p = data.type() == TYPE_FLOAT || data.type() == TYPE_PERCENT ? data.float_value()
               : data.type() == TYPE_INTEGER ? data.int_value() : 0.0;
    if (!(p > 1e-16)) p = 0.0;
    if (p >= 1.0) p = 1.0;
    int bar = std::max(w->width() - 2, 0);
    int filled = static_cast<int>(std::ceil(bar * p));
    return U"[" + std::u32string(filled, U'#') + std::u32string(bar - filled, U' ') + U"]";
}

std::u32string list_text(Widget* w, bool focused) {
    Cell data = field(&w->face, s_data);
    if (data.type() != TYPE_BLOCK) return U"";
    int32_t n = static_cast<int32_t>(block::rs_length_q(&data));
    Cell sel = field(&w->face, s_selected);
    int32_t index = sel.type() == TYPE_INTEGER ? sel.int_value() : (focused ? 1 : 0);
    // A focused list with no selection selects its first item; an index past
    // the items selects the last. Either way the face keeps what is shown.
    if (n > 0 && (index > n || (focused && sel.type() != TYPE_INTEGER))) {
        index = std::min(index, n);
        Cell stored{TYPE_INTEGER, 0, static_cast<uint32_t>(index), 0};
        set_field(&w->face, s_selected, &stored);
    }
    std::u32string r;
    for (int32_t i = std::max(w->scroll, 0); i < n; ++i) {
        const Cell item = block::rs_head(&data)[i];
        std::u32string t = text_of(item);
        if (i + 1 == index && focused) r += U"\x1b[7m" + t + U"\x1b[27m";
        else r += t;
        r += U"\n";
    }
    return r;
}

// The face's draw block, drawn into the grid inside the clip box; a bad
// block is reported and drawing goes on.
void draw_face_block(const Cell& face, int ax, int ay, const tui::Clip& clip) {
    if (face.type() != TYPE_OBJECT) return;
    Cell word = word_of(symbol::make("draw"));
    Cell cmds = *object::select_word(&face, &word);
    if (cmds.type() != TYPE_BLOCK || block::rs_length_q(&cmds) == 0) return;
    draw::Surface surface;
    surface.x = ax, surface.y = ay;
    surface.x1 = clip.x1, surface.y1 = clip.y1, surface.x2 = clip.x2, surface.y2 = clip.y2;
    surface.target = &grid;
    surface.put = [](void* target, int32_t col, int32_t row, uint32_t cp, const Cell* color) {
        tui::ScreenCell* c = static_cast<tui::Grid*>(target)->at(col, row);
        c->cp = cp;
        if (color) c->fg = tuple_color(*color);
    };
    draw::do_draw(&surface, &cmds, true);
}

// A rich-text face's style ranges over its text drawn from tx, ty.
void draw_rich_text(const Cell& face, int tx, int ty, const tui::Clip& clip) {
    Cell text = field(&face, s_text), data = field(&face, s_data);
    draw::Surface surface;
    surface.x = tx, surface.y = ty;
    surface.x1 = clip.x1, surface.y1 = clip.y1, surface.x2 = clip.x2, surface.y2 = clip.y2;
    surface.target = &grid;
    surface.width = [](uint32_t cp) { return tui::char_width(cp); };
    surface.style = [](void* target, int32_t col, int32_t row, uint32_t attributes, const Cell* color) {
        tui::ScreenCell* c = static_cast<tui::Grid*>(target)->at(col, row);
        if (attributes & draw::RT_BOLD) c->attr |= tui::ATTR_BOLD;
        if (attributes & draw::RT_ITALIC) c->attr |= tui::ATTR_ITALIC;
        if (attributes & draw::RT_UNDERLINE) c->attr |= tui::ATTR_UNDERLINE;
        if (attributes & draw::RT_STRIKE) c->attr |= tui::ATTR_STRIKE;
        if (color) c->fg = tuple_color(*color);
    };
    draw::rich_text(&surface, &text, &data);
}

// A field shows its text from its scroll position, moved so that the
// caret stays inside its width.
std::u32string field_view(Widget* w, const std::u32string& text, int width) {
    size_t cursor = std::min(w->cursor, text.size());
    size_t first = std::min(static_cast<size_t>(std::max(w->scroll, 0)), cursor);
    auto columns = [&](size_t from, size_t to) {
        int n = 0;
        for (size_t i = from; i < to; ++i) n += tui::char_width(text[i]);
        return n;
    };
    while (first < cursor && columns(first, cursor) >= std::max(width, 1)) ++first;
    w->scroll = static_cast<int32_t>(first);
    return text.substr(first);
}

// The caret's column in a field, counted from the field's left edge.
int caret_column(const Widget* w) {
    std::u32string text = text_of(field(&w->face, s_text));
    size_t cursor = std::min(w->cursor, text.size());
    int n = 0;
    for (size_t i = std::min(static_cast<size_t>(std::max(w->scroll, 0)), cursor); i < cursor; ++i)
        n += tui::char_width(text[i]);
    return n;
}

void render(Widget* w, int ax, int ay, const tui::Clip* parent_clip) {
    if (w->flags & W_HIDDEN) return;
    const Cell& face = w->face;
    int wd = w->width(), ht = w->height();
    tui::Clip clip{ax, ay, ax + wd, ay + ht};
    if (parent_clip) {
        clip.x1 = std::max(clip.x1, parent_clip->x1), clip.y1 = std::max(clip.y1, parent_clip->y1);
        clip.x2 = std::min(clip.x2, parent_clip->x2), clip.y2 = std::min(clip.y2, parent_clip->y2);
    }
    clip.x1 = std::max(clip.x1, 0), clip.y1 = std::max(clip.y1, 0);
    clip.x2 = std::min(clip.x2, grid.width()), clip.y2 = std::min(clip.y2, grid.height());
    if (w->cls != WINDOW && !clip.empty()) {
        uint32_t bg = tuple_color(field(&face, s_color));
        Cell font = field(&face, s_font);
        uint32_t fg = tuple_color(field(&font, s_color));
        Cell para = field(&face, s_para);
        uint32_t pflags = 0;
        Cell align = field(&para, s_align), valign = field(&para, s_v_align);
        if (word_is(&align, s_right)) pflags |= tui::PARA_RIGHT;
        if (word_is(&align, s_center)) pflags |= tui::PARA_CENTER;
        if (word_is(&valign, s_middle)) pflags |= tui::PARA_MIDDLE;
        if (word_is(&valign, s_bottom)) pflags |= tui::PARA_BOTTOM;
        if (truthy(field(&para, s_wrap))) pflags |= tui::PARA_WRAP;
        bool focused = w->flags & W_FOCUSED;
        uint32_t style = tui::STYLE_SGR;
        if (w->cls == BUTTON && focused) style |= tui::ATTR_INVERSE;
        grid.fill(clip, bg);
        Cell options = field(&face, s_options);
        int tx = ax, ty = ay;
        if (w->cls == GROUP_BOX && wd >= 2 && ht >= 2) {
            bool round = word_is(&(const Cell&)option(options, s_border_corners), s_round);
            Cell bc = option(options, s_border_color);
            uint32_t border = bc.type() == TYPE_TUPLE ? tuple_color(bc) : fg;
            std::u32string top = std::u32string(1, round ? U'\u256D' : U'\u250C') + std::u32string(wd - 2, U'\u2500') +
                                 (round ? U'\u256E' : U'\u2510');
            std::u32string bottom = std::u32string(1, round ? U'\u2570' : U'\u2514') +
                                    std::u32string(wd - 2, U'\u2500') + (round ? U'\u256F' : U'\u2518');
            tui::draw_text(grid, ax, ay, ax + wd, clip, top, 0, border, false);
            tui::draw_text(grid, ax, ay + ht - 1, ax + wd, clip, bottom, 0, border, false);
            for (int r = 1; r < ht - 1; ++r) {
                tui::draw_text(grid, ax, ay + r, ax + wd, clip, U"\u2502", 0, border, false);
                tui::draw_text(grid, ax + wd - 1, ay + r, ax + wd, clip, U"\u2502", 0, border, false);
            }
            tx = ax + 2;  // the title on the top border
        }
        if (w->label.type() == TYPE_STRING) {
            tui::draw_text(grid, tx, ty, ax + wd, clip, text_of(w->label), style, fg, pflags & tui::PARA_WRAP);
        } else {
            std::u32string text;
            Cell t = field(&face, s_text);
            if (w->cls == PROGRESS) text = progress_text(w);
            else if (w->cls == TEXT_LIST) text = list_text(w, focused);
            else if (w->cls == CHECK) text = (truthy(field(&face, s_data)) ? U"\U0001F795 " : U"\u2610 ") + text_of(t);
            else if (w->cls == RADIO) text = (truthy(field(&face, s_data)) ? U"\u25C9 " : U"\u25CB ") + text_of(t);
            else if (is_string(t)) text = text_of(t);
            if (w->cls == FIELD) {
                if (has_flag(field(&face, s_flags), s_password)) style |= tui::ATTR_MASKED;
                text = field_view(w, text, wd);
            }
            if (text.empty() && options.type() == TYPE_BLOCK) {
                Cell hint = option(options, s_hint);
                if (is_string(hint)) {
                    text = text_of(hint);
                    style = (style & ~tui::ATTR_MASKED) | tui::ATTR_DIM;
                }
            }
            if (!text.empty()) {
                bool wrap = pflags & tui::PARA_WRAP;
                int cols, lines;
                tui::text_extent(text, wd, wrap, true, cols, lines);
                if (w->cls != GROUP_BOX) {
                    if (cols < wd && (pflags & tui::PARA_RIGHT)) tx += wd - cols;
                    else if (cols < wd && (pflags & tui::PARA_CENTER)) tx += (wd - cols) / 2;
                    if (lines < ht && (pflags & tui::PARA_BOTTOM)) ty += ht - lines;
                    else if (lines < ht && (pflags & tui::PARA_MIDDLE)) ty += (ht - lines) / 2;
                    if (w->cls == BUTTON && !(pflags & (tui::PARA_RIGHT | tui::PARA_CENTER)) && cols < wd)
                        tx = ax + (wd - cols) / 2;  // a button's label is centred
                    if (w->cls == BUTTON && ht > 1 && lines < ht && !(pflags & (tui::PARA_BOTTOM | tui::PARA_MIDDLE)))
                        ty = ay + (ht - lines) / 2;
                }
                tui::draw_text(grid, tx, ty, ax + wd, clip, text, style, fg, wrap);
                if (w->cls == RICH_TEXT) draw_rich_text(face, tx, ty, clip);
            }
        }
        draw_face_block(face, ax, ay, clip);
        if (focused && (w->flags & W_CARET)) {
            frame.caret = true;
            frame.caret_col = std::min(ax + caret_column(w), std::max(clip.x2 - 1, 0));
            frame.caret_row = ay;
        }
    }
    for (Widget* c : children(w)) render(c, ax + static_cast<int>(c->x), ay + static_cast<int>(c->y), w->cls == WINDOW ? nullptr : &clip);
}

void write_out(const std::string& bytes) {
    const char* p = bytes.data();
    size_t n = bytes.size();
    while (n > 0) {
        ssize_t k = ::write(STDOUT_FILENO, p, n);
        if (k < 0 && errno == EINTR) continue;
        if (k <= 0) return;
        p += k, n -= static_cast<size_t>(k);
    }
}

void set_cursor(bool show) {
    if (show == !cursor_hidden || (!show && !console_set_up)) return;
    write_out(show ? "\x1b[?25h" : "\x1b[?25l");
    cursor_hidden = !show;
    terminal::note_screen_modes(alternate, mouse_on, cursor_hidden);
}

// Draws the active window; writes it when it differs from what the screen shows.
void flush_screen() {
    Window* a = active();
    if (!a) return;
    for (auto& w : widgets)
        if (w) sync_widget(w.get());
    Widget* win = a->widget;
    int wd = std::min(win->width(), columns), ht = std::min(win->height(), rows);
    if (!full_screen() && first_row + ht > rows) first_row = std::max(rows - ht, 0);
    decoder.origin_row = full_screen() ? 0 : first_row;
    grid.reset(wd, ht);
    frame.full_screen = full_screen();
    frame.caret = false;
    frame.caret_col = frame.caret_row = -1;
    int saved_lines = frame.lines_drawn;
    render(win, 0, 0, nullptr);
    std::string out;
    tui::write_grid(grid, frame, out);
    // Nothing is written when the frame is the one on the screen (a full
    // redraw empties last_output first).
    if (out == last_output) {
        frame.lines_drawn = saved_lines;
        return;
    }
    last_output = out;
    if (!frame.caret) set_cursor(false);
    write_out(out);
    if (frame.caret) set_cursor(true);
    drawn = true;
}

// ---- Console set-up and the loop ----------------------------------------------------------

void take_size() {
    int c = 0, r = 0;
    if (!terminal::window_size(STDOUT_FILENO, c, r) || c <= 0 || r <= 0) c = 80, r = 24;
    columns = c, rows = r;
}

void resize() {
    take_size();
    Cell system = global(s_system);
    Cell view = field(&system, s_view);
    Cell screens = field(&view, s_screens);
    if (screens.type() == TYPE_BLOCK && block::rs_length_q(&screens) > 0) {
        Cell screen = block::rs_head(&screens)[0];
        Cell size{};
        pair::make_at(&size, columns, rows);
        if (screen.type() == TYPE_OBJECT) guarded([&] { set_field(&screen, s_size, &size); });
    }
    for (Window& win : std::vector<Window>(windows))
        send_event(event::RESIZE, win.widget, record_for(win.widget), 0);
    last_output.clear();
}

void set_up_console() {
    tui::color_depth = tui::check_color_support();
    if (console_set_up || !isatty(STDIN_FILENO)) return;
    raw = terminal::raw_mode_on(STDIN_FILENO);
    terminal::watch_resize();
    console_set_up = true;
    take_size();
}

void restore_console() {
    if (raw) terminal::raw_mode_off();
    raw = false;
    console_set_up = false;
}

void set_mouse(bool on) {
    if (on == mouse_on) return;
    write_out(on ? "\x1b[?1000h\x1b[?1003h\x1b[?1006h" : "\x1b[?1000l\x1b[?1003l\x1b[?1006l");
    mouse_on = on;
    terminal::note_screen_modes(alternate, mouse_on, cursor_hidden);
}

void set_alternate(bool on) {
    if (on == alternate) return;
    write_out(on ? "\x1b[?1049h\x1b[2J" : "\x1b[?1049l");
    alternate = on;
    terminal::note_screen_modes(alternate, mouse_on, cursor_hidden);
}

// Reads what the terminal sent, waiting at most ms; false once input is gone.
bool read_input(int ms, bool& got) {
    got = false;
    if (!console_set_up) {
        if (ms > 0) poll(nullptr, 0, ms);
        return true;
    }
    struct pollfd p {STDIN_FILENO, POLLIN, 0};
    int r = poll(&p, 1, ms);
    if (r < 0) return true;  // interrupted (a resize)
    if (r == 0) return true;
    uint8_t bytes[4096];
    ssize_t n = ::read(STDIN_FILENO, bytes, sizeof bytes);
    if (n < 0) return errno == EINTR || errno == EAGAIN;
    if (n == 0) return false;
    decoder.feed(bytes, static_cast<size_t>(n));
    got = true;
    return true;
}

void dispatch(const tui::Input& in) {
    switch (in.kind) {
        case tui::Input::KEY: send_key(in.key, in.flags); break;
        case tui::Input::BUTTON: send_button(in.type, in.x, in.y, in.flags); break;
        case tui::Input::OVER: send_over(in.x, in.y, in.flags); break;
        case tui::Input::WHEEL: send_wheel(in.x, in.y, in.amount, in.flags); break;
        case tui::Input::CURSOR: first_row = in.row; break;
    }
}

void close_window(Window* win);

// Leaves the terminal as it was before the loop.
void leave_loop() {
    if (drawn && !full_screen()) {
        int down = grid.height() - 1 - frame.lines_drawn;
        if (down > 0) write_out("\x1b[" + std::to_string(down) + "B");
        write_out("\r\n");
    }
    set_mouse(false);
    set_alternate(false);
    set_cursor(true);
    restore_console();
    const std::vector<uint8_t>& rest = decoder.bytes();
    if (!rest.empty()) terminal::unread_input(rest.data(), rest.size());
    decoder.clear();
    while (!windows.empty()) close_window(&windows.back());
    hovered = captured = nullptr;
    pressed.clear();
    clicks = tui::Clicks{};
    frame = tui::Frame{};
    last_output.clear();
    drawn = false;
    loop_depth = 0;
}

// The event loop: mode 0 runs until the loop is told to end, mode 1 runs one pass.
bool do_events(int mode) {
    bool nested = mode != 0 || windows.size() > 1 || loop_depth > 0;
    int entry_depth = loop_depth;
    if (mode != 1) ++loop_depth;
    if (!nested) {
        // The window is drawn afresh from where the cursor stands.
        last_output.clear();
        frame.lines_drawn = 0;
        set_up_console();
        if (full_screen()) set_alternate(true);
        else if (console_set_up) {
            write_out("\x1b[6n");
            decoder.origin_row = 0;
        }
        Cell system = global(s_system);
        Cell view = field(&system, s_view);
        Cell platform = field(&view, s_platform);
        Cell mouse = field(&platform, s_mouse_event);
        set_mouse(console_set_up && (mouse.type() == TYPE_NONE || truthy(mouse)));
    }
    // A nested loop (a dialog over a window) keeps what was typed but not
    // yet decoded: the keys after the one that opened it are the dialog's,
    // and those after it closes go back to the window below.
    bool got_any = false;
    double d = 0;
    for (bool first = true;; first = false) {
        bool got = false;
        if (mode && !first) break;
        int wait = d <= 33 ? 33 - static_cast<int>(d) : 0;
        if (mode) wait = 0;
        if (!read_input(wait, got)) {
            loop_depth = entry_depth;  // the terminal is gone
            break;
        }
        if (d <= 33) d = 33;
        got_any |= got;
        double start = tui::clock_now();
        bool ok = guarded([&] {
            Delivery delivery;
            if (terminal::take_resize()) resize();
            timers.run(static_cast<uint32_t>(d), [](uint32_t target) {
                send_face_event(event::TIME, widget_by_id(target), 0);
            });
            flush_screen();
            // One event at a time: once the last window is gone, what was
            // typed after stays for the console.
            for (bool more = true; more && !windows.empty() && loop_depth >= entry_depth + (mode != 1);) {
                std::vector<tui::Input> inputs;
                more = decoder.decode(inputs, !got, 1);
                for (const tui::Input& in : inputs) dispatch(in);
            }
            if (!windows.empty()) flush_screen();
        });
        if (!ok) --loop_depth;
        clicks.tick();
        d = tui::clock_elapsed(start);
        if (mode || loop_depth <= entry_depth || windows.empty()) break;
    }
    if (windows.empty() && loop_depth > entry_depth) loop_depth = entry_depth;
    if (!nested) leave_loop();
    return got_any;
}

// ---- Windows --------------------------------------------------------------------------

void free_tree(Widget* w);

void close_window(Window* win) {
    Widget* w = win->widget;
    windows.erase(windows.begin() + (win - windows.data()));
    if (w) free_tree(w);
    last_output.clear();
}

void free_widget(Widget* w) {
    if (!w) return;
    for (Window& win : windows)
        if (win.focused == w) win.focused = nullptr;
    if (hovered == w) hovered = nullptr;
    if (captured == w) captured = nullptr;
    if (last_clicked == w) last_clicked = nullptr;
    pressed.erase(std::remove(pressed.begin(), pressed.end(), w), pressed.end());
    timers.remove(w->id);
    w->face = none_cell();
    w->label = none_cell();
    if (delivering > 0) parked.push_back(std::move(widgets[w->id - 1]));
    widgets[w->id - 1].reset();
}

// Frees a widget and every widget whose parent chain leads to it.
void free_tree(Widget* w) {
    std::vector<Widget*> below;
    for (auto& owned : widgets) {
        Widget* o = owned.get();
        if (!o || o == w) continue;
        for (Widget* p = o->parent; p; p = p->parent)
            if (p == w) {
                below.push_back(o);
                break;
            }
    }
    for (Widget* o : below) free_widget(o);
    free_widget(w);
}

// ---- Print hooks --------------------------------------------------------------------------

// Before output while a window is shown: the inline window is erased and
// the terminal put back to normal, so that the text appears as usual.
void before_print() {
    if (!console_set_up) return;
    if (drawn && !full_screen() && frame.lines_drawn >= 0) {
        std::string out = "\r";
        if (frame.lines_drawn > 0) out += "\x1b[" + std::to_string(frame.lines_drawn) + "A";
        out += "\x1b[0J";
        write_out(out);
        frame.lines_drawn = 0;
    }
    std::fflush(stdout);
    terminal::raw_mode_off();
}

// After it: raw mode again and the whole window drawn below the text.
void after_print() {
    if (!console_set_up) return;
    std::fflush(stdout);
    terminal::raw_mode_on(STDIN_FILENO);
    last_output.clear();
    frame.lines_drawn = 0;
}

// ---- Routines -------------------------------------------------------------------------

Cell* arg(uint32_t i) { return stack::arguments + i; }
void result(const Cell& v) { stack::set_last_keep(&v); }
void none_result() { result(none_cell()); }

Widget* widget_of_handle(const Cell* h) { return h->type() == TYPE_HANDLE ? widget_by_id(h->data2) : nullptr; }

void r_make_null_handle() {
    Cell h;
    handle::make_at(&h, 0, 1);  // class null
    result(h);
}

void r_fetch_all_screens() { none_result(); }

void r_get_screen_size() {
    if (!console_set_up) take_size();
    Cell p{};
    pair::make_at(&p, columns, rows);
    result(p);
}

void r_size_text() {
    Cell face = *arg(0), value = *arg(1);
    Cell text;
    if (value.type() == TYPE_NONE) text = field(&face, s_text);
    else if (value.type() == TYPE_STRING || value.type() == TYPE_FILE || value.type() == TYPE_URL ||
             value.type() == TYPE_TAG || value.type() == TYPE_EMAIL || value.type() == TYPE_REF)
        text = Cell{TYPE_STRING, value.data1, value.data2, value.data3};
    else {
        Cell dt{TYPE_DATATYPE, value.type(), 0, 0};
        fire(err::INVALID_TYPE, &dt);
    }
    if (!is_string(text)) return none_result();
    int cols, lines;
    tui::text_extent(text_of(text), 0, false, true, cols, lines);
    Cell p{};
    point2d::make_at(&p, static_cast<float>(cols), static_cast<float>(std::max(lines, 1)));
    result(p);
}

// Changes of faces need nothing more: every pass draws the active window
// and writes it when it differs from what the screen shows.
void r_redraw_none() { none_result(); }

void r_destroy_view() {
    Widget* w = widget_of(*arg(0));
    if (w) {
        if (w->cls == WINDOW) {
            for (Window& win : windows)
                if (win.widget == w) {
                    close_window(&win);
                    w = nullptr;
                    break;
                }
        }
        if (w) free_tree(w);
    }
    none_result();
}

// A window's `selected` face, when it is a shown, enabled widget of that
// window, or null.
Widget* selected_of(Widget* win) {
    Widget* s = widget_of(field(&win->face, s_selected));
    if (!s || s == win || (s->flags & (W_HIDDEN | W_DISABLED))) return nullptr;
    Widget* root = s;
    while (root->parent) root = root->parent;
    return root == win ? s : nullptr;
}

// The back end takes in a changed face: a window whose `selected` changed
// gives that face the focus. The face's change flags are then cleared.
void update_face(const Cell& face) {
    Cell state = field(&face, s_state);
    if (state.type() != TYPE_BLOCK || block::rs_length_q(&state) < 2) return;
    Cell* changes = block::rs_head(&state) + 1;
    if (changes->type() != TYPE_INTEGER) return;
    constexpr uint32_t SELECTED_CHANGED = 1u << 10;  // `selected` is the face's 11th field
    bool selected = (static_cast<uint32_t>(changes->int_value()) & SELECTED_CHANGED) != 0;
    *changes = Cell{TYPE_INTEGER, 0, 0, 0};
    Widget* w = widget_of(face);
    if (!selected || !w || w->cls != WINDOW) return;
    Widget* target = selected_of(w);
    Window* win = window_of_root(w);
    if (target && win && win->focused != target) {
        Delivery delivery;
        set_focus(target, win);
    }
}

void r_update_view() {
    Cell v = *arg(0);
    if (v.type() == TYPE_BLOCK) {
        for (uint32_t i = 0, n = block::rs_length_q(&v); i < n; ++i) {
            Cell f = block::rs_head(&v)[i];
            if (f.type() != TYPE_OBJECT) {
                Cell dt{TYPE_DATATYPE, f.type(), 0, 0};
                fire(err::INVALID_TYPE, &dt);
            }
        }
        // Copied: a focus actor may change the block.
        std::vector<Cell> faces(block::rs_head(&v), block::rs_head(&v) + block::rs_length_q(&v));
        for (const Cell& f : faces) update_face(f);
    } else if (v.type() != TYPE_OBJECT) {
        Cell dt{TYPE_DATATYPE, v.type(), 0, 0};
        fire(err::INVALID_TYPE, &dt);
    } else {
        update_face(v);
    }
    none_result();
}

void r_show_window() {
    Widget* w = widget_of_handle(arg(0));
    if (w) {
        for (size_t i = 0; i < windows.size(); ++i)
            if (windows[i].widget == w && i + 1 != windows.size()) {
                Window win = windows[i];
                windows.erase(windows.begin() + static_cast<std::ptrdiff_t>(i));
                windows.push_back(win);
                break;
            }
        Window* a = active();
        if (a && !a->focused) {
            // The window's `selected` face first, else its first focusable one.
            std::vector<Widget*> list;
            focusables(a->widget, list);
            Widget* first = selected_of(a->widget);
            if (!first && !list.empty()) first = list.front();
            Delivery delivery;
            if (first) set_focus(first, a);
        }
    }
    last_output.clear();
    none_result();
}

void r_make_view() {
    Cell face = *arg(0);
    face_flag_bits(field(&face, s_flags));  // a flag word no face has is refused here
    Widget* parent = widget_of_handle(arg(1));
    widgets.push_back(std::make_unique<Widget>());
    Widget* w = widgets.back().get();
    w->id = static_cast<uint32_t>(widgets.size());
    w->face = face;
    w->cls = class_of(field(&face, s_type));
    w->parent = w->cls == WINDOW ? nullptr : parent;
    sync_widget(w);
    if (w->cls == WINDOW) {
        windows.push_back(Window{w, nullptr});
        if (full_screen() && console_set_up) set_alternate(true);
    } else {
        // The first focusable widget takes the focus, unless the window's
        // `selected` names another (VID's `focus`).
        Window* win = window_record(w);
        Cell selected = win ? field(&win->widget->face, s_selected) : none_cell();
        bool chosen = selected.type() == TYPE_OBJECT && selected.ctx() == face.ctx() &&
                      !(w->flags & (W_HIDDEN | W_DISABLED));
        if (win && (chosen || (!win->focused && (w->flags & W_FOCUSABLE)))) {
            if (win->focused) win->focused->flags &= ~W_FOCUSED;
            win->focused = w;
            w->flags |= W_FOCUSED;
        }
    }
    if (w->cls == FIELD) w->cursor = text_of(field(&face, s_text)).size();
    Cell h;
    handle::make_at(&h, w->id, 4);  // class window
    result(h);
}

void r_do_event_loop() { result(logic_cell(do_events(truthy(*arg(0)) ? 1 : 0))); }

void r_exit_event_loop() {
    if (loop_depth > 0) --loop_depth;
    none_result();
}

void r_text_box_metrics() {
    Cell box = *arg(0);
    Cell type = field(&box, s_type);
    if (!word_is(&type, s_rich_text)) fire(err::FACE_TYPE, &type);
    none_result();
}

void r_false() { result(logic_cell(false)); }

// ---- Event helpers ----

void r_event_q() { result(logic_cell(arg(0)->type() == TYPE_EVENT)); }

void r_find_flag_q() {
    Cell facet = *arg(0), flag = *arg(1);
    bool found = false;
    auto same = [&](const Cell* w) { return is_word(w) && symbol::resolve(w->symbol()) == symbol::resolve(flag.symbol()); };
    if (facet.type() == TYPE_WORD) found = same(&facet);
    else if (facet.type() == TYPE_BLOCK)
        for (uint32_t i = 0, n = block::rs_length_q(&facet); i < n && !found; ++i) {
            const Cell* v = block::rs_head(&facet) + i;
            if (v->type() == TYPE_WORD || v->type() == TYPE_LIT_WORD) found = same(v);
        }
    result(logic_cell(found));
}

void r_focused_q() {
    Widget* w = widget_of(*arg(0));
    result(logic_cell(w && (w->flags & W_FOCUSED)));
}

void r_widget_data() {
    Widget* w = widget_of(*arg(0));
    result(Cell{TYPE_INTEGER, 0, static_cast<uint32_t>(w ? w->scroll : 0), 0});
}

void r_set_face_ui() {
    Widget* w = widget_of(*arg(0));
    if (w) {
        w->label = *arg(1);
    }
    none_result();
}

void r_gui_init() {
    tui::color_depth = tui::check_color_support();
    none_result();
}

void r_color_support() { result(Cell{TYPE_INTEGER, 0, tui::check_color_support(), 0}); }

}  // namespace

int32_t do_events_wait() {
    if (!console_set_up || windows.empty()) return 0;
    return do_events(1) ? 1 : 0;
}

void register_routines() {
    for (uint32_t& id : name_symbols) id = 0;
    // A new runtime (the tests start several) starts with no widgets.
    widgets.clear();
    windows.clear();
    hovered = captured = nullptr;
    pressed.clear();
    timers.clear();
    loop_depth = 0;
    collector::register_mark_callback(mark_widgets);
    print_hooks::before_output = before_print;
    print_hooks::after_output = after_print;
    sys::gui_wait_hook = do_events_wait;
#define X(index, name, word) routine::register_body(index, r_##name);
    ZEM_GUI_ROUTINES(X)
#undef X
    draw::register_routines();
}

}  // namespace gui
