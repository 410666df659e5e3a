// float!: IEEE-754 double-precision numbers.
#include "datatypes/datatype.h"

namespace float_ {

// ---- Registration --------------------------------------------------------------

// Own slots marked `pending` are not written yet and count as unsupported.
void init() {
    using namespace datatype;
    datatype::register_type<TYPE_FLOAT>(
        /*  1 make            */ pending,
        /*  2 random          */ pending,
        /*  3 reflect         */ unsupported,
        /*  4 to              */ pending,
        /*  5 form            */ pending,
        /*  6 mold            */ pending,
        /*  7 path evaluation */ unsupported,
        /*  8 path setting    */ unsupported,
        /*  9 comparison      */ pending,
        /* 10 absolute        */ pending,
        /* 11 add             */ pending,
        /* 12 divide          */ pending,
        /* 13 multiply        */ pending,
        /* 14 negate          */ pending,
        /* 15 power           */ pending,
        /* 16 remainder       */ pending,
        /* 17 round           */ pending,
        /* 18 subtract        */ pending,
        /* 19 even?           */ pending,
        /* 20 odd?            */ pending,
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

}  // namespace float_
