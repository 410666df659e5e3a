// The loop skeleton the loop natives share, and the steps that foreach,
// remove-each, forall and set share: whether a series has an element at its
// index, and setting a block of words from a value.
#pragma once
#include <cstdint>

#include "evaluator/interpreter.h"
#include "evaluator/stack.h"
#include "runtime/cell.h"

namespace natives {

// ---- The loop skeleton ------------------------------------------------------------

// How a step of a loop ended: normally, by a continue or a break (both are
// the loop's: *u is none again), or by an exit for an outer frame (left in
// *u).
enum class Ended { normal, cont, brk, other };
// Inline: it runs twice a turn of every loop.
inline Ended ended(Unwind* u) {
    switch (*u) {
        case Unwind::none: return Ended::normal;
        case Unwind::cont: *u = Unwind::none; return Ended::cont;
        case Unwind::brk: *u = Unwind::none; return Ended::brk;
        default: return Ended::other;
    }
}
// Evaluates the body in the loop frame, its result slot reset first.
inline Ended run_body(const Cell& body, Unwind* u) {
    stack::reset();
    *u = interpreter::eval_in_frame(&body);
    return ended(u);
}

struct NoAfter {
    Unwind operator()() const { return Unwind::none; }
};

// The turns of a loop whose frame is marked. Each turn `next(more)` makes
// ready (clearing `more` when the loop is over), the body runs, then
// `after()` once the body ran to its end. A break in any of them ends the
// loop, a continue the turn. Answers true when an exit for an outer frame
// left (in *u), false when the loop is over.
template <typename Next, typename After = NoAfter>
bool run_turns(const Cell& body, Unwind* u, Next next, After after = {}) {
    for (;;) {
        bool more = true;
        *u = next(more);
        Ended e = ended(u);
        if (e == Ended::normal) {
            if (!more) return false;
            e = run_body(body, u);
            if (e == Ended::normal) {
                *u = after();
                e = ended(u);
            }
        }
        if (e == Ended::other) return true;
        if (e == Ended::brk) return false;
    }
}

// A loop's turns, then the loop frame's last value as the loop's.
template <typename Next, typename After = NoAfter>
Unwind run_loop(const Cell& body, Next next, After after = {}) {
    Unwind u;
    if (run_turns(body, &u, next, after)) return u;
    stack::unwind_last();
    return Unwind::none;
}

// ---- Steps ------------------------------------------------------------------------

// Raises script expect-arg for an argument of the current native: the
// native's name, the datatype refused and the argument's name.
[[noreturn]] void refuse_arg(const char* argument, const Cell& value);

// Whether the series has an element at its index (an index past the tail
// has none).
bool has_more_q(const Cell* series);

// Sets the first n words of `words` (from its index) from `value`. A
// block-like value gives word i its element i (none beyond the tail), unless
// `only`, which gives every word the whole value; any other value goes to
// every word. `some` leaves a word alone when its new value is none.
// Without `any`, an unset! element raises need-value; a cell of `words`
// that is not a word, set-word, get-word or lit-word raises invalid-arg.
void set_many(const Cell* words, const Cell* value, uint32_t n, bool any, bool only, bool some);

}  // namespace natives
