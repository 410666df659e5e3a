// The set-operation natives union, intersect, unique, difference and
// exclude: one dispatcher over blocks and hash!, strings, bitsets,
// typesets and (difference only) dates.
#include "datatypes/bitset.h"
#include "datatypes/block.h"
#include "datatypes/datatype.h"
#include "datatypes/date.h"
#include "datatypes/string.h"
#include "datatypes/typeset.h"
#include "evaluator/actions.h"
#include "natives/native_support.h"
#include "runtime/typesets.h"

namespace natives {

namespace {

// Operation codes of the set operations.
constexpr int32_t UNIQUE = 8;
constexpr int32_t UNION = 9;
constexpr int32_t INTERSECT = 10;
constexpr int32_t EXCLUDE = 11;
constexpr int32_t DIFFERENCE = 12;

constexpr typesets::Mask BLOCK_SET = typesets::of({TYPE_BLOCK, TYPE_HASH});

// Whether set2 may go with set1: blocks with hashes, a typeset with a
// datatype (taken as the one-type typeset), otherwise the same datatype.
bool sets_match_q(uint32_t t1, uint32_t t2) {
    if (in(BLOCK_SET, t1)) return in(BLOCK_SET, t2);
    if (t1 == TYPE_TYPESET) return t2 == TYPE_TYPESET || t2 == TYPE_DATATYPE;
    return t1 == t2;
}

// script expect-arg naming the caller, the datatype refused and argument 1.
[[noreturn]] void fire_expect_arg(uint32_t type) {
    Cell caller, dt, word;
    actions::caller_word(&caller);
    datatype::make_at(&dt, type);
    actions::call_argument_hook(0, &word);
    fire(err::EXPECT_ARG, &caller, &dt, &word);
}

// refs: /case, then /skip with its size.
Unwind set_operation(int32_t op, const int32_t* refs) {
    bool case_ = refs[0] >= 0;
    Cell* skip = refs[1] >= 0 ? arg(static_cast<uint32_t>(refs[1])) : nullptr;
    Cell* set1 = arg(0);
    Cell* set2 = op == UNIQUE ? nullptr : arg(1);
    uint32_t t1 = set1->type();
    if (set2) {
        uint32_t t2 = set2->type();
        if (!sets_match_q(t1, t2)) {
            Cell d1, d2;
            datatype::make_at(&d1, t1);
            datatype::make_at(&d2, t2);
            fire(err::EXPECT_VAL, &d1, &d2);
        }
    }
    switch (t1) {
        case TYPE_BLOCK:
        case TYPE_HASH: block::do_set_op(case_, skip, op); break;
        case TYPE_STRING: string::do_set_op(set1, set2, case_, skip, op); break;
        case TYPE_BITSET:
            bitset::do_bitwise(set1, set2, op);  // unique gives set1 as it is
            break;
        case TYPE_TYPESET:
            typeset::do_bitwise(set1, set2 ? set2 : set1, op);  // unique: the set itself
            break;
        case TYPE_DATE:
            if (op != DIFFERENCE) fire_expect_arg(t1);
            date::difference(set1, set2);
            break;
        default: fire_expect_arg(t1);
    }
    return result(*arg(0));
}

}  // namespace

Unwind n_union_(bool, const int32_t* refs) { return set_operation(UNION, refs); }
Unwind n_intersect(bool, const int32_t* refs) { return set_operation(INTERSECT, refs); }
Unwind n_unique(bool, const int32_t* refs) { return set_operation(UNIQUE, refs); }
Unwind n_difference(bool, const int32_t* refs) { return set_operation(DIFFERENCE, refs); }
Unwind n_exclude(bool, const int32_t* refs) { return set_operation(EXCLUDE, refs); }

}  // namespace natives
