// What the files that write natives share: the entry point of every native
// and the small helpers of their bodies (argument cells, the result slot,
// truth tests).
#pragma once
#include "evaluator/errors.h"
#include "evaluator/interpreter.h"
#include "evaluator/natives.h"
#include "evaluator/stack.h"

namespace natives {

// The entry point of each native, named n_<C++ name>.
#define X(index, name, word) Unwind n_##name(bool check, const int32_t* refs);
ZEM_NATIVES(X)
#undef X

// The argument cell at position i (the first is also the result slot).
inline Cell* arg(uint32_t i) { return stack::arguments + i; }
inline Cell unset_cell() { return Cell{TYPE_UNSET, 0, 0, 0}; }
inline Cell none_cell() { return Cell{TYPE_NONE, 0, 0, 0}; }
inline Cell logic_cell(bool b) { return Cell{TYPE_LOGIC, b ? 1u : 0u, 0, 0}; }

// Everything is true but none and false.
inline bool truthy(const Cell* v) { return !(v->type() == TYPE_NONE || (v->type() == TYPE_LOGIC && v->data1 == 0)); }

// The strict test of either, while and until: unset! has no truth.
inline bool strict_truthy(const Cell* v) {
    if (v->type() == TYPE_UNSET) fire(err::NO_RETURN);
    return truthy(v);
}

// The argument cell of refinement i, or null when it is absent.
inline Cell* ref_arg(const int32_t* refs, int i) { return refs[i] < 0 ? nullptr : arg(static_cast<uint32_t>(refs[i])); }

// Raises script expect-arg: the calling native, the datatype refused and
// the word of argument n (0-based, refinement arguments counted in spec
// order).
[[noreturn]] void expect_arg(uint32_t type, int32_t n);

// Leaves the value as the native's result.
inline Unwind result(const Cell& v) {
    stack::set_last_keep(&v);
    return Unwind::none;
}
inline Unwind none_result() { return result(none_cell()); }
inline Unwind unset_result() { return result(unset_cell()); }
inline Unwind logic_result(bool b) { return result(logic_cell(b)); }

// Evaluates a block as the native's last act: its value is the result.
inline Unwind eval_block(const Cell& blk) { return interpreter::eval_in_frame(&blk); }

// Runs C++ code of a native that may call back into Zem code (setting a
// word can run an on-change* handler, changing a series an on-deep-change*
// one) and answers the non-local exit taken there as its code (none when
// there was none): a loop takes one that landed on its own frame as it
// takes those of its body.
template <typename F>
inline Unwind guarded(F&& code) {
    try {
        code();
    } catch (const UnwindThrown& u) {
        return u.code;
    }
    return Unwind::none;
}

}  // namespace natives
