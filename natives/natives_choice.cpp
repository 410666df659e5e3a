// The natives of choice and of reading and writing words: switch, case,
// get and set.
#include "datatypes/block.h"
#include "evaluator/context.h"
#include "datatypes/datatype.h"
#include "datatypes/object.h"
#include "datatypes/word.h"
#include "evaluator/actions.h"
#include "natives/native_support.h"
#include "natives/natives_loops.h"
#include "evaluator/symbol.h"
#include "evaluator/words.h"
#include "runtime/typesets.h"

namespace natives {

namespace {

// Reads a path (set: writes `value` at its end) element by element,
// without calling the functions met on the way; case_ asks the selecting
// types for case-sensitive keys. Answers the value read (or `value`).
Cell walk_path(const Cell& path_in, bool set, const Cell* value, bool case_) {
    Cell path = path_in;
    uint32_t n = block::rs_length_q(&path);
    if (n == 0) fire(err::EMPTY_PATH, &path);
    Cell first = block::rs_clamp_head(&path)[0];
    if (first.type() != TYPE_WORD) fire(err::WORD_FIRST, &path);
    if (set && n == 1) {
        Cell v = *value;
        context::set(&first, &v);
        return v;
    }
    Cell current = *context::get(&first);
    if (current.type() == TYPE_UNSET) fire(err::UNSET_PATH, &path, &first);
    if (in(ANY_FUNCTION, current.type())) fire(set ? err::INVALID_PATH_SET : err::INVALID_PATH_GET, &path);
    Cell holder = none_cell();
    Cell prev = first;
    for (uint32_t i = 1; i < n; ++i) {
        Cell el = block::rs_clamp_head(&path)[i];
        if (el.type() == TYPE_GET_WORD) {
            el = *context::get(&el);
        } else if (el.type() == TYPE_PAREN) {
            Cell* start = stack::top;
            stack::mark_native(&words::body);
            Unwind u = interpreter::eval(&el, true);
            if (u != Unwind::none) throw UnwindThrown{u};
            el = *stack::arguments;
            stack::unwind();
            stack::top = start;
        }
        if (el.type() == TYPE_UNSET) fire(err::INVALID_PATH, &path, &el);
        bool last = i == n - 1;
        Cell to_set = set && last ? *value : unset_cell();
        Cell parent = current;
        Cell* r = actions::eval_path(&parent, &el, set && last ? &to_set : nullptr, &path, &holder, &prev,
                                     static_cast<int32_t>(i), case_, true, last);
        current = *r;
        holder = parent;
        prev = el;
    }
    return set ? *value : current;
}

}  // namespace

// ---- switch and case ----------------------------------------------------------------------

Unwind n_switch_(bool, const int32_t* refs) {
    Cell value = *arg(0), cases = *arg(1);
    if (cases.type() != TYPE_BLOCK) refuse_arg("cases", cases);
    Cell branch = none_cell();
    if (value.type() != TYPE_BLOCK) {
        for (uint32_t i = cases.head(); i < series_of(&cases)->count(); ++i) {
            Cell key = *block::rs_abs_at(&cases, i);
            if (key.type() != value.type() || actions::compare(&value, &key, actions::COMP_EQUAL) != 0) continue;
            for (uint32_t j = i + 1; j < series_of(&cases)->count(); ++j) {
                Cell c = *block::rs_abs_at(&cases, j);
                if (c.type() == TYPE_BLOCK) {
                    branch = c;
                    break;
                }
            }
            break;
        }
    }
    if (branch.type() == TYPE_NONE && refs[0] >= 0) branch = *arg(static_cast<uint32_t>(refs[0]));
    if (branch.type() != TYPE_BLOCK) return none_result();
    return eval_block(branch);
}

Unwind n_case_(bool, const int32_t* refs) {
    Cell cases = *arg(0);
    bool all = refs[0] >= 0;
    if (cases.type() != TYPE_BLOCK) refuse_arg("cases", cases);
    uint32_t p = cases.head();
    if (p >= series_of(&cases)->count()) return none_result();
    stack::mark_native(&words::anon);
    Cell value = none_cell();
    bool matched = false;
    while (p < series_of(&cases)->count()) {
        matched = false;
        Unwind u = interpreter::eval_next(&cases, &p, false);
        if (u != Unwind::none) return u;
        if (p >= series_of(&cases)->count()) fire(err::NEED_VALUE, &words::case_);
        if (!strict_truthy(stack::arguments)) {
            ++p;
            continue;
        }
        Cell branch = *block::rs_abs_at(&cases, p);
        if (branch.type() == TYPE_BLOCK) {
            ++p;
            u = interpreter::eval(&branch, true);
        } else {
            u = interpreter::eval_next(&cases, &p, false);
        }
        if (u != Unwind::none) return u;
        value = *stack::arguments;
        matched = true;
        if (!all) break;
    }
    stack::unwind();
    return matched ? result(value) : none_result();
}

// ---- get and set --------------------------------------------------------------------------

Unwind n_get(bool, const int32_t* refs) {
    bool any = refs[0] >= 0, case_ = refs[1] >= 0;
    Cell w = *arg(0);
    uint32_t t = w.type();
    if (in(ANY_PATH, t)) return result(walk_path(w, false, nullptr, case_));
    if (t == TYPE_OBJECT) {
        Cell field{};
        word::make_at(words::sym::values, &field);
        Cell obj = w;
        Cell* r = actions::reflect(&obj, &field);
        return result(*r);
    }
    if (!in(ALL_WORD, t)) refuse_arg("word", w);
    Cell v = *context::get(&w);
    if (v.type() == TYPE_UNSET && !any) fire(err::NO_VALUE, &w);
    return result(v);
}

Unwind n_set(bool, const int32_t* refs) {
    bool any = refs[0] >= 0, case_ = refs[1] >= 0, only = refs[2] >= 0, some = refs[3] >= 0;
    Cell target = *arg(0), value = *arg(1);
    uint32_t t = target.type();
    if (value.type() == TYPE_UNSET && !any) fire(err::NEED_VALUE, &target);
    if (in(ANY_PATH, t)) {
        stack::push(&value);
        walk_path(target, true, &value, case_);
    } else if (t == TYPE_OBJECT) {
        object::set_many(&target, &value, any, only, some);
    } else if (t == TYPE_BLOCK) {
        stack::mark_native(&words::anon);
        set_many(&target, &value, block::rs_length_q(&target), any, only, some);
        stack::unwind();
    } else if (in(ALL_WORD, t)) {
        context::set(&target, &value);
    } else {
        refuse_arg("word", target);
    }
    return result(value);
}

}  // namespace natives
