// handle!: opaque operating-system values that scripts can print and compare.
#include "datatypes/handle.h"

#include <cstdio>

#include "datatypes/datatype.h"
#include "datatypes/scalar.h"
#include "evaluator/stack.h"

namespace handle {

// ---- Helpers -------------------------------------------------------------------

namespace {
const char* const class_names[] = {"null", "fd", "monitor", "window", "font", "rich-text"};
}

Cell* make_at(Cell* cell, uint32_t value, uint32_t cls) {
    *cell = Cell{TYPE_HANDLE, cls, value, 0xFFFFFFFFu};
    return cell;
}

Cell* box(uint32_t value, uint32_t cls) { return make_at(stack::arguments, value, cls); }
Cell* push(uint32_t value, uint32_t cls) { return make_at(stack::push_slot(), value, cls); }
Cell* push_null() { return push(0, 0); }

// ---- Actions -------------------------------------------------------------------

int32_t form(Cell* value, Cell* buffer, Cell*, int32_t limit) {
    char text[16];
    std::snprintf(text, sizeof text, "%08Xh", value->data2);
    return scalar::append(buffer, text, limit);
}

int32_t mold(Cell* value, Cell* buffer, bool, bool all, bool, Cell* part, int32_t limit, int32_t) {
    if (!all) return scalar::append(buffer, "handle!", limit);
    limit = scalar::append(buffer, "#[handle! ", limit);
    limit = form(value, buffer, part, limit);
    if (value->data1 >= 1 && value->data1 <= 6) {
        limit = scalar::append(buffer, " ", limit);
        limit = scalar::append(buffer, class_names[value->data1 - 1], limit);
    }
    return scalar::append(buffer, "]", limit);
}

int32_t compare(Cell* value1, Cell* value2, int32_t) {
    if (value2->type() != TYPE_HANDLE) return 1;
    int32_t a = static_cast<int32_t>(value1->data2), b = static_cast<int32_t>(value2->data2);
    return a < b ? -1 : (a > b ? 1 : 0);
}

// ---- Registration --------------------------------------------------------------

void init() {
    using namespace datatype;
    datatype::register_type<TYPE_HANDLE>(
        /*  1 make            */ unsupported,
        /*  2 random          */ unsupported,
        /*  3 reflect         */ unsupported,
        /*  4 to              */ unsupported,
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
        /* 29 clear           */ unsupported,
        /* 30 copy            */ unsupported,
        /* 31 find            */ unsupported,
        /* 32 head            */ unsupported,
        /* 33 head?           */ unsupported,
        /* 34 index?          */ unsupported,
        /* 35 insert          */ unsupported,
        /* 36 length?         */ unsupported,
        /* 37 move            */ unsupported,
        /* 38 next            */ unsupported,
        /* 39 pick            */ unsupported,
        /* 40 poke            */ unsupported,
        /* 41 put             */ unsupported,
        /* 42 remove          */ unsupported,
        /* 43 reverse         */ unsupported,
        /* 44 select          */ unsupported,
        /* 45 sort            */ unsupported,
        /* 46 skip            */ unsupported,
        /* 47 swap            */ unsupported,
        /* 48 tail            */ unsupported,
        /* 49 tail?           */ unsupported,
        /* 50 take            */ unsupported,
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

}  // namespace handle
