// object!: a context with its words and values as a value.
#include "datatypes/object.h"

#include "datatypes/context.h"
#include "datatypes/datatype.h"

namespace object {

Node new_context(Cell* obj, uint32_t kind) {
    Node old = obj->ctx();
    uint32_t header = context::cell_of(old)->header;
    bool on_stack = (header & FLAG_CTX_ON_STACK) != 0;
    Node ctx = context::create(context::word_count(old), on_stack, (header & FLAG_CTX_SELF) != 0, old, kind);
    uint32_t n = context::word_count(ctx);
    for (uint32_t i = 0; i < n; ++i) context::word_at(ctx, i)->data1 = ctx;
    if (!on_stack) {
        // The values keep in step with the words.
        Node values = context::values_of(ctx);
        while (memory::buffer(values)->count() < n) alloc_series_tail(memory::buffer(values));
    }
    obj->data1 = ctx;
    return ctx;
}

// ---- Registration --------------------------------------------------------------

// Own slots marked `pending` are not written yet and count as unsupported.
void init() {
    using namespace datatype;
    datatype::register_type<TYPE_OBJECT>(
        /*  1 make            */ pending,
        /*  2 random          */ unsupported,
        /*  3 reflect         */ pending,
        /*  4 to              */ unsupported,
        /*  5 form            */ pending,
        /*  6 mold            */ pending,
        /*  7 path evaluation */ pending,
        /*  8 path setting    */ unsupported,
        /*  9 comparison      */ pending,
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
        /* 30 copy            */ pending,
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
        /* 41 put             */ pending,
        /* 42 remove          */ unsupported,
        /* 43 reverse         */ unsupported,
        /* 44 select          */ pending,
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

}  // namespace object
