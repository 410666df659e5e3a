// PARSE: the engine (a state machine over the input and rule stacks), its
// matching of literals, datatypes, counts and keywords, extraction and
// input modification, the /trace events, and the `parse` native.
#include "natives/parse_dialect.h"

#include <cmath>
#include <vector>

#include "datatypes/binary.h"
#include "datatypes/bitset.h"
#include "datatypes/block.h"
#include "datatypes/context.h"
#include "datatypes/function.h"
#include "datatypes/series.h"
#include "datatypes/string.h"
#include "datatypes/typeset.h"
#include "datatypes/word.h"
#include "evaluator/actions.h"
#include "evaluator/errors.h"
#include "evaluator/interpreter.h"
#include "natives/native_support.h"
#include "evaluator/symbol.h"
#include "evaluator/words.h"
#include "runtime/case_folding.h"
#include "runtime/sys.h"
#include "runtime/typesets.h"
#include "runtime/unicode.h"
#include "services/lexer/lexer.h"

namespace parser {

namespace {

// ---- Command codes and keywords ----------------------------------------------------

constexpr int32_t CMD_REPEAT = -1;
constexpr int32_t CMD_TO = -2;
constexpr int32_t CMD_THRU = -3;
constexpr int32_t CMD_COPY = -4;
constexpr int32_t CMD_SET = -5;
constexpr int32_t CMD_NOT = -6;
constexpr int32_t CMD_INTO = -7;
constexpr int32_t CMD_REMOVE = -9;
constexpr int32_t CMD_WHILE = -11;
constexpr int32_t CMD_COLLECT = -12;
constexpr int32_t CMD_KEEP = -13;
constexpr int32_t CMD_KEEP_PAREN = -14;
constexpr int32_t CMD_AHEAD = -16;
constexpr int32_t CMD_CHANGE = -17;
constexpr int32_t CMD_CHANGE_ONLY = -18;
constexpr int32_t CMD_CASE = -19;

enum Keyword : uint8_t {
    KW_NOT_KEYWORD = 0,
    KW_PIPE, KW_SKIP, KW_ANY, KW_SOME, KW_OPT, KW_COPY, KW_SET, KW_TO, KW_THRU, KW_REMOVE, KW_BREAK,
    KW_REJECT, KW_FAIL, KW_KEEP, KW_PICK, KW_AHEAD, KW_WHILE, KW_INTO, KW_INSERT, KW_ONLY, KW_CHANGE,
    KW_END, KW_IF, KW_NOT, KW_QUOTE, KW_COLLECT, KW_AFTER, KW_CASE, KW_NONE,
};

// Keyword of each symbol id (after alias resolution), built at start-up.
std::vector<uint8_t> keyword_table;

uint32_t input_slot = 0;  // cells of the root block holding the two stacks
uint32_t rule_slot = 0;

Keyword keyword_of(const Cell& w) {
    if (w.type() != TYPE_WORD) return KW_NOT_KEYWORD;
    uint32_t s = symbol::resolve(w.symbol());
    return s < keyword_table.size() ? static_cast<Keyword>(keyword_table[s]) : KW_NOT_KEYWORD;
}

// ---- Cells and blocks ---------------------------------------------------------------

Cell* root_at(uint32_t i) { return reinterpret_cast<Cell*>(series_of(&memory::root_block)->offset_addr()) + i; }
uint32_t count_of(const Cell* s) { return series_of(s)->count(); }
Cell* cells_of(const Cell* blk) { return reinterpret_cast<Cell*>(series_of(blk)->offset_addr()); }
// Cuts a block's buffer after n cells (never lengthens it).
void cut(Cell* blk, uint32_t n) {
    SeriesBuffer* s = series_of(blk);
    if (n < s->count()) s->tail = s->offset + n * static_cast<uint32_t>(sizeof(Cell));
}

Cell none_value() { return Cell{TYPE_NONE, 0, 0, 0}; }
Cell logic_value(bool b) { return Cell{TYPE_LOGIC, b ? 1u : 0u, 0, 0}; }
Cell triple_value(int64_t a, int64_t b, int64_t c) {
    return Cell{TYPE_TRIPLE, static_cast<uint32_t>(a), static_cast<uint32_t>(b), static_cast<uint32_t>(c)};
}
Cell pair_value(int32_t x, int32_t y) { return Cell{TYPE_PAIR, 0, static_cast<uint32_t>(x), static_cast<uint32_t>(y)}; }
int32_t word1(const Cell* c) { return static_cast<int32_t>(c->data1); }
int32_t word2(const Cell* c) { return static_cast<int32_t>(c->data2); }
int32_t word3(const Cell* c) { return static_cast<int32_t>(c->data3); }

constexpr typesets::Mask SERIES_INPUT = ANY_BLOCK | ANY_STRING | typesets::of({TYPE_BINARY});

// Values the rule dispatch treats itself; every other value is matched
// literally.
constexpr typesets::Mask RULE_TYPES =
    typesets::of({TYPE_WORD, TYPE_BLOCK, TYPE_PAREN, TYPE_PATH, TYPE_INTEGER, TYPE_DATATYPE, TYPE_TYPESET,
                  TYPE_SET_WORD, TYPE_GET_WORD});

uint32_t lower(uint32_t cp) { return case_folding::change_char(cp, false); }
uint8_t ascii_lower(uint8_t b) { return b >= 'A' && b <= 'Z' ? static_cast<uint8_t>(b + 32) : b; }

// The bytes a text or binary value stands for when matched against binary
// input: the value from its index, UTF-8 for text, a tag with its brackets.
void literal_bytes(const Cell& v, std::vector<uint8_t>& out) {
    out.clear();
    if (v.type() == TYPE_TAG) out.push_back('<');
    binary::collect_bytes(&v, false, -1, false, out);
    if (v.type() == TYPE_TAG) out.push_back('>');
}

// The lit-word and lit-path comparison, and plain comparison under the case
// mode, of an input cell with a rule value.
bool compare_value(const Cell& item, const Cell& value, int32_t mode) {
    uint32_t vt = value.type(), it = item.type();
    if (vt == TYPE_LIT_WORD) {
        if (!in(ALL_WORD, it)) return false;
        if (mode == 2) return item.symbol() == value.symbol();
        return symbol::resolve(item.symbol()) == symbol::resolve(value.symbol());
    }
    // An issue in the rules matches only an issue: words compare equal to an
    // issue of the same spelling, which would make `#if` match a plain `if`.
    if (vt == TYPE_ISSUE && it != TYPE_ISSUE) return false;
    Cell a = item, b = value;
    if (vt == TYPE_LIT_PATH) {
        if (it < TYPE_PATH || it > TYPE_GET_PATH) return false;
        set_type(&b, it);
    }
    return actions::compare(&a, &b, mode) == 0;
}

struct Stop {
    bool match;
};

// Moves the input stack's head past its entries while user code runs, so
// that a parse it starts stacks its entries above this run's.
struct HeadShift {
    uint32_t saved;
    HeadShift() {
        Cell* s = input_stack();
        saved = s->data1;
        s->data1 = count_of(s);
    }
    ~HeadShift() { input_stack()->data1 = saved; }
};

enum class State {
    push_block,
    next_rule,
    pop_block,
    after_rule,
    backtrack,
    eval_value,
    keyword,
    operand,
    complete,
    finish,
    done,
};

// ---- One run of the engine ----------------------------------------------------------

class Run {
public:
    Run(int32_t mode, uint32_t part, const Cell* trace) : mode_(mode), part_(part) {
        if (trace && trace->type() == TYPE_FUNCTION) {
            tracing_ = true;
            trace_ = *trace;
            Cell spec = function::spec_of(&trace_);
            int32_t n = function::count_locals(&spec, 0, false);
            trace_locals_ = n > 0 ? static_cast<uint32_t>(n) : 0;
            trace_words_ = context::word_count(trace_.ctx());
        }
    }

    void start(const Cell& input, const Cell& rules);
    void run();
    // The result once the machine is done: the outermost collect's block,
    // else the match as logic!.
    Cell result();
    // Clears both stacks down to this run's bases; with restore, also puts
    // the outer run's heads back. Runs once.
    void reset(bool restore);

    bool match_ = true;

private:
    // Run state.
    Cell input_{};         // current input (a copy of the top input-stack entry)
    Cell rules_{};         // current rules block
    int64_t cur_ = 0;      // absolute index of the current rule cell
    uint32_t rtail_ = 0;   // rules tail
    bool end_ = false;
    bool brk_ = false;
    bool pop_ = false;
    int32_t depth_ = 0;    // open collects
    int32_t mode_;
    uint32_t part_;
    Cell trace_{};
    bool tracing_ = false;
    uint32_t trace_locals_ = 0;
    uint32_t trace_words_ = 0;
    uint32_t sbase_ = 0;   // value-stack index of the scratch cell
    uint32_t ibase_ = 0;   // heads of the two stacks for this run
    uint32_t rbase_ = 0;
    bool saved_ = false;   // a re-entrancy marker was pushed
    bool reset_done_ = false;
    uint32_t input_depth_ = 0;
    bool collected_ = false;
    bool popped_at_tail_ = false;
    bool has_last_copy_ = false;
    Cell last_copy_{};
    // Operands of the next state.
    Cell val_{};
    bool via_word_ = false;
    int32_t cmd_ = 0;
    Cell cmd_word_{};

    // ---- Positions ----
    uint32_t idx() const { return input_.data1; }
    void set_idx(uint64_t i) { input_.data1 = static_cast<uint32_t>(i); }
    uint32_t in_tail() const { return count_of(&input_); }
    uint32_t limit() const {
        uint32_t t = in_tail();
        return part_ && input_depth_ == 1 && part_ < t ? part_ : t;
    }
    void update_end() { end_ = idx() >= limit(); }
    Cell rule_at(int64_t i) const {
        if (i < 0 || i >= static_cast<int64_t>(count_of(&rules_))) return none_value();
        return cells_of(&rules_)[i];
    }
    int64_t offset() const { return cur_ - static_cast<int64_t>(rules_.head()); }
    bool same_series(const Cell& v) const { return v.type() == input_.type() && v.node() == input_.node(); }
    // After user code: the rules or the input may have changed.
    void refresh(bool clamp_rule) {
        rtail_ = count_of(&rules_);
        if (clamp_rule && cur_ >= static_cast<int64_t>(rtail_)) cur_ = static_cast<int64_t>(rtail_) - 1;
        if (cur_ > static_cast<int64_t>(rtail_)) cur_ = rtail_;
        if (idx() > in_tail()) set_idx(in_tail());
        update_end();
    }

    // ---- Stacks ----
    uint32_t frame_cells() const {
        uint32_t c = count_of(rule_stack());
        return c > rbase_ ? c - rbase_ : 0;
    }
    // Cell k (0-2) of the top frame; valid until the next allocation.
    Cell* frame(uint32_t k) const { return cells_of(rule_stack()) + count_of(rule_stack()) - 3 + k; }
    bool top_is_command() const { return frame_cells() >= 3 && frame(2)->type() == TYPE_PAIR; }
    int32_t top_code() const { return word2(frame(2)); }
    void check_stacks() {
        if (count_of(rule_stack()) >= STACK_LIMIT || count_of(input_stack()) >= STACK_LIMIT) raise(err::PARSE_STACK);
    }
    void push_rule(const Cell& c) {
        Cell v = c;
        block::rs_append(rule_stack(), &v);
    }
    void drop_frame() { cut(rule_stack(), count_of(rule_stack()) - 3); }

    [[noreturn]] void raise(ErrorId id, const Cell* arg = nullptr) {
        Cell a = arg ? *arg : none_value();
        reset(true);
        if (arg) fire(id, &a);
        fire(id);
    }

    // ---- User code ----
    void event(const Cell& word);
    bool call_trace(const Cell& word);
    Cell eval_paren(const Cell& paren);
    void guard_stack(uint32_t cells);
    Cell take_value(const Cell& v);
    bool position_ref(const Cell& v, Cell* pos);

    // ---- Matching ----
    int64_t match_at(const Cell& v, uint32_t i);
    void match_literal(const Cell& v);
    void match_type(const Cell& v);
    void repeat_value(const Cell& v);
    void find_value(const Cell& v, bool thru);

    // ---- Extraction ----
    void keep_value(const Cell& v, bool pick);
    void keep_span(uint32_t start, bool pick);
    Cell element_at(uint32_t i);

    // ---- States ----
    State push_block(bool with_value);
    State next_rule();
    State pop_block();
    State after_rule() { return top_is_command() ? State::complete : match_ ? State::next_rule : State::backtrack; }
    State backtrack();
    State eval_value();
    State count(const Cell& v);
    State keyword();
    State push_command(int32_t code, int32_t min, int32_t max, bool pick, const Cell* target);
    State operand();
    State operand_value(const Cell& v, bool from_word);
    State operand_literal(const Cell& v);
    State complete();
    State complete_repeat(int32_t code);
    State complete_collect();
    State finish();
};

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

State Run::keyword() {
    Cell w = val_;
    Keyword k = keyword_of(w);
    int64_t tail = rtail_;
    switch (k) {
        case KW_NOT_KEYWORD:
        case KW_PICK:
        case KW_ONLY:
        case KW_AFTER: {
            Cell wv = *context::get(&w);
            if (wv.type() == TYPE_UNSET) raise(err::PARSE_RULE, &w);
            val_ = wv;
            via_word_ = true;
            return State::eval_value;
        }
        case KW_PIPE:
            cur_ = rtail_;
            return top_is_command() ? State::complete : State::pop_block;
        case KW_SKIP:
            match_ = !end_;
            if (match_) set_idx(idx() + 1);
            update_end();
            event(words::match);
            return State::after_rule;
        case KW_ANY:
        case KW_SOME:
        case KW_OPT:
            if (cur_ + 1 >= tail) raise(err::PARSE_END, &w);
            cmd_word_ = w;
            return push_command(CMD_REPEAT, k == KW_SOME ? 1 : 0, k == KW_OPT ? 1 : -1, false, nullptr);
        case KW_WHILE: cmd_word_ = w; return push_command(CMD_WHILE, 0, -1, false, nullptr);
        case KW_TO:
        case KW_THRU: {
            Cell next = rule_at(cur_ + 1);
            if (cur_ + 1 < tail && keyword_of(next) == KW_END) {
                ++cur_;
                match_ = true;
                set_idx(limit());
                end_ = true;
                event(words::match);
                return State::after_rule;
            }
            cmd_word_ = w;
            return push_command(k == KW_TO ? CMD_TO : CMD_THRU, 0, 0, false, nullptr);
        }
        case KW_AHEAD: cmd_word_ = w; return push_command(CMD_AHEAD, 0, 0, false, nullptr);
        case KW_NOT: cmd_word_ = w; return push_command(CMD_NOT, 0, 0, false, nullptr);
        case KW_BREAK:
            match_ = true;
            brk_ = true;
            ++cur_;
            event(words::match);
            pop_ = true;
            return State::complete;
        case KW_REJECT:
            match_ = false;
            brk_ = true;
            event(words::match);
            pop_ = true;
            return State::complete;
        case KW_FAIL:
            match_ = false;
            event(words::match);
            pop_ = false;
            return State::complete;
        case KW_NONE:
            match_ = true;
            event(words::match);
            return State::after_rule;
        case KW_END:
            match_ = end_;
            event(words::match);
            return State::after_rule;
        case KW_IF: {
            if (cur_ + 1 >= tail || rule_at(cur_ + 1).type() != TYPE_PAREN) raise(err::PARSE_END, &w);
            ++cur_;
            Cell r = eval_paren(rule_at(cur_));
            refresh(false);
            match_ = natives::truthy(&r);
            event(words::match);
            return State::after_rule;
        }
        case KW_QUOTE:
            if (cur_ + 1 >= tail) raise(err::PARSE_END, &w);
            ++cur_;
            match_literal(rule_at(cur_));
            return State::after_rule;
        case KW_CASE: {
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
        case KW_INTO: {
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
        case KW_COPY:
        case KW_SET: {
            Cell t = rule_at(cur_ + 1);
            if (cur_ + 2 >= tail || t.type() != TYPE_WORD) raise(err::PARSE_END, &w);
            ++cur_;
            cmd_word_ = w;
            return push_command(k == KW_COPY ? CMD_COPY : CMD_SET, 0, 0, false, &t);
        }
        case KW_COLLECT: {
            if (cur_ + 1 >= tail) raise(err::PARSE_END, &w);
            Keyword nk = keyword_of(rule_at(cur_ + 1));
            int32_t saved_index = 0;
            if (nk == KW_SET || nk == KW_INTO || nk == KW_AFTER) {
                Cell t = rule_at(cur_ + 2);
                if (cur_ + 2 >= tail || t.type() != TYPE_WORD) raise(err::PARSE_END, &w);
                if (nk == KW_SET) {
                    stack::push(&t);
                    Cell b;
                    block::make_at(&b, 8);
                    stack::push(&b);
                } else {
                    Cell tv = *context::get(&t);
                    uint32_t tt = tv.type(), it = input_.type();
                    bool ok = in(ANY_BLOCK, tt) || (tt == TYPE_BINARY && it == TYPE_BINARY) ||
                              (in(ANY_STRING, tt) && !in(ANY_BLOCK, it));
                    if (!ok) raise(err::PARSE_INTO_TYPE);
                    if (tv.node() == input_.node()) raise(err::PARSE_INTO_BAD);
                    uint32_t n = count_of(&tv);
                    saved_index = static_cast<int32_t>(tv.head() > n ? n : tv.head());
                    Cell m = t;
                    set_type(&m, nk == KW_INTO ? TYPE_GET_WORD : TYPE_REFINEMENT);
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
        case KW_KEEP: {
            if (depth_ == 0) raise(err::PARSE_KEEP);
            bool pick = false;
            if (cur_ + 1 < tail && keyword_of(rule_at(cur_ + 1)) == KW_PICK) {
                pick = true;
                ++cur_;
            }
            if (cur_ + 1 >= tail) raise(err::PARSE_END, &w);
            int32_t code = rule_at(cur_ + 1).type() == TYPE_PAREN ? CMD_KEEP_PAREN : CMD_KEEP;
            cmd_word_ = w;
            return push_command(code, 0, 0, pick, nullptr);
        }
        case KW_REMOVE: {
            if (cur_ + 1 >= tail) raise(err::PARSE_END, &w);
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
        case KW_INSERT: {
            int64_t p = cur_ + 1;
            if (p >= tail) raise(err::PARSE_END, &w);
            bool only = false;
            if (keyword_of(rule_at(p)) == KW_ONLY) {
                only = true;
                if (++p >= tail) raise(err::PARSE_END, &w);
            }
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
        case KW_CHANGE: {
            int64_t p = cur_ + 1;
            if (p >= tail) raise(err::PARSE_END, &w);
            bool only = false;
            if (keyword_of(rule_at(p)) == KW_ONLY) {
                only = true;
                if (++p >= tail) raise(err::PARSE_END, &w);
            }
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
    }
    sys::no_switch_matched();
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

// ---- User code: parens, values and the trace callback ---------------------------------------

Cell Run::eval_paren(const Cell& paren) {
    uint32_t cells = count_of(rule_stack());
    Cell r;
    {
        HeadShift shift;
        Cell* top = stack::top;
        Cell p = paren;
        Unwind u = interpreter::eval(&p, false);
        if (u != Unwind::none) throw UnwindThrown{u};
        r = *top;
        stack::top = top;
    }
    guard_stack(cells);
    return r;
}

// User code that got hold of the rule stack (through a trace callback) may
// read it but not add or remove cells.
void Run::guard_stack(uint32_t cells) {
    if (count_of(rule_stack()) != cells) raise(err::PROTECTED);
}

// The value of insert and change: a paren's result, a word's value, or the
// value itself.
Cell Run::take_value(const Cell& v) {
    switch (v.type()) {
        case TYPE_PATH: raise(err::PARSE_RULE, &v);
        case TYPE_PAREN: {
            Cell r = eval_paren(v);
            event(words::paren);
            refresh(false);
            return r;
        }
        case TYPE_WORD: {
            Cell w = v;
            Cell r = *context::get(&w);
            if (r.type() == TYPE_UNSET) raise(err::NO_VALUE, &w);
            return r;
        }
        default: return v;
    }
}

// Whether a word or get-word refers to the input series; its position then.
bool Run::position_ref(const Cell& v, Cell* pos) {
    if (v.type() != TYPE_GET_WORD && (v.type() != TYPE_WORD || keyword_of(v) != KW_NOT_KEYWORD)) return false;
    Cell w = v;
    Cell p = *context::get(&w);
    if (!same_series(p)) return false;
    if (p.head() > in_tail()) p.data1 = in_tail();
    *pos = p;
    return true;
}

void Run::event(const Cell& word) {
    if (tracing_ && !call_trace(word)) throw Stop{match_};
}

bool Run::call_trace(const Cell& word) {
    Cell fn = trace_;
    int64_t off = offset();
    Cell r = rules_;
    r.data1 = static_cast<uint32_t>(rules_.head() + (off < 0 ? 0 : off));
    Cell in = input_;
    Cell stk = *rule_stack();
    Cell ev = word;
    Cell m = logic_value(match_);
    uint32_t base = stack::index_of(stack::arguments);
    Cell* saved_top = stack::top;
    stack::Frame* saved_ctop = stack::ctop;
    uint32_t cells = count_of(rule_stack());
    bool answer;
    {
        HeadShift shift;
        stack::push_slot()->header = TYPE_UNSET;
        stack::mark_func(&words::parse_callback, fn.ctx());
        stack::push(&ev);
        stack::push(&m);
        stack::push(&r);
        stack::push(&in);
        stack::push(&stk);
        uint32_t pushed = 5;
        if (trace_locals_ > 0 && trace_words_ >= 5 + trace_locals_) {
            // Refinements and their arguments between the five arguments
            // and the locals stay none.
            for (; pushed < trace_words_ - trace_locals_; ++pushed) {
                Cell n = none_value();
                stack::push(&n);
            }
            function::init_locals(trace_locals_);
            pushed += trace_locals_;
        }
        for (; pushed < trace_words_; ++pushed) {
            Cell n = none_value();
            stack::push(&n);
        }
        Unwind u = interpreter::call_function(&fn, &words::parse_callback);
        if (u != Unwind::none) throw UnwindThrown{u};
        answer = natives::truthy(stack::arguments);
        stack::unwind_func();
    }
    stack::top = saved_top;
    stack::ctop = saved_ctop;
    stack::arguments = stack::bottom + base;
    guard_stack(cells);
    refresh(false);
    return answer;
}

// ---- Matching -------------------------------------------------------------------------------

// Length of the match of a literal at index i of the input, or -1.
int64_t Run::match_at(const Cell& v, uint32_t i) {
    uint32_t t = input_.type();
    uint32_t lim = limit();
    if (i >= lim) return -1;
    if (t == TYPE_BINARY) {
        const uint8_t* p = series_of(&input_)->offset_addr();
        uint32_t vt = v.type();
        if (vt == TYPE_BITSET) return bitset::member_q(&v, p[i]) ? 1 : -1;
        if (vt == TYPE_CHAR) return static_cast<uint32_t>(v.int_value()) == p[i] ? 1 : -1;
        if (vt != TYPE_BINARY && !in(ANY_STRING, vt)) return -1;
        std::vector<uint8_t> bytes;
        literal_bytes(v, bytes);
        p = series_of(&input_)->offset_addr();
        if (i + bytes.size() > lim) return -1;
        bool fold = mode_ != 2 && vt != TYPE_BINARY;
        for (size_t k = 0; k < bytes.size(); ++k) {
            uint8_t a = p[i + k], b = bytes[k];
            if (a != b && !(fold && ascii_lower(a) == ascii_lower(b))) return -1;
        }
        return static_cast<int64_t>(bytes.size());
    }
    if (in(ANY_STRING, t)) {
        Cell probe = input_;
        probe.data1 = i;
        if (v.type() == TYPE_BITSET) return bitset::match_char_q(&probe, &v) ? 1 : -1;
        if (!string::match_q(&probe, &v, mode_)) return -1;
        int64_t n = v.type() == TYPE_CHAR ? 1 : string::rs_length_q(&v) + (v.type() == TYPE_TAG ? 2 : 0);
        return i + n <= lim ? n : -1;
    }
    Cell item = cells_of(&input_)[i];
    return compare_value(item, v, mode_) ? 1 : -1;
}

void Run::match_literal(const Cell& v) {
    uint32_t i = idx();
    int64_t n = -1;
    if (i >= limit()) {
        uint32_t vt = v.type();
        if (in(ANY_STRING, input_.type()) && (vt == TYPE_STRING || vt == TYPE_FILE || vt == TYPE_URL) &&
            string::rs_length_q(&v) == 0)
            n = 0;
    } else {
        n = match_at(v, i);
    }
    match_ = n >= 0;
    if (match_) set_idx(i + static_cast<uint64_t>(n));
    update_end();
    event(words::match);
}

void Run::match_type(const Cell& v) {
    if (in(ANY_STRING, input_.type())) raise(err::PARSE_UNSUPPORTED);
    auto fits = [&](uint32_t type) {
        return v.type() == TYPE_DATATYPE ? type == v.data1 : typeset::has_q(&v, type);
    };
    match_ = false;
    if (!end_) {
        if (input_.type() == TYPE_BINARY) {
            Cell slot = none_value();
            uint32_t consumed = 0;
            uint32_t len = limit() - idx();
            const uint8_t* p = series_of(&input_)->offset_addr() + idx();
            int32_t type = lexer::scan(&slot, p, len, true, true, false, &consumed);
            if (type > 0 && type != lexer::TYPE_SCAN_ERROR && fits(static_cast<uint32_t>(type)) && consumed > 0) {
                match_ = true;
                set_idx(idx() + (consumed > len ? len : consumed));
            }
        } else if (fits(cells_of(&input_)[idx()].type())) {
            match_ = true;
            set_idx(idx() + 1);
        }
    }
    update_end();
    event(words::match);
}

// A repetition of a literal: counts consecutive matches from the index.
void Run::repeat_value(const Cell& v) {
    Cell* f = frame(0);
    int64_t min = word1(f), max = word2(f);
    uint32_t i = idx(), lim = limit();
    int64_t avail = lim > i ? lim - i : 0;
    if (avail == 0 || avail < min) {
        match_ = min == 0;
        update_end();
        return;
    }
    int64_t n = 0;
    uint32_t t = input_.type();
    if (in(ANY_STRING, t) && (v.type() == TYPE_CHAR || v.type() == TYPE_BITSET)) {
        SeriesBuffer* s = series_of(&input_);
        const uint8_t* p = s->offset_addr();
        uint32_t unit = s->unit();
        bool fold = mode_ != 2;
        uint32_t want = v.type() == TYPE_CHAR ? static_cast<uint32_t>(v.int_value()) : 0;
        if (fold) want = lower(want);
        while (i < lim && (max == -1 || n < max)) {
            uint32_t c = unicode::get_char(p, unit, i);
            bool ok = v.type() == TYPE_CHAR ? (fold ? lower(c) : c) == want : bitset::member_q(&v, c);
            if (!ok) break;
            ++i;
            ++n;
        }
    } else {
        while (i < lim && (max == -1 || n < max)) {
            int64_t k = match_at(v, i);
            if (k == 0) {
                // An empty value matches at once without moving.
                match_ = true;
                update_end();
                return;
            }
            if (k < 0) break;
            i += static_cast<uint32_t>(k);
            ++n;
        }
    }
    match_ = min == 0 || (n >= min && (max == -1 || n <= max));
    if (match_) set_idx(i);
    update_end();
}

// to/thru with a literal: the first match from the index, bounded by the
// tail and the part limit.
void Run::find_value(const Cell& v, bool thru) {
    uint32_t i = idx(), lim = limit();
    uint32_t t = input_.type(), vt = v.type();
    int64_t found = -1, length = 0;
    if (in(ANY_STRING, t) || t == TYPE_BINARY) {
        if (vt == TYPE_CHAR || vt == TYPE_BITSET) {
            SeriesBuffer* s = series_of(&input_);
            const uint8_t* p = s->offset_addr();
            uint32_t unit = s->unit();
            bool fold = mode_ != 2 && t != TYPE_BINARY;
            uint32_t want = vt == TYPE_CHAR ? static_cast<uint32_t>(v.int_value()) : 0;
            if (fold) want = lower(want);
            for (uint32_t k = i; k < lim; ++k) {
                uint32_t c = unicode::get_char(p, unit, k);
                bool ok = vt == TYPE_CHAR ? (fold ? lower(c) : c) == want : bitset::member_q(&v, c);
                if (ok) {
                    found = k;
                    length = 1;
                    break;
                }
            }
        } else if (vt == TYPE_BINARY || in(ANY_STRING, vt)) {
            for (uint32_t k = i; k <= lim; ++k) {
                int64_t n;
                if (k == lim) {
                    bool empty = (vt == TYPE_BINARY ? binary::rs_length_q(&v) : string::rs_length_q(&v)) == 0;
                    n = empty && vt != TYPE_TAG ? 0 : -1;
                } else {
                    n = match_at(v, k);
                }
                if (n >= 0) {
                    found = k;
                    length = n;
                    break;
                }
            }
        } else {
            Cell bad = v;
            raise(err::PARSE_RULE, &bad);
        }
    } else {
        for (uint32_t k = i; k < lim; ++k) {
            Cell item = cells_of(&input_)[k];
            if (compare_value(item, v, mode_)) {
                found = k;
                length = 1;
                break;
            }
        }
    }
    match_ = found >= 0;
    if (match_) set_idx(thru ? found + length : found);
    update_end();
}

// ---- Extraction ---------------------------------------------------------------------------

// The element at absolute index i of the input: char!, integer! or the cell.
Cell Run::element_at(uint32_t i) {
    Cell probe = input_;
    probe.data1 = i;
    Cell out;
    series::pick_into(&probe, 1, &out);
    return out;
}

// Puts one value into the innermost collect target.
void Run::keep_value(const Cell& v, bool pick) {
    Cell target = stack::top[-1];
    Cell value = v;
    if (target.type() == TYPE_BLOCK) {
        if (pick && in(SERIES_INPUT, value.type())) {
            uint32_t n = count_of(&value);
            for (uint32_t i = value.head(); i < n; ++i) {
                Cell probe = value;
                probe.data1 = i;
                Cell e;
                series::pick_into(&probe, 1, &e);
                block::rs_append(&target, &e);
            }
        } else {
            block::rs_append(&target, &value);
        }
        return;
    }
    Cell w = target;
    set_type(&w, TYPE_WORD);
    Cell t = *context::get(&w);
    if (!in(SERIES_INPUT, t.type())) raise(err::PARSE_INTO_TYPE);
    bool after = target.type() == TYPE_REFINEMENT;
    HeadShift shift;
    Cell* saved_top = stack::top;
    if (t.head() > count_of(&t)) t.data1 = count_of(&t);
    Cell* r = actions::insert(&t, &value, -1, !pick, 1, after);
    if (!after) {
        Cell moved = *r;
        context::set(&w, &moved);
    }
    stack::top = saved_top;
}

// `keep rule`: what the operand matched, from start to the index.
void Run::keep_span(uint32_t start, bool pick) {
    uint32_t end = idx();
    if (end <= start) return;
    if (end - start == 1 || pick) {
        for (uint32_t i = start; i < end; ++i) {
            Cell e = element_at(i);
            keep_value(e, false);
        }
        return;
    }
    Cell src = input_;
    src.data1 = start;
    Cell part{TYPE_INTEGER, 0, end - start, 0};
    Cell copy;
    Cell* saved_top = stack::top;
    actions::copy(&src, &copy, &part, false, nullptr);
    stack::top = saved_top;
    keep_value(copy, false);
}

}  // namespace

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
        {words::sym::pipe, KW_PIPE},       {words::sym::skip, KW_SKIP},     {words::sym::any, KW_ANY},
        {words::sym::some, KW_SOME},       {words::sym::opt, KW_OPT},       {words::sym::copy, KW_COPY},
        {words::sym::set, KW_SET},         {words::sym::to, KW_TO},         {words::sym::thru, KW_THRU},
        {words::sym::remove, KW_REMOVE},   {words::sym::break_, KW_BREAK},  {words::sym::reject, KW_REJECT},
        {words::sym::fail, KW_FAIL},       {words::sym::keep, KW_KEEP},     {words::sym::pick, KW_PICK},
        {words::sym::ahead, KW_AHEAD},     {words::sym::while_, KW_WHILE},  {words::sym::into, KW_INTO},
        {words::sym::insert, KW_INSERT},   {words::sym::only, KW_ONLY},     {words::change.symbol(), KW_CHANGE},
        {words::sym::end, KW_END},         {words::sym::if_, KW_IF},        {words::sym::not_, KW_NOT},
        {words::sym::quote, KW_QUOTE},     {words::sym::collect, KW_COLLECT}, {words::sym::after, KW_AFTER},
        {words::sym::case_, KW_CASE},      {words::sym::none, KW_NONE},
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

}  // namespace parser

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
    Unwind u = parser::process(&input, &rules, mode, static_cast<uint32_t>(limit), refs[2] >= 0 ? &trace : nullptr,
                               &out);
    if (u != Unwind::none) return u;
    return result(out);
}

}  // namespace natives
