// refinement!: a word written with a leading slash (`/a`), naming an option
// of a function.
#include "datatypes/refinement.h"

#include "datatypes/datatype.h"
#include "datatypes/word.h"
#include "evaluator/symbol.h"

namespace refinement {

int32_t mold(Cell* value, Cell* buffer, bool, bool, bool, Cell*, int32_t limit, int32_t) {
    return word::mold_with(value, buffer, "/", false, limit);
}

// ---- Registration --------------------------------------------------------------

void init() {
    using namespace datatype;
    datatype::register_type<TYPE_REFINEMENT>(
        /*  1 make            */ inherit,
        /*  2 random          */ unsupported,
        /*  3 reflect         */ unsupported,
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

}  // namespace refinement
