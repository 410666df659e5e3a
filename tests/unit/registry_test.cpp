// The datatype registry: every type's registered slots against the table
// of what each type registers, inheritance, the name table and datatype!.
#include "booted.h"
#include "child.h"
#include "services/simple_io.h"

namespace event { void init(); }
namespace file { void init(); }
namespace url { void init(); }

namespace {

using booted::call;
using booted::dtype;
using booted::text_of;
using datatype::SlotKind;

// What each type registers: its 62 slots in four groups (1-9 general, 10-24
// arithmetic and logic, 25-51 series, 52-62 ports); o own, i inherited from
// the parent, - unsupported.
struct Row {
    uint32_t id;
    const char* name;
    const char* slots;
};
const Row registrations[] = {
    {1, "datatype!", "----oo--o --------------- --------------------------- -----------"},
    {2, "unset!", "o--ooo--o --------------- --------------------------- -----------"},
    {3, "none!", "o--ooo--o --------------- ----o-o----o-----o-o-----o- -----------"},
    {4, "logic!", "oo-ooo--o -----------oooo --------------------------- -----------"},
    {5, "block!", "oiioooo-o --------------- oiioiooiiioiiiiioiiooioiioo ---i-------"},
    {6, "paren!", "iiiiioi-i --------------- iiiiiiiiiiiiiiiiiiiiiiiiii- ---i-------"},
    {7, "string!", "oiioooo-o --------------- oiioiioiiioiiiii-iiooioiioo ---i-------"},
    {8, "file!", "i--iioi-i --------------- iiiiiiiiiiiiiiii-iii-iiiii- --oi--ooo-o"},
    {9, "url!", "o--oioo-i --------------- iiiiiiiiiiiiiiii-iii-iiiii- ---io--o--o"},
    {10, "char!", "oi-ooo--o iooo--o-oiio-oo --------------------------- -----------"},
    {11, "integer!", "oo-ooo--o ooooooooooooooo --------------------------- -----------"},
    {12, "float!", "oo-ooo--o ooooooooooo---- --------------------------- -----------"},
    {13, "symbol!", "--------o --------------- --------------------------- -----------"},
    {14, "context!", "--------- --------------- --------------------------- -----------"},
    {15, "word!", "o--ooo--o --------------- ---------o----------------- -----------"},
    {16, "set-word!", "i--iio--i --------------- ---------i----------------- -----------"},
    {17, "lit-word!", "i--iio--i --------------- ---------i----------------- -----------"},
    {18, "get-word!", "i--iio--i --------------- ---------i----------------- -----------"},
    {19, "refinement!", "i--iio--i --------------- --------------------------- -----------"},
    {20, "issue!", "o--oio--o --------------- --------------------------- -----------"},
    {21, "native!", "o-o-oo--o --------------- --------------------------- -----------"},
    {22, "action!", "o-i-oo--o --------------- --------------------------- -----------"},
    {23, "op!", "o-i-oo--o --------------- --------------------------- -----------"},
    {24, "function!", "o-o-oo--o --------------- --------------------------- -----------"},
    {25, "path!", "o-ioooi-i --------------- iiiiioiiiiiiiiiiiiii-iiiii- ---i-------"},
    {26, "lit-path!", "i-iiioi-i --------------- iiiiiiiiiiiiiiiiiiii-iiiii- ---i-------"},
    {27, "set-path!", "i-iiioi-i --------------- iiiiiiiiiiiiiiiiiiii-iiiii- ---i-------"},
    {28, "get-path!", "i-iiioi-i --------------- iiiiiiiiiiiiiiiiiiii-iiiii- ---i-------"},
    {29, "routine!", "o-i-oo--o --------------- --------------------------- -----------"},
    {30, "bitset!", "o-ooooo-o ----o------oooo o---ooo---oo--oo-o--------- ---o-------"},
    {31, "triple!", "----oo--- --------------- --------------------------- -----------"},
    {32, "object!", "o-o-ooo-o --------------- -----o----------o--o------- ---o-------"},
    {33, "typeset!", "o--ooo--o -----------oooo ------o-------------------- -----------"},
    {34, "error!", "o-i-ooo-o --------------- -----ii------------i------- -----------"},
    {35, "vector!", "oii-ooi-o -ooo--o-o--o-oo oiioiiiiiioiiiii-iiiii-iii- ---i-------"},
    {36, "hash!", "o-ioioi-i --------------- iiiiioiiiiiiiiiiiiiioiiiiio ---i-------"},
    {37, "pair!", "oo-oooo-o ooooo-ooo--o-oo --------------o---o-------- -----------"},
    {38, "percent!", "ii-ioo--i iiiiiiiiiii---- --------------------------- -----------"},
    {39, "tuple!", "oo-oooo-o -ooo--o-o--oooo -----------o--o---o-------- -----------"},
    {40, "map!", "o-ooooo-o --------------- ----ooo----o----oo-o------- -----------"},
    {41, "binary!", "iiioooi-o -----------oooo oiioiiiiiioiiiii-iiiiiiiiio ---i-------"},
    {42, "series!", "-oo------ --------------- -oo-oo-ooo-ooooo-oo--o-ooo- ---o-------"},
    {43, "time!", "oi-oooo-i ioooi-ioooo---- --------------o------------ -----------"},
    {44, "tag!", "i-iiooi-i --------------- iiiiiiiiiiiiiiiiiiii-iiiii- ---i-------"},
    {45, "email!", "i-iiioo-i --------------- iiiiiiiiiiiiiiiiiiii-iiiii- ---i-------"},
    {46, "handle!", "----oo--o --------------- --------------------------- -----------"},
    {47, "date!", "oo-oooo-o -o------o------ --------------o------------ -----------"},
    {48, "port!", "o-i-ooi-i --------------- ooooooooooooooooooooooooooo ooooo-ooooo"},
    {49, "money!", "oo-oooo-o ooooo-ooooo---- --------------o------------ -----------"},
    {50, "ref!", "i-iiio--i --------------- -iiiiiiiiiiiiiii-iii-iiiii- ---i-------"},
    {51, "point2D!", "oo-oooo-o ooooo-ooo------ --------------o---o-------- -----------"},
    {52, "point3D!", "oo-oooo-o ooooo-ooo------ --------------o---o-------- -----------"},
    {53, "image!", "o--oooo-o --------------- -oio-o-iii-o-ooo-----o-oo-- ---i-------"},
    {54, "event!", "o---ooo-o --------------- --------------o------------ -----------"},
};

class Registry : public booted::Runtime {};

TEST_F(Registry, EverySlotAsRegistered) {
    event::init();
    ASSERT_EQ(std::size(registrations), TYPE_COUNT);
    for (const Row& row : registrations) {
        ASSERT_TRUE(datatype::registered(row.id)) << row.name;
        EXPECT_STREQ(datatype::name_entry(row.id)->name, row.name);
        uint32_t parent = datatype::parent_of(row.id);
        uint32_t slot = 1;
        for (const char* p = row.slots; *p; ++p) {
            if (*p == ' ') continue;
            SlotKind kind = datatype::slot_kind(row.id, slot);
            actions::ActionFn fn = datatype::action(row.id, slot);
            switch (*p) {
                case 'o':
                    EXPECT_TRUE(kind == SlotKind::own || kind == SlotKind::pending) << row.name << " " << slot;
                    EXPECT_EQ(fn != nullptr, kind == SlotKind::own) << row.name << " " << slot;
                    break;
                case 'i':
                    EXPECT_EQ(kind, SlotKind::inherit) << row.name << " " << slot;
                    EXPECT_EQ(fn, datatype::action(parent, slot)) << row.name << " " << slot;
                    break;
                default:
                    EXPECT_EQ(kind, SlotKind::unsupported) << row.name << " " << slot;
                    EXPECT_EQ(fn, nullptr) << row.name << " " << slot;
            }
            ++slot;
        }
        EXPECT_EQ(slot, actions::ACTION_COUNT + 1) << row.name;
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
    event::init();
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
    url::init();
    file::init();
    EXPECT_EQ(datatype::action(TYPE_FILE, actions::slot::form), a);
    EXPECT_EQ(datatype::action(TYPE_FILE, actions::slot::append), nullptr);
    // A parent changed afterwards does not reach its children.
    datatype::register_list(TYPE_STRING, list_of({{actions::slot::form, {SlotKind::own, b}}}, SlotKind::inherit));
    EXPECT_EQ(datatype::action(TYPE_STRING, actions::slot::form), b);
    EXPECT_EQ(datatype::action(TYPE_FILE, actions::slot::form), a);
    datatype::init_all();
    simple_io::init();
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
        file::init();
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
