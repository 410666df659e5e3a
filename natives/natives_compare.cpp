// The comparison natives, same?, not, type?, and the natives that build
// blocks from evaluated code: reduce and compose.
#include "datatypes/block.h"
#include "datatypes/datatype.h"
#include "datatypes/word.h"
#include "evaluator/actions.h"
#include "natives/native_support.h"
#include "evaluator/symbol.h"
#include "evaluator/words.h"
#include "runtime/typesets.h"

namespace natives {

// ---- Comparisons -----------------------------------------------------------------------------

Unwind n_equal_q(bool, const int32_t*) { actions::compare_box(actions::COMP_EQUAL); return Unwind::none; }
Unwind n_not_equal_q(bool, const int32_t*) { actions::compare_box(actions::COMP_NOT_EQUAL); return Unwind::none; }
Unwind n_strict_equal_q(bool, const int32_t*) { actions::compare_box(actions::COMP_STRICT_EQUAL); return Unwind::none; }
Unwind n_lesser_q(bool, const int32_t*) { actions::compare_box(actions::COMP_LESSER); return Unwind::none; }
Unwind n_lesser_or_equal_q(bool, const int32_t*) { actions::compare_box(actions::COMP_LESSER_EQUAL); return Unwind::none; }
Unwind n_greater_q(bool, const int32_t*) { actions::compare_box(actions::COMP_GREATER); return Unwind::none; }
Unwind n_greater_or_equal_q(bool, const int32_t*) { actions::compare_box(actions::COMP_GREATER_EQUAL); return Unwind::none; }

// Identity: the same datatype and, by datatype, the same payload words
// (a series: the same buffer at the same index).
static bool same_values(Cell* a, Cell* b) {
    if (a->type() != b->type()) return false;
    switch (a->type()) {
        case TYPE_UNSET:
        case TYPE_NONE: return true;
        case TYPE_DATATYPE:
        case TYPE_LOGIC:
        case TYPE_OBJECT: return a->data1 == b->data1;
        case TYPE_CHAR:
        case TYPE_INTEGER:
        case TYPE_BITSET: return a->data2 == b->data2;
        case TYPE_BLOCK: case TYPE_PAREN: case TYPE_HASH: case TYPE_MAP:
        case TYPE_PATH: case TYPE_LIT_PATH: case TYPE_SET_PATH: case TYPE_GET_PATH:
        case TYPE_STRING: case TYPE_FILE: case TYPE_URL: case TYPE_TAG: case TYPE_EMAIL: case TYPE_REF:
        case TYPE_BINARY: case TYPE_VECTOR: case TYPE_IMAGE:
            return a->data1 == b->data1 && a->data2 == b->data2;
        case TYPE_FLOAT:
        case TYPE_PERCENT:
        case TYPE_PAIR:
        case TYPE_TIME: return a->data2 == b->data2 && a->data3 == b->data3;
        case TYPE_TUPLE:
            return (a->header & TUPLE_SIZE_MASK) == (b->header & TUPLE_SIZE_MASK) &&
                   actions::compare(a, b, actions::COMP_EQUAL) == 0;
        case TYPE_MONEY: return actions::compare(a, b, actions::COMP_SAME) == 0;
        case TYPE_NATIVE:
        case TYPE_ACTION:
        case TYPE_POINT2D: return a->data1 == b->data1 && a->data2 == b->data2;
        case TYPE_OP: return a->data2 == b->data2 && a->data3 == b->data3;
        default: return a->data1 == b->data1 && a->data2 == b->data2 && a->data3 == b->data3;
    }
}

Unwind n_same_q(bool, const int32_t*) { return logic_result(same_values(arg(0), arg(1))); }

Unwind n_not_(bool, const int32_t*) { return logic_result(!truthy(arg(0))); }

Unwind n_type_q(bool, const int32_t* refs) {
    uint32_t t = arg(0)->type();
    Cell r{};
    if (refs[0] < 0) {
        datatype::make_at(&r, t);
        return result(r);
    }
    const datatype::NameEntry* e = datatype::name_entry(t);
    if (e && e->word.type() != 0) return result(e->word);
    word::make_at(symbol::make(datatype::name_of(t)), &r);
    return result(r);
}

// ---- reduce and compose ----------------------------------------------------------------------

namespace {

// Where reduce and compose put their values: appended at the tail of the
// series, or inserted at its index (which then moves past them).
struct Target {
    Cell out;
    bool append;

    // The target for /into: appends when `out` is at its tail.
    static Target into(const Cell& out) {
        Cell o = out;
        uint32_t n = series_of(&o)->count();
        if (o.head() > n) o.data1 = n;
        return Target{o, o.head() >= n};
    }
    // A new block, pushed so that the collector sees it.
    static Target fresh(uint32_t room) {
        Cell b;
        block::make_at(&b, room);
        stack::push(&b);
        return Target{b, true};
    }

    void add(const Cell& v) {
        if (out.type() == TYPE_HASH) {
            // The hash's own insert keeps its table in step.
            Cell t = out, value = v;
            actions::insert(&t, &value, -1, true, 1, append);
            if (!append) out.data1 = t.data1;
        } else if (append) {
            block::rs_append(&out, &v);
        } else {
            block::insert_value(&out, &v, true, false);
        }
    }
    // Adds every value of the block from its index, in order.
    void splice(const Cell& blk) {
        uint32_t n = block::rs_length_q(&blk);
        for (uint32_t i = 0; i < n; ++i) {
            if (blk.head() + i >= series_of(&blk)->count()) break;
            add(*block::rs_abs_at(&blk, blk.head() + i));
        }
    }
};

// Code that goes into its own series is read from a copy, so that the
// values added never move under the reading or make it endless.
Cell own_source(const Cell& code, const Target& t) {
    if (code.node() != t.out.node()) return code;
    return *block::clone(&code, false, false);
}

// Evaluates a non-empty paren into *out.
Unwind eval_paren(const Cell& paren, Cell* out) {
    Cell* start = stack::top;
    stack::mark_native(&words::body);
    Unwind u = interpreter::eval(&paren, true);
    if (u != Unwind::none) return u;
    *out = *stack::arguments;
    stack::unwind();
    stack::top = start;
    return Unwind::none;
}

// Composes the block's cells from its index into the target.
Unwind compose_block(const Cell& blk, bool deep, bool only, Target& target) {
    stack::check_depth();  // a block that holds itself nests without end
    Cell code = blk;
    for (uint32_t i = code.head(); i < series_of(&code)->count(); ++i) {
        Cell c = *block::rs_abs_at(&code, i);
        if (c.type() == TYPE_BLOCK && deep) {
            Target inner = Target::fresh(block::rs_length_q(&c));
            Unwind u = compose_block(c, deep, only, inner);
            if (u != Unwind::none) return u;
            Cell made = inner.out;
            made.data1 = 0;
            made.header = (made.header & ~FLAG_NEW_LINE) | (c.header & FLAG_NEW_LINE);
            target.add(made);
        } else if (c.type() == TYPE_PAREN) {
            if (block::rs_length_q(&c) == 0) continue;
            Cell v;
            Unwind u = eval_paren(c, &v);
            if (u != Unwind::none) return u;
            if (v.type() == TYPE_UNSET) continue;
            stack::push(&v);
            if (v.type() == TYPE_BLOCK && !only) target.splice(v);
            else target.add(v);
            stack::pop(1);
        } else {
            target.add(c);
        }
    }
    return Unwind::none;
}

}  // namespace

Unwind n_reduce(bool, const int32_t* refs) {
    Cell value = *arg(0);
    bool into = refs[0] >= 0;
    if (into && !in(ANY_BLOCK, arg(static_cast<uint32_t>(refs[0]))->type())) {
        Cell name, dt, w{};
        actions::caller_word(&name);
        datatype::make_at(&dt, arg(static_cast<uint32_t>(refs[0]))->type());
        word::make_at(symbol::make("out"), &w);
        fire(err::EXPECT_ARG, &name, &dt, &w);
    }
    if (value.type() != TYPE_BLOCK) {
        if (in(ANY_FUNCTION, value.type())) {
            Unwind u = interpreter::do_value(&value);
            if (u != Unwind::none) return u;
        } else {
            stack::set_last_keep(&value);
        }
        if (!into) return Unwind::none;
        Cell v = *stack::arguments;
        clear_new_line(&v);
        Target t = Target::into(*arg(static_cast<uint32_t>(refs[0])));
        stack::push(&t.out);
        Cell start = t.out;
        t.add(v);
        return result(t.append ? start : t.out);
    }
    Target t = into ? Target::into(*arg(static_cast<uint32_t>(refs[0]))) : Target::fresh(block::rs_length_q(&value));
    if (into) stack::push(&t.out);
    if (into) value = own_source(value, t);
    Cell start = t.out;
    uint32_t p = value.head();
    while (p < series_of(&value)->count()) {
        Unwind u = interpreter::eval_next(&value, &p, true);
        if (u != Unwind::none) return u;
        Cell v = *stack::top_cell();
        clear_new_line(&v);
        t.add(v);
        stack::pop(1);
    }
    if (!into) start.data1 = 0;
    return result(t.append ? start : t.out);
}

Unwind n_compose(bool, const int32_t* refs) {
    Cell value = *arg(0);
    bool deep = refs[0] >= 0, only = refs[1] >= 0, into = refs[2] >= 0;
    if (value.type() != TYPE_BLOCK) {
        Cell expected, got;
        datatype::make_at(&expected, TYPE_BLOCK);
        datatype::make_at(&got, value.type());
        fire(err::EXPECT_VAL, &expected, &got);
    }
    Cell out = into ? *arg(static_cast<uint32_t>(refs[2])) : none_cell();
    if (into && !in(ANY_BLOCK, out.type())) {
        Cell name, dt, w{};
        actions::caller_word(&name);
        datatype::make_at(&dt, out.type());
        word::make_at(symbol::make("out"), &w);
        fire(err::EXPECT_ARG, &name, &dt, &w);
    }
    Target t = into ? Target::into(out) : Target::fresh(block::rs_length_q(&value));
    if (into) stack::push(&t.out);
    if (into) value = own_source(value, t);
    Cell start = t.out;
    Unwind u = compose_block(value, deep, only, t);
    if (u != Unwind::none) return u;
    if (!into) start.data1 = 0;
    return result(t.append ? start : t.out);
}

}  // namespace natives
