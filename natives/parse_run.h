// The PARSE dialect's own declarations, shared by the engine
// (parse_dialect.cpp) and its matching and extraction (parse_matching.cpp):
// command codes, keywords, small cell helpers and one run of the engine.
#pragma once
#include <cstdint>

#include "datatypes/block.h"
#include "evaluator/context.h"
#include "datatypes/function.h"
#include "datatypes/string.h"
#include "evaluator/errors.h"
#include "evaluator/stack.h"
#include "evaluator/words.h"
#include "natives/parse_dialect.h"
#include "runtime/cell.h"
#include "runtime/memory.h"
#include "runtime/typesets.h"

namespace parse_dialect {

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

// Keyword codes, one per word of ZEM_PARSE_KEYWORDS.
enum Keyword : uint8_t {
    KW_NOT_KEYWORD = 0,
#define X(name, text) KW_##name,
    ZEM_PARSE_KEYWORDS(X)
#undef X
};

// The keyword a rule cell is (KW_NOT_KEYWORD for any other value).
Keyword keyword_of(const Cell& w);

// ---- Cells and blocks ---------------------------------------------------------------

inline Cell* root_at(uint32_t i) { return reinterpret_cast<Cell*>(series_of(&memory::root_block)->offset_addr()) + i; }
inline uint32_t count_of(const Cell* s) { return series_of(s)->count(); }
inline Cell* cells_of(const Cell* blk) { return reinterpret_cast<Cell*>(series_of(blk)->offset_addr()); }
// Cuts a block's buffer after n cells (never lengthens it).
inline void cut(Cell* blk, uint32_t n) {
    SeriesBuffer* s = series_of(blk);
    if (n < s->count()) s->tail = s->offset + n * static_cast<uint32_t>(sizeof(Cell));
}

inline Cell none_value() { return Cell{TYPE_NONE, 0, 0, 0}; }
inline Cell logic_value(bool b) { return Cell{TYPE_LOGIC, b ? 1u : 0u, 0, 0}; }
inline Cell triple_value(int64_t a, int64_t b, int64_t c) {
    return Cell{TYPE_TRIPLE, static_cast<uint32_t>(a), static_cast<uint32_t>(b), static_cast<uint32_t>(c)};
}
inline Cell pair_value(int32_t x, int32_t y) { return Cell{TYPE_PAIR, 0, static_cast<uint32_t>(x), static_cast<uint32_t>(y)}; }
inline int32_t word1(const Cell* c) { return static_cast<int32_t>(c->data1); }
inline int32_t word2(const Cell* c) { return static_cast<int32_t>(c->data2); }
inline int32_t word3(const Cell* c) { return static_cast<int32_t>(c->data3); }

constexpr typesets::Mask SERIES_INPUT = ANY_BLOCK | ANY_STRING | typesets::of({TYPE_BINARY});

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
    State word_rule(const Cell& w);
    State match_keyword(Keyword k);
    State repeat_keyword(Keyword k, const Cell& w);
    State condition_keyword(Keyword k, const Cell& w);
    State into_keyword(const Cell& w);
    State extract_keyword(Keyword k, const Cell& w);
    State collect_keyword(const Cell& w);
    int64_t after_only(const Cell& w, bool* only);
    State remove_keyword(const Cell& w);
    State insert_keyword(const Cell& w);
    State change_keyword(const Cell& w);
    State push_command(int32_t code, int32_t min, int32_t max, bool pick, const Cell* target);
    State operand();
    State operand_value(const Cell& v, bool from_word);
    State operand_literal(const Cell& v);
    State complete();
    State complete_repeat(int32_t code);
    State complete_collect();
    State finish();
};

}  // namespace parse_dialect
