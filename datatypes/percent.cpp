// percent!: floats that read and print as percentages.
#include "datatypes/percent.h"

#include <cstring>

#include "datatypes/datatype.h"
#include "datatypes/float.h"
#include "datatypes/string.h"

namespace percent {

Cell* make_at(Cell* cell, uint32_t high, uint32_t low) {
    *cell = Cell{TYPE_PERCENT, 0, low, high};
    return cell;
}

Cell* make_in(Cell* block, uint32_t high, uint32_t low) { return make_at(alloc_tail(block), high, low); }

int32_t form(Cell* value, Cell* buffer, Cell*, int32_t limit) {
    const char* text = float_::form_float(value->float_value() * 100.0, float_::KIND_PERCENT);
    string::concatenate_literal(buffer, text);
    return limit - static_cast<int32_t>(std::strlen(text));
}

int32_t mold(Cell* value, Cell* buffer, bool, bool, bool, Cell* part, int32_t limit, int32_t) {
    return form(value, buffer, part, limit);
}

// ---- Registration --------------------------------------------------------------

void init() {
    using namespace datatype;
    datatype::register_type<TYPE_PERCENT>(
        /*  1 make            */ inherit,
        /*  2 random          */ inherit,
        /*  3 reflect         */ unsupported,
        /*  4 to              */ inherit,
        /*  5 form            */ form,
        /*  6 mold            */ mold,
        /*  7 path evaluation */ unsupported,
        /*  8 path setting    */ unsupported,
        /*  9 comparison      */ inherit,
        /* 10 absolute        */ inherit,
        /* 11 add             */ inherit,
        /* 12 divide          */ inherit,
        /* 13 multiply        */ inherit,
        /* 14 negate          */ inherit,
        /* 15 power           */ inherit,
        /* 16 remainder       */ inherit,
        /* 17 round           */ inherit,
        /* 18 subtract        */ inherit,
        /* 19 even?           */ inherit,
        /* 20 odd?            */ inherit,
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

}  // namespace percent
