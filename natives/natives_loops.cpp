// The loops over series: foreach, forall and remove-each, with the steps
// they share with set (setting a block of words from a value).
#include "natives/natives_loops.h"

#include "datatypes/block.h"
#include "evaluator/context.h"
#include "datatypes/datatype.h"
#include "datatypes/image.h"
#include "datatypes/map.h"
#include "datatypes/series.h"
#include "datatypes/word.h"
#include "evaluator/actions.h"
#include "natives/native_support.h"
#include "evaluator/symbol.h"
#include "evaluator/words.h"
#include "runtime/typesets.h"

namespace natives {

namespace {

constexpr typesets::Mask TEXT_LIKE = ANY_STRING | typesets::of({TYPE_BINARY, TYPE_VECTOR});

// foreach's step with one word: the index moves on and the word takes the
// element that was at it (a block's cell itself). The index moves first: a
// continue taken in an on-change* handler of the word goes on with the
// next element.
bool step_one(Cell* series, Cell* word) {
    if (!has_more_q(series)) return false;
    Cell v;
    series::pick_into(series, 1, &v);
    series->data1 = series->head() + 1;
    context::set(word, &v);
    return true;
}

// foreach's step with a block of n words: the index moves on by n and they
// take the n elements that were at it (none beyond the tail).
bool step_many(Cell* series, const Cell* words, uint32_t n) {
    if (!has_more_q(series) || n == 0) return false;
    uint32_t t = series->type();
    if (t == TYPE_MAP) return map::foreach_next(words, series, n);  // skips removed pairs, moves the index itself
    if (t == TYPE_IMAGE) {
        image::foreach_set_words(words, series, n);
        return true;
    }
    Cell at = *series;
    series->data1 = series->head() + n;
    if (in(TEXT_LIKE, t)) {
        for (uint32_t i = 0; i < n; ++i) {
            Cell w = block::rs_head(words)[i];
            if (!in(ANY_WORD, w.type())) fire(err::INVALID_ARG, &w);
            Cell v;
            series::pick_into(&at, static_cast<int32_t>(i + 1), &v);
            context::set(&w, &v);
        }
    } else {
        set_many(words, &at, n, true, false, false);
    }
    return true;
}

// The words argument of foreach and remove-each: the count of words (1 for
// a single word), checked against the series.
uint32_t word_count(const Cell& words, const Cell& series) {
    if (words.type() == TYPE_WORD) {
        if (series.type() == TYPE_MAP) fire(err::INVALID_ARG, &words);
        return 1;
    }
    if (words.type() != TYPE_BLOCK) refuse_arg("word", words);
    uint32_t n = block::rs_length_q(&words);
    if (n == 0) fire(err::INVALID_ARG, &words);
    if (series.type() == TYPE_MAP && n != 2) fire(err::INVALID_ARG, &words);
    return n;
}

// The loop frame's result slot starts as unset (a body that never runs).
void start_unset() {
    Cell u = unset_cell();
    stack::set_last_keep(&u);
}

bool step(Cell* series, Cell* words, uint32_t n) {
    return words->type() == TYPE_WORD ? step_one(series, words) : step_many(series, words, n);
}

// The turn of foreach and remove-each made ready: the words take the next
// elements. An exit taken in an on-change* handler of the words is the
// loop's, as one taken in its body.
auto next_elements(Cell* series, Cell* words, uint32_t n) {
    return [=](bool& more) { return guarded([&] { more = step(series, words, n); }); };
}

}  // namespace

// ---- The loop skeleton ------------------------------------------------------------------------

// script expect-arg for an argument of the current native: its name, the
// datatype refused and the argument's word.
void refuse_arg(const char* argument, const Cell& value) {
    Cell name, dt, w{};
    actions::caller_word(&name);
    datatype::make_at(&dt, value.type());
    word::make_at(symbol::make(argument), &w);
    fire(err::EXPECT_ARG, &name, &dt, &w);
}

bool has_more_q(const Cell* series) {
    if (series->node() == 0) return false;
    if (series->type() == TYPE_IMAGE) return series->head() < image::pixel_count(series);
    return series->head() < series_of(series)->count();
}

void set_many(const Cell* words_in, const Cell* value_in, uint32_t n, bool any, bool only, bool some) {
    Cell words = *words_in, value = *value_in;
    bool source = in(CELL_SERIES, value.type()) && !only;
    uint32_t available = source ? block::rs_length_q(&value) : 0;
    if (source) {
        for (uint32_t i = 0; i < n; ++i) {
            Cell w = block::rs_clamp_head(&words)[i];
            if (!in(ANY_WORD, w.type())) fire(err::INVALID_ARG, &w);
            if (!any && i < available && block::rs_clamp_head(&value)[i].type() == TYPE_UNSET) fire(err::NEED_VALUE, &w);
        }
    }
    for (uint32_t i = 0; i < n; ++i) {
        Cell v = value;
        if (source) {
            available = block::rs_length_q(&value);
            v = i < available ? block::rs_clamp_head(&value)[i] : none_cell();
        }
        if (some && v.type() == TYPE_NONE) continue;
        Cell w = block::rs_clamp_head(&words)[i];
        if (!in(ANY_WORD, w.type())) fire(err::INVALID_ARG, &w);
        context::set(&w, &v);
    }
}

// ---- foreach --------------------------------------------------------------------------------

Unwind n_foreach(bool, const int32_t*) {
    Cell words = *arg(0), series = *arg(1), body = *arg(2);
    if (!in(SERIES, series.type()) && series.type() != TYPE_MAP) refuse_arg("series", series);
    uint32_t n = word_count(words, series);
    stack::push(&series);
    stack::push(&words);
    stack::mark_loop(&words::body);
    start_unset();
    return run_loop(body, next_elements(&series, &words, n));
}

// ---- remove-each ----------------------------------------------------------------------------

Unwind n_remove_each(bool, const int32_t*) {
    Cell words = *arg(0), data = *arg(1), body = *arg(2);
    if (!in(SERIES, data.type())) refuse_arg("data", data);
    uint32_t n = word_count(words, data);
    Cell count{TYPE_INTEGER, 0, n, 0};
    Cell series = data;
    stack::push(&count);
    stack::push(&series);
    stack::push(&words);
    stack::mark_loop(&words::body);
    start_unset();
    auto remove_if_true = [&] {
        if (!truthy(stack::arguments)) return Unwind::none;
        // The elements just handed to the body go. An exit taken in an
        // on-deep-change* handler of the series ends this step as one taken
        // in the body would, with the index after what is left.
        uint32_t back = series.head() >= n ? series.head() - n : 0;
        uint32_t before = series_of(&series)->count();
        series.data1 = back;
        Cell part = count;
        Unwind u = guarded([&] { series.data1 = actions::remove(&series, n == 1 ? nullptr : &part, nullptr)->head(); });
        if (u != Unwind::none) series.data1 = series_of(&series)->count() < before ? back : back + n;
        return u;
    };
    Unwind u;
    if (run_turns(body, &u, next_elements(&series, &words, n), remove_if_true)) return u;
    stack::set_last(&data);
    stack::unwind_last();
    return Unwind::none;
}

// ---- forall ---------------------------------------------------------------------------------

Unwind n_forall(bool, const int32_t*) {
    Cell word = *arg(0), body = *arg(1);
    if (word.type() != TYPE_WORD) refuse_arg("word", word);
    Cell start = *context::get(&word);
    if (!in(SERIES, start.type())) {
        Cell name, dt;
        actions::caller_word(&name);
        datatype::make_at(&dt, start.type());
        fire(err::EXPECT_ARG, &name, &dt, &word);
    }
    stack::mark_loop(&words::body);
    start_unset();
    bool broke = false;
    if (has_more_q(context::get(&word))) {
        for (;;) {
            Unwind u;
            Ended e = run_body(body, &u);
            if (e == Ended::other) return u;
            if (e == Ended::brk) {
                broke = true;
                break;
            }
            Cell* cur = context::get(&word);
            if (!in(SERIES, cur->type()) || cur->node() != start.node()) {
                Cell changed = *cur;
                fire(err::BAD_LOOP_SERIES, &changed);
            }
            cur->data1 = cur->head() + 1;
            if (!has_more_q(cur)) break;
        }
    }
    if (!broke) {
        // The word takes its series back; an exit its on-change* handler
        // takes is the loop's (a break or continue has nothing left to skip).
        Unwind u = guarded([&] { context::set(&word, &start); });
        if (ended(&u) == Ended::other) return u;
    }
    stack::unwind_last();
    return Unwind::none;
}

}  // namespace natives
