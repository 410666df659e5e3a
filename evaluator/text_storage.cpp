// The storage layer of text: making strings, reading and storing code
// points, widening, and appending text.
#include "evaluator/text_storage.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "evaluator/errors.h"
#include "evaluator/stack.h"
#include "evaluator/symbol.h"
#include "runtime/case_folding.h"
#include "runtime/sys.h"
#include "runtime/unicode.h"

namespace string {

namespace {

constexpr uint32_t SCRATCH_SIZE = 65536;
uint8_t* scratch = nullptr;
uint32_t scratch_bytes = 0;

inline uint32_t fold(uint32_t cp) { return case_folding::change_char(cp, true); }

}  // namespace

Cell text_cell(const Cell* c) {
    if (c->type() == TYPE_SYMBOL) {
        Cell* entry = const_cast<Cell*>(c);
        symbol::get_c_string(entry);
        return Cell{TYPE_STRING, 0, entry->data2, 0};
    }
    return *c;
}

Cell* rs_make_at(Cell* slot, uint32_t size) {
    slot->header = TYPE_UNSET;  // never half-made while the buffer is allocated
    Node node = memory::alloc_codepoints(size ? size : 1, 1);
    slot->data1 = 0;
    slot->data2 = node;
    slot->data3 = 0;
    slot->header = TYPE_STRING;
    return slot;
}

Cell* make_at(Cell* slot, uint32_t size, uint32_t unit) {
    uint32_t flags = slot->header & 0xFFFFFF00u;
    slot->header = TYPE_UNSET;
    Node node = memory::alloc_codepoints(size, unit);
    slot->data1 = 0;
    slot->data2 = node;
    slot->data3 = 0;
    slot->header = flags | TYPE_STRING;
    return slot;
}

Cell* push(const Cell* str) { return stack::push(str); }

uint32_t rs_length_q(const Cell* str) {
    uint32_t n = series_of(str)->count();
    return str->head() < n ? n - str->head() : 0;
}

uint32_t rs_abs_at(const Cell* str, uint32_t i) {
    SeriesBuffer* s = series_of(str);
    return unicode::get_char(s->offset_addr(), s->unit(), i);
}

uint8_t* rs_head(Cell* str) {
    clamp_head(str);
    SeriesBuffer* s = series_of(str);
    return s->offset_addr() + str->head() * s->unit();
}

uint8_t* rs_tail(const Cell* str) { return series_of(str)->tail_addr(); }

bool rs_tail_q(const Cell* str) { return str->head() >= series_of(str)->count(); }

uint32_t get_length(const Cell* str) { return series_of(str)->count(); }

bool rs_skip(Cell* str, int32_t n) {
    int64_t target = int64_t{str->head()} + n;
    int64_t length = series_of(str)->count();
    if (target >= 0 && target <= length) str->data1 = static_cast<uint32_t>(target);
    return target >= length;
}

bool rs_next(Cell* str) { return rs_skip(str, 1); }

uint32_t get_char(const uint8_t* address, uint32_t unit) {
    switch (unit) {
        case 1:
        case 2:
        case 4: return unicode::get_char(address, unit, 0);
        default: sys::on_quit(101, 0);
    }
}

int32_t find_char(const Cell* str, uint32_t cp) {
    uint32_t n = rs_length_q(str);
    SeriesBuffer* s = series_of(str);
    for (uint32_t i = 0; i < n; ++i)
        if (unicode::get_char(s->offset_addr(), s->unit(), str->head() + i) == cp)
            return static_cast<int32_t>(i);
    return -1;
}

bool begins_with_literal_q(const Cell* str, const char* text) {
    uint32_t length = static_cast<uint32_t>(std::strlen(text));
    if (rs_length_q(str) < length) return false;
    for (uint32_t i = 0; i < length; ++i) {
        uint32_t c = rs_abs_at(str, str->head() + i);
        if (c > 255 || c != static_cast<uint8_t>(text[i])) return false;
    }
    return true;
}

SeriesBuffer* widen_to(SeriesBuffer* s, uint32_t from, uint32_t to) {
    if (to <= from) return s;
    if (from == 1) return to == 2 ? unicode::latin1_to_ucs2(s) : unicode::latin1_to_ucs4(s);
    if (from == 2 && to == 4) return unicode::ucs2_to_ucs4(s);
    sys::on_quit(101, 0);
}

SeriesBuffer* append_char(SeriesBuffer* s, uint32_t cp) {
    uint32_t unit = s->unit();
    if ((unit == 1 && cp > 127) || (unit == 2 && cp > 0xFFFF)) {
        s = widen_to(s, unit, cp > 0xFFFF ? 4 : 2);
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
        s = widen_to(s, unit, cp > 0xFFFF ? 4 : 2);
        unit = s->unit();
        address = s->offset_addr() + index * unit;
    }
    unicode::set_char(address, unit, 0, cp);
    return s;
}

namespace {

// Widens for a code point stored by overwrite/insert (threshold 255).
SeriesBuffer* widen_for_store(SeriesBuffer* s, uint32_t cp) {
    uint32_t unit = s->unit();
    if (unit == 1 && cp > 255) return widen_to(s, 1, cp > 0xFFFF ? 4 : 2);
    if (unit == 2 && cp > 0xFFFF) return widen_to(s, 2, 4);
    return s;
}

}  // namespace

SeriesBuffer* ensure_bytes(SeriesBuffer* s, uint64_t bytes) {
    uint64_t need = uint64_t{s->offset} + bytes;
    if (need <= s->size) return s;
    uint64_t size = need >= 2 * uint64_t{s->size} ? need : 2 * uint64_t{s->size};
    if (size > memory::MAX_SERIES_SIZE) size = need;
    if (size > memory::MAX_SERIES_SIZE) fire(err::NO_MEMORY);
    return memory::expand_series_copy(s, static_cast<uint32_t>(size));
}

SeriesBuffer* overwrite_char(SeriesBuffer* s, uint32_t index, uint32_t cp) {
    s = widen_for_store(s, cp);
    uint32_t unit = s->unit();
    s = ensure_bytes(s, uint64_t{index + 1} * unit);
    uint8_t* at = s->offset_addr() + index * unit;
    s = poke_char(s, at, cp);
    if (s->offset + (index + 1) * unit > s->tail) s->tail = s->offset + (index + 1) * unit;
    return s;
}

SeriesBuffer* insert_char(SeriesBuffer* s, uint32_t index, uint32_t cp) {
    s = widen_for_store(s, cp);
    uint32_t unit = s->unit();
    uint32_t length = s->count();
    if (index > length) index = length;
    s = ensure_bytes(s, uint64_t{length + 1} * unit);
    uint8_t* base = s->offset_addr();
    std::memmove(base + (index + 1) * unit, base + index * unit, (length - index) * unit);
    s->tail += unit;
    return poke_char(s, base + index * unit, cp);
}

Cell* remove_char(Cell* str, uint32_t index) { return remove_part(str, index, 1); }

Cell* remove_part(Cell* str, uint32_t index, uint32_t count) {
    SeriesBuffer* s = series_of(str);
    uint32_t unit = s->unit();
    uint32_t length = s->count();
    if (index >= length || count == 0) return str;
    if (count > length - index) count = length - index;
    uint8_t* base = s->offset_addr();
    uint32_t after = length - index - count;
    if (after) std::memmove(base + index * unit, base + (index + count) * unit, after * unit);
    s->tail -= count * unit;
    return str;
}

SeriesBuffer* truncate_to(SeriesBuffer* s, uint32_t n) {
    uint64_t bytes = static_cast<uint64_t>(n) * s->unit();
    if (s->size >= bytes && s->count() > n) s->tail = s->offset + static_cast<uint32_t>(bytes);
    return s;
}

void rotate_ranges(uint8_t* start, uint32_t first, uint32_t second) {
    if (first == 0 || second == 0) return;
    uint32_t small = std::min(first, second);
    if (!scratch || small > scratch_bytes) {
        // The larger buffer comes first: refused, the old one stays in place.
        uint32_t bytes = std::max(small, SCRATCH_SIZE);
        auto* larger = static_cast<uint8_t*>(sys::try_allocate(bytes));
        if (!larger) fire(err::NO_MEMORY);
        sys::free(scratch);
        scratch = larger;
        scratch_bytes = bytes;
    }
    if (second <= first) {
        std::memcpy(scratch, start + first, second);
        std::memmove(start + second, start, first);
        std::memcpy(start, scratch, second);
    } else {
        std::memcpy(scratch, start, first);
        std::memmove(start, start + first, second);
        std::memcpy(start + second, scratch, first);
    }
    if (scratch_bytes > SCRATCH_SIZE) {
        // Back to the usual size; when even that is refused the larger
        // buffer is kept.
        if (auto* usual = static_cast<uint8_t*>(sys::try_allocate(SCRATCH_SIZE))) {
            sys::free(scratch);
            scratch = usual;
            scratch_bytes = SCRATCH_SIZE;
        }
    }
}

uint32_t scratch_size() { return scratch_bytes; }

void init_scratch() {
    scratch_bytes = SCRATCH_SIZE;
    scratch = static_cast<uint8_t*>(sys::allocate(scratch_bytes));
}

void concatenate_literal(Cell* str, const char* text) {
    concatenate_literal_part(str, text, static_cast<uint32_t>(std::strlen(text)));
}

void concatenate_literal_part(Cell* str, const char* bytes, uint32_t count) {
    SeriesBuffer* s = series_of(str);
    for (uint32_t i = 0; i < count; ++i) s = append_char(s, static_cast<uint8_t>(bytes[i]));
}

void append_utf8(Cell* str, const char* text, uint32_t count) {
    const uint8_t* p = reinterpret_cast<const uint8_t*>(text);
    const uint8_t* end = p + count;
    SeriesBuffer* s = series_of(str);
    while (p < end) {
        int32_t cp;
        p = unicode::fast_decode_utf8_char(p, end, &cp);
        s = append_char(s, cp < 0 ? 0xFFFD : static_cast<uint32_t>(cp));
    }
}

SeriesBuffer* concatenate(Cell* target, const Cell* source, int32_t part, bool insert) {
    return concatenate_ex(target, source, part, 0, true, insert);
}

SeriesBuffer* concatenate_ex(Cell* target, const Cell* src_value, int32_t part, uint32_t offset,
                             bool keep, bool insert) {
    Cell tgt = text_cell(target);
    Cell src = text_cell(src_value);
    SeriesBuffer* s = series_of(&tgt);
    SeriesBuffer* from = series_of(&src);
    uint32_t from_len = from->count();
    uint32_t start = std::min<uint64_t>(uint64_t{src.head()} + offset, from_len);
    uint32_t n = from_len - start;
    if (part >= 0 && static_cast<uint32_t>(part) < n) n = static_cast<uint32_t>(part);
    if (n == 0) return s;

    if (s->unit() < from->unit()) {
        Node fn = src.node();
        s = widen_to(s, s->unit(), from->unit());
        from = memory::buffer(fn);
    } else if (from->unit() < s->unit() && !keep && src.node() != tgt.node()) {
        Node tn = tgt.node();
        from = widen_to(from, from->unit(), s->unit());
        s = memory::buffer(tn);
    }
    uint32_t unit = s->unit();
    uint32_t src_unit = from->unit();
    // A source in the target's own buffer is read before the target moves.
    std::vector<uint8_t> copy;
    if (src.node() == tgt.node()) {
        copy.assign(from->offset_addr() + start * src_unit,
                    from->offset_addr() + (start + n) * src_unit);
    }
    uint32_t length = s->count();
    uint32_t at = insert ? std::min(tgt.head(), length) : length;
    uint64_t bytes = uint64_t{n} * unit;
    if (uint64_t{s->tail} + bytes > s->size) {
        uint64_t size = 2 * (uint64_t{s->tail} + bytes);
        if (size > memory::MAX_SERIES_SIZE) size = uint64_t{s->tail} + bytes;
        if (size > memory::MAX_SERIES_SIZE) fire(err::NO_MEMORY);
        s = memory::expand_series_copy(s, static_cast<uint32_t>(size));
    }
    uint8_t* base = s->offset_addr();
    if (at < length) std::memmove(base + (at + n) * unit, base + at * unit, (length - at) * unit);
    const uint8_t* data = copy.empty() ? memory::buffer(src.node())->offset_addr() + start * src_unit
                                       : copy.data();
    if (src_unit == unit) {
        std::memcpy(base + at * unit, data, bytes);
    } else {
        for (uint32_t i = 0; i < n; ++i)
            unicode::set_char(base, unit, at + i, unicode::get_char(data, src_unit, i));
    }
    s->tail += static_cast<uint32_t>(bytes);
    return s;
}

}  // namespace string
