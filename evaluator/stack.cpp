// The value stack and call stack: pushing and popping values and frames.
#include "evaluator/stack.h"

#include "evaluator/errors.h"
#include "runtime/collector.h"

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

// Both overflows leave room for the error to be built, then raise it.
[[noreturn]] void overflow() {
    top = top - 5 < bottom ? bottom : top - 5;
    fire(err::STACK_OVERFLOW);
}

void restore_context(const Frame* f) {
    if (f->fn_ctx) set_context_values(f->fn_ctx, f->saved_values);
}

}  // namespace

void init(Node value_stack, Node call_stack) {
    SeriesBuffer* v = memory::buffer(value_stack);
    bottom = top = arguments = reinterpret_cast<Cell*>(v->data());
    limit = bottom + v->size / sizeof(Cell);
    SeriesBuffer* c = memory::buffer(call_stack);
    cbottom = ctop = reinterpret_cast<Frame*>(c->data());
    uint32_t frames = c->size / sizeof(Frame);
    climit = cbottom + (frames < CALL_STACK_FRAMES ? frames : CALL_STACK_FRAMES);
    error_ctop = nullptr;
}

Node context_values(Node fn_ctx) {
    auto* ctx = reinterpret_cast<Cell*>(memory::buffer(fn_ctx)->offset_addr());
    return ctx->data2;
}

void set_context_values(Node fn_ctx, Node values) {
    auto* ctx = reinterpret_cast<Cell*>(memory::buffer(fn_ctx)->offset_addr());
    ctx->data2 = values;
}

// ---- Value stack --------------------------------------------------------------------

Cell* push_slot() {
    Cell* c = top++;
    if (top >= limit) overflow();
    return c;
}

Cell* push(const Cell* value) {
    Cell* c = push_slot();
    *c = *value;
    return c;
}

void pop(uint32_t n) { top = static_cast<uint32_t>(top - bottom) < n ? bottom : top - n; }

Cell* top_cell() { return top == bottom ? bottom : top - 1; }
uint32_t top_type_q() { return top_cell()->type(); }

Cell* reset() {
    top = arguments;
    return arguments;
}

Cell* keep() {
    top = arguments + 1;
    return arguments;
}

void set_last(const Cell* value) { *arguments = *value; }

void set_last_keep(const Cell* value) {
    top = arguments + 1;
    *arguments = *value;
}

void adjust_after_try() {
    Cell* last = top_cell();
    if (last->type() == TYPE_ERROR) *arguments = *last;
    top = arguments + 1;
}

// ---- Frames --------------------------------------------------------------------------

static void push_frame(const Cell* name, uint32_t header, Node fn_ctx, Node saved) {
    if (ctop >= climit) overflow();
    *ctop++ = Frame{header, name ? name->symbol() : 0, index_of(arguments), name ? name->ctx() : 0, fn_ctx, saved};
    arguments = top;
}

void mark(const Cell* name, uint32_t header) { push_frame(name, header, 0, 0); }

void mark_func(const Cell* name, Node fn_ctx) {
    push_frame(name, FRAME_FUNCTION, fn_ctx, fn_ctx ? context_values(fn_ctx) : 0);
}

void mark_interp_func(const Cell* name, Node fn_ctx) {
    push_frame(name, FRAME_INTERP_FUNC, fn_ctx, fn_ctx ? context_values(fn_ctx) : 0);
}

Cell* frame_base(Frame* frame) { return frame + 1 < ctop ? bottom + frame[1].base : arguments; }

void unwind() {
    Frame* f = --ctop;
    top = arguments + 1;
    arguments = bottom + f->base;
}

void unwind_func() {
    Frame* f = ctop - 1;
    restore_context(f);
    unwind();
}

void unwind_last() {
    Cell* result = arguments;
    unwind();
    *arguments = *result;
}

void unwind_func_last() {
    Cell* result = arguments;
    unwind_func();
    *arguments = *result;
}

void revert() {
    Frame* f = --ctop;
    arguments = bottom + f->base;
    top = arguments;
}

void revert_func() {
    restore_context(ctop - 1);
    revert();
}

void drop_frame() {
    Frame* f = --ctop;
    top = arguments;
    arguments = bottom + f->base;
    if (f->type() == FRAME_FUNCTION) restore_context(f);
    if (ctop == cbottom) top = arguments = bottom;
}

void set_return_flag(bool on) {
    Frame* f = ctop - 1;
    f->header = on ? f->header | FRAME_RETURN_TARGET : f->header & ~FRAME_RETURN_TARGET;
}

void set_interpreted() { (ctop - 1)->header |= FRAME_INTERPRETED; }

Frame* claim_return_target() {
    if (ctop - 2 < cbottom) return nullptr;
    Frame* f = ctop - 2;
    if (f->header & FRAME_RETURN_TARGET) return nullptr;
    f->header |= FRAME_RETURN_TARGET;
    return f;
}

void clear_return_flag(Frame* frame) {
    if (frame) frame->header &= ~FRAME_RETURN_TARGET;
}

Frame* current_frame() { return ctop - 1; }

bool eval_q(Frame* frame, bool nearest_only) {
    Frame* f = frame ? frame : ctop;
    while (--f >= cbottom) {
        if (f->header & FRAME_INTERPRETED) return true;
        if (nearest_only) return false;
    }
    return false;
}

// ---- Collector's view --------------------------------------------------------------

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
