// bitset!: sets of code points and bytes as bit arrays.
#include "datatypes/datatype.h"

namespace bitset {

// ---- Registration --------------------------------------------------------------

// Own slots marked `pending` are not written yet and count as unsupported.
void init() {
    using namespace datatype;
    datatype::register_type<TYPE_BITSET>(
        /*  1 make            */ pending,
        /*  2 random          */ unsupported,
        /*  3 reflect         */ pending,
        /*  4 to              */ pending,
        /*  5 form            */ pending,
        /*  6 mold            */ pending,
        /*  7 path evaluation */ pending,
        /*  8 path setting    */ unsupported,
        /*  9 comparison      */ pending,
        /* 10 absolute        */ unsupported,
        /* 11 add             */ unsupported,
        /* 12 divide          */ unsupported,
        /* 13 multiply        */ unsupported,
        /* 14 negate          */ pending,
        /* 15 power           */ unsupported,
        /* 16 remainder       */ unsupported,
        /* 17 round           */ unsupported,
        /* 18 subtract        */ unsupported,
        /* 19 even?           */ unsupported,
        /* 20 odd?            */ unsupported,
        /* 21 and~            */ pending,
        /* 22 complement      */ pending,
        /* 23 or~             */ pending,
        /* 24 xor~            */ pending,
        /* 25 append          */ pending,
        /* 26 at              */ unsupported,
        /* 27 back            */ unsupported,
        /* 28 change          */ unsupported,
        /* 29 clear           */ pending,
        /* 30 copy            */ pending,
        /* 31 find            */ pending,
        /* 32 head            */ unsupported,
        /* 33 head?           */ unsupported,
        /* 34 index?          */ unsupported,
        /* 35 insert          */ pending,
        /* 36 length?         */ pending,
        /* 37 move            */ unsupported,
        /* 38 next            */ unsupported,
        /* 39 pick            */ pending,
        /* 40 poke            */ pending,
        /* 41 put             */ unsupported,
        /* 42 remove          */ pending,
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
        /* 55 modify          */ pending,
        /* 56 open            */ unsupported,
        /* 57 open?           */ unsupported,
        /* 58 query           */ unsupported,
        /* 59 read            */ unsupported,
        /* 60 rename          */ unsupported,
        /* 61 update          */ unsupported,
        /* 62 write           */ unsupported);
}

}  // namespace bitset
