// none!: the value that stands for no value.
#include "datatypes/logic.h"

#include "datatypes/datatype.h"
#include "datatypes/string.h"
#include "evaluator/actions.h"
#include "evaluator/stack.h"

#include <cstring>

namespace none {

Cell* push_last() {
    *stack::arguments = Cell{TYPE_NONE, 0, 0, 0};
    return stack::arguments;
}

Cell* push() {
    Cell* c = stack::push_slot();
    *c = Cell{TYPE_NONE, 0, 0, 0};
    return c;
}

Cell* make_in(Cell* block) {
    Cell* c = alloc_tail(block);
    c->header = TYPE_NONE;
    return c;
}

// ---- Actions -------------------------------------------------------------------------

namespace {
bool equality_q(int32_t op) { return op < actions::COMP_LESSER || op > actions::COMP_GREATER_EQUAL; }
}  // namespace

Cell* make(Cell* proto, Cell*, uint32_t) {
    *proto = Cell{TYPE_NONE, 0, 0, 0};
    return proto;
}

int32_t form(Cell*, Cell* buffer, Cell*, int32_t limit) {
    string::concatenate_literal(buffer, "none");
    return limit - 4;
}

int32_t mold(Cell*, Cell* buffer, bool, bool all, bool, Cell*, int32_t limit, int32_t) {
    const char* text = all ? "#(none)" : "none";
    string::concatenate_literal(buffer, text);
    return limit - static_cast<int32_t>(std::strlen(text));
}

int32_t compare(Cell*, Cell* value2, int32_t op) {
    if (value2->type() != TYPE_NONE) return actions::NOT_COMPARABLE;
    return equality_q(op) ? 0 : actions::NOT_COMPARABLE;
}

// The series actions that none! answers with none.
Cell* clear(Cell* value) { return make(value, nullptr, 0); }
Cell* find(Cell* series, Cell*, Cell*, bool, bool, bool, bool, Cell*, Cell*, bool, bool, bool, bool) {
    return make(series, nullptr, 0);
}
// -1 asks the stack entry point for none!.
int32_t length_q(Cell*) { return -1; }
Cell* remove(Cell* series, Cell*, Cell*) { return make(series, nullptr, 0); }
Cell* select(Cell* series, Cell*, Cell*, bool, bool, bool, bool, Cell*, Cell*, bool, bool) {
    return make(series, nullptr, 0);
}
Cell* take(Cell* series, Cell*, bool, bool) { return make(series, nullptr, 0); }

// ---- Registration --------------------------------------------------------------

void init() {
    using namespace datatype;
    datatype::register_type<TYPE_NONE>(
        /*  1 make            */ make,
        /*  2 random          */ unsupported,
        /*  3 reflect         */ unsupported,
        /*  4 to              */ make,
        /*  5 form            */ form,
        /*  6 mold            */ mold,
        /*  7 path evaluation */ unsupported,
        /*  8 path setting    */ unsupported,
        /*  9 comparison      */ compare,
        /* 10 absolute        */ unsupported,
        /* 11 add             */ unsupported,
        /* 12 divide          */ unsupported,
        /* 13 multiply        */ unsupported,
        /* 14 negate          */ unsupported,
        /* 15 power           */ unsupported,
        /* 16 remainder       */ unsupported,
        /* 17 round           */ unsupported,
        /* 18 subtract        */ unsupported,
        /* 19 even?           */ unsupported,
        /* 20 odd?            */ unsupported,
        /* 21 and~            */ unsupported,
        /* 22 complement      */ unsupported,
        /* 23 or~             */ unsupported,
        /* 24 xor~            */ unsupported,
        /* 25 append          */ unsupported,
        /* 26 at              */ unsupported,
        /* 27 back            */ unsupported,
        /* 28 change          */ unsupported,
        /* 29 clear           */ clear,
        /* 30 copy            */ unsupported,
        /* 31 find            */ find,
        /* 32 head            */ unsupported,
        /* 33 head?           */ unsupported,
        /* 34 index?          */ unsupported,
        /* 35 insert          */ unsupported,
        /* 36 length?         */ length_q,
        /* 37 move            */ unsupported,
        /* 38 next            */ unsupported,
        /* 39 pick            */ unsupported,
        /* 40 poke            */ unsupported,
        /* 41 put             */ unsupported,
        /* 42 remove          */ remove,
        /* 43 reverse         */ unsupported,
        /* 44 select          */ select,
        /* 45 sort            */ unsupported,
        /* 46 skip            */ unsupported,
        /* 47 swap            */ unsupported,
        /* 48 tail            */ unsupported,
        /* 49 tail?           */ unsupported,
        /* 50 take            */ take,
        /* 51 trim            */ unsupported,
        /* 52 create          */ unsupported,
        /* 53 close           */ unsupported,
        /* 54 delete          */ unsupported,
        /* 55 modify          */ unsupported,
        /* 56 open            */ unsupported,
        /* 57 open?           */ unsupported,
        /* 58 query           */ unsupported,
        /* 59 read            */ unsupported,
        /* 60 rename          */ unsupported,
        /* 61 update          */ unsupported,
        /* 62 write           */ unsupported);
}

}  // namespace none
