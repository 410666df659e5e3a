// The value stack and call stack: pushing and popping values and frames.
#include "evaluator/stack.h"

#include "evaluator/context.h"
#include "evaluator/actions.h"
#include "evaluator/block_storage.h"
#include "evaluator/cycles.h"
#include "evaluator/error_object.h"
#include "evaluator/errors.h"
#include "evaluator/text_storage.h"
#include "evaluator/word_storage.h"
#include "evaluator/words.h"
#include "runtime/collector.h"
#include "runtime/sys.h"

namespace stack {

Cell* bottom = nullptr;
Cell* top = nullptr;
Cell* arguments = nullptr;
Cell* limit = nullptr;
Frame* cbottom = nullptr;
Frame* ctop = nullptr;
Frame* climit = nullptr;
Frame* error_ctop = nullptr;

namespace {

// Room kept on the machine stack for building, throwing and reporting the
// stack-overflow error itself.
constexpr uintptr_t MACHINE_MARGIN = 512 * 1024;

void restore_context(const Frame* f) {
    if (f->fn_ctx) set_context_values(f->fn_ctx, f->saved_values);
}

}  // namespace

// Both overflows leave room for the error to be built, then raise it.
void overflow() {
    top = top - 5 < bottom ? bottom : top - 5;
    cycles::reset();
    fire(err::STACK_OVERFLOW);
}

void init(Node value_stack, Node call_stack) {
    SeriesBuffer* v = memory::buffer(value_stack);
    bottom = top = arguments = reinterpret_cast<Cell*>(v->data());
    limit = bottom + v->size / sizeof(Cell);
    SeriesBuffer* c = memory::buffer(call_stack);
    cbottom = ctop = reinterpret_cast<Frame*>(c->data());
    uint32_t frames = c->size / sizeof(Frame);
    climit = cbottom + (frames < CALL_STACK_FRAMES ? frames : CALL_STACK_FRAMES);
    error_ctop = nullptr;
    machine_limit = sys::stack_limit() ? sys::stack_limit() + MACHINE_MARGIN : 0;
    collector::register_mark_callback(mark_roots, collector::MarkOrder::AFTER_STACK_BUFFERS);
}

uintptr_t machine_limit = 0;

void machine_overflow() {
    cycles::reset();
    fire(err::STACK_OVERFLOW);
}

// ---- Value stack --------------------------------------------------------------------

void pop(uint32_t n) { top = static_cast<uint32_t>(top - bottom) < n ? bottom : top - n; }

Cell* top_cell() { return top == bottom ? bottom : top - 1; }

void adjust_after_try() {
    Cell* last = top_cell();
    if (last->type() == TYPE_ERROR) *arguments = *last;
    top = arguments + 1;
}

// ---- Frames --------------------------------------------------------------------------

Cell* frame_base(Frame* frame) { return frame + 1 < ctop ? bottom + frame[1].base : arguments; }

void revert() {
    Frame* f = --ctop;
    arguments = bottom + f->base;
    top = arguments;
}

void drop_frame() {
    Frame* f = --ctop;
    top = arguments;
    arguments = bottom + f->base;
    if (f->type() == FRAME_FUNCTION) restore_context(f);
    if (ctop == cbottom) top = arguments = bottom;
}

// ---- Unrolling and non-local exits ----------------------------------------------------

Frame* unroll(uint32_t type, bool keep) {
    if (ctop == cbottom) {
        top = arguments + 1;
        return nullptr;
    }
    Frame* start = ctop;
    Frame* f;
    do {
        f = --ctop;
        if (f->type() == FRAME_FUNCTION) restore_context(f);
    } while (f != cbottom && f->type() != type && f->type() != FRAME_TRY_ALL);
    if (keep) ++ctop;
    if (ctop == start) {
        top = arguments + 1;
    } else if (ctop == cbottom) {
        arguments = top = bottom;
    } else {
        top = arguments + 1;
        arguments = bottom + ctop->base;
    }
    if (!keep) ++ctop;
    return f;
}

void throw_error(ErrorThrown& e) {
    Cell* error = &e.value;
    if (ctop > cbottom) {
        Cell caller;
        get_caller(&caller);
        error::set_where(error, &caller);
        record_error_position(error);
        // The names of the calls are taken now, while their frames exist.
        if (errors::trace_depth > 0) error::capture_stack(error);
        Cell* saved_top = top;
        Frame* f = unroll(FRAME_TRY, false);
        --ctop;
        arguments = bottom + f->base;
        top = saved_top;
    }
    if (top + 1 >= limit) top = top - 5 < bottom ? bottom : top - 5;
    *top++ = *error;
    throw e;
}

namespace {

// The frame below the top one (or the top one itself with from_top) where
// a walk for a non-local exit starts; -1 when there is none.
ptrdiff_t walk_start(bool from_top) { return (ctop - cbottom) - (from_top ? 1 : 2); }

// Makes frame i (index from the bottom) the current frame: the frames above
// it are dropped (their function contexts restored), its base becomes the
// value-stack base and top, and the value becomes its result.
void land_on(ptrdiff_t i, const Cell* value) {
    Frame* f = cbottom + i;
    Cell v = *value;
    Cell* base = frame_base(f);
    for (Frame* g = ctop - 1; g > f; --g)
        if (g->type() == FRAME_FUNCTION) restore_context(g);
    ctop = f + 1;
    arguments = base;
    *base = v;
    top = base + 1;
}

}  // namespace

Unwind throw_break(bool with_value, bool cont) {
    ErrorId id = cont ? err::CONTINUE : err::BREAK;
    ptrdiff_t i = walk_start(false);
    for (; i >= 0; --i) {
        uint32_t t = cbottom[i].type();
        if (t == FRAME_TRY_ALL) fire(id);
        if (t == FRAME_LOOP) break;
    }
    if (i < 0) fire(id);
    Cell value{TYPE_UNSET, 0, 0, 0};
    if (with_value && !cont) value = *arguments;
    land_on(i, &value);
    return cont ? Unwind::cont : Unwind::brk;
}

namespace {

// The frame a return lands on, searched down from frame i: its index, or -1
// when a try/all frame or the bottom comes first.
ptrdiff_t return_target(ptrdiff_t i) {
    for (; i >= 0; --i) {
        if (cbottom[i].type() == FRAME_TRY_ALL) return -1;
        if (cbottom[i].header & FRAME_RETURN_TARGET) return i;
    }
    return -1;
}

}  // namespace

Unwind throw_return(bool with_value, bool from_top) {
    ptrdiff_t i = return_target(walk_start(from_top));
    if (i < 0) fire(err::RETURN);
    Cell value{TYPE_UNSET, 0, 0, 0};
    if (with_value) value = *arguments;
    land_on(i, &value);
    return with_value ? Unwind::ret : Unwind::exit;
}

bool return_to(const Cell* value) {
    ptrdiff_t i = return_target((ctop - cbottom) - 1);
    if (i < 0) return false;
    land_on(i, value);
    return true;
}

Unwind throw_value(Unwind code) {
    Cell value = arguments[0];
    Cell name = arguments[1];
    ptrdiff_t i = walk_start(false);
    for (; i >= 0; --i) {
        uint32_t t = cbottom[i].type();
        if (t == FRAME_TRY_ALL || t == FRAME_CATCH) break;
    }
    if (i < 0 || cbottom[i].type() == FRAME_TRY_ALL) {
        if (!error_ctop) error_ctop = ctop;
        fire(err::THROW, &value);
    }
    land_on(i, &value);
    *top++ = name;
    return code;
}

// ---- Call trace ---------------------------------------------------------------------

Cell* get_caller(Cell* out) { return actions::caller_word(out); }

namespace {

bool named_q(const Frame* f) {
    return f->symbol != 0 && f->symbol != words::body.symbol() && f->symbol != words::anon.symbol();
}

// Whether the frame's name holds a function! in the frame's name context.
bool names_function_q(const Frame* f) {
    if (!f->name_ctx) return false;
    int32_t i = context::find_symbol(f->name_ctx, f->symbol, true);
    if (i < 0) return false;
    const Cell* v = context::value_at(f->name_ctx, static_cast<uint32_t>(i));
    return v && v->type() == TYPE_FUNCTION;
}

template <typename Visit>
void each_traced(int32_t level, int32_t end, Visit visit) {
    int32_t n = static_cast<int32_t>(ctop - cbottom);
    if (end > n) end = n;
    for (int32_t i = 0; i < end; ++i) {
        Frame* f = cbottom + i;
        if (!named_q(f)) continue;
        if (level > 1 || names_function_q(f)) visit(f);
    }
}

}  // namespace

void collect_calls(Cell* blk, uint32_t skip) {
    for (ptrdiff_t i = (ctop - cbottom) - 1 - static_cast<ptrdiff_t>(skip); i > 0; --i) {
        Frame* f = cbottom + i;
        if (!named_q(f)) continue;
        Cell w;
        word::make_bound(&w, f->symbol, f->fn_ctx ? f->fn_ctx : context::global);
        block::rs_append(blk, &w);
        Cell base{TYPE_INTEGER, 0, f->base, 0};
        block::rs_append(blk, &base);
    }
}

void trace_to_block(int32_t level, Cell* blk, int32_t end) {
    each_traced(level, end, [&](Frame* f) {
        Cell w;
        word::make_bound(&w, f->symbol, f->name_ctx);
        block::rs_append(blk, &w);
    });
}

int32_t form_trace(int32_t level, int32_t end, Cell* buffer, int32_t lim) {
    each_traced(level, end, [&](Frame* f) {
        Cell w;
        word::make_bound(&w, f->symbol, f->name_ctx);
        lim = actions::form(&w, buffer, nullptr, lim);
        string::concatenate_literal(buffer, " ");
        --lim;
    });
    return lim;
}

void record_error_position(Cell* err) {
    Cell* s = error::field(err, error::STACK);
    if (s->type() == TYPE_BLOCK) return;
    *s = Cell{TYPE_INTEGER, 0, static_cast<uint32_t>(ctop - cbottom), 0};
}

// ---- Collector's view --------------------------------------------------------------

void mark_roots() {
    if (bottom && top > bottom) collector::mark_block(bottom, top);
    mark_frames();
}

void mark_frames() {
    for (Frame* f = cbottom; f && f < ctop; f++) {
        if (f->name_ctx) {
            if (collector::self_symbol && f->symbol == collector::self_symbol)
                collector::mark_block_node(&f->name_ctx);
            else
                collector::mark_context(&f->name_ctx);
        }
        bool on_stack = false;
        if (f->fn_ctx) {
            collector::mark_context(&f->fn_ctx);
            if (collector::marked_q(f->fn_ctx))
                on_stack = (reinterpret_cast<Cell*>(memory::buffer(f->fn_ctx)->offset_addr())->header & FLAG_CTX_ON_STACK) != 0;
        }
        if (f->saved_values && !on_stack) collector::mark_block_node(&f->saved_values);
    }
}

}  // namespace stack
