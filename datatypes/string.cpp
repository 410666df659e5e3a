// string!: text storage helpers for form and mold, and the registration.
#include "datatypes/string.h"

#include <cstring>
#include <vector>

#include "datatypes/datatype.h"
#include "runtime/unicode.h"

namespace string {

// ---- Storage ---------------------------------------------------------------------

Cell* rs_make_at(Cell* slot, uint32_t size) {
    slot->header = TYPE_UNSET;  // never half-made while the buffer is allocated
    Node node = memory::alloc_codepoints(size ? size : 1, 1);
    slot->data1 = 0;
    slot->data2 = node;
    slot->data3 = 0;
    slot->header = TYPE_STRING;
    return slot;
}

uint32_t rs_length_q(const Cell* str) {
    uint32_t n = series_of(str)->count();
    return str->head() < n ? n - str->head() : 0;
}

uint32_t rs_abs_at(const Cell* str, uint32_t i) {
    SeriesBuffer* s = series_of(str);
    return unicode::get_char(s->offset_addr(), s->unit(), i);
}

SeriesBuffer* append_char(SeriesBuffer* s, uint32_t cp) {
    uint32_t unit = s->unit();
    if ((unit == 1 && cp > 127) || (unit == 2 && cp > 0xFFFF)) {
        s = cp > 0xFFFF ? (unit == 1 ? unicode::latin1_to_ucs4(s) : unicode::ucs2_to_ucs4(s))
                        : unicode::latin1_to_ucs2(s);
        unit = s->unit();
    }
    Node node = s->node;
    uint8_t* p = alloc_tail_unit(s, unit);
    s = memory::buffer(node);
    unicode::set_char(p, unit, 0, cp);
    return s;
}

SeriesBuffer* poke_char(SeriesBuffer* s, uint8_t* address, uint32_t cp) {
    uint32_t unit = s->unit();
    if ((unit == 1 && cp > 255) || (unit == 2 && cp > 0xFFFF)) {
        uint32_t index = static_cast<uint32_t>(address - s->offset_addr()) / unit;
        s = cp > 0xFFFF ? (unit == 1 ? unicode::latin1_to_ucs4(s) : unicode::ucs2_to_ucs4(s))
                        : unicode::latin1_to_ucs2(s);
        unit = s->unit();
        address = s->offset_addr() + index * unit;
    }
    unicode::set_char(address, unit, 0, cp);
    return s;
}

SeriesBuffer* truncate_to(SeriesBuffer* s, uint32_t n) {
    uint64_t bytes = static_cast<uint64_t>(n) * s->unit();
    if (s->size >= bytes && s->count() > n) s->tail = s->offset + static_cast<uint32_t>(bytes);
    return s;
}

void concatenate_literal(Cell* str, const char* text) {
    concatenate_literal_part(str, text, static_cast<uint32_t>(std::strlen(text)));
}

void concatenate_literal_part(Cell* str, const char* bytes, uint32_t count) {
    SeriesBuffer* s = series_of(str);
    for (uint32_t i = 0; i < count; ++i) s = append_char(s, static_cast<uint8_t>(bytes[i]));
}

SeriesBuffer* concatenate(Cell* target, const Cell* source, int32_t part, bool insert) {
    // Read the source first: it may share the target's buffer.
    uint32_t n = rs_length_q(source);
    if (part >= 0 && static_cast<uint32_t>(part) < n) n = static_cast<uint32_t>(part);
    std::vector<uint32_t> cps(n);
    uint32_t widest = 0;
    for (uint32_t i = 0; i < n; ++i) {
        cps[i] = rs_abs_at(source, source->head() + i);
        if (cps[i] > widest) widest = cps[i];
    }
    SeriesBuffer* s = series_of(target);
    if (n == 0) return s;
    if (widest > 255 || (!insert && widest > 127)) s = unicode::widen_for(s, widest);
    uint32_t unit = s->unit();
    uint32_t length = s->count();
    uint32_t at = insert && target->head() < length ? target->head() : length;
    Node node = s->node;
    alloc_tail_unit(s, n * unit);
    s = memory::buffer(node);
    uint8_t* base = s->offset_addr();
    std::memmove(base + (at + n) * unit, base + at * unit, (length - at) * unit);
    for (uint32_t i = 0; i < n; ++i) unicode::set_char(base, unit, at + i, cps[i]);
    return s;
}

// ---- Registration --------------------------------------------------------------

// Own slots marked `pending` are not written yet and count as unsupported.
void init() {
    using namespace datatype;
    datatype::register_type<TYPE_STRING>(
        /*  1 make            */ pending,
        /*  2 random          */ inherit,
        /*  3 reflect         */ inherit,
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
        /* 26 at              */ inherit,
        /* 27 back            */ inherit,
        /* 28 change          */ pending,
        /* 29 clear           */ inherit,
        /* 30 copy            */ inherit,
        /* 31 find            */ pending,
        /* 32 head            */ inherit,
        /* 33 head?           */ inherit,
        /* 34 index?          */ inherit,
        /* 35 insert          */ pending,
        /* 36 length?         */ inherit,
        /* 37 move            */ inherit,
        /* 38 next            */ inherit,
        /* 39 pick            */ inherit,
        /* 40 poke            */ inherit,
        /* 41 put             */ unsupported,
        /* 42 remove          */ inherit,
        /* 43 reverse         */ inherit,
        /* 44 select          */ pending,
        /* 45 sort            */ pending,
        /* 46 skip            */ inherit,
        /* 47 swap            */ pending,
        /* 48 tail            */ inherit,
        /* 49 tail?           */ inherit,
        /* 50 take            */ pending,
        /* 51 trim            */ pending,
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

}  // namespace string
