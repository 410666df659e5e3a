// The natives table, filled at start-up with one entry per native of
// ZEM_NATIVES (each defined here or in a natives_*.cpp file), and the
// natives of control flow: conditionals, loops, function makers, do, print,
// and the non-local exits (break, continue, exit, return, throw, catch, try).
#include "evaluator/natives.h"

#include "natives/native_support.h"
#include "natives/natives_loops.h"

#include <climits>
#include <cmath>

#include "datatypes/block.h"
#include "evaluator/context.h"
#include "datatypes/datatype.h"
#include "datatypes/error.h"
#include "datatypes/function.h"
#include "datatypes/string.h"
#include "datatypes/word.h"
#include "evaluator/actions.h"
#include "evaluator/cycles.h"
#include "evaluator/errors.h"
#include "evaluator/interpreter.h"
#include "evaluator/symbol.h"
#include "evaluator/words.h"
#include "runtime/print.h"
#include "runtime/sys.h"
#include "runtime/typesets.h"

namespace natives {

uint32_t next_index = 1;
bool last_lf_q = false;

NativeEntry* table = nullptr;

namespace {

uint32_t scratch_index = 0;  // the print scratch block's cell in the root block

// A loop count argument: a float is truncated toward zero in place first;
// one outside the 32-bit range (or NaN) raises out-of-range rather than
// running some other count.
int64_t count_of(Cell* c) {
    if (c->type() == TYPE_FLOAT) {
        double d = std::trunc(c->float_value());
        if (!(d >= -2147483648.0 && d <= 2147483647.0)) {
            Cell v = *c;
            fire(err::OUT_OF_RANGE, &v);
        }
        *c = Cell{TYPE_INTEGER, 0, static_cast<uint32_t>(static_cast<int32_t>(d)), 0};
    }
    return c->int_value();
}

}  // namespace

// ---- Conditionals ----------------------------------------------------------------------

Unwind n_if_(bool, const int32_t*) {
    if (truthy(arg(0))) return eval_block(*arg(1));
    return none_result();
}

Unwind n_unless(bool, const int32_t*) {
    if (!truthy(arg(0))) return eval_block(*arg(1));
    return none_result();
}

Unwind n_either(bool, const int32_t*) {
    Cell branch = strict_truthy(arg(0)) ? *arg(1) : *arg(2);
    return eval_block(branch);
}

// any and all: one expression at a time into the result slot.
static Unwind any_all(bool all) {
    Cell code = *arg(0);
    stack::push(&code);
    uint32_t p = code.head();
    uint32_t tail = series_of(&code)->count();
    if (p >= tail) return none_result();
    while (p < series_of(&code)->count()) {
        Unwind u = interpreter::eval_next(&code, &p, false);
        if (u != Unwind::none) return u;
        bool t = truthy(stack::arguments);
        if (!all && t) return Unwind::none;
        if (all && !t) return none_result();
    }
    if (!all) return none_result();
    stack::keep();
    return Unwind::none;
}

Unwind n_any(bool, const int32_t*) { return any_all(false); }
Unwind n_all(bool, const int32_t*) { return any_all(true); }

// ---- Loops ------------------------------------------------------------------------------

// Body evaluation inside the loop frame: the code, with break and continue
// sorted out. `stop` is set when the loop must end.
Unwind n_while_(bool, const int32_t*) {
    Cell cond = *arg(0), body = *arg(1);
    stack::mark_loop(&words::body);
    auto condition = [&](bool& more) {
        stack::reset();
        Unwind u = interpreter::eval(&cond, true);
        if (u == Unwind::brk || u == Unwind::cont) fire(err::WHILE_COND);
        more = u == Unwind::none && strict_truthy(stack::arguments);
        return u;
    };
    Unwind u;
    if (run_turns(body, &u, condition)) return u;
    stack::unwind();
    return unset_result();
}

Unwind n_until(bool, const int32_t*) {
    Cell body = *arg(0);
    stack::mark_loop(&words::body);
    // A true value of the body ends the loop as a break does.
    return run_loop(body, [](bool&) { return Unwind::none; },
                    [] { return strict_truthy(stack::arguments) ? Unwind::brk : Unwind::none; });
}

Unwind n_loop(bool, const int32_t*) {
    int64_t n = count_of(arg(0));
    Cell body = *arg(1);
    if (n < 1) return none_result();
    stack::mark_loop(&words::body);
    int64_t i = 0;
    return run_loop(body, [&](bool& more) {
        more = i++ < n;
        return Unwind::none;
    });
}

Unwind n_repeat(bool, const int32_t*) {
    Cell word = *arg(0);
    int64_t n = count_of(arg(1));
    Cell body = *arg(2);
    if (n < 1) return none_result();
    stack::mark_loop(&words::body);
    int64_t i = 0;
    return run_loop(body, [&](bool& more) {
        more = ++i <= n;
        if (!more) return Unwind::none;
        Cell counter{TYPE_INTEGER, 0, static_cast<uint32_t>(i), 0};
        // An exit taken in an on-change* handler of the word is the loop's.
        return guarded([&] { context::set_fast(&word, &counter); });
    });
}

Unwind n_forever(bool, const int32_t*) {
    Cell body = *arg(0);
    stack::mark_loop(&words::body);
    return run_loop(body, [](bool&) { return Unwind::none; });
}

// ---- Function makers ------------------------------------------------------------------

static Cell clamped(const Cell* blk) {
    Cell b = *blk;
    uint32_t t = series_of(&b)->count();
    if (b.head() > t) b.data1 = t;
    return b;
}

static Unwind make_function(const Cell& spec, const Cell& body) {
    uint32_t flags = function::check_spec(&spec);
    function::push(&spec, &body, 0, 0, 0, flags);
    Cell fn = *stack::top_cell();
    return result(fn);
}

// A shallow copy of a block from its index, at head 0.
static Cell copy_block(const Cell& src, uint32_t extra) {
    uint32_t n = block::rs_length_q(&src);
    Cell r;
    block::make_at(&r, n + extra);
    stack::push(&r);
    for (uint32_t i = 0; i < n; ++i) {
        Cell c = block::rs_head(&src)[i];
        block::rs_append(&r, &c);
    }
    stack::pop(1);
    return r;
}

Unwind n_func(bool, const int32_t*) { return make_function(clamped(arg(0)), clamped(arg(1))); }

Unwind n_function(bool, const int32_t*) {
    Cell body = clamped(arg(1));
    Cell spec = copy_block(clamped(arg(0)), 4);
    stack::push(&spec);
    function::collect_words(&spec, &body);
    return make_function(spec, body);
}

Unwind n_does(bool, const int32_t*) {
    Cell body = clamped(arg(0));
    Cell spec;
    block::make_at(&spec, 1);
    stack::push(&spec);
    return make_function(spec, body);
}

Unwind n_has(bool, const int32_t*) {
    Cell body = clamped(arg(1));
    Cell vars = clamped(arg(0));
    Cell spec;
    block::make_at(&spec, block::rs_length_q(&vars) + 1);
    stack::push(&spec);
    block::rs_append(&spec, &words::ref::local);
    uint32_t n = block::rs_length_q(&vars);
    for (uint32_t i = 0; i < n; ++i) {
        Cell c = block::rs_clamp_head(&vars)[i];
        block::rs_append(&spec, &c);
    }
    return make_function(spec, body);
}

// ---- do -----------------------------------------------------------------------------------

// Tracing installed by do/trace for the time of one evaluation.
struct TraceInstall {
    bool installed;
    explicit TraceInstall(const Cell* fn) : installed(fn && interpreter::start_trace(fn)) {
        if (!installed) return;
        // Left by an error or an exit of the callback, the constructor runs
        // no destructor: the tracing goes here.
        try {
            interpreter::fire_event(interpreter::event::init, nullptr, -1, nullptr, nullptr);
        } catch (...) {
            interpreter::stop_trace();
            throw;
        }
    }
    // The evaluation is over (by its end, an exit or an error): `end` while
    // the callback is still installed, even when the code switched tracing
    // off, so that the tracer can put its state away.
    void end() {
        if (!installed) return;
        uint32_t thrown = sys::record.thrown;
        sys::record.thrown = 0;
        interpreter::tracing = true;
        interpreter::fire_event(interpreter::event::end, nullptr, -1, nullptr, nullptr);
        sys::record.thrown = thrown;
    }
    ~TraceInstall() {
        if (installed) interpreter::stop_trace();
    }
};

// Calls a library function named by `callee` (a word or a path) with the
// values given, passed through hidden global words so that none of them
// is evaluated on the way. A name that holds no function raises the
// interpreter's own error for it (no-value, unset-path).
static Unwind call_library(const Cell& callee, const Cell* values, uint32_t n) {
    static const char* const names[] = {"<do-arg-1>", "<do-arg-2>", "<do-arg-3>"};
    Cell code;
    block::make_at(&code, n + 1);
    stack::push(&code);
    block::rs_append(&code, &callee);
    Cell holders[3]{};
    for (uint32_t i = 0; i < n && i < 3; ++i) {
        word::make_at(symbol::make(names[i]), &holders[i]);
        Cell v = values[i];
        context::set(&holders[i], &v);
        Cell g = holders[i];
        set_type(&g, TYPE_GET_WORD);
        block::rs_append(&code, &g);
    }
    Unwind u = interpreter::eval(&code, true);
    if (u != Unwind::none) return u;
    Cell none = none_cell();
    for (uint32_t i = 0; i < n && i < 3; ++i) context::set(&holders[i], &none);
    return Unwind::none;
}

// The word of a library function (or object) that the runtime calls: bound
// to the library's own value, whatever user code has set the word to.
static Cell library_word(const char* name) {
    Cell w{};
    word::make_at(symbol::make(name), &w);
    context::bind_library_word(&w);
    return w;
}

static Unwind do_core(const int32_t* refs) {
    Cell value = *arg(0);
    bool expand = refs[0] >= 0;
    Cell args = refs[1] >= 0 ? *arg(static_cast<uint32_t>(refs[1])) : none_cell();
    bool next = refs[2] >= 0;
    Cell next_word = next ? *arg(static_cast<uint32_t>(refs[2])) : none_cell();
    if (value.type() == TYPE_STRING) {
        if (!interpreter::load_hook) fire(err::FEATURE_NA);
        Cell text = value;
        interpreter::load_hook(&text, &value);
        stack::push(&value);
    }
    switch (value.type()) {
        case TYPE_BLOCK:
        case TYPE_PAREN:
        case TYPE_HASH: {
            uint32_t t = series_of(&value)->count();
            if (value.head() > t) value.data1 = t;
            if (expand) {
                // The preprocessor rewrites the block in place first.
                Cell path;
                block::make_at(&path, 2);
                stack::push(&path);
                Cell w = library_word("preprocessor");
                block::rs_append(&path, &w);
                w = library_word("expand");
                block::rs_append(&path, &w);
                set_type(&path, TYPE_PATH);
                Cell values[2] = {value, none_cell()};
                Unwind u = call_library(path, values, 2);
                if (u != Unwind::none) return u;
            }
            if (!next) return interpreter::eval(&value, true);
            uint32_t after;
            Unwind u = interpreter::eval_at(&value, &after);
            if (u != Unwind::none) return u;
            Cell position = value;
            position.data1 = after;
            context::set(&next_word, &position);
            return Unwind::none;
        }
        case TYPE_FILE:
        case TYPE_URL: {
            Cell values[3] = {value, none_cell(), args};
            return call_library(library_word("do-file"), values, 3);
        }
        default: return interpreter::do_value(&value);
    }
}

Unwind n_do_(bool, const int32_t* refs) {
    Cell callback = refs[3] >= 0 ? *arg(static_cast<uint32_t>(refs[3])) : none_cell();
    TraceInstall trace(refs[3] >= 0 ? &callback : nullptr);
    Unwind u;
    try {
        u = do_core(refs);
    } catch (const ErrorThrown&) {
        trace.end();
        throw;
    }
    trace.end();
    return u;
}

// ---- print --------------------------------------------------------------------------------

static Cell* scratch() { return reinterpret_cast<Cell*>(series_of(&memory::root_block)->offset_addr()) + scratch_index; }

Unwind n_print(bool, const int32_t*) { return print_core(true); }
Unwind n_prin(bool, const int32_t*) { return print_core(false); }

// ---- Non-local exits ---------------------------------------------------------------------

Unwind n_break_(bool, const int32_t* refs) { return stack::throw_break(refs[0] >= 0, false); }
Unwind n_continue_(bool, const int32_t*) { return stack::throw_break(false, true); }
Unwind n_exit_(bool, const int32_t*) { return stack::throw_return(false, false); }
Unwind n_return_(bool, const int32_t*) { return stack::throw_return(true, false); }

// Whether a thrown name is one that catch/name asked for. A block of names
// holding something else than a word is refused (checked), or counts as a
// match (not checked: the catch itself refuses it).
static bool name_matches(const Cell& thrown, const Cell& wanted, bool checked = true) {
    if (thrown.type() != TYPE_WORD) return false;
    uint32_t s = symbol::resolve(thrown.symbol());
    if (wanted.type() == TYPE_BLOCK) {
        uint32_t n = block::rs_length_q(&wanted);
        bool found = false;
        for (uint32_t i = 0; i < n; ++i) {
            Cell w = block::rs_head(&wanted)[i];
            if (w.type() != TYPE_WORD) {
                if (!checked) return true;
                Cell name = words::name;
                Cell b = wanted;
                fire(err::INVALID_REFINE_ARG, &name, &b);
            }
            found = found || symbol::resolve(w.symbol()) == s;
        }
        return found;
    }
    return in(ALL_WORD, wanted.type()) && symbol::resolve(wanted.symbol()) == s;
}

// Whether a catch below the throw takes a throw of this name: a catch
// without /name (its name argument is none) takes every throw, one with
// /name the names it asks for. A try/all barrier met first ends the search.
static bool caught_q(const Cell& name) {
    for (ptrdiff_t i = (stack::ctop - stack::cbottom) - 2; i >= 0; --i) {
        const stack::Frame& f = stack::cbottom[i];
        if (f.type() == stack::FRAME_TRY_ALL) return false;
        if (f.type() != stack::FRAME_CATCH) continue;
        const Cell& wanted = stack::bottom[f.base + 1];
        if (wanted.type() == TYPE_NONE || name_matches(name, wanted, false)) return true;
    }
    return false;
}

Unwind n_throw_(bool, const int32_t* refs) {
    if (refs[0] < 0) *arg(1) = unset_cell();
    if (interpreter::tracing) interpreter::fire_event(interpreter::event::throw_, nullptr, -1, nullptr, arg(0));
    // A throw that no catch takes is an error raised here, so that it shows
    // the throw's own place rather than that of the last catch it passed.
    if (!caught_q(*arg(1))) fire(err::THROW, arg(0));
    return stack::throw_value(Unwind::thrown);
}

Unwind n_catch_(bool, const int32_t* refs) {
    Cell blk = *arg(0);
    Cell wanted = refs[0] >= 0 ? *arg(static_cast<uint32_t>(refs[0])) : none_cell();
    stack::mark_catch(&words::catch_);
    Unwind u = interpreter::eval(&blk, true);
    if (u == Unwind::none) {
        stack::unwind_last();
        return Unwind::none;
    }
    if (u != Unwind::thrown) return u;
    // The catch frame is current: the thrown value, then its name.
    if (refs[0] >= 0 && !name_matches(stack::arguments[1], wanted)) return stack::throw_value(Unwind::thrown);
    stack::top = stack::arguments + 1;
    stack::unwind_last();
    // Once the catch frame is gone: a throw in the trace callback goes to
    // an outer catch.
    if (interpreter::tracing)
        interpreter::fire_event(interpreter::event::catch_, nullptr, -1, nullptr, stack::arguments);
    return Unwind::none;
}

Unwind n_try_(bool, const int32_t* refs) {
    Cell blk = *arg(0);
    bool all = refs[0] >= 0;
    bool keep = refs[1] >= 0;
    Cell saved_position = interpreter::position;
    uint32_t saved_cycles = cycles::size();
    stack::Frame* saved_ctop = stack::ctop;
    Cell* saved_arguments = stack::arguments;
    if (all) stack::mark_try_all(&words::try_);
    else stack::mark_try(&words::try_);
    try {
        Unwind u = interpreter::eval(&blk, true);
        if (u != Unwind::none) return u;
        stack::unwind_last();
        return Unwind::none;
    } catch (ErrorThrown& e) {
        interpreter::position = saved_position;
        if (cycles::size() > saved_cycles) cycles::pop_n(cycles::size() - saved_cycles);
        if (e.value.type() != TYPE_ERROR) {
            // Raised without an error! value (while another was being
            // built): cut the stacks here and make the value now.
            for (stack::Frame* f = stack::ctop - 1; f >= saved_ctop; --f)
                if (f->type() == stack::FRAME_FUNCTION && f->fn_ctx) stack::set_context_values(f->fn_ctx, f->saved_values);
            stack::ctop = saved_ctop;
            stack::arguments = saved_arguments;
            stack::top = saved_arguments + 1;
            error::create(e.id, e.arg_count > 0 ? &e.args[0] : nullptr, e.arg_count > 1 ? &e.args[1] : nullptr,
                          e.arg_count > 2 ? &e.args[2] : nullptr, &e.value);
            stack::push(&e.value);
        }
        stack::adjust_after_try();
        if (keep && stack::arguments->type() == TYPE_ERROR) error::capture_stack(stack::arguments);
        return Unwind::none;
    }
}

void expect_arg(uint32_t type, int32_t n) {
    Cell caller, dt, word;
    actions::caller_word(&caller);
    datatype::make_at(&dt, type);
    actions::call_argument_hook(n, &word);
    fire(err::EXPECT_ARG, &caller, &dt, &word);
}

// ---- The table ----------------------------------------------------------------------------

namespace {

enum Index : uint32_t {
#define X(index, name, word) I_##name = index,
    ZEM_NATIVES(X)
#undef X
};

constexpr const char* native_words[COUNT] = {
#define X(index, name, word) word,
    ZEM_NATIVES(X)
#undef X
};

// Index order is checked once: entry n of the X-macro has index n.
constexpr bool in_order() {
    uint32_t expected = 1;
#define X(index, name, word) \
    if (index != expected++) return false;
    ZEM_NATIVES(X)
#undef X
    return expected == COUNT + 1;
}
static_assert(in_order(), "the natives are listed in index order, 1 to 107");

}  // namespace

// ---- Print core ---------------------------------------------------------------------------

Unwind print_core(bool newline) {
    Cell value = *stack::arguments;
    Cell text;
    if (value.type() == TYPE_BLOCK) {
        Cell* s = scratch();
        uint32_t saved_head = s->head();
        uint32_t mark = series_of(s)->count();
        Cell code = value;
        stack::push(&code);
        auto restore = [&]() {
            Cell* sc = scratch();
            SeriesBuffer* b = series_of(sc);
            b->tail = b->offset + mark * static_cast<uint32_t>(sizeof(Cell));
            sc->data1 = saved_head;
        };
        try {
            uint32_t p = code.head();
            while (p < series_of(&code)->count()) {
                Unwind u = interpreter::eval_next(&code, &p, true);
                if (u != Unwind::none) {
                    restore();
                    return u;
                }
                Cell v = *stack::top_cell();
                stack::pop(1);
                block::rs_append(scratch(), &v);
            }
        } catch (...) {
            restore();
            throw;
        }
        Cell reduced = *scratch();
        reduced.data1 = mark;
        Cell* buffer = string::rs_make_at(stack::push_slot(), 64);
        try {
            actions::form(&reduced, buffer, nullptr, INT32_MAX);
        } catch (...) {
            restore();
            throw;
        }
        text = *buffer;
        restore();
    } else if (value.type() == TYPE_STRING) {
        text = value;
        uint32_t t = series_of(&text)->count();
        if (text.head() > t) text.data1 = t;
    } else {
        Cell* buffer = string::rs_make_at(stack::push_slot(), 64);
        actions::form(&value, buffer, nullptr, INT32_MAX);
        text = *buffer;
    }
    stack::push(&text);
    print_hooks::print_value(&text, newline);
    last_lf_q = newline;
    return unset_result();
}

// ---- The table ----------------------------------------------------------------------------

void register_entries(uint32_t count, const NativeEntry* list) {
    uint32_t i = 0;
    do {
        table[next_index - 1] = list[i];
        ++next_index;
    } while (++i < count);
}

void init() {
    table = static_cast<NativeEntry*>(sys::allocate_zeroed(TABLE_SLOTS * sizeof(NativeEntry)));
    next_index = 1;
    Cell none = none_cell();
    block::rs_append(&memory::root_block, &none);
    scratch_index = series_of(&memory::root_block)->count() - 1;
    Cell s;
    block::make_at(&s, 32);
    *scratch() = s;
    function::make_empty_body();
    const NativeEntry list[COUNT] = {
#define X(index, name, word) n_##name,
        ZEM_NATIVES(X)
#undef X
    };
    register_entries(COUNT, list);
}


const char* word_of(uint32_t index) { return index >= 1 && index <= COUNT ? native_words[index - 1] : nullptr; }

}  // namespace natives
