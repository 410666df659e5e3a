// The interpreter: blocks, expressions, infix operators, argument fetching
// by spec, calls of every kind of callable, paths and tracing events.
#include "evaluator/interpreter.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>
#include <string_view>

#include "evaluator/context.h"
#include "evaluator/actions.h"
#include "evaluator/block_storage.h"
#include "evaluator/callable_cells.h"
#include "evaluator/datatype_registry.h"
#include "evaluator/error_object.h"
#include "evaluator/errors.h"
#include "evaluator/symbol.h"
#include "evaluator/typeset_bits.h"
#include "evaluator/word_storage.h"
#include "evaluator/words.h"
#include "runtime/collector.h"
#include "runtime/sys.h"
#include "runtime/typesets.h"

namespace interpreter {

Cell position{TYPE_UNSET, 0, 0, 0};
bool tracing = false;
bool trace_enabled = false;
uint32_t trace_switches = 0;
Compile compile_mode = Compile::on_second;
uint32_t event_mask = DEFAULT_EVENT_MASK;
Cell* (*load_hook)(const Cell* text, Cell* out) = nullptr;

namespace {

uint32_t callback_index = 0;

Cell unset_cell() { return Cell{TYPE_UNSET, 0, 0, 0}; }
Cell none_cell() { return Cell{TYPE_NONE, 0, 0, 0}; }
Cell int_cell(int32_t n) { return Cell{TYPE_INTEGER, 0, static_cast<uint32_t>(n), 0}; }

// ---- Code access ---------------------------------------------------------------------
// Code blocks may move at any allocation: cells are copied out by index.
// Every block, paren and path here is a series of 16-byte cells, so its
// length is a shift of its byte length.

inline Cell* cells_of(const Cell* blk) { return reinterpret_cast<Cell*>(series_of(blk)->offset_addr()); }
inline uint32_t cell_count(const SeriesBuffer* s) { return (s->tail - s->offset) / sizeof(Cell); }
inline uint32_t tail_of(const Cell* blk) { return cell_count(series_of(blk)); }
inline Cell at(const Cell* blk, uint32_t i) { return cells_of(blk)[i]; }
// Copies cell i of the block to out when it is before the tail: one lookup
// of the buffer for the check and the read.
inline bool fetch_at(const Cell* blk, uint32_t i, Cell* out) {
    SeriesBuffer* s = series_of(blk);
    if (i >= cell_count(s)) return false;
    *out = reinterpret_cast<const Cell*>(s->offset_addr())[i];
    return true;
}

// The callables a word or a path calls when it meets one (an op! is not
// called).
constexpr typesets::Mask CALLED = typesets::of({TYPE_NATIVE, TYPE_ACTION, TYPE_FUNCTION, TYPE_ROUTINE});

bool truthy(const Cell* v) { return !(v->type() == TYPE_NONE || (v->type() == TYPE_LOGIC && v->data1 == 0)); }

// Leaves r as the expression's value: pushed at `start` with keep,
// otherwise in the current result slot.
inline void finish(Cell* start, const Cell& r, bool keep) {
    if (keep) {
        *start = r;
        stack::top = start + 1;
    } else {
        stack::set_last_keep(&r);
    }
}

inline void put(const Cell& v, bool keep) {
    if (keep) stack::push(&v);
    else stack::set_last_keep(&v);
}

// ---- Infix ops computed in place ----------------------------------------------------
// The library's arithmetic and comparison ops on two integer! or two
// float! values are computed here, without a call, when tracing is off and
// nothing could raise; everything else (overflow, zero divide, another
// type, a NaN) is left to the op's call, which reads its right operand
// itself: the look here is a plain read, so nothing is evaluated twice.

enum FastOp : uint32_t { F_NONE, F_ADD, F_SUB, F_MUL, F_DIV, F_REM, F_EQ, F_NE, F_SEQ, F_LT, F_GT, F_LE, F_GE,
                         F_AND, F_OR, F_XOR, F_COUNT };
// The bitwise ops take integers only.
constexpr bool integers_only(FastOp f) { return f >= F_AND; }

namespace native_id {
#define X(n, name, word) inline constexpr uint32_t name = n;
ZEM_NATIVES(X)
#undef X
}  // namespace native_id

// The op the entry behind an op! computes (an op! keeps the entry id of the
// native or action it was made from).
inline FastOp fast_op_of(const Cell& op) {
    uint32_t source = (op.header >> OP_SOURCE_SHIFT) & 0xFF;
    if (source == TYPE_ACTION) {
        switch (op.data1 - ACTION_ENTRY_BASE) {
            case actions::slot::add: return F_ADD;
            case actions::slot::subtract: return F_SUB;
            case actions::slot::multiply: return F_MUL;
            case actions::slot::divide: return F_DIV;
            case actions::slot::remainder: return F_REM;
            case actions::slot::and_: return F_AND;
            case actions::slot::or_: return F_OR;
            case actions::slot::xor_: return F_XOR;
            default: return F_NONE;
        }
    }
    if (source != TYPE_NATIVE) return F_NONE;
    switch (op.data1) {
        case native_id::equal_q: return F_EQ;
        case native_id::not_equal_q: return F_NE;
        case native_id::strict_equal_q: return F_SEQ;
        case native_id::lesser_q: return F_LT;
        case native_id::greater_q: return F_GT;
        case native_id::lesser_or_equal_q: return F_LE;
        case native_id::greater_or_equal_q: return F_GE;
        default: return F_NONE;
    }
}

// The value of op f on a and b as the op's entry would leave it in its
// first argument's cell; false when that needs the entry (or may raise).
[[gnu::always_inline]] inline bool compute(FastOp f, const Cell& a, const Cell& b, Cell* r) {
    uint32_t ta = a.type(), tb = b.type();
    int cmp;
    if (ta == TYPE_INTEGER && tb == TYPE_INTEGER) {
        int64_t x = a.int_value(), y = b.int_value(), w;
        switch (f) {
            case F_ADD: w = x + y; break;
            case F_SUB: w = x - y; break;
            case F_MUL: w = x * y; break;
            case F_DIV:
                if (y == 0 || x % y != 0) return false;
                w = x / y;
                break;
            case F_REM:
                if (y == 0 || (x == INT32_MIN && y == -1)) return false;
                w = x % y;
                break;
            case F_AND: w = static_cast<int32_t>(static_cast<uint32_t>(x) & static_cast<uint32_t>(y)); break;
            case F_OR: w = static_cast<int32_t>(static_cast<uint32_t>(x) | static_cast<uint32_t>(y)); break;
            case F_XOR: w = static_cast<int32_t>(static_cast<uint32_t>(x) ^ static_cast<uint32_t>(y)); break;
            default: cmp = x < y ? -1 : x > y ? 1 : 0; goto logic;
        }
        if (w < INT32_MIN || w > INT32_MAX) return false;  // integer!'s own rule decides
        *r = a;
        r->data2 = static_cast<uint32_t>(static_cast<int32_t>(w));
        return true;
    }
    if (ta == TYPE_FLOAT && tb == TYPE_FLOAT) {
        double x = a.float_value(), y = b.float_value();
        switch (f) {
            case F_ADD: *r = Cell{TYPE_FLOAT, 0, 0, 0}; r->set_float(x + y); return true;
            case F_SUB: *r = Cell{TYPE_FLOAT, 0, 0, 0}; r->set_float(x - y); return true;
            case F_MUL: *r = Cell{TYPE_FLOAT, 0, 0, 0}; r->set_float(x * y); return true;
            case F_LT:
            case F_GT:
            case F_LE:
            case F_GE:
                if (x != x || y != y) return false;
                cmp = x < y ? -1 : x > y ? 1 : 0;
                goto logic;
            default: return false;  // equality has a tolerance; divide and remainder their own cases
        }
    }
    return false;
logic:
    bool v;
    switch (f) {
        case F_EQ:
        case F_SEQ: v = cmp == 0; break;
        case F_NE: v = cmp != 0; break;
        case F_LT: v = cmp < 0; break;
        case F_GT: v = cmp > 0; break;
        case F_LE: v = cmp <= 0; break;
        case F_GE: v = cmp >= 0; break;
        default: sys::no_switch_matched();
    }
    *r = a;
    r->header = TYPE_LOGIC;
    r->data1 = v ? 1 : 0;
    return true;
}

// ---- The argument cache --------------------------------------------------------------
// One block per callable, kept in cell 1 of its more block: per argument a
// typeset! (kind in header bits 20-21), per refinement a refinement! (its
// ordinal in word 3), for /local an integer! (1 + the locals), and for a
// native or action with refinements a last integer! (their count, and in
// word 3 the count of their arguments).

constexpr uint32_t KIND_SHIFT = 20;
constexpr uint32_t KIND_NORMAL = 0, KIND_GET = 1, KIND_LIT = 2, KIND_RETURN = 3;
constexpr uint32_t MAX_REFINEMENTS = 32;

constexpr typesets::Mask NATIVE_LIKE = typesets::of({TYPE_NATIVE, TYPE_ACTION});

Cell* cache_slot(const Cell* fn) {
    return in(NATIVE_LIKE, fn->type()) ? reinterpret_cast<Cell*>(memory::buffer(fn->data3)->offset_addr()) +
                                           native::MORE_CACHE
                                     : function::more(fn, function::MORE_CACHE);
}

}  // namespace

Cell argument_cache(const Cell* spec_in, bool native_like) {
    Cell spec = *spec_in;
    uint32_t n = tail_of(&spec);
    Cell cache;
    block::make_at(&cache, n + 1);
    stack::push(&cache);  // keeps it alive while it fills
    uint32_t local = symbol::resolve(words::local.symbol());
    uint32_t ret = symbol::resolve(words::sym::return_);
    int32_t ordinal = 0;
    uint32_t refinement_args = 0;
    for (uint32_t i = 0; i < n; ++i) {
        Cell c = at(&spec, i);
        uint32_t kind;
        switch (c.type()) {
            case TYPE_WORD: kind = KIND_NORMAL; break;
            case TYPE_GET_WORD: kind = KIND_GET; break;
            case TYPE_LIT_WORD: kind = KIND_LIT; break;
            case TYPE_SET_WORD:
                if (symbol::resolve(c.symbol()) != ret) fire(err::BAD_FUNC_DEF, &c);
                kind = KIND_RETURN;
                break;
            case TYPE_REFINEMENT: {
                if (symbol::resolve(c.symbol()) == local) {
                    int32_t count = 1;
                    for (uint32_t j = i + 1; j < n; ++j) {
                        uint32_t t = at(&spec, j).type();
                        if (t == TYPE_SET_WORD) break;
                        count += t == TYPE_WORD || t == TYPE_GET_WORD || t == TYPE_LIT_WORD;
                    }
                    Cell k = int_cell(count);
                    block::rs_append(&cache, &k);
                    i = n;
                    continue;
                }
                Cell r = c;
                r.data3 = static_cast<uint32_t>(++ordinal);
                block::rs_append(&cache, &r);
                continue;
            }
            default: continue;
        }
        Cell* ts;
        if (i + 1 < n && at(&spec, i + 1).type() == TYPE_BLOCK && block::rs_length_q(&cells_of(&spec)[i + 1]) > 0) {
            Cell types = at(&spec, i + 1);
            ts = typeset::make_from_spec(&cache, &types);
        } else {
            ts = typeset::make_default(&cache);
        }
        ts->header = TYPE_TYPESET | (kind << KIND_SHIFT);
        if (ordinal > 0 && kind != KIND_RETURN) ++refinement_args;
    }
    if (native_like && ordinal > 0) {
        Cell k = int_cell(ordinal);
        k.data3 = refinement_args;
        block::rs_append(&cache, &k);
    }
    stack::pop(1);
    return cache;
}

namespace {

// Once per callable: kept out of line, away from the hot callers.
[[gnu::noinline]] Cell build_cache(const Cell* fn) {
    Cell spec = function::spec_of(fn);
    Cell cache = argument_cache(&spec, in(NATIVE_LIKE, fn->type()));
    *cache_slot(fn) = cache;
    return cache;
}

inline Cell cache_of(const Cell* fn) {
    Cell c = *cache_slot(fn);
    return c.type() == TYPE_BLOCK ? c : build_cache(fn);
}

// Whether the op's spec takes integer! and float! (integer! for the bitwise
// ops) for both arguments (a native or action made again from the same entry
// may take fewer types),
// with no refinement. Remembered per op and entry until the next collection
// cycle, which may free or move the more node it is known by.
struct Verified {
    Node more = 0;
    uint32_t cycle = 0;
    // Whether it still speaks of the callable fn (the same more node, no
    // collection since).
    bool of(const Cell& fn) const { return more == fn.data3 && cycle == collector::cycles && more != 0; }
};
Verified verified[F_COUNT];

[[gnu::noinline]] bool verify_numbers(const Cell& op, FastOp f) {
    Cell callee = op;
    callee.header = (op.header & ~0x00FF00FFu) | native::source_type(&op);
    Cell cache = *cache_slot(&callee);
    if (cache.type() != TYPE_BLOCK || tail_of(&cache) != 2) return false;  // the call builds it
    for (uint32_t i = 0; i < 2; ++i) {
        Cell entry = at(&cache, i);
        if (entry.type() != TYPE_TYPESET || ((entry.header >> KIND_SHIFT) & 3) != KIND_NORMAL ||
            !typeset::has_q(&entry, TYPE_INTEGER) || (!integers_only(f) && !typeset::has_q(&entry, TYPE_FLOAT)))
            return false;
    }
    verified[f] = Verified{op.data3, collector::cycles};
    return true;
}

[[gnu::always_inline]] inline bool takes_numbers(const Cell& op, FastOp f) {
    return verified[f].of(op) || verify_numbers(op, f);
}

// The op! that the word w holds, if it holds one: what makes the
// expression before it its left operand.
inline bool op_of(const Cell& w, Cell* op) {
    if (w.type() != TYPE_WORD || w.ctx() == 0 || w.index() < 0) return false;
    if (context::cell_of(w.ctx())->data2 == 0) return false;
    Cell* slot = context::value_at(w.ctx(), static_cast<uint32_t>(w.index()));
    if (!slot || slot->type() != TYPE_OP) return false;
    *op = *slot;
    return true;
}
inline bool op_at(const Cell* code, uint32_t p, Cell* w, Cell* op) { return fetch_at(code, p, w) && op_of(*w, op); }

// The value of the op on left and the cell c, its right operand, computed
// in place when c is a number or a word holding one and nothing can raise.
[[gnu::always_inline]] inline bool fast_infix(const Cell& op, const Cell& left, Cell c, Cell* r) {
    uint32_t t = left.type();
    if (t != TYPE_INTEGER && t != TYPE_FLOAT) return false;
    if (c.type() == TYPE_WORD) {
        const Cell* v = context::peek(&c, c.ctx());
        if (!v) return false;
        c = *v;
    }
    if (c.type() != t) return false;
    FastOp f = fast_op_of(op);
    return f != F_NONE && compute(f, left, c, r) && takes_numbers(op, f);
}
inline bool fast_infix(const Cell& op, const Cell& left, const Cell* code, uint32_t p, Cell* r) {
    Cell right;
    return fetch_at(code, p, &right) && fast_infix(op, left, right, r);
}

// Cells whose evaluation is more than the cell itself (unset: a set-word
// refuses it), and the values a word does not simply stand for.
constexpr typesets::Mask EVALUATED =
    typesets::of({TYPE_UNSET, TYPE_PAREN, TYPE_WORD, TYPE_SET_WORD, TYPE_LIT_WORD, TYPE_GET_WORD, TYPE_LIT_PATH,
                  TYPE_GET_PATH, TYPE_PATH, TYPE_SET_PATH, TYPE_ISSUE, TYPE_NATIVE, TYPE_ACTION, TYPE_FUNCTION,
                  TYPE_ROUTINE, TYPE_OP});
constexpr typesets::Mask NOT_PLAIN =
    typesets::of({TYPE_UNSET, TYPE_LIT_WORD, TYPE_NATIVE, TYPE_ACTION, TYPE_FUNCTION, TYPE_ROUTINE, TYPE_OP});

// The value of the cell c when reading it can neither raise nor call: a
// literal, or a word holding a value that it simply stands for.
[[gnu::always_inline]] inline bool simple_cell(const Cell& c, Cell* out) {
    uint32_t t = c.type();
    if (t != TYPE_WORD) {
        *out = c;
        return !in(EVALUATED, t);
    }
    const Cell* v = context::peek(&c, c.ctx());
    if (!v || in(NOT_PLAIN, v->type())) return false;
    *out = *v;
    return true;
}
inline bool simple_value(const Cell* code, uint32_t p, Cell* out) {
    Cell c;
    return fetch_at(code, p, &c) && simple_cell(c, out);
}

// The value of a whole expression at p of the n cells made of simple
// operands and ops computed in place, and where it ends; false when any of
// it needs the evaluator (nothing has been evaluated then). An operand is a
// simple cell or, up to `depth` deep, a paren holding one such expression.
// Nothing here allocates, so the cells are resolved once.
template <int depth>
bool simple_run(const Cell* cells, uint32_t n, uint32_t p, Cell* out, uint32_t* next);

template <int depth>
[[gnu::always_inline]] inline bool simple_operand(const Cell& c, Cell* out) {
    if (c.type() != TYPE_PAREN) return simple_cell(c, out);
    if constexpr (depth == 0) {
        return false;
    } else {
        SeriesBuffer* s = series_of(&c);
        uint32_t n = cell_count(s), end;
        return c.head() < n &&
               simple_run<depth - 1>(reinterpret_cast<const Cell*>(s->offset_addr()), n, c.head(), out, &end) &&
               end == n;
    }
}

template <int depth>
[[gnu::always_inline]] inline bool simple_run(const Cell* cells, uint32_t n, uint32_t p, Cell* out, uint32_t* next) {
    // A first look at the types alone: a word followed by what can be no
    // simple right operand ends the attempt before any look-up (the word
    // may be no op, so this gives up a few simple cases to stay cheap).
    for (uint32_t q = p + 1; q + 1 < n && cells[q].type() == TYPE_WORD; q += 2) {
        uint32_t t = cells[q + 1].type();
        if (t != TYPE_WORD && t != TYPE_INTEGER && t != TYPE_FLOAT && (depth == 0 || t != TYPE_PAREN)) return false;
    }
    if (p >= n || !simple_operand<depth>(cells[p], out)) return false;
    ++p;
    Cell op, r, right;
    while (p < n && op_of(cells[p], &op)) {
        if (p + 1 >= n) return false;
        const Cell* c = &cells[p + 1];
        if (c->type() == TYPE_PAREN) {
            if (!simple_operand<depth>(*c, &right)) return false;
            c = &right;
        }
        if (!fast_infix(op, *out, *c, &r)) return false;
        *out = r;
        p += 2;
    }
    *next = p;
    return true;
}

// The value of a simple expression at p whose first op, at p + 1, is
// known to hold op (the operands hold no paren): simple_run<0> without its
// first look-up.
[[gnu::always_inline]] inline bool simple_ops(const Cell* cells, uint32_t n, uint32_t p, Cell op, Cell* out,
                                              uint32_t* next) {
    if (!simple_cell(cells[p], out)) return false;
    for (++p;; p += 2) {
        Cell r;
        if (p + 1 >= n || !fast_infix(op, *out, cells[p + 1], &r)) return false;
        *out = r;
        if (p + 2 >= n || !op_of(cells[p + 2], &op)) break;
    }
    *next = p + 2;
    return true;
}

// The value of the simple expression at p, before n (no paren among its
// operands): a lone value that no op follows, or values and the ops
// between them computed in place; false when any of it needs the
// evaluator (nothing has been evaluated then).
[[gnu::always_inline]] inline bool simple_at(const Cell* cells, uint32_t n, uint32_t p, Cell* out, uint32_t* next) {
    Cell op;
    if (p + 1 >= n || cells[p + 1].type() != TYPE_WORD || !op_of(cells[p + 1], &op)) {
        *next = p + 1;
        return simple_cell(cells[p], out);
    }
    return simple_ops(cells, n, p, op, out, next);
}

// ---- Compiled simple expressions ----------------------------------------------------
// A simple expression met again is kept as a list of steps, one per cell (a
// paren's step is followed by those of its cells): literal, word operand,
// op. The code series is marked (SERIES_COMPILED) and stamped with a
// version when steps are made from it; every writer of a block's cells
// clears the mark, so the steps hold while the mark is on and the stamp is
// the one they were made under (a node freed and handed to another series
// starts unmarked, and is stamped anew). A paren's cells live in a series of
// their own: their steps compare each cell with the code at every run. When
// the steps fail the expression is read as above and its steps made again. What may change without
// touching the code is looked at again at every run, as the reader does: a
// word's value, whether an op word still holds the same op, the types the op
// is computed for, whether the word after the expression has become an op.
//
// A word's value cell is found once and its address kept while
// memory::moves stays as it was (no buffer has moved or gone since); a word
// of a function's context keeps the address of the context cell, which
// gives the active call's values in two more loads. The steps hold no
// reference the collector must know of: a cell copy is only compared with a
// live cell of the code, never followed, and a kept address is only used
// after such a comparison, while no buffer has moved.
namespace compiled {

enum StepKind : uint8_t { S_LIT, S_WORD, S_OP };

struct Step {
    Cell cell;              // the code cell, as when the steps were made
    const Cell* slot;       // its word's value cell (a heap context), or null
    const Cell* ctx_cell;   // its word's context cell (a context on the stack), or null
    uint32_t op_header;     // S_OP: the op! cell's header, entry id and more node
    uint32_t op_entry;
    uint32_t op_more;
    uint8_t kind;
    uint8_t fop;            // S_OP: the op computed
    uint8_t paren;          // a paren's step: the cells of its contents, whose steps follow
};

constexpr uint32_t MAX_STEPS = 12;

struct Entry {
    Node node = 0;       // the code series
    uint32_t version = 0;  // its stamp when the steps were made
    uint32_t p = 0;      // the expression's index there
    uint32_t end = 0;    // the index after it
    uint32_t moves = 0;  // memory::moves when the addresses were found
    uint8_t count = 0;   // its steps; 0 while it has only been met once
    uint8_t parens = 0;  // whether a step is a paren's
    uint8_t unfit = 0;   // too long for the steps: read every time
    uint8_t misses = 0;  // not simple when last read (counts the meetings since)
    uint8_t target = 0;  // a set-word's value: `to` is its word's step (made with the steps)
    Step to;
    Step steps[MAX_STEPS];
};

constexpr uint32_t TABLE_BITS = 10;  // direct-mapped: a collision replaces
Entry table[1u << TABLE_BITS];

// The stamps of marked code series, direct-mapped by node: a collision
// replaces, which only makes the other series' steps fail.
struct Stamp {
    Node node = 0;
    uint32_t version = 0;
};
Stamp stamps[1u << 12];
uint32_t versions = 0;

inline Stamp& stamp_for(Node node) { return stamps[(node * 0x9E3779B1u) >> 20]; }

// Whether the code series s (node) holds the cells the entry's steps were
// made from.
[[gnu::always_inline]] inline bool unchanged(const Entry& e, const SeriesBuffer* s, Node node) {
    const Stamp& st = stamp_for(node);
    return (s->flags & SERIES_COMPILED) && st.node == node && st.version == e.version;
}

// Marks and stamps the code series for steps made from it now. When the
// versions wrap, every entry is forgotten, so that none can be taken for
// one made under a new version.
inline uint32_t stamp(SeriesBuffer* s, Node node) {
    Stamp& st = stamp_for(node);
    if (!(s->flags & SERIES_COMPILED) || st.node != node) {
        if (++versions == 0) {
            for (Entry& e : table) e.count = 0;
            for (Stamp& other : stamps) other = Stamp{};
            versions = 1;
        }
        st = Stamp{node, versions};
        s->flags |= SERIES_COMPILED;
    }
    return st.version;
}

inline Entry& entry_for(Node node, uint32_t p) {
    return table[(node * 0x9E3779B1u + p * 0x85EBCA77u) >> (32 - TABLE_BITS)];
}

// An expression read before and found not simple (`x: f a`) is read again
// only at every 32nd meeting, in case what its words hold has changed.
inline bool skip_reading(Entry& e) { return e.misses != 0 && (++e.misses & 31) != 0; }

[[gnu::always_inline]] inline bool same(const Cell& a, const Cell& b) {
    uint64_t a0, a1, b0, b1;
    std::memcpy(&a0, &a, 8);
    std::memcpy(&a1, reinterpret_cast<const char*>(&a) + 8, 8);
    std::memcpy(&b0, &b, 8);
    std::memcpy(&b1, reinterpret_cast<const char*>(&b) + 8, 8);
    return ((a0 ^ b0) | (a1 ^ b1)) == 0;
}

// Finds the value cell or the context cell of a word step (its cell a live
// cell of the code); false when its word has no value cell now.
bool resolve(Step& s) {
    s.slot = nullptr;
    s.ctx_cell = nullptr;
    if (s.kind == S_LIT) return true;
    const Cell& w = s.cell;
    if (w.ctx() == 0 || w.index() < 0) return false;
    const Cell* c = context::cell_of(w.ctx());
    if (c->header & FLAG_CTX_ON_STACK) {
        s.ctx_cell = c;
        return true;
    }
    s.slot = context::peek(&w, w.ctx());
    return s.slot != nullptr;
}

// The value cell of a word step, or null.
[[gnu::always_inline]] inline const Cell* value_of(const Step& s) {
    if (s.slot) return s.slot;
    uint32_t v = s.ctx_cell->data2;
    return v ? stack::bottom + (v - 1) + s.cell.index() : nullptr;
}

// One operand cell c by its step (no paren); `checked` when c is not known
// to be the cell the step was made from.
template <bool checked>
[[gnu::always_inline]] inline bool operand(const Step& s, const Cell& c, Cell* v) {
    if (checked && !same(c, s.cell)) return false;
    if (s.kind == S_LIT) {
        *v = c;
        return true;
    }
    const Cell* x = value_of(s);
    if (!x || ((NOT_PLAIN.bits >> x->type()) & 1)) return false;  // types are below 64
    *v = *x;
    return true;
}

// The op word cell w by its step: its op, still the one the steps were made for.
template <bool checked>
[[gnu::always_inline]] inline bool op_step(const Step& s, const Cell& w, Cell* op) {
    if (checked && !same(w, s.cell)) return false;
    const Cell* x = value_of(s);
    if (!x || x->header != s.op_header || x->data1 != s.op_entry || x->data3 != s.op_more) return false;
    *op = *x;
    return true;
}

// The n cells from `cells` (no paren among them): an operand, then ops
// with their right operands; s is advanced past their steps.
template <bool checked>
[[gnu::always_inline]] inline bool flat_chain(const Step*& s, const Cell* cells, uint32_t n, Cell* out) {
    if (!operand<checked>(*s, cells[0], out)) return false;
    ++s;
    for (uint32_t i = 1; i < n; i += 2) {
        Cell op, right, r;
        if (!op_step<checked>(*s, cells[i], &op)) return false;
        FastOp f = static_cast<FastOp>(s->fop);
        ++s;
        if (!operand<checked>(*s, cells[i + 1], &right) || !compute(f, *out, right, &r) || !takes_numbers(op, f))
            return false;
        ++s;
        *out = r;
    }
    return true;
}

// An operand at the top of the expression, which may be a paren.
[[gnu::always_inline]] inline bool top_operand(const Step*& s, const Cell& c, Cell* v) {
    if (!s->paren) {
        bool ok = operand<false>(*s, c, v);
        ++s;
        return ok;
    }
    SeriesBuffer* b = series_of(&c);
    uint32_t k = s->paren;
    if (cell_count(b) != c.head() + k) return false;
    ++s;
    return flat_chain<true>(s, reinterpret_cast<const Cell*>(b->offset_addr()) + c.head(), k, v);
}

// The whole expression of the entry, from cells (the code's cells from p).
[[gnu::always_inline]] inline bool run(const Entry& e, const Cell* cells, Cell* out) {
    const Step* s = e.steps;
    uint32_t n = e.end - e.p;
    if (!e.parens) return flat_chain<false>(s, cells, n, out);
    if (!top_operand(s, cells[0], out)) return false;
    for (uint32_t i = 1; i < n; i += 2) {
        Cell op, right, r;
        if (!op_step<false>(*s, cells[i], &op)) return false;
        FastOp f = static_cast<FastOp>(s->fop);
        ++s;
        if (!top_operand(s, cells[i + 1], &right) || !compute(f, *out, right, &r) || !takes_numbers(op, f)) return false;
        *out = r;
    }
    return true;
}

// Makes the steps of the expression cells[p..end) of the code series b
// (node), which the reader above has just read as a simple expression;
// false when they do not fit.
bool record(Entry& e, SeriesBuffer* b, Node node, const Cell* cells, uint32_t p, uint32_t end) {
    uint32_t count = 0;
    bool parens = false;
    auto add = [&](const Cell& c, bool is_op) -> bool {
        if (count == MAX_STEPS) return false;
        Step& s = e.steps[count++];
        s.cell = c;
        s.paren = 0;
        s.kind = is_op ? S_OP : c.type() == TYPE_WORD ? S_WORD : S_LIT;
        if (!resolve(s)) return false;
        if (!is_op) return true;
        Cell op;
        if (!op_of(c, &op)) return false;
        s.op_header = op.header;
        s.op_entry = op.data1;
        s.op_more = op.data3;
        s.fop = static_cast<uint8_t>(fast_op_of(op));
        return s.fop != F_NONE;
    };
    for (uint32_t i = p; i < end; ++i) {
        const Cell& c = cells[i];
        bool is_op = (i - p) & 1;
        if (is_op || c.type() != TYPE_PAREN) {
            if (!add(c, is_op)) return false;
            continue;
        }
        SeriesBuffer* b = series_of(&c);
        uint32_t k = cell_count(b) - c.head();
        if (count == MAX_STEPS || k == 0 || k > MAX_STEPS) return false;
        Step& s = e.steps[count++];
        s.cell = c;
        s.kind = S_LIT;
        s.slot = nullptr;
        s.ctx_cell = nullptr;
        s.paren = static_cast<uint8_t>(k);
        parens = true;
        const Cell* inner = reinterpret_cast<const Cell*>(b->offset_addr()) + c.head();
        for (uint32_t j = 0; j < k; ++j)
            if (inner[j].type() == TYPE_PAREN || !add(inner[j], j & 1)) return false;
    }
    e.version = stamp(b, node);
    e.count = static_cast<uint8_t>(count);
    e.target = 0;
    e.parens = parens;
    e.end = end;
    e.moves = memory::moves;
    return true;
}

// With compilation forced (the test mode), steps that the mark says hold
// are compared with the code: a writer that left the mark on is a fault.
[[gnu::noinline]] bool same_or_abort(const Cell& code, const Cell& kept) {
    if (same(code, kept)) return true;
    std::fputs("zem: compiled steps outlived a change of their block\n", stderr);
    std::abort();
}
[[gnu::noinline]] void verify(const Entry& e, const Cell* cells) {
    const Step* s = e.steps;
    for (uint32_t i = e.p; i < e.end; s += 1 + s->paren, ++i) same_or_abort(cells[i], s->cell);
}

}  // namespace compiled

// The value of the expression at p of a block of n cells from its entry's
// steps; false when they no longer hold. After a move the kept addresses,
// and the handles of the kept cells, may name what is gone: the steps are
// made again then.
[[gnu::always_inline]] inline bool from_steps(const compiled::Entry& e, const SeriesBuffer* b, Node node,
                                              const Cell* cells, uint32_t n, uint32_t p, Cell* out) {
    uint32_t end = e.end;
    Cell op;
    if (!(e.moves == memory::moves && compiled::unchanged(e, b, node))) return false;
    if (compile_mode == Compile::always) compiled::verify(e, cells);
    return compiled::run(e, cells + p, out) && !(end < n && op_of(cells[end], &op));
}

// An argument's simple expression holds no paren; a set-word's (the
// common `x: x + (y * 2)`) may hold parens without further ones inside,
// and met again it is run from its compiled steps.
template <int depth>
[[gnu::noinline]] bool simple_expression(const Cell* code, uint32_t p, Cell* out, uint32_t* next) {
    SeriesBuffer* s = series_of(code);
    const Cell* cells = reinterpret_cast<const Cell*>(s->offset_addr());
    uint32_t n = cell_count(s);
    // An argument's expression is short (`n - 1`): the reader is as quick
    // as its steps there.
    if (depth == 0 || compile_mode == Compile::off) return simple_run<depth>(cells, n, p, out, next);
    Node node = code->node();
    compiled::Entry& e = compiled::entry_for(node, p);
    bool known = e.node == node && e.p == p;
    if (known && e.count != 0) {
        if (from_steps(e, s, node, cells, n, p, out)) {
            *next = e.end;
            return true;
        }
        e.count = 0;  // made again below when the reader succeeds
        e.unfit = 0;
    } else if (known && compiled::skip_reading(e)) {
        return false;
    }
    bool simple = simple_run<depth>(cells, n, p, out, next);
    if (!known) {
        e.node = node;
        e.p = p;
        e.count = 0;
        e.unfit = 0;
    }
    e.misses = !simple;
    if (!simple || (!known && compile_mode != Compile::always)) return simple;
    if (!e.unfit && !compiled::record(e, s, node, cells, p, *next)) {
        e.count = 0;
        e.unfit = 1;
    }
    return true;
}

// The k-th argument word (word, lit-word, get-word, refinement) of this spec.
Cell argument_word(const Cell* fn, uint32_t k) {
    Cell spec = function::spec_of(fn);
    uint32_t n = tail_of(&spec);
    for (uint32_t i = 0; i < n; ++i) {
        Cell c = at(&spec, i);
        uint32_t t = c.type();
        if (t == TYPE_WORD || t == TYPE_GET_WORD || t == TYPE_LIT_WORD || t == TYPE_REFINEMENT) {
            if (k == 0) {
                set_type(&c, TYPE_WORD);
                return c;
            }
            --k;
        }
    }
    return words::anon;
}

[[noreturn]] void expect_arg(const Cell* name, const Cell* fn, uint32_t k, const Cell* value) {
    Cell n = *name, dt, w = argument_word(fn, k);
    datatype::make_at(&dt, value->type());
    fire(err::EXPECT_ARG, &n, &dt, &w);
}

// Whether a native is `if`, `unless` or `either` (entry ids 1 to 3), which
// the evaluator runs in place.
inline bool conditional_q(const Cell& native) { return native.data1 - native_id::if_ <= native_id::either - native_id::if_; }

// A call named by a word of the code (eval_call without a path, mode or
// infix left operand), and the infix ops after a value kept at start;
// defined below.
Unwind eval_word_call(const Cell* callable, const Cell* code, uint32_t p, bool keep, const Cell* name, uint32_t* next);
Unwind ops_after(const Cell* code, uint32_t p, Cell* start, uint32_t* next);

struct Call {
    const Cell* fn;
    const Cell* code;
    const Cell* name;
    uint32_t* p;
    bool infix;
    bool one_value;  // each argument is the one value at its position
    bool fill_none;  // refinements follow in the code: arguments past its end are none
};

// Fetches one argument onto the stack top, by its cache entry. Inlined in
// the argument loop of every call: a call per argument costs more than
// the fetch itself.
[[gnu::always_inline]] inline Unwind fetch_arg(const Call& call, const Cell& entry, uint32_t k) {
    uint32_t kind = (entry.header >> KIND_SHIFT) & 3;
    uint32_t& p = *call.p;
    if (p >= tail_of(call.code)) {
        if (call.fill_none) {
            Cell n = none_cell();
            stack::push(&n);
            return Unwind::none;
        }
        if (kind == KIND_LIT && typeset::has_q(&entry, TYPE_UNSET)) {
            Cell u = unset_cell();
            stack::push(&u);
            return Unwind::none;
        }
        Cell n = *call.name, w = argument_word(call.fn, k);
        fire(err::NO_ARG, &n, &w);
    }
    switch (kind) {
        case KIND_GET: {
            Cell v = at(call.code, p++);
            stack::push(&v);
            break;
        }
        case KIND_LIT: {
            Cell v = at(call.code, p);
            if (v.type() == TYPE_PAREN) {
                Unwind u = eval_expression(call.code, p, true, true, false, &p);
                if (u != Unwind::none) return u;
            } else if (v.type() == TYPE_GET_WORD) {
                ++p;
                Cell x = *context::get(&v);
                stack::push(&x);
            } else if (v.type() == TYPE_GET_PATH) {
                ++p;
                Unwind u = eval_path(&v, call.code, p, false, true, true, nullptr, &p);
                if (u != Unwind::none) return u;
            } else {
                ++p;
                stack::push(&v);
            }
            break;
        }
        default: {
            if (call.one_value) {
                Cell v = at(call.code, p++);
                if (v.type() == TYPE_WORD || v.type() == TYPE_GET_WORD) v = *context::get(&v);
                stack::push(&v);
                break;
            }
            // A simple argument is pushed as the evaluation would push it:
            // a lone value (a literal or a plain word that no op follows),
            // or a simple expression of such values and ops.
            Cell v;
            uint32_t end = p + 1;
            if (!tracing) {
                SeriesBuffer* s = series_of(call.code);
                const Cell* cells = reinterpret_cast<const Cell*>(s->offset_addr());
                uint32_t n = cell_count(s);
                if (call.infix ? simple_cell(cells[p], &v) : simple_at(cells, n, p, &v, &end)) {
                    p = end;
                    stack::push(&v);
                    break;
                }
                // A call named by a word (`f x`, `length? s`) is made as
                // eval_expression makes it, without entering that.
                const Cell* f = cells[p].type() == TYPE_WORD ? context::peek(&cells[p], cells[p].ctx()) : nullptr;
                if (f && in(CALLED, f->type()) && !(f->type() == TYPE_NATIVE && conditional_q(*f))) {
                    Cell fn = *f, name = cells[p];
                    Cell* start = stack::top;
                    Unwind u = eval_word_call(&fn, call.code, p + 1, true, &name, &p);
                    if (u == Unwind::none && !call.infix) u = ops_after(call.code, p, start, &p);
                    if (u != Unwind::none) return u;
                    break;
                }
            }
            Unwind u = eval_expression(call.code, p, call.infix, true, false, &p);
            if (u != Unwind::none) return u;
        }
    }
    Cell* v = stack::top - 1;
    if (!typeset::has_q(&entry, v->type())) expect_arg(call.name, call.fn, k, v);
    return Unwind::none;
}

struct Refinement {
    uint32_t symbol;    // canonical
    uint32_t ordinal;   // from 1
    uint32_t word;      // its position among the argument words
    uint32_t first;     // cache index of its first argument entry
    uint32_t count;     // its argument entries
    uint32_t frame;     // cell offset of its slot (functions) or first argument
    bool active;
};

// Activates refinement r of the call and fetches its arguments into their
// cells of the frame.
Unwind activate(const Call& call, const Cell& cache, Refinement& r, bool function_like, int32_t* refs,
                uint32_t first_word) {
    r.active = true;
    Cell* base = stack::arguments;
    uint32_t offset = r.frame;
    if (function_like) {
        base[offset] = Cell{TYPE_LOGIC, 1, 0, 0};
        ++offset;
    } else {
        refs[r.ordinal - 1] = static_cast<int32_t>(offset);
    }
    for (uint32_t j = 0; j < r.count; ++j) {
        Cell entry = at(&cache, r.first + j);
        Unwind u = fetch_arg(call, entry, first_word + j);
        if (u != Unwind::none) return u;
        Cell v = *(stack::top - 1);
        stack::pop(1);
        stack::arguments[offset + j] = v;
    }
    return Unwind::none;
}

// Calls the entry point of a native or action whose arguments are in the
// current frame, with its refinement positions (inlined in both callers).
[[gnu::always_inline]] inline Unwind call_native(const Call& call, const int32_t* refs) {
    if (tracing) fire_event(event::call, call.code, static_cast<int32_t>(*call.p), call.fn, call.name);
    if (!in(NATIVE_LIKE, call.fn->type())) return Unwind::none;
    NativeEntry entry = native::entry_of(call.fn);
    if (!entry) fire(err::NOT_DONE);
    try {
        return entry(false, refs);
    } catch (const UnwindThrown& u) {
        return u.code;
    } catch (const std::bad_alloc&) {
        // A C++ container of the native that could not grow fails as a
        // series does; `try` cuts the stacks back from this frame.
        fire(err::NO_MEMORY);
    } catch (const std::length_error&) {
        fire(err::NO_MEMORY);
    }
}

// The refinement positions of a call with none in its spec, all absent.
constexpr int32_t NO_REFINEMENTS[MAX_REFINEMENTS] = {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1,
                                                     -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};

// The rest of eval_arguments once the plain arguments are fetched, for a
// plain call (`append b x`) of a spec with refinements or locals (cache
// entry i on): no refinement can be named, so each one is off, its
// arguments none, the locals none.
[[gnu::noinline]] Unwind plain_refinements(const Call& call, const Cell& cache, uint32_t i) {
    bool function_like = !in(NATIVE_LIKE, call.fn->type());
    uint32_t n = tail_of(&cache);
    Cell none = none_cell(), off{TYPE_LOGIC, 0, 0, 0};
    const Cell* entries = cells_of(&cache);  // nothing here allocates
    const Cell& last = entries[n - 1];
    if (!function_like && last.type() == TYPE_INTEGER) {
        // A native's or action's refinements leave their argument cells
        // only, counted in the cache's last entry.
        if (last.int_value() > static_cast<int32_t>(MAX_REFINEMENTS)) {
            Cell r = last;
            fire(err::LIMIT_HIT, &r);
        }
        for (uint32_t j = 0; j < last.data3; ++j) stack::push(&none);
        return call_native(call, NO_REFINEMENTS);
    }
    uint32_t count = 0;
    for (; i < n; ++i) {
        const Cell& entry = entries[i];
        switch (entry.type()) {
            case TYPE_REFINEMENT:
                if (count++ == MAX_REFINEMENTS) {
                    Cell r = entry;
                    fire(err::LIMIT_HIT, &r);
                }
                if (function_like) stack::push(&off);
                break;
            case TYPE_TYPESET:
                if (((entry.header >> KIND_SHIFT) & 3) != KIND_RETURN) stack::push(&none);
                break;
            case TYPE_INTEGER:
                if (function_like) function::init_locals(static_cast<uint32_t>(entry.int_value()));
                break;
            default: break;
        }
    }
    return call_native(call, NO_REFINEMENTS);
}

// The same for a call that may name refinements, through a path or in the
// code: gives every refinement its cells, activates those named and makes
// the call. Out of line so that its tables (sized for the most refinements
// a spec may have) do not weigh on the frame of every plain call.
[[gnu::noinline]] Unwind eval_refinements(const Call& call, const Cell& cache, uint32_t i, uint32_t k,
                                          const Cell* path, uint32_t ref_start, uint32_t mode) {
    bool function_like = !in(NATIVE_LIKE, call.fn->type());
    uint32_t n = tail_of(&cache);
    int32_t refs[MAX_REFINEMENTS];
    for (int32_t& r : refs) r = -1;

    // Every refinement gets its cells now (absent: false / none); those
    // named in the path or the code are filled afterwards.
    Refinement list[MAX_REFINEMENTS];
    uint32_t words_of[MAX_REFINEMENTS];
    uint32_t count = 0;
    Cell none = none_cell();
    while (i < n) {
        Cell entry = at(&cache, i);
        if (entry.type() == TYPE_REFINEMENT) {
            if (count == MAX_REFINEMENTS) fire(err::LIMIT_HIT, &entry);
            Refinement& r = list[count];
            r.symbol = symbol::resolve(entry.symbol());
            r.ordinal = entry.data3;
            r.word = k++;
            r.first = i + 1;
            r.count = 0;
            r.frame = static_cast<uint32_t>(stack::top - stack::arguments);
            r.active = false;
            if (function_like) {
                Cell f{TYPE_LOGIC, 0, 0, 0};
                stack::push(&f);
            }
            for (++i; i < n && at(&cache, i).type() == TYPE_TYPESET; ++i) {
                if (((at(&cache, i).header >> KIND_SHIFT) & 3) == KIND_RETURN) continue;
                ++r.count;
                ++k;
                stack::push(&none);
            }
            words_of[count] = r.word + 1;
            ++count;
            continue;
        }
        if (entry.type() == TYPE_INTEGER && function_like) function::init_locals(static_cast<uint32_t>(entry.int_value()));
        ++i;
    }

    auto find = [&](uint32_t symbol) -> Refinement* {
        uint32_t s = symbol::resolve(symbol);
        for (uint32_t j = 0; j < count; ++j)
            if (list[j].symbol == s) return &list[j];
        return nullptr;
    };

    if (mode & MODE_PATH) {
        uint32_t pn = tail_of(path);
        for (uint32_t j = path->head() + ref_start; j < pn; ++j) {
            Cell el = at(path, j);
            bool on = true;
            if (el.type() == TYPE_GET_WORD) {
                on = truthy(context::get(&el));
            } else if (el.type() != TYPE_WORD) {
                fire(err::BAD_REFINE, &el);
            }
            Refinement* r = find(el.symbol());
            if (!r) {
                Cell nm = *call.name;
                fire(err::NO_REFINE, &nm, &el);
            }
            if (r->active) {
                Cell pth = *path;
                fire(err::DUP_REFINE, &pth);
            }
            if (!on) continue;
            Unwind u = activate(call, cache, *r, function_like, refs, words_of[r - list]);
            if (u != Unwind::none) return u;
        }
    }
    if (mode & MODE_CODE) {
        uint32_t& p = *call.p;
        while (p < tail_of(call.code)) {
            Cell el = at(call.code, p);
            if (el.type() != TYPE_REFINEMENT) break;
            Refinement* r = find(el.symbol());
            if (!r) break;
            ++p;
            if (r->active) fire(err::DUP_REFINE, &el);
            Unwind u = activate(call, cache, *r, function_like, refs, words_of[r - list]);
            if (u != Unwind::none) return u;
        }
    }
    return call_native(call, refs);
}

// Fetches the arguments of the call into the current frame and, for a
// native or action, calls its entry point. Inlined in eval_call.
[[gnu::always_inline]] inline Unwind eval_arguments(const Call& call, const Cell* path, uint32_t ref_start, uint32_t mode) {
    const Cell* fn = call.fn;
    if (call.infix) ++stack::top;  // the left operand is the first argument
    Cell cache = cache_of(fn);
    uint32_t n = tail_of(&cache);
    // Held while the arguments are fetched: the collector pins a buffer
    // that a C++ local points into.
    const Cell* entries = cells_of(&cache);

    uint32_t i = 0, k = 0;
    for (; i < n; ++i) {
        const Cell& entry = entries[i];
        if (entry.type() != TYPE_TYPESET) break;
        uint32_t kind = (entry.header >> KIND_SHIFT) & 3;
        if (kind == KIND_RETURN) continue;
        if (call.infix && k == 0) {
            if (!typeset::has_q(&entry, stack::arguments->type())) expect_arg(call.name, fn, 0, stack::arguments);
        } else {
            Unwind u = fetch_arg(call, entry, k);
            if (u != Unwind::none) return u;
        }
        ++k;
    }
    if (i < n || (mode & MODE_PATH))
        return mode & (MODE_PATH | MODE_CODE) ? eval_refinements(call, cache, i, k, path, ref_start, mode)
                                              : plain_refinements(call, cache, i);
    // No refinements (a refinement in the code then ends the call: it is
    // not this callable's) and no locals.
    return call_native(call, NO_REFINEMENTS);
}

// The call of a library op (fast_op_of f) whose left operand, a number
// the op takes, is at start and whose right operand needs evaluating: laid
// out as eval_call lays it out (frame, right operand fetched and checked),
// then computed in place when it can be, else the op's entry is called.
[[gnu::noinline]] Unwind eval_infix_op(const Cell& op, FastOp f, const Cell* word, const Cell* code, uint32_t p,
                                       bool keep, Cell* start, uint32_t* next) {
    stack::check_depth();
    Cell fn = op;
    fn.header = (op.header & ~0x00FF00FFu) | native::source_type(&op);
    Cell name = *word;
    stack::mark_interp_native(&name);
    ++stack::top;  // the left operand is the first argument
    Call call{&fn, code, &name, &p, true, false, false};
    Cell cache = cache_of(&fn);
    Unwind u = fetch_arg(call, at(&cache, 1), 1);
    if (u != Unwind::none) return u;
    Cell r;
    if (tracing || !compute(f, stack::arguments[0], stack::arguments[1], &r)) {
        u = call_native(call, NO_REFINEMENTS);
        if (u != Unwind::none) return u;
        r = *stack::arguments;
    }
    stack::unwind();
    if (tracing) fire_event(event::return_, code, static_cast<int32_t>(p), &r, &name);
    finish(start, r, keep);
    *next = p;
    return Unwind::none;
}

// Whether the native's spec is the plain one that `if`, `unless` and
// `either` are made with: `arity` arguments, none of them a get-word or
// lit-word, no refinement. Remembered per entry as verified[] is.
// `condition` is the set of types its condition takes, or 0 when a branch
// argument refuses a block.
struct VerifiedConditional : Verified {
    uint64_t condition = 0;
};

// The datatypes (below 64) a typeset cell of an argument cache takes.
uint64_t types_of(const Cell& typeset) {
    uint64_t types = 0;
    for (uint32_t t = 0; t < 64; ++t)
        if (typeset::has_q(&typeset, t)) types |= uint64_t{1} << t;
    return types;
}
VerifiedConditional verified_conditional[native_id::either + 1];

inline Unwind run_expressions(const Cell* block, uint32_t* end);

[[gnu::noinline]] bool verify_conditional(const Cell& fn, uint32_t arity) {
    Cell cache = cache_of(&fn);
    if (tail_of(&cache) != arity) return false;
    for (uint32_t i = 0; i < arity; ++i) {
        Cell entry = at(&cache, i);
        if (entry.type() != TYPE_TYPESET || ((entry.header >> KIND_SHIFT) & 3) != KIND_NORMAL) return false;
    }
    uint64_t condition = types_of(at(&cache, 0));
    for (uint32_t i = 1; i < arity; ++i) {
        Cell entry = at(&cache, i);
        if (!typeset::has_q(&entry, TYPE_BLOCK)) condition = 0;
    }
    verified_conditional[fn.data1] = VerifiedConditional{{fn.data3, collector::cycles}, condition};
    return true;
}

// The branch of one simple expression (such as `[n]`), which raises
// nothing: its value, taken without walking the block.
[[gnu::always_inline]] inline bool simple_branch(const Cell& branch, Cell* out) {
    SeriesBuffer* s = series_of(&branch);
    uint32_t end, n = cell_count(s);
    return n > branch.head() && ((n - branch.head()) & 1) &&
           simple_at(reinterpret_cast<const Cell*>(s->offset_addr()), n, branch.head(), out, &end) && end == n;
}

// Pushes the frame of a conditional, its arguments to follow.
[[gnu::noinline]] void open_conditional(const Cell& fn_in, const Cell* name_in) {
    stack::check_depth();
    Cell fn = fn_in, name = *name_in;
    stack::push(&fn);
    stack::mark_interp_native(&name);
}
// Pushes the frame of a conditional and fetches its arguments as for any
// call. Out of line: the evaluator recurses through eval_conditional, whose
// frame stays small so.
[[gnu::noinline]] Unwind conditional_frame(const Cell& fn_in, const Cell* code, const Cell* name_in, uint32_t arity,
                                           uint32_t* p) {
    open_conditional(fn_in, name_in);
    Cell fn = fn_in, name = *name_in;
    Call call{&fn, code, &name, p, false, false, false};
    Cell cache = cache_of(&fn);
    const Cell* entries = cells_of(&cache);  // pinned while held, as in eval_arguments
    for (uint32_t k = 0; k < arity; ++k) {
        Unwind u = fetch_arg(call, entries[k], k);
        if (u != Unwind::none) return u;
    }
    return Unwind::none;
}

// `if`, `unless` and `either` (native entry id 1 to 3) run here rather than
// through their entries: the same frame, the arguments fetched and checked
// as for any call, and the chosen branch run in that frame, so values,
// errors and the stack line are those of the call. A native made again
// from one of their entries with another spec takes the general call.
Unwind eval_conditional(const Cell* callable, const Cell* code, uint32_t p, bool keep, const Cell* name_in,
                        uint32_t* next) {
    Cell fn = *callable;
    uint32_t id = fn.data1, arity = id == native_id::either ? 3 : 2;
    const VerifiedConditional& known = verified_conditional[id];
    if (!known.of(fn) &&
        !verify_conditional(fn, arity))
        return eval_word_call(&fn, code, p, keep, name_in, next);
    Cell* start = stack::top;
    // The common shape `either n < 2 [n] [...]`: a simple condition and
    // literal blocks that no op follows are the arguments as fetching them
    // would make them. A chosen branch that is simple, or none chosen,
    // needs no frame: nothing there can raise.
    bool fetched = false, run = false;
    Cell branch;  // the branch to run in the frame, when `run`
    if (known.condition) {
        SeriesBuffer* s = series_of(code);
        const Cell* cells = reinterpret_cast<const Cell*>(s->offset_addr());
        uint32_t n = cell_count(s), q;
        Cell condition, op;
        if (simple_run<0>(cells, n, p, &condition, &q) && q + arity - 1 <= n && cells[q].type() == TYPE_BLOCK &&
            (arity == 2 || cells[q + 1].type() == TYPE_BLOCK) && ((known.condition >> condition.type()) & 1) &&
            !(q + arity - 1 < n && op_of(cells[q + arity - 1], &op))) {
            bool chosen = truthy(&condition) != (id == native_id::unless);
            uint32_t after = q + arity - 1;
            Cell val;
            if (!chosen && id != native_id::either) {
                put(none_cell(), keep);
                *next = after;
                return Unwind::none;
            }
            branch = cells[chosen ? q : q + 1];
            if (simple_branch(branch, &val)) {
                put(val, keep);
                *next = after;
                return Unwind::none;
            }
            open_conditional(fn, name_in);
            stack::push(&condition);
            for (uint32_t k = q; k < after; ++k) stack::push(&cells[k]);
            p = after;
            fetched = run = true;
        }
    }
    if (!fetched) {
        Unwind u = conditional_frame(fn, code, name_in, arity, &p);
        if (u != Unwind::none) return u;
        const Cell* a = stack::arguments;
        if (id == native_id::either && a->type() == TYPE_UNSET) fire(err::NO_RETURN);
        bool chosen = truthy(a) != (id == native_id::unless);
        Cell val = none_cell();
        if (chosen || id == native_id::either) {
            branch = a[chosen || id != native_id::either ? 1 : 2];
            run = !simple_branch(branch, &val);
        }
        if (!run) stack::set_last_keep(&val);
    }
    if (run) {
        uint32_t end;
        Unwind u = run_expressions(&branch, &end);
        if (u != Unwind::none) return u;
    }
    Cell r = *stack::arguments;
    stack::unwind();
    finish(start, r, keep);
    *next = p;
    return Unwind::none;
}

// Whether the native's spec is the plain one `return` is made with (one
// argument taking any value), as verified_conditional is remembered.
VerifiedConditional verified_return;

[[gnu::noinline]] bool verify_return(const Cell& fn) {
    Cell cache = cache_of(&fn);
    if (tail_of(&cache) != 1) return false;
    Cell entry = at(&cache, 0);
    if (entry.type() != TYPE_TYPESET || ((entry.header >> KIND_SHIFT) & 3) != KIND_NORMAL) return false;
    verified_return = VerifiedConditional{{fn.data3, collector::cycles}, types_of(entry)};
    return true;
}

// `return` (native entry id 80) of a simple value (`return i`, `return n +
// 1`) lands on its function here, without a frame of its own: nothing
// there can raise. Anything else, or a landing that would raise, is the
// general call.
[[gnu::noinline]] Unwind eval_return(const Cell* callable, const Cell* code, uint32_t p, bool keep, const Cell* name,
                                    uint32_t* next) {
    const Cell& fn = *callable;
    const VerifiedConditional& known = verified_return;
    if (known.of(fn) || verify_return(fn)) {
        SeriesBuffer* s = series_of(code);
        const Cell* cells = reinterpret_cast<const Cell*>(s->offset_addr());
        uint32_t n = cell_count(s), end = p + 1;
        Cell v;
        bool simple = p < n && simple_at(cells, n, p, &v, &end);
        if (simple && ((known.condition >> v.type()) & 1) && stack::return_to(&v)) return Unwind::ret;
    }
    return eval_word_call(callable, code, p, keep, name, next);
}

// Tracing state saved around a function body. A body that switched
// tracing on or off (`trace true`/`trace false`) leaves that choice in force.
struct TraceScope {
    bool saved;
    uint32_t switches;
    explicit TraceScope(uint32_t flags) : saved(tracing), switches(trace_switches) {
        if (flags & function::FLAG_TRACE) tracing = trace_installed();
        if (flags & function::FLAG_NO_TRACE) tracing = false;
    }
    ~TraceScope() { tracing = switches == trace_switches ? saved : trace_enabled; }
};

// The expressions of a block from its index, in the current frame: each
// value replaces the last in its result slot (unset for an empty block).
// *end is the index where they stopped.
// The infix ops that follow a value from p, each taking the value so far as
// its left operand (pushed at start with keep, else in the result slot).
// Inlined in eval_expression.
[[gnu::always_inline]] inline Unwind infix_ops(const Cell* code, uint32_t p, bool keep, Cell* start, uint32_t* next) {
    Unwind u;
    for (;;) {
        Cell w, op;
        if (!op_at(code, p, &w, &op)) break;
        if (tracing) fire_event(event::fetch, code, static_cast<int32_t>(p), nullptr, &w);
        ++p;
        Cell left = keep ? *start : *stack::arguments;
        Cell r;
        FastOp f = F_NONE;
        if (!tracing) {
            if (fast_infix(op, left, code, p, &r)) {
                ++p;
                finish(start, r, keep);
                continue;
            }
            if (left.type() == TYPE_INTEGER || left.type() == TYPE_FLOAT) f = fast_op_of(op);
            if (f != F_NONE && !takes_numbers(op, f)) f = F_NONE;
        }
        stack::top = start;
        *start = left;
        if (f != F_NONE) {
            u = eval_infix_op(op, f, &w, code, p, keep, start, &p);
            if (u != Unwind::none) return u;
            continue;
        }
        Cell callee = op;
        callee.header = (op.header & ~0x00FF00FFu) | native::source_type(&op);
        u = eval_call(&callee, code, p, keep, nullptr, 0, &w, 0, true, &p);
        if (u != Unwind::none) return u;
    }
    *next = p;
    return Unwind::none;
}

// The end of an expression whose value is at start (keep) or in the result
// slot, from p: the infix ops that follow (unless no_infix), the `expr`
// event. Inlined in eval_expression and set_statement.
[[gnu::always_inline]] inline Unwind expression_end(const Cell* code, uint32_t p, bool no_infix, bool keep,
                                                    Cell* start, uint32_t* next) {
    if (!no_infix) {
        Unwind u = infix_ops(code, p, keep, start, &p);
        if (u != Unwind::none) return u;
    }
    if (tracing && !keep) fire_event(event::expr, code, static_cast<int32_t>(p), nullptr, stack::arguments);
    *next = p;
    return Unwind::none;
}

Unwind ops_after(const Cell* code, uint32_t p, Cell* start, uint32_t* next) {
    return expression_end(code, p, false, true, start, next);
}

// The set-word v at at_p whose value, from *p, needs evaluating: under a
// frame named by the word, which names `where` for its errors. Inlined in
// eval_expression and set_statement.
[[gnu::always_inline]] inline Unwind set_word(const Cell& v_in, const Cell* code, uint32_t at_p, bool keep,
                                              Cell* start, uint32_t* p) {
    Cell v = v_in;
    stack::mark_native(&v);
    stack::push(&v);
    if (tracing) fire_event(event::push, code, static_cast<int32_t>(at_p), nullptr, &v);
    if (*p >= tail_of(code)) fire(err::NEED_VALUE, &v);
    Unwind u = eval_expression(code, *p, false, true, false, p);
    if (u != Unwind::none) return u;
    if (tracing) fire_event(event::set, code, static_cast<int32_t>(*p), stack::arguments + 1, &v);
    word::set_star();
    Cell r = *stack::arguments;
    stack::unwind();
    finish(start, r, keep);
    return Unwind::none;
}

// A set-word statement whose value needs evaluating, as eval_expression
// goes on from its set-word case; out of line, off set_statement's path.
[[gnu::noinline]] Unwind set_statement_evaluated(const Cell* code, uint32_t p, uint32_t* next) {
    Cell w = at(code, p);
    Cell* start = stack::top;
    uint32_t q = p + 1;
    Unwind u = set_word(w, code, p, false, start, &q);
    if (u != Unwind::none) return u;
    return expression_end(code, q, false, false, start, next);
}

// A statement of a block that starts with a set-word, untraced: set as the
// set-word case of eval_expression sets it (the value to the result slot),
// without entering that. A simple value met again is run from its steps,
// which also keep the set-word's slot.
[[gnu::noinline]] Unwind set_statement(const Cell* code, uint32_t p, uint32_t* next) {
    SeriesBuffer* s = series_of(code);
    const Cell* cells = reinterpret_cast<const Cell*>(s->offset_addr());
    uint32_t n = cell_count(s);
    Node node = code->node();
    compiled::Entry& e = compiled::entry_for(node, p + 1);
    Cell val;
    if (e.target && e.node == node && e.p == p + 1 && e.count != 0) {
        // The steps hold (the block is unchanged, nothing has moved), so
        // does the set-word they were kept with, before its slot is read.
        Cell* slot;
        if (from_steps(e, s, node, cells, n, p + 1, &val) &&
            (compile_mode != Compile::always || compiled::same_or_abort(cells[p], e.to.cell)) &&
            (slot = const_cast<Cell*>(compiled::value_of(e.to)))) {
            *slot = val;
            stack::set_last_keep(&val);
            *next = e.end;
            return Unwind::none;
        }
    }
    // A value found not simple when last read goes straight to its
    // evaluation; at every 32nd meeting it is read again, below.
    if (e.node == node && e.p == p + 1 && e.misses != 0) {
        if (compiled::skip_reading(e)) return set_statement_evaluated(code, p, next);
        e.misses = 0;  // so that simple_expression reads it now
    }
    Cell w = cells[p];
    Cell* slot;
    uint32_t end;
    if (simple_expression<1>(code, p + 1, &val, &end) && (slot = context::plain_slot(&w))) {
        *slot = val;
        stack::set_last_keep(&val);
        *next = end;
        // The steps made (or kept) for the value: the slot, one that
        // plain_slot writes directly, goes with them.
        if (e.node == node && e.p == p + 1 && e.count != 0 && !e.target) {
            e.to = compiled::Step{w, nullptr, nullptr, 0, 0, 0, compiled::S_WORD, 0, 0};
            e.target = compiled::resolve(e.to);
        }
        return Unwind::none;
    }
    return set_statement_evaluated(code, p, next);
}

[[gnu::always_inline]] inline Unwind run_expressions(const Cell* block, uint32_t* end) {
    Cell code = *block;
    uint32_t& p = *end = code.head();
    if (p >= tail_of(&code)) {
        *stack::arguments = unset_cell();
        stack::top = stack::arguments + 1;
        return Unwind::none;
    }
    Cell saved = position;
    position = code;
    Unwind u;
    try {
        for (;;) {
            position.data1 = p;
            if (!tracing && at(&code, p).type() == TYPE_SET_WORD) u = set_statement(&code, p, &p);
            else u = eval_expression(&code, p, false, false, false, &p);
            if (u != Unwind::none || p >= tail_of(&code)) break;
            stack::reset();
        }
    } catch (const UnwindThrown& thrown) {
        u = thrown.code;
    }
    position = saved;
    return u;
}

[[gnu::always_inline]] inline Unwind run_body(const Cell* fn, const Cell* name) {
    context::set_stack_values(fn->ctx(), stack::arguments);
    stack::set_return_flag(true);
    Cell body = *function::more(fn, function::MORE_BODY);
    if (!tracing && !(fn->header & function::FLAG_TRACE)) {
        // The body's values go to a slot above the arguments and locals, not
        // to a frame of its own: a frame pushed by the body keeps that slot
        // as its base, so a `return` landing on this call leaves its value
        // there too.
        Cell* result = stack::arguments;
        stack::arguments = stack::top;
        uint32_t end;
        uint32_t switches = trace_switches;
        Unwind u = run_expressions(&body, &end);
        // `trace true` ran in this untraced body: tracing resumes after it.
        if (switches != trace_switches) tracing = trace_enabled;
        if (u != Unwind::none && u != Unwind::ret && u != Unwind::exit) return u;
        *result = *stack::arguments;
        stack::arguments = result;
        stack::top = result + 1;
        return Unwind::none;
    }
    TraceScope scope(fn->header & 0xFF00);
    if (tracing) fire_event(event::prolog, &body, 0, fn, name);
    Unwind u = eval(&body, true);
    if (tracing) fire_event(event::epilog, &body, 0, fn, name);
    if (u == Unwind::ret || u == Unwind::exit) u = Unwind::none;
    return u;
}

[[gnu::always_inline]] inline Unwind eval_paren(const Cell* paren, bool keep, Cell* start) {
    stack::mark_native(&words::body);
    // Traced, the paren's block has its own frame and enter/exit events.
    uint32_t end;
    Unwind u = tracing ? eval(paren, true) : run_expressions(paren, &end);
    if (u != Unwind::none) return u;
    Cell r = *stack::arguments;
    stack::unwind();
    finish(start, r, keep);
    return Unwind::none;
}

// Pushes the frame of a callback (a function! or routine! that C++ code
// calls) as a call lays it out: the n values fill its arguments in order,
// those left over are none, its refinements are off and its locals none.
// A routine's body reads its arguments as its spec types them: a value it
// does not take raises expect-arg.
void push_callback_arguments(const Cell* fn, const Cell* name, const Cell* args, uint32_t n) {
    Cell cache = cache_of(fn);
    uint32_t entries = tail_of(&cache);
    uint32_t k = 0, taken = 0;
    bool refinements = false;
    for (uint32_t i = 0; i < entries; ++i) {
        Cell entry = at(&cache, i);
        switch (entry.type()) {
            case TYPE_TYPESET: {
                if (((entry.header >> KIND_SHIFT) & 3) == KIND_RETURN) continue;
                Cell v = !refinements && taken < n ? args[taken++] : none_cell();
                if (fn->type() == TYPE_ROUTINE && !typeset::has_q(&entry, v.type())) expect_arg(name, fn, k, &v);
                stack::push(&v);
                ++k;
                break;
            }
            case TYPE_REFINEMENT: {
                refinements = true;
                Cell off{TYPE_LOGIC, 0, 0, 0};
                stack::push(&off);
                ++k;
                break;
            }
            case TYPE_INTEGER: function::init_locals(static_cast<uint32_t>(entry.int_value())); return;
            default: break;
        }
    }
}

}  // namespace

// ---- Tracing ------------------------------------------------------------------------------

Cell* callback() { return reinterpret_cast<Cell*>(series_of(&memory::root_block)->offset_addr()) + callback_index; }

uint32_t trace_mask(const Cell* fn) {
    if (fn->type() != TYPE_FUNCTION) return DEFAULT_EVENT_MASK;
    Cell body = *function::more(fn, function::MORE_BODY);
    if (body.type() != TYPE_BLOCK || block::rs_length_q(&body) == 0) return DEFAULT_EVENT_MASK;
    Cell first = *block::rs_clamp_head(&body);
    if (first.type() != TYPE_BLOCK) return DEFAULT_EVENT_MASK;
    uint32_t mask = 0;
    uint32_t n = block::rs_length_q(&first);
    for (uint32_t i = 0; i < n; ++i) {
        Cell w = block::rs_clamp_head(&first)[i];
        if (w.type() != TYPE_WORD) continue;
        uint32_t s = symbol::resolve(w.symbol());
#define X(name, bit) \
    if (s == symbol::resolve(words::name.symbol())) mask |= bit;
        ZEM_TRACE_EVENTS(X)
#undef X
    }
    return mask;
}

bool trace_installed() { return callback()->type() == TYPE_FUNCTION; }

bool start_trace(const Cell* fn) {
    if (trace_installed()) return false;
    *callback() = *fn;
    event_mask = trace_mask(fn);
    tracing = trace_enabled = true;
    ++trace_switches;
    return true;
}

void stop_trace() {
    tracing = trace_enabled = false;
    ++trace_switches;
    *callback() = none_cell();
}

void switch_trace(bool on) {
    trace_enabled = on && trace_installed();
    // Inside an untraced body the switch takes effect when the body ends.
    if (tracing) tracing = trace_enabled;
    ++trace_switches;
}

namespace {

Cell event_word(uint32_t bit) {
    switch (bit) {
#define X(name, bit) \
    case event::name: return words::name;
        ZEM_TRACE_EVENTS(X)
#undef X
        default: return words::expr;
    }
}

}  // namespace

void fire_event(uint32_t bit, const Cell* code, int32_t pos, const Cell* value, const Cell* reference) {
    Cell fn = *callback();
    if (!tracing || !(event_mask & bit) || fn.type() != TYPE_FUNCTION) return;
    uint32_t base_index = stack::index_of(stack::arguments);
    uint32_t size = stack::index_of(stack::top);
    Cell* saved_top = stack::top;
    stack::Frame* saved_ctop = stack::ctop;
    Cell args[6];
    args[0] = event_word(bit);
    constexpr typesets::Mask CODE = typesets::of({TYPE_BLOCK, TYPE_PAREN}) | ANY_PATH;
    args[1] = code && in(CODE, code->type()) ? *code : none_cell();
    // The offset counts from the code's own index; a position outside it is -1.
    int32_t offset = pos - static_cast<int32_t>(args[1].head());
    bool inside = args[1].type() != TYPE_NONE && pos >= 0 && offset >= 0 &&
                  offset <= static_cast<int32_t>(tail_of(&args[1]) - args[1].head());
    args[2] = int_cell(inside ? offset : -1);
    // The events of a call or an assignment carry the value concerned (the
    // function, the result, the value assigned) and, as `ref`, the name.
    bool named = bit == event::prolog || bit == event::epilog || bit == event::return_ || bit == event::set ||
                 bit == event::call;
    const Cell* shown = named ? value : reference;
    args[3] = shown && shown->type() != TYPE_UNSET ? *shown : none_cell();
    args[4] = named && reference ? *reference : none_cell();
    args[5] = Cell{TYPE_PAIR, 0, base_index, size};
    stack::push_slot();
    stack::mark_func(&words::interp_callback, fn.ctx());
    push_callback_arguments(&fn, &words::interp_callback, args, 6);
    tracing = false;
    Unwind u = call_function(&fn, &words::interp_callback);
    tracing = trace_enabled;
    if (u != Unwind::none) throw UnwindThrown{u};
    stack::unwind_func();
    stack::top = saved_top;
    stack::ctop = saved_ctop;
    stack::arguments = stack::bottom + base_index;
}

void trace_error(const Cell* error) {
    if (!tracing) return;
    uint32_t saved = sys::record.thrown;
    sys::record.thrown = 0;
    fire_event(event::error, &position, static_cast<int32_t>(position.head()), nullptr, error);
    sys::record.thrown = saved;
}

// ---- Evaluation ---------------------------------------------------------------------

namespace {

// The interpreter's own roots: the code position and the shared empty body.
void mark_roots() {
    uint32_t t = position.type();
    if (t == TYPE_BLOCK || t == TYPE_PAREN || t == TYPE_HASH) collector::mark_block_node(&position.data2);
    if (function::empty_body.type() == TYPE_BLOCK) collector::mark_block_node(&function::empty_body.data2);
}

}  // namespace

void init() {
    collector::register_mark_callback(mark_roots);
    Cell none = none_cell();
    block::rs_append(&memory::root_block, &none);
    callback_index = tail_of(&memory::root_block) - 1;
    position = unset_cell();
    tracing = false;
    char mode[16];
    uint32_t n = sys::get_env("ZEM_COMPILE", mode, sizeof mode);
    std::string_view m(mode, n < sizeof mode ? n : 0);
    compile_mode = m == "off" ? Compile::off : m == "always" ? Compile::always : Compile::on_second;
    event_mask = DEFAULT_EVENT_MASK;
}

// A non-local exit taken inside C++ code that the evaluation called and that
// called back into Zem code (an on-change* handler run by a set-path, a
// trace callback) leaves that C++ code as an UnwindThrown. The evaluators
// that natives call turn it back into its code at once, so that it travels
// through the native that called them (a loop taking its break, a catch its
// throw) like any other exit.

Unwind eval(const Cell* block, bool chain) {
    Cell code = *block;
    stack::mark_eval_block(&words::body);
    uint32_t end;
    Unwind u;
    if (!tracing) {
        u = run_expressions(&code, &end);
    } else {
        try {
            fire_event(event::enter, &code, static_cast<int32_t>(code.head()), nullptr, nullptr);
            u = run_expressions(&code, &end);
            if (u == Unwind::none) fire_event(event::exit_, &code, static_cast<int32_t>(end), nullptr, stack::arguments);
        } catch (const UnwindThrown& thrown) {
            return thrown.code;
        }
    }
    if (u != Unwind::none) return u;
    if (chain) stack::unwind_last();
    else stack::unwind();
    return Unwind::none;
}

Unwind eval_in_frame(const Cell* block) {
    if (tracing) return eval(block, true);  // traced: a frame and enter/exit events of its own
    uint32_t end;
    return run_expressions(block, &end);
}

Unwind eval_next(const Cell* code_in, uint32_t* p, bool keep) {
    Cell code = *code_in;
    Cell* start = stack::top;
    Cell saved = position;
    stack::mark_interp_native(&words::body);
    position = code;
    position.data1 = *p;
    Unwind u;
    try {
        u = eval_expression(&code, *p, false, false, false, p);
    } catch (const UnwindThrown& thrown) {
        u = thrown.code;
    }
    position = saved;
    if (u != Unwind::none) return u;
    Cell r = *stack::arguments;
    stack::unwind();
    finish(start, r, keep);
    return Unwind::none;
}

Unwind eval_at(const Cell* block, uint32_t* next) {
    Cell code = *block;
    uint32_t p = code.head();
    if (p >= tail_of(&code)) {
        Cell u = unset_cell();
        stack::set_last_keep(&u);
        *next = tail_of(&code);
        return Unwind::none;
    }
    Unwind u = eval_next(&code, &p, false);
    *next = p;
    return u;
}

Unwind eval_expression(const Cell* code, uint32_t p, bool no_infix, bool keep, bool fav, uint32_t* next) {
    stack::check_depth();
    Cell* start = stack::top;
    Cell v = at(code, p);
    // A value pushed as the expression's result is reported at its place.
    const uint32_t at_p = p;
    auto put = [&](const Cell& r, bool kept) {
        interpreter::put(r, kept);
        if (tracing) fire_event(event::push, code, static_cast<int32_t>(at_p), nullptr, &r);
    };
    if (tracing) fire_event(event::fetch, code, static_cast<int32_t>(p), nullptr, &v);
    ++p;
    Unwind u = Unwind::none;
    switch (v.type()) {
        case TYPE_PAREN: {
            // A paren holding one simple expression (a value and its ops: an
            // odd count of cells) raises nothing that its frames would name:
            // its value is taken without them.
            Cell val;
            uint32_t end, n = tail_of(&v);
            if (!tracing && n > v.head() && ((n - v.head()) & 1) && simple_expression<0>(&v, v.head(), &val, &end) &&
                end == n) {
                put(val, keep);
                break;
            }
            u = eval_paren(&v, keep, start);
            break;
        }
        case TYPE_WORD: {
            Cell val = *context::get(&v);
            switch (val.type()) {
                case TYPE_UNSET: fire(err::NO_VALUE, &v);
                case TYPE_LIT_WORD:
                    set_type(&val, TYPE_WORD);
                    put(val, keep);
                    break;
                case TYPE_NATIVE:
                    if (conditional_q(val) && !tracing) {
                        u = eval_conditional(&val, code, p, keep, &v, &p);
                        break;
                    }
                    if (val.data1 == native_id::return_ && !tracing) {
                        u = eval_return(&val, code, p, keep, &v, &p);
                        break;
                    }
                    [[fallthrough]];
                case TYPE_ACTION:
                case TYPE_FUNCTION:
                case TYPE_ROUTINE: u = eval_word_call(&val, code, p, keep, &v, &p); break;
                case TYPE_OP: fire(err::NO_OP_ARG, &v);
                default: put(val, keep);
            }
            break;
        }
        case TYPE_SET_WORD: {
            // A simple right-hand side can raise nothing that the set-word's
            // frame would name: it is set without one.
            Cell val;
            uint32_t end;
            Cell* slot;
            if (!tracing && simple_expression<1>(code, p, &val, &end) && (slot = context::plain_slot(&v))) {
                *slot = val;
                finish(start, val, keep);
                // The simple expression has looked: no op follows it.
                *next = end;
                return Unwind::none;
            }
            u = set_word(v, code, at_p, keep, start, &p);
            break;
        }
        case TYPE_LIT_WORD: set_type(&v, TYPE_WORD); put(v, keep); break;
        case TYPE_GET_WORD: {
            Cell val = *context::get(&v);
            put(val, keep);
            break;
        }
        case TYPE_LIT_PATH:
            set_type(&v, TYPE_PATH);
            v.data3 = 0;
            put(v, keep);
            break;
        case TYPE_GET_PATH: u = eval_path(&v, code, p, false, true, keep, nullptr, &p); break;
        case TYPE_PATH: u = eval_path(&v, code, p, false, false, keep, nullptr, &p); break;
        case TYPE_SET_PATH: {
            if (p >= tail_of(code)) fire(err::NEED_VALUE, &v);
            // The frame stays even for a simple value: it names `where` of
            // the errors the path itself raises.
            stack::mark_native(&words::set_path);
            Cell val;
            uint32_t end;
            if (!tracing && simple_expression<1>(code, p, &val, &end)) {
                stack::push(&val);
                p = end;
            } else {
                u = eval_expression(code, p, false, true, false, &p);
                if (u != Unwind::none) return u;
                val = *stack::arguments;
            }
            if (tracing) fire_event(event::set, code, static_cast<int32_t>(p), &val, &v);
            uint32_t ignored;
            u = eval_path(&v, code, p, true, false, true, &val, &ignored);
            if (u != Unwind::none) return u;
            stack::unwind();
            finish(start, val, keep);
            break;
        }
        case TYPE_ISSUE: {
            if (p < tail_of(code) && at(code, p).type() == TYPE_BLOCK) {
                uint32_t s = symbol::resolve(v.symbol());
                if (s == symbol::resolve(words::sym::system) || s == symbol::resolve(words::sym::system_global))
                    fire(err::ZEM_SYSTEM);
            }
            put(v, keep);
            break;
        }
        case TYPE_NATIVE:
        case TYPE_ACTION:
        case TYPE_FUNCTION:
        case TYPE_ROUTINE:
            if (fav) put(v, keep);
            else u = eval_call(&v, code, p, keep, nullptr, 0, &words::anon, 0, false, &p);
            break;
        case TYPE_OP: fire(err::NOT_DONE);
        default: put(v, keep);
    }
    if (u != Unwind::none) return u;
    return expression_end(code, p, no_infix, keep, start, next);
}

namespace {

// A call as eval_call makes it. With `plain` (a callable named by a word in
// the code: no path, no refinement mode, not infix) the compiler drops what
// only the other calls need.
template <bool plain>
[[gnu::always_inline]] inline Unwind call_at(const Cell* callable, const Cell* code, uint32_t p, bool keep,
                                             const Cell* path, uint32_t ref_start, const Cell* name_in, uint32_t mode,
                                             bool infix, uint32_t* next) {
    stack::check_depth();
    Cell fn = *callable;
    Cell name = plain || in(ALL_WORD, name_in->type()) ? *name_in : words::anon;
    if (tracing) {
        // An infix call's left operand waits just above the stack top: the
        // callback must neither take its cell nor let it go uncollected.
        if (infix) ++stack::top;
        fire_event(event::open, code, static_cast<int32_t>(p), &fn, &name);
        if (infix) --stack::top;
    }
    Cell* start = stack::top;
    if (!infix) stack::push(&fn);
    Call call{&fn, code, &name, &p, infix, (mode & MODE_ONE) != 0, (mode & MODE_CODE) != 0};
    switch (fn.type()) {
        case TYPE_FUNCTION: stack::mark_interp_func(&name, fn.ctx()); break;
        case TYPE_ROUTINE:
        case TYPE_NATIVE:
        case TYPE_ACTION: stack::mark_interp_native(&name); break;
        default: sys::no_switch_matched();
    }
    // One call site, so that the argument loop is inlined here.
    Unwind u = eval_arguments(call, path, ref_start, mode);
    if (u != Unwind::none) return u;
    // eval_arguments has fired `call` and `return` fires below: the body
    // runs without call_function's pair of events.
    if (fn.type() == TYPE_FUNCTION) u = run_body(&fn, &name);
    else if (fn.type() == TYPE_ROUTINE) u = exec_routine(&fn, &name);
    if (u != Unwind::none) return u;
    Cell r = *stack::arguments;
    if (fn.type() == TYPE_FUNCTION) stack::unwind_func();
    else stack::unwind();
    if (tracing) fire_event(event::return_, code, static_cast<int32_t>(p), &r, &name);
    finish(start, r, keep);
    *next = p;
    return Unwind::none;
}

[[gnu::noinline]] Unwind eval_word_call(const Cell* callable, const Cell* code, uint32_t p, bool keep, const Cell* name,
                                        uint32_t* next) {
    return call_at<true>(callable, code, p, keep, nullptr, 0, name, 0, false, next);
}

}  // namespace

Unwind eval_call(const Cell* callable, const Cell* code, uint32_t p, bool keep, const Cell* path, uint32_t ref_start,
                 const Cell* name_in, uint32_t mode, bool infix, uint32_t* next) {
    return call_at<false>(callable, code, p, keep, path, ref_start, name_in, mode, infix, next);
}

Unwind call_function(const Cell* fn, const Cell* name) {
    Cell f = *fn;
    if (tracing) fire_event(event::call, nullptr, -1, &f, name);
    Unwind u = run_body(&f, name);
    if (u == Unwind::none && tracing) fire_event(event::return_, nullptr, -1, stack::arguments, name);
    return u;
}

void call_with(const Cell* fn_in, const Cell* name, const Cell* args, uint32_t n, Cell* out) {
    Cell fn = *fn_in;
    if (fn.type() != TYPE_FUNCTION && fn.type() != TYPE_ROUTINE) fire(err::INVALID_ARG, &fn);
    Cell* saved_top = stack::top;
    Cell* saved_args = stack::arguments;
    stack::Frame* saved_ctop = stack::ctop;
    stack::push_slot();
    if (fn.type() == TYPE_FUNCTION) stack::mark_func(name, fn.ctx());
    else stack::mark_native(name);
    push_callback_arguments(&fn, name, args, n);
    Unwind u = fn.type() == TYPE_FUNCTION ? call_function(&fn, name) : exec_routine(&fn, name);
    // A non-local exit leaves through the C++ code that called back (the
    // stacks are already cut back to the frame that takes it).
    if (u != Unwind::none) throw UnwindThrown{u};
    *out = *stack::arguments;
    if (fn.type() == TYPE_FUNCTION) stack::unwind_func();
    else stack::unwind();
    stack::top = saved_top;
    stack::arguments = saved_args;
    stack::ctop = saved_ctop;
}

Unwind exec_routine(const Cell* routine, const Cell* name) {
    Cell r = *routine;
    Cell entry = *function::more(&r, function::MORE_ENTRY);
    routine::Body body = entry.type() == TYPE_INTEGER ? routine::body_of(entry.int_value()) : nullptr;
    if (!body) {
        Cell n = *name;
        fire(err::NOT_DONE, &n);
    }
    try {
        body();
    } catch (const UnwindThrown& u) {
        return u.code;
    } catch (const std::bad_alloc&) {
        fire(err::NO_MEMORY);
    } catch (const std::length_error&) {
        fire(err::NO_MEMORY);
    }
    return Unwind::none;
}

Unwind eval_path(const Cell* path_in, const Cell* code, uint32_t p, bool set, bool get, bool keep, const Cell* value,
                 uint32_t* next) {
    Cell path = *path_in;
    Cell* start = stack::top;
    uint32_t n = block::rs_length_q(&path);
    if (n == 0) fire(err::EMPTY_PATH, &path);
    if (tracing) fire_event(event::enter, &path, 0, nullptr, nullptr);
    Cell first = at(&path, path.head());
    if (tracing) fire_event(event::fetch, &path, 0, nullptr, &first);
    if (first.type() != TYPE_WORD) fire(err::WORD_FIRST, &path);
    Cell current = *context::get(&first);
    if (current.type() == TYPE_UNSET) fire(err::UNSET_PATH, &path, &first);
    if (in(CALLED, current.type())) {
        if (set) fire(err::INVALID_PATH_SET, &path);
        if (get) fire(err::INVALID_PATH_GET, &path);
        return eval_call(&current, code, p, keep, &path, 1, &first, MODE_PATH, false, next);
    }
    Cell holder = none_cell();
    Cell prev = first;
    for (uint32_t i = 1; i < n; ++i) {
        Cell el = at(&path, path.head() + i);
        if (tracing) fire_event(event::fetch, &path, static_cast<int32_t>(i), nullptr, &el);
        if (el.type() == TYPE_GET_WORD) {
            el = *context::get(&el);
        } else if (el.type() == TYPE_PAREN) {
            Cell* slot = stack::top;
            Unwind u = eval_paren(&el, true, slot);
            if (u != Unwind::none) return u;
            el = *slot;
            stack::top = slot;
        }
        if (el.type() == TYPE_UNSET) fire(err::INVALID_PATH, &path, &el);
        bool last = i == n - 1;
        Cell to_set = set && last ? *value : unset_cell();
        Cell parent = current;
        Cell* r = actions::eval_path(&parent, &el, set && last ? &to_set : nullptr, &path, &holder, &prev,
                                     static_cast<int32_t>(i), false, get, last);
        current = *r;
        if (tracing) fire_event(event::push, &path, static_cast<int32_t>(i), nullptr, &current);
        if (!set && !get && in(CALLED, current.type())) {
            Cell name = in(ALL_WORD, el.type()) ? el : words::anon;
            return eval_call(&current, code, p, keep, &path, i + 1, &name, MODE_PATH, false, next);
        }
        holder = parent;
        prev = el;
    }
    if (tracing) fire_event(event::exit_, &path, 0, nullptr, &current);
    stack::top = start;
    finish(start, set ? *value : current, keep);
    *next = p;
    return Unwind::none;
}

Unwind do_value(const Cell* value) {
    Cell v = *value;
    switch (v.type()) {
        case TYPE_BLOCK:
        case TYPE_PAREN:
        case TYPE_HASH: {
            uint32_t t = tail_of(&v);
            if (v.head() > t) v.data1 = t;
            return eval(&v, true);
        }
        case TYPE_PATH: {
            Cell empty = function::empty_body;
            uint32_t next;
            return eval_path(&v, &empty, 0, false, false, false, nullptr, &next);
        }
        case TYPE_STRING: {
            if (!load_hook) fire(err::FEATURE_NA);
            Cell blk;
            load_hook(&v, &blk);
            stack::push(&blk);
            return eval(&blk, true);
        }
        case TYPE_ERROR: {
            ErrorThrown e{err::MESSAGE, 0, {}, v};
            error::id_of(&v, &e.id);
            for (uint32_t i = 0; i < 3; ++i) e.args[i] = *error::field(&v, static_cast<error::Field>(error::ARG1 + i));
            e.arg_count = 3;
            stack::throw_error(e);
        }
        default: {
            Cell blk;
            block::make_at(&blk, 1);
            block::rs_append(&blk, &v);
            stack::push(&blk);
            return eval(&blk, true);
        }
    }
}

}  // namespace interpreter
