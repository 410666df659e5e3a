// issue!: a word written with a leading "#" that is never looked up.
#include "datatypes/issue.h"

#include "datatypes/context.h"
#include "datatypes/datatype.h"
#include "datatypes/string.h"
#include "datatypes/word.h"
#include "evaluator/stack.h"
#include "evaluator/symbol.h"
#include "runtime/memory.h"
#include "runtime/typesets.h"

namespace issue {

namespace {
Cell make_issue(uint32_t symbol) {
    return Cell{TYPE_ISSUE, context::global, symbol, static_cast<uint32_t>(-1)};
}
}  // namespace

Cell* load(const char* text) {
    Cell i = make_issue(symbol::make(text));
    Cell* slot = memory::starting ? alloc_tail(&memory::root_block) : stack::push_slot();
    return copy_cell(&i, slot);
}

Cell* make_at(Cell* slot, const char* text) {
    Cell i = make_issue(symbol::make(text));
    return copy_cell(&i, slot);
}

Cell* append_to(const char* text, Cell* block) {
    Cell i = make_issue(symbol::make(text));
    return copy_cell(&i, alloc_tail(block));
}

Cell* push(const Cell* word) {
    Cell* c = stack::push(word);
    set_type(c, TYPE_ISSUE);
    return c;
}

Cell* make(Cell* proto, Cell* spec, uint32_t type) {
    Cell r;
    switch (spec->type()) {
        case TYPE_STRING:
            r = make_issue(symbol::make_from_string(spec));
            break;
        case TYPE_CHAR: {
            Cell* text = string::rs_make_at(stack::push_slot(), 1);
            string::append_char(series_of(text), static_cast<uint32_t>(spec->int_value()));
            r = make_issue(symbol::make_from_string(stack::top_cell()));
            stack::pop(1);
            break;
        }
        default:
            if (!in(ALL_WORD, spec->type())) return word::make(proto, spec, type);
            r = *spec;
            break;
    }
    r.header = type;
    return copy_cell(&r, proto);
}

int32_t mold(Cell* value, Cell* buffer, bool, bool, bool, Cell*, int32_t limit, int32_t) {
    return word::mold_with(value, buffer, "#", false, limit);
}

int32_t compare(Cell* value1, Cell* value2, int32_t op) {
    if (value1->type() != TYPE_ISSUE) return actions::NOT_COMPARABLE;
    return word::compare(value1, value2, op);
}

// ---- Registration --------------------------------------------------------------

void init() {
    using namespace datatype;
    datatype::register_type<TYPE_ISSUE>(
        /*  1 make            */ make,
        /*  2 random          */ unsupported,
        /*  3 reflect         */ unsupported,
        /*  4 to              */ make,
        /*  5 form            */ inherit,
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

}  // namespace issue
