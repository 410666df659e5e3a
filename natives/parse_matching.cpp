// PARSE: what a run does beyond its state machine: user code (parens,
// values of insert and change, the /trace callback), matching of literals,
// datatypes, counts and searches, and extraction (keep and copy).
#include <vector>

#include "datatypes/binary.h"
#include "datatypes/bitset.h"
#include "datatypes/block.h"
#include "evaluator/context.h"
#include "datatypes/function.h"
#include "datatypes/series.h"
#include "datatypes/string.h"
#include "datatypes/typeset.h"
#include "datatypes/word.h"
#include "evaluator/actions.h"
#include "evaluator/errors.h"
#include "evaluator/interpreter.h"
#include "natives/native_support.h"
#include "natives/parse_run.h"
#include "evaluator/symbol.h"
#include "evaluator/words.h"
#include "runtime/case_folding.h"
#include "runtime/unicode.h"
#include "services/lexer/lexer.h"

namespace parse_dialect {

namespace {

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

}  // namespace

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

}  // namespace parse_dialect
