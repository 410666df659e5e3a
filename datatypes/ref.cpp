// ref!: references written with a leading @, held without it.
#include "datatypes/datatype.h"
#include "datatypes/string.h"
#include "evaluator/stack.h"

namespace ref {

Cell* push(const Cell* value) { return stack::push(value); }

int32_t mold(Cell* value, Cell* buffer, bool, bool, bool, Cell* part, int32_t limit, int32_t) {
    string::append_char(series_of(buffer), '@');
    return string::form(value, buffer, part, limit - 1);
}

// ---- Registration --------------------------------------------------------------

void init() {
    using namespace datatype;
    datatype::register_type<TYPE_REF>(
        /*  1 make            */ inherit,
        /*  2 random          */ unsupported,
        /*  3 reflect         */ inherit,
        /*  4 to              */ inherit,
        /*  5 form            */ inherit,
        /*  6 mold            */ mold,
        /*  7 path evaluation */ unsupported,
        /*  8 path setting    */ unsupported,
        /*  9 comparison      */ inherit,
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
        /* 26 at              */ inherit,
        /* 27 back            */ inherit,
        /* 28 change          */ inherit,
        /* 29 clear           */ inherit,
        /* 30 copy            */ inherit,
        /* 31 find            */ inherit,
        /* 32 head            */ inherit,
        /* 33 head?           */ inherit,
        /* 34 index?          */ inherit,
        /* 35 insert          */ inherit,
        /* 36 length?         */ inherit,
        /* 37 move            */ inherit,
        /* 38 next            */ inherit,
        /* 39 pick            */ inherit,
        /* 40 poke            */ inherit,
        /* 41 put             */ unsupported,
        /* 42 remove          */ inherit,
        /* 43 reverse         */ inherit,
        /* 44 select          */ inherit,
        /* 45 sort            */ unsupported,
        /* 46 skip            */ inherit,
        /* 47 swap            */ inherit,
        /* 48 tail            */ inherit,
        /* 49 tail?           */ inherit,
        /* 50 take            */ inherit,
        /* 51 trim            */ unsupported,
        /* 52 create          */ unsupported,
        /* 53 close           */ unsupported,
        /* 54 delete          */ unsupported,
        /* 55 modify          */ inherit,
        /* 56 open            */ unsupported,
        /* 57 open?           */ unsupported,
        /* 58 query           */ unsupported,
        /* 59 read            */ unsupported,
        /* 60 rename          */ unsupported,
        /* 61 update          */ unsupported,
        /* 62 write           */ unsupported);
}

}  // namespace ref
