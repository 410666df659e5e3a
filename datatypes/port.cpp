// port!: objects that carry actions to a scheme's actor.
#include "datatypes/datatype.h"

namespace port {

// ---- Registration --------------------------------------------------------------

// Own slots marked `pending` are not written yet and count as unsupported.
void init() {
    using namespace datatype;
    datatype::register_type<TYPE_PORT>(
        /*  1 make            */ pending,
        /*  2 random          */ unsupported,
        /*  3 reflect         */ inherit,
        /*  4 to              */ unsupported,
        /*  5 form            */ pending,
        /*  6 mold            */ pending,
        /*  7 path evaluation */ inherit,
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
        /* 25 append          */ pending,
        /* 26 at              */ pending,
        /* 27 back            */ pending,
        /* 28 change          */ pending,
        /* 29 clear           */ pending,
        /* 30 copy            */ pending,
        /* 31 find            */ pending,
        /* 32 head            */ pending,
        /* 33 head?           */ pending,
        /* 34 index?          */ pending,
        /* 35 insert          */ pending,
        /* 36 length?         */ pending,
        /* 37 move            */ pending,
        /* 38 next            */ pending,
        /* 39 pick            */ pending,
        /* 40 poke            */ pending,
        /* 41 put             */ pending,
        /* 42 remove          */ pending,
        /* 43 reverse         */ pending,
        /* 44 select          */ pending,
        /* 45 sort            */ pending,
        /* 46 skip            */ pending,
        /* 47 swap            */ pending,
        /* 48 tail            */ pending,
        /* 49 tail?           */ pending,
        /* 50 take            */ pending,
        /* 51 trim            */ pending,
        /* 52 create          */ pending,
        /* 53 close           */ pending,
        /* 54 delete          */ pending,
        /* 55 modify          */ pending,
        /* 56 open            */ pending,
        /* 57 open?           */ unsupported,
        /* 58 query           */ pending,
        /* 59 read            */ pending,
        /* 60 rename          */ pending,
        /* 61 update          */ pending,
        /* 62 write           */ pending);
}

}  // namespace port
