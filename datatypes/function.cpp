// function!: functions made from a spec and a body: making them, checking
// and rewriting specs, reflection, form and mold.
#include "datatypes/function.h"

#include <cstring>
#include <vector>

#include "datatypes/block.h"
#include "evaluator/context.h"
#include "datatypes/datatype.h"
#include "datatypes/string.h"
#include "datatypes/typeset.h"
#include "datatypes/word.h"
#include "evaluator/cycles.h"
#include "evaluator/errors.h"
#include "evaluator/interpreter.h"
#include "evaluator/stack.h"
#include "evaluator/symbol.h"
#include "evaluator/words.h"
#include "runtime/collector.h"
#include "runtime/typesets.h"

namespace function {

namespace {

Cell unset_cell() { return Cell{TYPE_UNSET, 0, 0, 0}; }
Cell int_cell(int32_t n) { return Cell{TYPE_INTEGER, 0, static_cast<uint32_t>(n), 0}; }

uint32_t canon(uint32_t symbol) { return symbol::resolve(symbol); }

// Cell i from the index of a block value (a copy).
Cell at(const Cell* blk, uint32_t i) { return block::rs_head(blk)[i]; }

// A new block holding the cells of `src` from its index, at head 0.
Cell shallow_copy(const Cell* src) {
    Cell s = *src;
    uint32_t n = block::rs_length_q(&s);
    Node node = memory::alloc_cells(n ? n : 1);
    SeriesBuffer* d = memory::buffer(node);
    if (n) std::memcpy(d->offset_addr(), block::rs_clamp_head(&s), n * sizeof(Cell));
    d->tail = d->offset + n * static_cast<uint32_t>(sizeof(Cell));
    Cell r = s;
    r.data1 = 0;
    r.data2 = node;
    return r;
}

int32_t append_text(Cell* buffer, const char* text, int32_t limit) {
    string::concatenate_literal(buffer, text);
    return limit - static_cast<int32_t>(std::strlen(text));
}

}  // namespace

Cell* clone(const Cell* blk, Cell* out) {
    Cell src = *blk;
    Cell r = shallow_copy(&src);
    cycles::push(src.node());
    uint32_t n = block::rs_length_q(&r);
    for (uint32_t i = 0; i < n; ++i) {
        Cell c = at(&r, i);
        if (!in(ANY_BLOCK, c.type()) || cycles::find_q(c.node())) continue;
        Cell copy;
        clone(&c, &copy);
        block::rs_clamp_head(&r)[i] = copy;
    }
    cycles::pop();
    *out = r;
    return out;
}

// ---- Making --------------------------------------------------------------------------

Node push(const Cell* spec_in, const Cell* body_in, Node ctx, int32_t entry, int32_t extra, uint32_t flags) {
    Cell spec = *spec_in;
    uint32_t spec_length = series_of(&spec)->count();
    if (spec.head() > spec_length) spec.data1 = spec_length;
    if (spec.head() > 0) spec = shallow_copy(&spec);
    Cell body = body_in ? *body_in : empty_body;
    uint32_t body_length = series_of(&body)->count();
    if (body.head() > body_length) body.data1 = body_length;

    Node more_node = memory::alloc_unset_cells(MORE_CELLS);
    SeriesBuffer* mb = memory::buffer(more_node);
    mb->tail = mb->offset + MORE_CELLS * static_cast<uint32_t>(sizeof(Cell));
    bool own_ctx = ctx == 0;
    if (own_ctx) ctx = context::make(&spec, true, false, context::KIND_FUNCTION);
    // The library's own functions run untraced (a trace shows the user's
    // code), unless a spec asks for tracing; their specs stay as written.
    if (collector::booting && !(flags & FLAG_TRACE)) flags |= FLAG_NO_TRACE;
    Cell fn{TYPE_FUNCTION | flags, ctx, spec.node(), more_node};
    Cell* pushed = stack::push(&fn);
    (void)pushed;
    *context::self_of(ctx) = fn;

    Cell copy = empty_body;
    if (body_in) clone(&body, &copy);
    // The layout of the calls is made now, from the argument block as the
    // context was: that block changed later cannot make them disagree.
    Cell cache = interpreter::argument_cache(&spec, false);
    Cell* m = more(&fn, 0);
    m[MORE_BODY] = copy;
    m[MORE_CACHE] = cache;
    m[MORE_ENTRY] = entry ? int_cell(entry) : unset_cell();
    m[MORE_OP] = unset_cell();
    m[MORE_EXTRA] = extra ? int_cell(extra) : unset_cell();
    if (own_ctx && body_in) context::bind(&copy, ctx, false);
    return ctx;
}

int32_t count_locals(const Cell* spec, uint32_t start, bool flag) {
    uint32_t n = series_of(spec)->count();
    auto* cells = reinterpret_cast<Cell*>(series_of(spec)->offset_addr());
    uint32_t local = canon(words::local.symbol());
    for (uint32_t i = start; i < n; ++i) {
        if (cells[i].type() == TYPE_REFINEMENT && canon(cells[i].symbol()) == local) {
            int32_t count = 1;
            for (uint32_t j = i + 1; j < n; ++j) count += cells[j].type() == TYPE_WORD;
            return count;
        }
    }
    return flag ? -1 : 0;
}

uint32_t check_spec(const Cell* spec_in) {
    Cell spec = *spec_in;
    uint32_t n = block::rs_length_q(&spec);
    uint32_t flags = 0;
    bool return_seen = false, local_seen = false;
    uint32_t local = canon(words::local.symbol());
    uint32_t ret = canon(words::sym::return_);
    auto bad = [&]() { fire(err::BAD_FUNC_DEF, &spec); };
    uint32_t i = 0;
    if (n > 0 && at(&spec, 0).type() == TYPE_BLOCK) {
        Cell attrs = at(&spec, 0);
        uint32_t m = block::rs_length_q(&attrs);
        for (uint32_t k = 0; k < m; ++k) {
            Cell a = at(&attrs, k);
            if (a.type() != TYPE_WORD) bad();
            if (canon(a.symbol()) == canon(words::sym::trace)) flags |= FLAG_TRACE;
            if (canon(a.symbol()) == canon(words::sym::no_trace)) flags |= FLAG_NO_TRACE;
        }
        i = 1;
    }
    uint32_t first = i;
    for (; i < n; ++i) {
        Cell c = at(&spec, i);
        switch (c.type()) {
            case TYPE_WORD:
            case TYPE_GET_WORD:
            case TYPE_LIT_WORD: {
                if (c.type() != TYPE_WORD && local_seen) bad();
                if (return_seen && !local_seen) bad();
                if (i + 2 < n && at(&spec, i + 1).type() == TYPE_STRING && at(&spec, i + 2).type() == TYPE_BLOCK) bad();
                if (i + 1 < n && at(&spec, i + 1).type() == TYPE_BLOCK) {
                    Cell types = at(&spec, i + 1);
                    uint32_t m = block::rs_length_q(&types);
                    for (uint32_t k = 0; k < m; ++k) {
                        Cell t = at(&types, k);
                        Cell v = t;
                        if (t.type() == TYPE_WORD) {
                            v = *context::get(&t);
                            if (v.type() == TYPE_UNSET) fire(err::NO_VALUE, &t);
                        }
                        if (v.type() != TYPE_DATATYPE && v.type() != TYPE_TYPESET && v.type() != TYPE_WORD)
                            fire(err::INVALID_TYPE_SPEC, &t);
                    }
                    ++i;
                }
                break;
            }
            case TYPE_SET_WORD: {
                if (return_seen || local_seen || canon(c.symbol()) != ret) bad();
                return_seen = true;
                if (i + 1 >= n || at(&spec, i + 1).type() != TYPE_BLOCK) bad();
                ++i;
                if (i + 1 < n) {
                    uint32_t t = at(&spec, i + 1).type();
                    if (t != TYPE_REFINEMENT && t != TYPE_STRING) bad();
                }
                break;
            }
            case TYPE_REFINEMENT: {
                if (canon(c.symbol()) == local) local_seen = true;
                else if (local_seen || return_seen) bad();
                if (i + 1 < n) {
                    uint32_t t = at(&spec, i + 1).type();
                    if (!in(ARG_WORD, t) && t != TYPE_SET_WORD && t != TYPE_STRING) bad();
                }
                break;
            }
            case TYPE_STRING: break;
            default: bad();
        }
    }
    std::vector<uint32_t> seen;
    for (i = first; i < n; ++i) {
        Cell c = at(&spec, i);
        if (!in(ARG_WORD, c.type())) continue;
        uint32_t s = canon(c.symbol());
        for (uint32_t x : seen)
            if (x == s) fire(err::DUP_VARS, &c);
        seen.push_back(s);
    }
    return flags;
}

namespace {

struct Collector {
    std::vector<uint32_t> ignore;     // canonical symbols
    std::vector<uint32_t> collected;  // symbols as spelled

    bool ignored(uint32_t symbol) const {
        uint32_t s = canon(symbol);
        for (uint32_t x : ignore)
            if (x == s) return true;
        return false;
    }
    void collect(uint32_t symbol) {
        if (ignored(symbol)) return;
        ignore.push_back(canon(symbol));
        collected.push_back(symbol);
    }
    void walk(const Cell* blk) {
        Cell b = *blk;
        if (cycles::find_q(b.node())) return;
        cycles::push(b.node());
        uint32_t n = block::rs_length_q(&b);
        uint32_t fe = canon(words::sym::foreach), re = canon(words::sym::remove_each), rp = canon(words::sym::repeat);
        for (uint32_t i = 0; i < n; ++i) {
            Cell c = at(&b, i);
            switch (c.type()) {
                case TYPE_SET_WORD: collect(c.symbol()); break;
                case TYPE_WORD: {
                    uint32_t s = canon(c.symbol());
                    if ((s == fe || s == re || s == rp) && i + 1 < n) {
                        Cell next = at(&b, i + 1);
                        if (next.type() == TYPE_WORD) {
                            collect(next.symbol());
                        } else if (next.type() == TYPE_BLOCK) {
                            uint32_t m = block::rs_length_q(&next);
                            for (uint32_t k = 0; k < m; ++k) {
                                Cell w = at(&next, k);
                                if (w.type() == TYPE_WORD || w.type() == TYPE_GET_WORD || w.type() == TYPE_LIT_WORD)
                                    collect(w.symbol());
                            }
                        }
                    }
                    break;
                }
                case TYPE_BLOCK:
                case TYPE_PAREN: walk(&c); break;
                default: break;
            }
        }
        cycles::pop();
    }
};

}  // namespace

void collect_words(Cell* spec, const Cell* body) {
    Collector col;
    uint32_t ext = canon(words::ref::extern_.symbol());
    uint32_t n = block::rs_length_q(spec);
    for (uint32_t i = 0; i < n; ++i) {
        Cell c = at(spec, i);
        if (in(ARG_WORD, c.type())) col.ignore.push_back(canon(c.symbol()));
    }
    for (uint32_t i = 0; i < n; ++i) {
        Cell c = at(spec, i);
        if (c.type() != TYPE_REFINEMENT || canon(c.symbol()) != ext) continue;
        uint32_t j = i + 1;
        for (; j < n; ++j) {
            Cell w = at(spec, j);
            if (w.type() == TYPE_REFINEMENT) break;
            if (!in(ALL_WORD, w.type()) || w.type() == TYPE_ISSUE) fire(err::BAD_FUNC_EXTERN, &w);
            col.ignore.push_back(canon(w.symbol()));
        }
        // Take the /extern part out of this spec.
        SeriesBuffer* s = series_of(spec);
        Cell* head = reinterpret_cast<Cell*>(s->offset_addr()) + spec->head();
        std::memmove(head + i, head + j, (n - j) * sizeof(Cell));
        s->tail -= (j - i) * static_cast<uint32_t>(sizeof(Cell));
        break;
    }
    col.walk(body);
    if (col.collected.empty()) return;
    if (count_locals(spec, spec->head(), true) == -1) block::rs_append(spec, &words::ref::local);
    uint32_t local = canon(words::local.symbol());
    for (uint32_t s : col.collected) {
        if (canon(s) == local) continue;
        Cell w;
        word::make_bound(&w, s, context::global);
        block::rs_append(spec, &w);
    }
}

// ---- Actions ---------------------------------------------------------------------------

Cell* make(Cell* proto, Cell* arg, uint32_t) {
    Cell a = *arg;
    if (a.type() != TYPE_BLOCK || block::rs_length_q(&a) < 2) fire(err::BAD_FUNC_DEF, &a);
    Cell spec = at(&a, 0), body = at(&a, 1);
    if (spec.type() != TYPE_BLOCK || body.type() != TYPE_BLOCK) fire(err::BAD_FUNC_DEF, &a);
    uint32_t flags = check_spec(&spec);
    push(&spec, &body, 0, 0, 0, flags);
    Cell fn = *stack::top_cell();
    stack::pop(1);
    return copy_cell(&fn, proto);
}

Cell* reflect(Cell* value, Cell* field) {
    Cell fn = *value;
    uint32_t s = field->type() == TYPE_WORD ? canon(field->symbol()) : 0;
    if (s == canon(words::sym::spec)) {
        Cell r = spec_of(&fn);
        return copy_cell(&r, value);
    }
    if (s == canon(words::sym::body)) {
        Cell r = *more(&fn, MORE_BODY);
        return copy_cell(&r, value);
    }
    if (s == canon(words::sym::words)) {
        Node ctx = fn.ctx();
        uint32_t n = context::word_count(ctx);
        Cell r;
        block::make_at(&r, n);
        stack::push(&r);
        for (uint32_t i = 0; i < n; ++i) {
            Cell w = *context::word_at(ctx, i);
            w.data1 = ctx;
            w.data3 = i;
            block::rs_append(&r, &w);
        }
        stack::pop(1);
        return copy_cell(&r, value);
    }
    fire(err::NOT_DONE);
}

int32_t form(Cell*, Cell* buffer, Cell*, int32_t limit) { return append_text(buffer, "?function?", limit); }

int32_t mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part, int32_t limit, int32_t indent) {
    Cell fn = *value;
    limit = append_text(buffer, "func ", limit);
    Cell spec = spec_of(&fn);
    limit = actions::mold(&spec, buffer, only, all, flat, part, limit, indent);
    Cell body = *more(&fn, MORE_BODY);
    if (body.type() == TYPE_NONE) return append_text(buffer, " none", limit);
    return actions::mold(&body, buffer, only, all, flat, part, limit, indent);
}

int32_t compare(Cell* value1, Cell* value2, int32_t op) {
    return actions::compare_identity(value1, value2, value1->data3, value2->data3, op);
}

}  // namespace function

// ---- Registration --------------------------------------------------------------

template <>
void datatype::init_type<TYPE_FUNCTION>() {
    register_type<TYPE_FUNCTION,
                  "o-o-oo--o --------------- --------------------------- -----------">(
        own<slot::make>(function::make), own<slot::reflect>(function::reflect),
        own<slot::form>(function::form), own<slot::mold>(function::mold),
        own<slot::compare>(function::compare));
}
