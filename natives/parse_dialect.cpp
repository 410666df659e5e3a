// PARSE: the engine (a state machine over the input and rule stacks), its
// keywords and the completing of commands, the dialect's start-up and the
// `parse` native. Matching, extraction and user code are in
// parse_matching.cpp.
#include "natives/parse_dialect.h"

#include <cmath>
#include <vector>

#include "datatypes/block.h"
#include "evaluator/context.h"
#include "evaluator/actions.h"
#include "evaluator/errors.h"
#include "natives/native_support.h"
#include "natives/parse_run.h"
#include "evaluator/symbol.h"
#include "evaluator/words.h"
#include "runtime/sys.h"

namespace parse_dialect {

namespace {

// Keyword of each symbol id (after alias resolution), built at start-up.
std::vector<uint8_t> keyword_table;

uint32_t input_slot = 0;  // cells of the root block holding the two stacks
uint32_t rule_slot = 0;

// Values the rule dispatch treats itself; every other value is matched
// literally.
constexpr typesets::Mask RULE_TYPES =
    typesets::of({TYPE_WORD, TYPE_BLOCK, TYPE_PAREN, TYPE_PATH, TYPE_INTEGER, TYPE_DATATYPE, TYPE_TYPESET,
                  TYPE_SET_WORD, TYPE_GET_WORD});

}  // namespace

Keyword keyword_of(const Cell& w) {
    if (w.type() != TYPE_WORD) return KW_NOT_KEYWORD;
    uint32_t s = symbol::resolve(w.symbol());
    return s < keyword_table.size() ? static_cast<Keyword>(keyword_table[s]) : KW_NOT_KEYWORD;
}

// ---- Set-up, result and reset --------------------------------------------------------

void Run::start(const Cell& input, const Cell& rules) {
    // Re-entry: mark where the outer run's entries end and work above them.
    Cell* is = input_stack();
    Cell* rs = rule_stack();
    if (count_of(rs) > rs->head()) {
        Cell marker = triple_value(rs->head(), is->head(), 0);
        push_rule(marker);
        saved_ = true;
        is = input_stack();
        rs = rule_stack();
        is->data1 = count_of(is);
        rs->data1 = count_of(rs);
    }
    ibase_ = input_stack()->head();
    rbase_ = rule_stack()->head();
    cut(input_stack(), ibase_);
    cut(rule_stack(), rbase_);
    // The scratch cell and the result slot of an outermost collect.
    sbase_ = stack::index_of(stack::top);
    Cell u{TYPE_UNSET, 0, 0, 0};
    stack::push(&u);
    Cell n = none_value();
    stack::push(&n);
    Cell in = input;
    if (in.head() > count_of(&in)) in.data1 = count_of(&in);
    block::rs_append(input_stack(), &in);
    input_depth_ = 1;
    input_ = in;
    rules_ = rules;
    if (rules_.head() > count_of(&rules_)) rules_.data1 = count_of(&rules_);
    rtail_ = count_of(&rules_);
    cur_ = static_cast<int64_t>(rules_.head()) - 1;
}

void Run::reset(bool restore) {
    if (reset_done_) return;
    reset_done_ = true;
    Cell* is = input_stack();
    cut(is, ibase_);
    is->data1 = ibase_;
    Cell* rs = rule_stack();
    cut(rs, rbase_);
    rs->data1 = rbase_;
    if (restore && saved_ && rbase_ > 0) {
        Cell marker = cells_of(rs)[rbase_ - 1];
        cut(rs, rbase_ - 1);
        rs->data1 = marker.data1;
        input_stack()->data1 = marker.data2;
    }
}

Cell Run::result() {
    Cell r = collected_ ? stack::bottom[sbase_ + 1] : logic_value(match_);
    stack::top = stack::bottom + sbase_;
    return r;
}

// ---- The machine ------------------------------------------------------------------------

void Run::run() {
    State s = push_block(false);
    for (;;) {
        switch (s) {
            case State::push_block: s = push_block(true); break;
            case State::next_rule: s = next_rule(); break;
            case State::pop_block: s = pop_block(); break;
            case State::after_rule: s = after_rule(); break;
            case State::backtrack: s = backtrack(); break;
            case State::eval_value: s = eval_value(); break;
            case State::keyword: s = keyword(); break;
            case State::operand: s = operand(); break;
            case State::complete: s = complete(); break;
            case State::finish: s = finish(); break;
            case State::done: return;
        }
    }
}

State Run::push_block(bool with_value) {
    check_stacks();
    push_rule(none_value());
    push_rule(triple_value(offset(), idx(), in_tail()));
    push_rule(rules_);
    if (with_value) {
        rules_ = val_;
        set_type(&rules_, TYPE_BLOCK);
        if (rules_.head() > count_of(&rules_)) rules_.data1 = count_of(&rules_);
    }
    cur_ = static_cast<int64_t>(rules_.head()) - 1;
    rtail_ = count_of(&rules_);
    match_ = true;
    update_end();
    event(words::push);
    return State::next_rule;
}

State Run::next_rule() {
    if (cur_ < static_cast<int64_t>(rtail_)) ++cur_;
    if (cur_ < static_cast<int64_t>(rtail_)) {
        event(words::fetch);
        val_ = rule_at(cur_);
        via_word_ = false;
        return State::eval_value;
    }
    return top_is_command() ? State::complete : State::pop_block;
}

State Run::pop_block() {
    event(words::pop);
    if (frame_cells() <= 3) return State::finish;
    popped_at_tail_ = cur_ >= static_cast<int64_t>(rtail_);
    Cell saved = *frame(1);
    Cell outer = *frame(2);
    if (!in(ANY_BLOCK, outer.type())) raise(err::PROTECTED);
    drop_frame();
    rules_ = outer;
    rtail_ = count_of(&rules_);
    if (rules_.head() > rtail_) rules_.data1 = rtail_;
    cur_ = static_cast<int64_t>(rules_.head()) + word1(&saved);
    if (cur_ > static_cast<int64_t>(rtail_)) cur_ = rtail_;
    if (top_is_command()) return State::complete;
    return match_ ? State::next_rule : State::backtrack;
}

State Run::backtrack() {
    if (frame_cells() >= 3) set_idx(static_cast<uint32_t>(word2(frame(1))));
    if (idx() > in_tail()) set_idx(in_tail());
    update_end();
    int64_t from = cur_ < static_cast<int64_t>(rules_.head()) ? rules_.head() : cur_;
    const Cell* c = cells_of(&rules_);
    for (int64_t i = from; i < static_cast<int64_t>(rtail_); ++i) {
        if (c[i].type() == TYPE_WORD && c[i].symbol() == words::sym::pipe) {
            cur_ = i;
            match_ = true;
            return State::next_rule;
        }
    }
    return State::pop_block;
}

State Run::eval_value() {
    Cell v = val_;
    switch (v.type()) {
        case TYPE_WORD:
            if (via_word_) raise(err::PARSE_RULE, &v);
            return State::keyword;
        case TYPE_BLOCK: return push_block(true);
        case TYPE_DATATYPE:
        case TYPE_TYPESET: match_type(v); return State::after_rule;
        case TYPE_SET_WORD: {
            Cell position = input_;
            context::set(&v, &position);
            return State::next_rule;
        }
        case TYPE_GET_WORD: {
            Cell p = *context::get(&v);
            if (!same_series(p)) raise(err::PARSE_INVALID_REF, &v);
            set_idx(p.head() > in_tail() ? in_tail() : p.head());
            match_ = true;
            update_end();
            return State::after_rule;
        }
        case TYPE_INTEGER: return count(v);
        case TYPE_PAREN:
            eval_paren(v);
            event(words::paren);
            refresh(true);
            return State::after_rule;
        case TYPE_PATH: raise(err::PARSE_RULE, &v);
        default: match_literal(v); return State::after_rule;
    }
}

// A repetition count N1, optionally followed by N2.
State Run::count(const Cell& v) {
    int32_t n1 = v.int_value();
    if (n1 < 0) raise(err::OUT_OF_RANGE, &v);
    if (cur_ + 1 >= static_cast<int64_t>(rtail_)) raise(err::PARSE_RULE, &v);
    Cell next = rule_at(cur_ + 1);
    bool has2 = false;
    int32_t n2 = 0;
    if (next.type() == TYPE_INTEGER) {
        has2 = true;
        n2 = next.int_value();
    } else if (next.type() == TYPE_WORD && keyword_of(next) == KW_NOT_KEYWORD) {
        Cell nv = *context::get(&next);
        if (nv.type() == TYPE_INTEGER) {
            has2 = true;
            n2 = nv.int_value();
        }
    }
    if (has2 && (cur_ + 2 >= static_cast<int64_t>(rtail_) || n2 < n1)) raise(err::PARSE_RULE, &v);
    if ((n1 == 0 && !has2) || (has2 && n2 == 0)) {
        cur_ += has2 ? 2 : 1;
        match_ = true;
        return State::after_rule;
    }
    if (has2) ++cur_;
    cmd_word_ = v;
    return push_command(CMD_REPEAT, n1, has2 ? n2 : n1, false, nullptr);
}

State Run::push_command(int32_t code, int32_t min, int32_t max, bool pick, const Cell* target) {
    check_stacks();
    push_rule(target ? *target : triple_value(min, max, 1));
    push_rule(triple_value(offset(), idx(), in_tail()));
    push_rule(pair_value(code, pick ? 1 : 0));
    cmd_ = code;
    if (cur_ < static_cast<int64_t>(rtail_)) ++cur_;
    event(words::push);
    return State::operand;
}


// ---- Keywords ---------------------------------------------------------------------------

State Run::keyword() {
    Cell w = val_;
    Keyword k = keyword_of(w);
    switch (k) {
        case KW_NOT_KEYWORD:
        case KW_pick:
        case KW_only:
        case KW_after: return word_rule(w);
        case KW_pipe:
        case KW_skip:
        case KW_break_:
        case KW_reject:
        case KW_fail:
        case KW_none:
        case KW_end: return match_keyword(k);
        case KW_any:
        case KW_some:
        case KW_opt:
        case KW_while_:
        case KW_to:
        case KW_thru:
        case KW_ahead:
        case KW_not_: return repeat_keyword(k, w);
        case KW_if_:
        case KW_quote:
        case KW_case_: return condition_keyword(k, w);
        case KW_into: return into_keyword(w);
        case KW_copy:
        case KW_set:
        case KW_keep: return extract_keyword(k, w);
        case KW_collect: return collect_keyword(w);
        case KW_remove: return remove_keyword(w);
        case KW_insert: return insert_keyword(w);
        case KW_change: return change_keyword(w);
    }
    sys::no_switch_matched();
}

// A word that is no keyword here: its value is the rule.
State Run::word_rule(const Cell& w) {
    Cell wv = *context::get(&w);
    if (wv.type() == TYPE_UNSET) raise(err::PARSE_RULE, &w);
    val_ = wv;
    via_word_ = true;
    return State::eval_value;
}

// The keywords that match or stop at once: |, skip, break, reject, fail,
// none and end.
State Run::match_keyword(Keyword k) {
    switch (k) {
        case KW_pipe:
            cur_ = rtail_;
            return top_is_command() ? State::complete : State::pop_block;
        case KW_skip:
            match_ = !end_;
            if (match_) set_idx(idx() + 1);
            update_end();
            event(words::match);
            return State::after_rule;
        case KW_break_:
            match_ = true;
            brk_ = true;
            ++cur_;
            event(words::match);
            pop_ = true;
            return State::complete;
        case KW_reject:
            match_ = false;
            brk_ = true;
            event(words::match);
            pop_ = true;
            return State::complete;
        case KW_fail:
            match_ = false;
            event(words::match);
            pop_ = false;
            return State::complete;
        case KW_none:
            match_ = true;
            event(words::match);
            return State::after_rule;
        case KW_end:
            match_ = end_;
            event(words::match);
            return State::after_rule;
        default: break;
    }
    sys::no_switch_matched();
}

// The commands that repeat, search or look ahead: any, some, opt, while,
// to, thru, ahead and not.
State Run::repeat_keyword(Keyword k, const Cell& w) {
    int64_t tail = rtail_;
    switch (k) {
        case KW_any:
        case KW_some:
        case KW_opt:
            if (cur_ + 1 >= tail) raise(err::PARSE_END, &w);
            cmd_word_ = w;
            return push_command(CMD_REPEAT, k == KW_some ? 1 : 0, k == KW_opt ? 1 : -1, false, nullptr);
        case KW_while_: cmd_word_ = w; return push_command(CMD_WHILE, 0, -1, false, nullptr);
        case KW_to:
        case KW_thru: {
            Cell next = rule_at(cur_ + 1);
            if (cur_ + 1 < tail && keyword_of(next) == KW_end) {
                ++cur_;
                match_ = true;
                set_idx(limit());
                end_ = true;
                event(words::match);
                return State::after_rule;
            }
            cmd_word_ = w;
            return push_command(k == KW_to ? CMD_TO : CMD_THRU, 0, 0, false, nullptr);
        }
        case KW_ahead: cmd_word_ = w; return push_command(CMD_AHEAD, 0, 0, false, nullptr);
        case KW_not_: cmd_word_ = w; return push_command(CMD_NOT, 0, 0, false, nullptr);
        default: break;
    }
    sys::no_switch_matched();
}

// The keywords that test or switch the mode: if, quote and case.
State Run::condition_keyword(Keyword k, const Cell& w) {
    int64_t tail = rtail_;
    switch (k) {
        case KW_if_: {
            if (cur_ + 1 >= tail || rule_at(cur_ + 1).type() != TYPE_PAREN) raise(err::PARSE_END, &w);
            ++cur_;
            Cell r = eval_paren(rule_at(cur_));
            refresh(false);
            match_ = natives::truthy(&r);
            event(words::match);
            return State::after_rule;
        }
        case KW_quote:
            if (cur_ + 1 >= tail) raise(err::PARSE_END, &w);
            ++cur_;
            match_literal(rule_at(cur_));
            return State::after_rule;
        case KW_case_: {
            Cell cw = rule_at(cur_ + 1);
            if (cur_ + 1 >= tail || cw.type() != TYPE_WORD) raise(err::PARSE_END, &w);
            ++cur_;
            Cell cv = *context::get(&cw);
            int32_t next_mode = natives::truthy(&cv) ? 2 : 0;
            cmd_word_ = w;
            State s = push_command(CMD_CASE, 0, mode_, false, nullptr);
            mode_ = next_mode;
            return s;
        }
        default: break;
    }
    sys::no_switch_matched();
}

// into: the rules block after it runs over the series at the input's
// position, as an input of its own.
State Run::into_keyword(const Cell& w) {
    int64_t tail = rtail_;
    if (!in(ANY_BLOCK, input_.type())) {
        Cell in = input_;
        raise(err::PARSE_BLOCK, &in);
    }
    Cell op = rule_at(cur_ + 1);
    if (op.type() == TYPE_WORD && keyword_of(op) == KW_NOT_KEYWORD) op = *context::get(&op);
    if (cur_ + 1 >= tail || op.type() != TYPE_BLOCK) raise(err::PARSE_END, &w);
    Cell item = end_ ? none_value() : cells_of(&input_)[idx()];
    if (end_ || !in(SERIES_INPUT, item.type())) {
        ++cur_;
        match_ = false;
        event(words::match);
        return State::after_rule;
    }
    cmd_word_ = w;
    check_stacks();
    push_rule(triple_value(0, 0, 1));
    push_rule(triple_value(offset(), idx(), in_tail()));
    push_rule(pair_value(CMD_INTO, 0));
    cmd_ = CMD_INTO;
    ++cur_;
    // The outer input resumes at its current index.
    Cell* is = input_stack();
    cells_of(is)[count_of(is) - 1].data1 = idx();
    if (item.head() > count_of(&item)) item.data1 = count_of(&item);
    block::rs_append(input_stack(), &item);
    ++input_depth_;
    input_ = item;
    update_end();
    event(words::push);
    val_ = op;
    return State::push_block;
}

// The extracting commands copy, set and keep.
State Run::extract_keyword(Keyword k, const Cell& w) {
    int64_t tail = rtail_;
    if (k == KW_keep) {
        if (depth_ == 0) raise(err::PARSE_KEEP);
        bool pick = false;
        if (cur_ + 1 < tail && keyword_of(rule_at(cur_ + 1)) == KW_pick) {
            pick = true;
            ++cur_;
        }
        if (cur_ + 1 >= tail) raise(err::PARSE_END, &w);
        int32_t code = rule_at(cur_ + 1).type() == TYPE_PAREN ? CMD_KEEP_PAREN : CMD_KEEP;
        cmd_word_ = w;
        return push_command(code, 0, 0, pick, nullptr);
    }
    Cell t = rule_at(cur_ + 1);
    if (cur_ + 2 >= tail || t.type() != TYPE_WORD) raise(err::PARSE_END, &w);
    ++cur_;
    cmd_word_ = w;
    return push_command(k == KW_copy ? CMD_COPY : CMD_SET, 0, 0, false, &t);
}

// collect, collect set, collect into and collect after: the value stack
// gets the block being collected, or the word its result goes to.
State Run::collect_keyword(const Cell& w) {
    int64_t tail = rtail_;
    if (cur_ + 1 >= tail) raise(err::PARSE_END, &w);
    Keyword nk = keyword_of(rule_at(cur_ + 1));
    int32_t saved_index = 0;
    if (nk == KW_set || nk == KW_into || nk == KW_after) {
        Cell t = rule_at(cur_ + 2);
        if (cur_ + 2 >= tail || t.type() != TYPE_WORD) raise(err::PARSE_END, &w);
        if (nk == KW_set) {
            stack::push(&t);
            Cell b;
            block::make_at(&b, 8);
            stack::push(&b);
        } else {
            Cell tv = *context::get(&t);
            uint32_t tt = tv.type(), it = input_.type();
            bool ok = in(ANY_BLOCK, tt) || (tt == TYPE_BINARY && it == TYPE_BINARY) || (in(ANY_STRING, tt) && !in(ANY_BLOCK, it));
            if (!ok) raise(err::PARSE_INTO_TYPE);
            if (tv.node() == input_.node()) raise(err::PARSE_INTO_BAD);
            uint32_t n = count_of(&tv);
            saved_index = static_cast<int32_t>(tv.head() > n ? n : tv.head());
            Cell m = t;
            set_type(&m, nk == KW_into ? TYPE_GET_WORD : TYPE_REFINEMENT);
            stack::push(&m);
        }
        cur_ += 2;
    } else {
        Cell b;
        block::make_at(&b, 8);
        stack::push(&b);
    }
    ++depth_;
    cmd_word_ = w;
    return push_command(CMD_COLLECT, 0, saved_index, false, nullptr);
}

// ---- Keywords that modify the input ----------------------------------------------------

// The index of the rule after insert's or change's keyword, past an
// `only` (which sets *only).
int64_t Run::after_only(const Cell& w, bool* only) {
    int64_t tail = rtail_;
    int64_t p = cur_ + 1;
    if (p >= tail) raise(err::PARSE_END, &w);
    *only = false;
    if (keyword_of(rule_at(p)) == KW_only) {
        *only = true;
        if (++p >= tail) raise(err::PARSE_END, &w);
    }
    return p;
}

State Run::remove_keyword(const Cell& w) {
    if (cur_ + 1 >= static_cast<int64_t>(rtail_)) raise(err::PARSE_END, &w);
    Cell op = rule_at(cur_ + 1);
    if (op.type() == TYPE_PATH) raise(err::PARSE_RULE, &w);
    Cell pos;
    if (position_ref(op, &pos)) {
        ++cur_;
        uint32_t a = pos.head(), b = idx();
        uint32_t lo = a < b ? a : b, hi = a < b ? b : a;
        if (hi > lo) {
            HeadShift shift;
            Cell* saved_top = stack::top;
            Cell s = input_;
            s.data1 = lo;
            Cell n{TYPE_INTEGER, 0, hi - lo, 0};
            actions::remove(&s, &n, nullptr);
            stack::top = saved_top;
        }
        set_idx(lo);
        refresh(false);
        return State::after_rule;
    }
    cmd_word_ = w;
    return push_command(CMD_REMOVE, 0, 0, false, nullptr);
}

State Run::insert_keyword(const Cell& w) {
    int64_t tail = rtail_;
    bool only;
    int64_t p = after_only(w, &only);
    uint32_t at = idx();
    Cell pos;
    if (position_ref(rule_at(p), &pos)) {
        at = pos.head();
        if (++p >= tail) raise(err::PARSE_RULE, &w);
    }
    cur_ = p;
    Cell v = take_value(rule_at(p));
    {
        HeadShift shift;
        Cell* saved_top = stack::top;
        Cell s = input_;
        s.data1 = at > in_tail() ? in_tail() : at;
        uint32_t before = in_tail();
        actions::insert(&s, &v, -1, only, 1, false);
        uint32_t after = in_tail();
        if (at <= idx() && after > before) set_idx(idx() + (after - before));
        stack::top = saved_top;
    }
    refresh(false);
    return State::after_rule;
}

State Run::change_keyword(const Cell& w) {
    int64_t tail = rtail_;
    bool only;
    int64_t p = after_only(w, &only);
    Cell pos;
    if (position_ref(rule_at(p), &pos)) {
        if (p + 1 >= tail) raise(err::PARSE_END, &w);
        cur_ = p + 1;
        Cell v = take_value(rule_at(cur_));
        uint32_t a = pos.head(), b = idx();
        uint32_t lo = a < b ? a : b, hi = a < b ? b : a;
        {
            HeadShift shift;
            Cell* saved_top = stack::top;
            Cell s = input_;
            s.data1 = lo;
            Cell* r = actions::change(&s, &v, static_cast<int32_t>(hi - lo), only, 1);
            set_idx(r->head());
            stack::top = saved_top;
        }
        refresh(false);
        return State::after_rule;
    }
    cur_ = p - 1;
    cmd_word_ = w;
    return push_command(only ? CMD_CHANGE_ONLY : CMD_CHANGE, 0, 0, false, nullptr);
}

// The cell after a command: its operand.
State Run::operand() {
    if (cur_ >= static_cast<int64_t>(rtail_)) {
        switch (cmd_) {
            case CMD_TO:
            case CMD_THRU:
            case CMD_NOT:
            case CMD_REMOVE:
            case CMD_WHILE:
            case CMD_COLLECT:
            case CMD_KEEP:
            case CMD_KEEP_PAREN:
            case CMD_AHEAD: {
                Cell w = cmd_word_;
                raise(err::PARSE_END, &w);
            }
            default: match_ = true; return State::after_rule;
        }
    }
    Cell v = rule_at(cur_);
    if (cmd_ == CMD_KEEP_PAREN && v.type() == TYPE_PAREN) {
        bool pick = word3(frame(2)) != 0;
        Cell r = eval_paren(v);
        event(words::paren);
        keep_value(r, pick);
        refresh(false);
        match_ = true;
        return State::after_rule;
    }
    if (v.type() == TYPE_WORD) {
        if (keyword_of(v) != KW_NOT_KEYWORD) {
            val_ = v;
            return State::keyword;
        }
        Cell wv = *context::get(&v);
        if (wv.type() == TYPE_UNSET) raise(err::PARSE_RULE, &v);
        if (wv.type() == TYPE_WORD) {
            if (cmd_ == CMD_COLLECT || cmd_ == CMD_KEEP) raise(err::PARSE_RULE, &wv);
            return operand_literal(wv);
        }
        return operand_value(wv, true);
    }
    return operand_value(v, false);
}

State Run::operand_value(const Cell& v, bool from_word) {
    if (v.type() == TYPE_BLOCK) {
        val_ = v;
        return push_block(true);
    }
    if (!in(RULE_TYPES, v.type())) return operand_literal(v);
    val_ = v;
    via_word_ = from_word;
    return State::eval_value;
}

State Run::operand_literal(const Cell& v) {
    if (cmd_ == CMD_REPEAT || cmd_ == CMD_TO || cmd_ == CMD_THRU) {
        if (cmd_ == CMD_REPEAT) repeat_value(v);
        else find_value(v, cmd_ == CMD_THRU);
        event(words::match);
        event(words::pop);
        drop_frame();
        return State::after_rule;
    }
    match_literal(v);
    return State::after_rule;
}

// ---- Completing commands --------------------------------------------------------------------

State Run::complete() {
    if (!top_is_command()) {
        if (frame_cells() < 3) return State::finish;
        if (pop_) {
            pop_ = false;
            return State::pop_block;
        }
        return State::backtrack;
    }
    pop_ = true;
    int32_t code = top_code();
    Cell c1 = *frame(0);
    Cell c2 = *frame(1);
    uint32_t start = static_cast<uint32_t>(word2(&c2));
    if (start > in_tail()) start = in_tail();
    switch (code) {
        case CMD_REPEAT:
        case CMD_WHILE: return complete_repeat(code);
        case CMD_TO:
        case CMD_THRU:
            if (match_) {
                if (code == CMD_TO) set_idx(start);
            } else if (start < limit()) {
                // Try again one unit further on.
                Cell* f = frame(1);
                f->data2 = start + 1;
                f->data3 = in_tail();
                set_idx(start + 1);
                update_end();
                cur_ = static_cast<int64_t>(rules_.head()) + word1(&c2);
                pop_ = false;
                match_ = true;
                event(words::pop);
                event(words::iterate);
                return State::next_rule;
            }
            break;
        case CMD_COPY:
        case CMD_SET:
            if (match_) {
                Cell v;
                if (code == CMD_COPY) {
                    Cell src = input_;
                    src.data1 = start;
                    Cell part{TYPE_INTEGER, 0, idx() - start, 0};
                    Cell* saved_top = stack::top;
                    actions::copy(&src, &v, &part, false, nullptr);
                    stack::top = saved_top;
                    last_copy_ = c1;
                    has_last_copy_ = true;
                } else {
                    v = idx() > start ? element_at(start) : none_value();
                }
                context::set(&c1, &v);
            } else {
                set_idx(start);
            }
            break;
        case CMD_NOT:
            match_ = !match_;
            set_idx(start);
            break;
        case CMD_AHEAD: set_idx(start); break;
        case CMD_INTO: {
            bool ok = match_ && popped_at_tail_ && idx() >= in_tail();
            Cell* is = input_stack();
            cut(is, count_of(is) - 1);
            --input_depth_;
            input_ = cells_of(is)[count_of(is) - 1];
            if (idx() > in_tail()) set_idx(in_tail());
            match_ = ok;
            if (ok) set_idx(idx() + 1);
            break;
        }
        case CMD_REMOVE:
            if (match_ && idx() > start) {
                HeadShift shift;
                Cell* saved_top = stack::top;
                Cell s = input_;
                s.data1 = start;
                Cell n{TYPE_INTEGER, 0, idx() - start, 0};
                actions::remove(&s, &n, nullptr);
                stack::top = saved_top;
            }
            set_idx(start);
            refresh(false);
            break;
        case CMD_COLLECT: return complete_collect();
        case CMD_KEEP:
            if (match_) {
                bool pick = word3(frame(2)) != 0;
                if (word3(&c2) == CMD_COPY && has_last_copy_) {
                    Cell v = *context::get(&last_copy_);
                    keep_value(v, pick);
                } else {
                    keep_span(start, pick);
                }
            } else {
                set_idx(start);
            }
            break;
        case CMD_KEEP_PAREN: break;
        case CMD_CHANGE:
        case CMD_CHANGE_ONLY: {
            if (cur_ + 1 >= static_cast<int64_t>(rtail_)) raise(err::PARSE_END, &words::change);
            ++cur_;
            if (match_) {
                Cell v = take_value(rule_at(cur_));
                HeadShift shift;
                Cell* saved_top = stack::top;
                Cell s = input_;
                s.data1 = start;
                uint32_t span = idx() > start ? idx() - start : 0;
                Cell* r = actions::change(&s, &v, static_cast<int32_t>(span), code == CMD_CHANGE_ONLY, 1);
                set_idx(r->head());
                stack::top = saved_top;
            } else {
                set_idx(start);
            }
            refresh(false);
            break;
        }
        case CMD_CASE: mode_ = word2(&c1); break;
        default: sys::no_switch_matched();
    }
    update_end();
    event(words::pop);
    drop_frame();
    // The last completed command, for `keep` (a repeat keeps the input
    // length there, which its end test reads).
    if (frame_cells() >= 3 && top_is_command() && top_code() != CMD_REPEAT) frame(1)->data3 = static_cast<uint32_t>(code);
    return State::after_rule;
}

State Run::complete_repeat(int32_t code) {
    Cell* f = frame(0);
    int32_t min = word1(f), max = word2(f), counter = word3(f);
    Cell c2 = *frame(1);
    uint32_t start = static_cast<uint32_t>(word2(&c2));
    bool matched = match_;
    bool more = matched && (max == -1 || counter < max);
    if (code == CMD_REPEAT && idx() == start && static_cast<int64_t>(in_tail()) >= word3(&c2)) {
        more = false;
        brk_ = false;
    }
    if (brk_) {
        more = false;
        brk_ = false;
    }
    if (more) {
        Cell* g = frame(1);
        g->data2 = idx();
        g->data3 = in_tail();
        frame(0)->data3 = static_cast<uint32_t>(counter + 1);
        cur_ = static_cast<int64_t>(rules_.head()) + word1(&c2);
        pop_ = false;
        event(words::iterate);
        return State::next_rule;
    }
    if (matched) {
        match_ = counter >= min;
    } else {
        match_ = counter - 1 >= min || min == 0;
        set_idx(start > in_tail() ? in_tail() : start);
    }
    update_end();
    event(words::pop);
    drop_frame();
    if (frame_cells() >= 3 && top_is_command() && top_code() != CMD_REPEAT) frame(1)->data3 = static_cast<uint32_t>(code);
    return State::after_rule;
}

State Run::complete_collect() {
    Cell c1 = *frame(0);
    --depth_;
    Cell* first = stack::bottom + sbase_ + 2;
    Cell top = stack::top[-1];
    if (top.type() == TYPE_BLOCK) {
        if (stack::top - 2 >= first) {
            Cell below = stack::top[-2];
            if (below.type() == TYPE_WORD) {
                context::set(&below, &top);
                stack::pop(2);
            } else {
                stack::pop(1);
                keep_value(top, false);
            }
        } else {
            stack::bottom[sbase_ + 1] = top;
            collected_ = true;
            stack::pop(1);
        }
    } else {
        // collect into/after: the target's index goes back where it was.
        Cell w = top;
        set_type(&w, TYPE_WORD);
        stack::pop(1);
        if (top.type() == TYPE_GET_WORD) {
            Cell t = *context::get(&w);
            if (in(SERIES_INPUT, t.type())) {
                t.data1 = static_cast<uint32_t>(word2(&c1));
                context::set(&w, &t);
            }
        }
    }
    update_end();
    event(words::pop);
    drop_frame();
    if (frame_cells() >= 3 && top_is_command() && top_code() != CMD_REPEAT)
        frame(1)->data3 = static_cast<uint32_t>(CMD_COLLECT);
    return State::after_rule;
}

State Run::finish() {
    if (cur_ < static_cast<int64_t>(rtail_)) match_ = false;
    uint32_t i = idx(), t = in_tail();
    int64_t rest = t > i ? t - i : 0;
    if (part_ && rest > 0 && input_depth_ == 1) rest = static_cast<int64_t>(part_) - i;
    if (rest >= 1 && input_depth_ == 1) match_ = false;
    event(words::end);
    return State::done;
}

// ---- Interface --------------------------------------------------------------------------------

Cell* input_stack() { return root_at(input_slot); }
Cell* rule_stack() { return root_at(rule_slot); }

void init() {
    block::make_in(&memory::root_block, 8);
    input_slot = count_of(&memory::root_block) - 1;
    block::make_in(&memory::root_block, 100);
    rule_slot = count_of(&memory::root_block) - 1;
    const struct {
        uint32_t symbol;
        Keyword keyword;
    } list[] = {
#define X(name, text) {words::sym::name, KW_##name},
        ZEM_PARSE_KEYWORDS(X)
#undef X
    };
    keyword_table.assign(1, KW_NOT_KEYWORD);
    for (const auto& e : list) {
        uint32_t s = symbol::resolve(e.symbol);
        if (s >= keyword_table.size()) keyword_table.resize(s + 1, KW_NOT_KEYWORD);
        keyword_table[s] = e.keyword;
    }
}

Unwind process(const Cell* input, const Cell* rules, int32_t mode, uint32_t part, const Cell* trace, Cell* result) {
    Run run(mode, part, trace);
    try {
        run.start(*input, *rules);
        run.run();
        Cell r = run.result();
        run.reset(true);
        *result = r;
        return Unwind::none;
    } catch (const Stop& s) {
        run.result();
        run.reset(true);
        *result = logic_value(s.match);
        return Unwind::none;
    } catch (const UnwindThrown& u) {
        run.reset(true);
        return u.code;
    } catch (...) {
        run.reset(true);
        throw;
    }
}

}  // namespace parse_dialect

// ---- The native ------------------------------------------------------------------------------

namespace natives {

Unwind n_parse(bool, const int32_t* refs) {
    Cell input = *arg(0);
    Cell rules = *arg(1);
    int32_t mode = refs[0] >= 0 ? 2 : 0;
    uint32_t n = series_of(&input)->count();
    if (input.head() > n) input.data1 = n;
    int64_t limit = 0;
    if (refs[1] >= 0) {
        Cell length = *arg(static_cast<uint32_t>(refs[1]));
        switch (length.type()) {
            case TYPE_INTEGER: limit = static_cast<int64_t>(input.head()) + length.int_value(); break;
            case TYPE_FLOAT:
            case TYPE_PERCENT: {
                double d = length.float_value();
                int64_t k = std::isnan(d) ? 0 : d > 4e9 ? 4000000000LL : d < -4e9 ? -4000000000LL : static_cast<int64_t>(d);
                limit = static_cast<int64_t>(input.head()) + k;
                break;
            }
            default: {
                if (length.type() != input.type() || length.node() != input.node()) {
                    Cell word = words::ref::part;
                    fire(err::INVALID_REFINE_ARG, &word, &length);
                }
                limit = length.head();
                break;
            }
        }
        if (limit <= 0) return logic_result(input.head() >= n);
        if (limit > static_cast<int64_t>(UINT32_MAX)) limit = UINT32_MAX;
    }
    Cell trace = refs[2] >= 0 ? *arg(static_cast<uint32_t>(refs[2])) : none_cell();
    Cell out;
    Unwind u = parse_dialect::process(&input, &rules, mode, static_cast<uint32_t>(limit), refs[2] >= 0 ? &trace : nullptr,
                               &out);
    if (u != Unwind::none) return u;
    return result(out);
}

}  // namespace natives
