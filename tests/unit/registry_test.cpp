// The datatype registry: every type's registered slots against its row and
// its parent, inheritance, the name table and datatype!.
#include "booted.h"
#include "child.h"
#include "services/simple_io.h"

namespace {

using booted::call;
using booted::dtype;
using booted::text_of;
using datatype::SlotKind;

class Registry : public booted::Runtime {};

TEST_F(Registry, EverySlotAsRegistered) {
    // Every type of the datatype table registers its row: an inherited slot
    // holds its parent's entry as that stands at the end of start-up, an own
    // one a function of its own, anything else nothing.
    datatype::init_type<TYPE_EVENT>();
    for (uint32_t id = 1; id <= TYPE_COUNT; ++id) {
        ASSERT_TRUE(datatype::registered(id)) << id;
        const char* name = datatype::name_of(id);
        EXPECT_STREQ(datatype::name_entry(id)->name, name);
        uint32_t parent = datatype::parent_of(id);
        for (uint32_t slot = 1; slot <= actions::ACTION_COUNT; ++slot) {
            SlotKind kind = datatype::slot_kind(id, slot);
            actions::ActionFn fn = datatype::action(id, slot);
            switch (kind) {
                case SlotKind::own:
                    EXPECT_NE(fn, nullptr) << name << " " << slot;
                    break;
                case SlotKind::inherit:
                    ASSERT_NE(parent, 0u) << name;
                    EXPECT_EQ(fn, datatype::action(parent, slot)) << name << " " << slot;
                    break;
                default: EXPECT_EQ(fn, nullptr) << name << " " << slot;
            }
        }
    }
}

TEST_F(Registry, TypesAndNamesAtStartUp) {
    // event! registers later, with the GUI engine.
    EXPECT_EQ(datatype::top_id, TYPE_IMAGE);
    EXPECT_FALSE(datatype::registered(TYPE_EVENT));
    const datatype::NameEntry* n = datatype::name_entry(TYPE_INTEGER);
    EXPECT_EQ(n->length, 7u);
    ASSERT_EQ(n->word.type(), static_cast<uint32_t>(TYPE_WORD));
    EXPECT_STREQ(symbol::text(n->word.symbol()), "integer!");
    EXPECT_EQ(n->word.ctx(), context::global);
    // A type registered after start-up gets its name word at once.
    datatype::init_type<TYPE_EVENT>();
    EXPECT_EQ(datatype::top_id, TYPE_EVENT);
    EXPECT_STREQ(symbol::text(datatype::name_entry(TYPE_EVENT)->word.symbol()), "event!");
}

// Implementations that only say who they are.
int32_t stub_form_a(Cell*, Cell*, Cell*, int32_t) { return 1; }
int32_t stub_form_b(Cell*, Cell*, Cell*, int32_t) { return 2; }

datatype::ActionList list_of(std::initializer_list<std::pair<uint32_t, datatype::ListEntry>> own,
                             SlotKind rest) {
    datatype::ActionList list{};
    for (auto& e : list.slots) e = datatype::ListEntry{rest, nullptr};
    for (auto& [slot, entry] : own) list.slots[slot - 1] = entry;
    return list;
}

TEST_F(Registry, InheritedEntriesAreCopiedAsResolvedAtRegistration) {
    using datatype::ListEntry;
    auto a = reinterpret_cast<actions::ActionFn>(stub_form_a);
    auto b = reinterpret_cast<actions::ActionFn>(stub_form_b);
    datatype::reset_tables();
    datatype::register_list(TYPE_SERIES, list_of({{actions::slot::form, {SlotKind::own, a}}}, SlotKind::unsupported));
    datatype::register_list(TYPE_STRING, list_of({}, SlotKind::inherit));
    // url! and file! with their real lists: file! takes url!'s slots, which
    // url! took from string!, which took them from series!.
    datatype::init_type<TYPE_URL>();
    datatype::init_type<TYPE_FILE>();
    EXPECT_EQ(datatype::action(TYPE_FILE, actions::slot::form), a);
    EXPECT_EQ(datatype::action(TYPE_FILE, actions::slot::append), nullptr);
    // A parent changed afterwards does not reach its children.
    datatype::register_list(TYPE_STRING, list_of({{actions::slot::form, {SlotKind::own, b}}}, SlotKind::inherit));
    EXPECT_EQ(datatype::action(TYPE_STRING, actions::slot::form), b);
    EXPECT_EQ(datatype::action(TYPE_FILE, actions::slot::form), a);
    datatype::init_all();
    simple_io::init();
}

Cell* stub_make(Cell* proto, Cell*, uint32_t) { return proto; }

TEST_F(Registry, RowLettersGiveTheSlotKinds) {
    datatype::register_type<TYPE_URL,
                            "oip-i---- --------------- --------------------------- ----------i">(
        datatype::own<actions::slot::make>(stub_make));
    const SlotKind kinds[] = {SlotKind::own, SlotKind::inherit, SlotKind::pending,
                              SlotKind::unsupported, SlotKind::inherit};
    for (uint32_t slot = 1; slot <= 5; ++slot)
        EXPECT_EQ(datatype::slot_kind(TYPE_URL, slot), kinds[slot - 1]) << slot;
    EXPECT_EQ(datatype::slot_kind(TYPE_URL, actions::slot::write), SlotKind::inherit);
    EXPECT_EQ(datatype::slot_kind(TYPE_URL, actions::slot::update), SlotKind::unsupported);
    EXPECT_EQ(datatype::action(TYPE_URL, actions::slot::make),
              reinterpret_cast<actions::ActionFn>(stub_make));
    EXPECT_EQ(datatype::action(TYPE_URL, actions::slot::form),
              datatype::action(TYPE_STRING, actions::slot::form));
    EXPECT_EQ(datatype::action(TYPE_URL, actions::slot::reflect), nullptr);
    datatype::init_all();
}

TEST_F(Registry, InheritingAnUnsupportedSlotStaysUnsupported) {
    // error! inherits find from object!, which does not support it.
    EXPECT_EQ(datatype::slot_kind(TYPE_ERROR, actions::slot::find), SlotKind::inherit);
    EXPECT_EQ(datatype::slot_kind(TYPE_OBJECT, actions::slot::find), SlotKind::unsupported);
    EXPECT_EQ(datatype::action(TYPE_ERROR, actions::slot::find), nullptr);
    Cell err{TYPE_ERROR, 0, 0, 0};
    Cell key = booted::integer(1);
    EXPECT_FIRES(actions::find(&err, &key, nullptr, false, false, false, false, nullptr, nullptr,
                               false, false, false, false),
                 err::EXPECT_ARG);
}

TEST_F(Registry, ChildBeforeItsParentStopsStartUp) {
    auto outcome = testing_child::run([] {
        datatype::reset_tables();
        datatype::init_type<TYPE_FILE>();
    });
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(outcome.output, "*** Datatype Error: parent not registered for type: 8\n");
}

// ---- datatype! ---------------------------------------------------------------------------

TEST_F(Registry, DatatypeFormMoldAndCompare) {
    struct Case {
        uint32_t type;
        const char* form;
        const char* mold;
        const char* mold_all;
    } cases[] = {
        {TYPE_INTEGER, "integer", "integer!", "#(integer!)"},
        {TYPE_POINT2D, "point2D", "point2D!", "#(point2D!)"},
        {TYPE_SET_WORD, "set-word", "set-word!", "#(set-word!)"},
    };
    for (const Case& c : cases) {
        Cell t = dtype(c.type);
        Cell r = call(actions::slot::form, {t});
        EXPECT_EQ(text_of(&r), c.form);
        r = call(actions::slot::mold, {t});
        EXPECT_EQ(text_of(&r), c.mold);
        r = call(actions::slot::mold, {t, booted::logic(true)}, {-1, 1});
        EXPECT_EQ(text_of(&r), c.mold_all);
    }
    // The part budget falls by what was written.
    Cell t = dtype(TYPE_INTEGER);
    Cell buf;
    string::rs_make_at(&buf, 16);
    EXPECT_EQ(datatype::form(&t, &buf, nullptr, 100), 93);
    EXPECT_EQ(datatype::mold(&t, &buf, false, false, false, nullptr, 100, 0), 92);
    EXPECT_EQ(datatype::mold(&t, &buf, false, true, false, nullptr, 100, 0), 89);

    Cell i = dtype(TYPE_INTEGER), i2 = dtype(TYPE_INTEGER), f = dtype(TYPE_FLOAT);
    Cell one = booted::integer(1);
    EXPECT_TRUE(actions::compare_star(&i, &i2, actions::COMP_EQUAL));
    EXPECT_TRUE(actions::compare_star(&i, &i2, actions::COMP_STRICT_EQUAL));
    EXPECT_FALSE(actions::compare_star(&i, &f, actions::COMP_EQUAL));
    EXPECT_TRUE(actions::compare_star(&i, &f, actions::COMP_NOT_EQUAL));
    EXPECT_FALSE(actions::compare_star(&i, &one, actions::COMP_EQUAL));
    EXPECT_FIRES(actions::compare_star(&i, &f, actions::COMP_LESSER), err::INVALID_COMPARE);
    EXPECT_EQ(datatype::compare(&i, &f, actions::COMP_SORT), actions::NOT_COMPARABLE);
}

TEST_F(Registry, DatatypeValuesInBlocksAndOnTheStack) {
    Cell blk = *block::make_at(stack::push_slot(), 4);
    Cell* d = datatype::make_in(&blk, TYPE_MONEY);
    EXPECT_EQ(d->header, static_cast<uint32_t>(TYPE_DATATYPE));
    EXPECT_EQ(d->data1, static_cast<uint32_t>(TYPE_MONEY));
    EXPECT_EQ(block::rs_length_q(&blk), 1u);
    Cell* top = stack::top;
    Cell* p = datatype::push(TYPE_TAG);
    EXPECT_EQ(p, top);
    EXPECT_EQ(p->data1, static_cast<uint32_t>(TYPE_TAG));
}

}  // namespace
