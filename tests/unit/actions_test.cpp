// Action dispatch: the slot table, implementation lookup and its errors,
// the normalisation the entry points do before dispatch, and comparison.
#include "booted.h"
#include "child.h"

namespace {

using booted::call;
using booted::dtype;
using booted::integer;
using booted::logic;
using datatype::ListEntry;
using datatype::SlotKind;

class Actions : public booted::Runtime {
protected:
    // Replaces one type's row: the given own slots, every other unsupported.
    static void own(uint32_t type, std::initializer_list<std::pair<uint32_t, actions::ActionFn>> slots) {
        datatype::ActionList list{};
        for (auto& e : list.slots) e = ListEntry{SlotKind::unsupported, nullptr};
        for (auto& [slot, fn] : slots) list.slots[slot - 1] = ListEntry{SlotKind::own, fn};
        datatype::register_list(type, list);
    }
    template <typename F>
    static actions::ActionFn fn(F f) {
        return reinterpret_cast<actions::ActionFn>(f);
    }
    // A block of n integers in a new value-stack slot.
    static Cell block_of(int32_t n) {
        Cell* b = block::make_at(stack::push_slot(), 8);
        Cell blk = *b;
        for (int32_t i = 0; i < n; ++i) {
            Cell v = integer(i);
            block::rs_append(&blk, &v);
        }
        return blk;
    }
};

// What the last insert or change implementation was given.
struct Seen {
    int calls = 0;
    Cell series{}, value{};
    int32_t part = 0, dup = 0;
    bool only = false, append = false;
} seen;

Cell* stub_insert(Cell* series, Cell* value, int32_t part, bool only, int32_t dup, bool append) {
    seen = Seen{seen.calls + 1, *series, *value, part, dup, only, append};
    return series;
}
Cell* stub_change(Cell* series, Cell* value, int32_t part, bool only, int32_t dup) {
    seen = Seen{seen.calls + 1, *series, *value, part, dup, only, false};
    return series;
}

TEST_F(Actions, SlotsWordsAndRefinements) {
    const std::pair<uint32_t, uint32_t> counts[] = {
        {2, 3}, {5, 1}, {6, 4}, {7, 1}, {17, 7}, {25, 3}, {28, 3}, {30, 3}, {31, 11}, {35, 3}, {37, 1},
        {41, 1}, {42, 2}, {43, 2}, {44, 9}, {45, 7}, {50, 3}, {51, 6}, {55, 1}, {56, 5}, {59, 6}, {62, 8}};
    for (uint32_t s = 1; s <= actions::ACTION_COUNT; ++s) {
        uint32_t want = 0;
        for (auto [slot, n] : counts)
            if (slot == s) want = n;
        EXPECT_EQ(actions::refinement_count(s), want) << s;
        EXPECT_EQ(actions::entry(s) == nullptr, s == 8) << s;
    }
    EXPECT_EQ(actions::entry(0), nullptr);
    EXPECT_EQ(actions::entry(63), nullptr);
    EXPECT_STREQ(actions::word_of(actions::slot::and_), "and~");
    EXPECT_STREQ(actions::word_of(actions::slot::delete_), "delete");
    EXPECT_STREQ(actions::word_of(actions::slot::compare), "");
}

TEST_F(Actions, UnsupportedActionRaisesExpectArg) {
    Cell t = dtype(TYPE_INTEGER);
    EXPECT_FIRES(actions::add(&t, &t), err::EXPECT_ARG);
    EXPECT_FIRES(call(actions::slot::negate, {t}), err::EXPECT_ARG);
    // Path evaluation: without a path and with one.
    Cell element = integer(1);
    EXPECT_FIRES(actions::get_action_ptr_path(&t, actions::slot::eval_path, nullptr, &element, 0),
                 err::BAD_PATH_TYPE2);
    Cell path = block_of(3);
    set_type(&path, TYPE_PATH);
    EXPECT_FIRES(actions::get_action_ptr_path(&t, actions::slot::eval_path, &path, &element, 1),
                 err::BAD_PATH_TYPE);
}

TEST_F(Actions, PortActionsGoThroughTheActorFromAppendOn) {
    // port!'s row without its own entries: what the hook does not give is
    // unsupported.
    own(TYPE_PORT, {});
    Cell port{TYPE_PORT, 0, 0, 0};
    Cell v = integer(1);
    actions::port_action_hook = [](Cell*, uint32_t slot) -> actions::ActionFn {
        return slot == actions::slot::append || slot == actions::slot::form ? fn(stub_insert) : nullptr;
    };
    seen = {};
    actions::append(&port, &v, -1, false, 1);
    EXPECT_EQ(seen.calls, 1);
    EXPECT_TRUE(seen.append);
    // Below append the actor is not asked; an actor without the entry falls
    // back to port!'s own row.
    EXPECT_FIRES(actions::form(&port, &v, nullptr, 10), err::EXPECT_ARG);
    EXPECT_FIRES(actions::create(&port), err::EXPECT_ARG);
    actions::port_action_hook = nullptr;
}

TEST_F(Actions, AppendAndInsertNormaliseTheirRefinements) {
    own(TYPE_BLOCK, {{actions::slot::append, fn(stub_insert)}, {actions::slot::insert, fn(stub_insert)}});
    Cell target = block_of(0);
    Cell value = block_of(5);
    seen = {};

    // /dup below 1: nothing happens, the series is the result.
    Cell r = call(actions::slot::append, {target, value, integer(0)}, {-1, -1, 2});
    EXPECT_EQ(seen.calls, 0);
    EXPECT_EQ(r.node(), target.node());

    // Plain: part -1, dup 1; append sets the append flag, insert does not.
    call(actions::slot::append, {target, value});
    EXPECT_EQ(seen.part, -1);
    EXPECT_EQ(seen.dup, 1);
    EXPECT_TRUE(seen.append);
    call(actions::slot::insert, {target, value, logic(true), integer(3)}, {-1, 2, 3});
    EXPECT_FALSE(seen.append);
    EXPECT_TRUE(seen.only);
    EXPECT_EQ(seen.dup, 3);

    // /part: an integer count; the value's own series further on.
    call(actions::slot::append, {target, value, integer(2)}, {2});
    EXPECT_EQ(seen.part, 2);
    Cell further = value;
    further.data1 = 2;
    call(actions::slot::append, {target, value, further}, {2});
    EXPECT_EQ(seen.part, 2);

    // A negative count moves the value's head back, not below 0.
    Cell at3 = value;
    at3.data1 = 3;
    call(actions::slot::append, {target, at3, integer(-2)}, {2});
    EXPECT_EQ(seen.part, 2);
    EXPECT_EQ(seen.value.head(), 1u);
    call(actions::slot::append, {target, at3, integer(-9)}, {2});
    EXPECT_EQ(seen.part, 3);
    EXPECT_EQ(seen.value.head(), 0u);
    // A head past the tail is clipped first.
    Cell past = value;
    past.data1 = 40;
    call(actions::slot::append, {target, past, integer(-1)}, {2});
    EXPECT_EQ(seen.value.head(), 4u);
    // Nothing to do: count 0, or a negative count at the head.
    int calls = seen.calls;
    call(actions::slot::append, {target, value, integer(0)}, {2});
    call(actions::slot::append, {target, value, integer(-1)}, {2});
    EXPECT_EQ(seen.calls, calls);

    // Another series, or a part of a value that is no series.
    Cell other = block_of(5);
    EXPECT_FIRES(call(actions::slot::append, {target, value, other}, {2}), err::INVALID_REFINE_ARG);
    EXPECT_FIRES(call(actions::slot::append, {target, integer(7), integer(1)}, {2}), err::INVALID_PART);
}

TEST_F(Actions, ChangeAppliesItsPartToTheSeries) {
    own(TYPE_BLOCK, {{actions::slot::change, fn(stub_change)}});
    own(TYPE_IMAGE, {{actions::slot::change, fn(stub_change)}});
    Cell series = block_of(4);
    series.data1 = 3;
    seen = {};
    call(actions::slot::change, {series, integer(9), integer(-2)}, {2});
    EXPECT_EQ(seen.part, 2);
    EXPECT_EQ(seen.series.head(), 1u);
    Cell end = series;
    end.data1 = 4;
    call(actions::slot::change, {series, integer(9), end}, {2});
    EXPECT_EQ(seen.part, 1);
    // The value needs to be no series here.
    call(actions::slot::change, {series, integer(9), integer(1)}, {2});
    EXPECT_EQ(seen.part, 1);
    Cell other = block_of(4);
    EXPECT_FIRES(call(actions::slot::change, {series, integer(9), other}, {2}), err::INVALID_REFINE_ARG);

    // image!: only an integer part, and a negative one counts 0.
    Cell image = block_of(0);
    set_type(&image, TYPE_IMAGE);
    call(actions::slot::change, {image, integer(9), integer(-3)}, {2});
    EXPECT_EQ(seen.part, 0);
    EXPECT_FIRES(call(actions::slot::change, {image, integer(9), image}, {2}), err::INVALID_REFINE_ARG);
}

Cell* stub_copy(Cell* value, Cell*, Cell*, bool, Cell*) { return value; }
int32_t stub_length(Cell* series) { return series->int_value(); }
bool stub_even(Cell* n) { return (n->int_value() & 1) == 0; }
bool stub_odd(Cell* n) { return (n->int_value() & 1) != 0; }
Cell* stub_pick(Cell* series, int32_t index, Cell*) {
    series->data2 = static_cast<uint32_t>(index);
    return series;
}

TEST_F(Actions, EntryPointsBoxAndCheckTheirResults) {
    own(TYPE_INTEGER, {{actions::slot::copy, fn(stub_copy)},
                       {actions::slot::length_q, fn(stub_length)},
                       {actions::slot::even_q, fn(stub_even)},
                       {actions::slot::odd_q, fn(stub_odd)},
                       {actions::slot::pick, fn(stub_pick)}});
    // copy/types takes a datatype! or a typeset! only.
    EXPECT_EQ(call(actions::slot::copy, {integer(4), dtype(TYPE_BLOCK)}, {-1, -1, 1}).int_value(), 4);
    EXPECT_FIRES(call(actions::slot::copy, {integer(4), integer(1)}, {-1, -1, 1}), err::EXPECT_ARG);
    // length? of -1 is none.
    EXPECT_EQ(call(actions::slot::length_q, {integer(-1)}).type(), static_cast<uint32_t>(TYPE_NONE));
    Cell n = call(actions::slot::length_q, {integer(3)});
    EXPECT_EQ(n.type(), static_cast<uint32_t>(TYPE_INTEGER));
    EXPECT_EQ(n.int_value(), 3);
    // even? and odd? answer logic! values.
    Cell e = call(actions::slot::even_q, {integer(4)});
    EXPECT_EQ(e.header, static_cast<uint32_t>(TYPE_LOGIC));
    EXPECT_EQ(e.data1, 1u);
    EXPECT_EQ(call(actions::slot::odd_q, {integer(4)}).data1, 0u);
    // The index of pick: true 1, false 2, integer! and char! their value.
    struct {
        Cell index;
        int32_t want;
    } picks[] = {{logic(true), 1}, {logic(false), 2}, {integer(-7), -7},
                 {Cell{TYPE_CHAR, 0, 65, 0}, 65}, {booted::none(), 0}, {dtype(TYPE_BLOCK), 0}};
    for (auto& p : picks) EXPECT_EQ(call(actions::slot::pick, {integer(0), p.index}).int_value(), p.want);
}

TEST_F(Actions, ComparisonCodes) {
    Cell a = booted::word("a");
    Cell A = booted::word("A", TYPE_LIT_WORD);
    Cell b = booted::word("b");
    Cell i = dtype(TYPE_INTEGER);
    Cell one = integer(1);
    struct Case {
        Cell* x;
        Cell* y;
        int32_t op;
        bool want;
    } cases[] = {
        {&a, &A, 0, true},   {&a, &A, 1, false},  {&a, &A, 2, false}, {&a, &A, 9, false},
        {&a, &A, 10, false}, {&a, &A, 11, true},  {&a, &A, 12, true}, {&a, &b, 3, true},
        {&a, &b, 4, true},   {&a, &b, 5, false},  {&a, &b, 6, false}, {&a, &A, 4, true},
        {&a, &A, 3, false},  {&b, &a, 5, true},   {&a, &a, 9, true},
        // -2 under an equality code is "not equal".
        {&i, &one, 0, false}, {&i, &one, 1, true}, {&i, &one, 2, false}, {&i, &one, 9, false},
        {&i, &one, 10, false}, {&i, &one, 11, false}, {&i, &one, 12, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(actions::compare_star(c.x, c.y, c.op), c.want) << "op " << c.op;
    for (int32_t op : {3, 4, 5, 6, 7, 8, 13}) EXPECT_FIRES(actions::compare_star(&i, &one, op), err::INVALID_COMPARE);

    // The comparison natives' core writes a logic! into the result slot.
    stack::mark_native(nullptr);
    stack::push(&a);
    stack::push(&A);
    actions::compare_box(actions::COMP_EQUAL);
    EXPECT_EQ(stack::arguments->header, static_cast<uint32_t>(TYPE_LOGIC));
    EXPECT_EQ(stack::arguments->data1, 1u);
    stack::unwind();
    // And so does the entry point of the comparison slot.
    EXPECT_EQ(call(actions::slot::compare, {a, b, integer(3)}).data1, 1u);
}

TEST_F(Actions, SortCodesEndTheProgramOnceTheValuesCompare) {
    auto outcome = testing_child::run([] {
        Cell a = booted::word("a");
        Cell b = booted::word("b");
        actions::compare_star(&a, &b, actions::COMP_SORT);
    });
    EXPECT_EQ(outcome.status, 101);
    EXPECT_NE(outcome.output.find("*** Runtime Error 101: no value matched in SWITCH"), std::string::npos);
}

TEST_F(Actions, ContainerComparison) {
    Cell t = logic(true), f = logic(false);
    EXPECT_EQ(actions::compare(&t, &f, 0), 1);
    EXPECT_EQ(actions::compare(&f, &t, 0), -1);
    Cell n1{TYPE_NATIVE, 3, 0, 0}, n2{TYPE_NATIVE, 5, 0, 0}, op{TYPE_OP, 3, 0, 0};
    EXPECT_EQ(actions::compare(&n1, &n2, 0), -1);
    EXPECT_EQ(actions::compare(&n2, &n1, 0), 1);
    EXPECT_EQ(actions::compare(&op, &n1, 0), actions::NOT_COMPARABLE);
    Cell f1{TYPE_FUNCTION, 0, 0, 9}, f2{TYPE_FUNCTION, 0, 0, 9};
    EXPECT_EQ(actions::compare(&f1, &f2, 0), 0);
    EXPECT_EQ(actions::compare(&t, &n1, 0), actions::NOT_COMPARABLE);
    // Other types use their own slot.
    Cell a = booted::word("a"), b = booted::word("b");
    EXPECT_EQ(actions::compare(&a, &b, actions::COMP_LESSER), -1);
}

}  // namespace
