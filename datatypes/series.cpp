// series!: the actions that every series type shares; never the type of a value.
#include "datatypes/series.h"

#include <cstring>
#include <exception>
#include <vector>

#include "datatypes/block.h"
#include "datatypes/datatype.h"
#include "datatypes/hash.h"
#include "datatypes/image.h"
#include "datatypes/string.h"
#include "datatypes/vector.h"
#include "datatypes/word.h"
#include "evaluator/actions.h"
#include "evaluator/errors.h"
#include "evaluator/ownership.h"
#include "evaluator/symbol.h"
#include "evaluator/words.h"
#include "runtime/hashtable.h"
#include "runtime/typesets.h"
#include "runtime/unicode.h"
#include "runtime/rng.h"

namespace series {

namespace {

// Buffer flags a copy takes over from its source: the unit and the
// datatype's own bits, not the allocator's, the collector's or ownership.
constexpr uint32_t ALLOCATOR_BITS = SERIES_BIG | SERIES_FIXED | SERIES_MARK | SERIES_CENTRED |
                                    SERIES_MADE | SERIES_PINNED | SERIES_IN_USE;

uint8_t* addr(const Cell* v, uint32_t index) {
    SeriesBuffer* s = series_of(v);
    return s->offset_addr() + static_cast<size_t>(index) * s->unit();
}

Cell none_value() { return Cell{TYPE_NONE, 0, 0, 0}; }
Cell logic_value(bool b) { return Cell{TYPE_LOGIC, b ? 1u : 0u, 0, 0}; }
Cell integer_value(int32_t n) { return Cell{TYPE_INTEGER, 0, static_cast<uint32_t>(n), 0}; }

// script invalid-refine-arg with the refinement's word and the argument.
[[noreturn]] void fire_refine(const Cell& refinement, const Cell* arg) {
    Cell w = refinement;
    set_type(&w, TYPE_WORD);
    fire(err::INVALID_REFINE_ARG, &w, arg);
}

// The count a /part argument gives: an integer!, or a series of the same
// datatype on the same buffer (its index less the series' index).
int64_t part_count(const Cell* series, const Cell* part) {
    if (part->type() == TYPE_INTEGER) return part->int_value();
    if (part->type() == series->type() && part->node() == series->node())
        return static_cast<int64_t>(part->head()) - series->head();
    fire_refine(words::ref::part, part);
}

void swap_bytes(uint8_t* a, uint8_t* b, uint32_t n) {
    uint8_t t[16];
    std::memcpy(t, a, n);
    std::memcpy(a, b, n);
    std::memcpy(b, t, n);
}

// A new buffer of `count` elements copied from element `start` of the
// value's buffer, with the value's unit and datatype bits.
Node copy_range(const Cell* value, uint32_t start, uint32_t count) {
    SeriesBuffer* s = series_of(value);
    uint32_t unit = s->unit();
    Node node = memory::alloc_series(count ? count : 1, unit, 0);
    SeriesBuffer* d = memory::buffer(node);
    s = series_of(value);  // the allocation may have moved it
    std::memcpy(d->offset_addr(), s->offset_addr() + static_cast<size_t>(start) * unit,
                static_cast<size_t>(count) * unit);
    d->tail = d->offset + count * unit;
    d->flags = (d->flags & ALLOCATOR_BITS) | (s->flags & ~(ALLOCATOR_BITS | SERIES_OWNED | SERIES_COMPILED));
    return node;
}

// Drops `count` elements at `start` (within the buffer) closing the gap.
void cut(const Cell* value, uint32_t start, uint32_t count) {
    SeriesBuffer* s = series_of(value);
    uint32_t unit = s->unit();
    uint32_t len = s->count();
    uint8_t* base = s->offset_addr();
    std::memmove(base + static_cast<size_t>(start) * unit, base + static_cast<size_t>(start + count) * unit,
                 static_cast<size_t>(len - start - count) * unit);
    s->tail -= count * unit;
    hash::removed(value, start, count, len);
}

}  // namespace

// ---- Shared operations ------------------------------------------------------------------

uint32_t rs_length_q(const Cell* value) {
    // An image's node is its record: its length is its pixel count.
    if (value->type() == TYPE_IMAGE) return image::pixel_count(value);
    return series_of(value)->count();
}

bool rs_tail_q(const Cell* value) { return value->head() >= rs_length_q(value); }

bool rs_skip(Cell* value, int32_t n) {
    int64_t pos = static_cast<int64_t>(value->head()) + n;
    int64_t len = rs_length_q(value);
    if (pos >= 0 && pos <= len) value->data1 = static_cast<uint32_t>(pos);
    return pos >= len;
}

uint32_t get_length(Cell* value, bool from_head) {
    uint32_t len = rs_length_q(value);
    if (value->head() > len) {
        value->data1 = len;
        return 0;
    }
    return from_head ? len : len - value->head();
}

uint32_t clamp(Cell* value) {
    uint32_t len = rs_length_q(value);
    if (value->head() > len) value->data1 = len;
    return value->head();
}

Cell* pick_into(const Cell* value, int32_t n, Cell* out) {
    uint32_t len = rs_length_q(value);
    int64_t h = value->head() < len ? value->head() : len;
    int64_t target = h + (n > 0 ? n - 1 : n);
    if (n == 0 || target < 0 || target >= len) {
        *out = none_value();
        return out;
    }
    uint32_t i = static_cast<uint32_t>(target);
    uint32_t type = value->type();
    SeriesBuffer* s = series_of(value);
    if (in(CELL_SERIES, type)) {
        *out = *reinterpret_cast<const Cell*>(addr(value, i));
    } else if (type == TYPE_BINARY) {
        *out = integer_value(*addr(value, i));
    } else if (type == TYPE_VECTOR) {
        *out = vector::get_value(addr(value, i), s->unit(), value->data3);
    } else if (type == TYPE_IMAGE) {
        image::pixel_tuple(value, i, out);
    } else {
        Cell c{TYPE_CHAR, 0, unicode::get_char(s->offset_addr(), s->unit(), i), 0};
        *out = c;
    }
    return out;
}

void store(Cell* value, uint32_t index, const Cell* item) {
    uint32_t type = value->type();
    if (in(CELL_SERIES, type)) {
        Cell v = *item;
        *reinterpret_cast<Cell*>(addr(value, index)) = v;
        return;
    }
    SeriesBuffer* s = series_of(value);
    switch (type) {
        case TYPE_BINARY: {
            int32_t n = item->int_value();
            if ((item->type() != TYPE_INTEGER && item->type() != TYPE_CHAR) || n < 0 || n > 255)
                fire(err::INVALID_ARG, item);
            *addr(value, index) = static_cast<uint8_t>(n);
            return;
        }
        case TYPE_VECTOR:
            if (item->type() != value->data3) fire(err::INVALID_ARG, item);
            vector::set_value(addr(value, index), item, s->unit());
            return;
        case TYPE_IMAGE: fire(err::NOT_DONE);
        default:
            if (item->type() != TYPE_CHAR) fire(err::INVALID_ARG, item);
            string::poke_char(s, addr(value, index), item->data2);
            return;
    }
}

// ---- Cursor actions -------------------------------------------------------------------------

Cell* at(Cell* series, Cell* index) {
    if (index->type() != TYPE_INTEGER) fire(err::INVALID_ARG, index);
    int64_t offset = index->int_value();
    int64_t h = clamp(series);
    int64_t len = rs_length_q(series);
    int64_t n = offset >= 1 ? h + offset - 1 : h + offset;
    series->data1 = static_cast<uint32_t>(n < 0 ? 0 : n > len ? len : n);
    return series;
}

Cell* skip(Cell* series, Cell* offset) {
    if (offset->type() != TYPE_INTEGER) fire(err::INVALID_ARG, offset);
    int64_t len = rs_length_q(series);
    int64_t n = static_cast<int64_t>(clamp(series)) + offset->int_value();
    series->data1 = static_cast<uint32_t>(n < 0 ? 0 : n > len ? len : n);
    return series;
}

Cell* back(Cell* series) {
    if (clamp(series) > 0) series->data1 -= 1;
    return series;
}

Cell* next(Cell* series) {
    clamp(series);
    rs_skip(series, 1);
    return series;
}

Cell* head(Cell* series) {
    series->data1 = 0;
    return series;
}

Cell* tail(Cell* series) {
    series->data1 = rs_length_q(series);
    return series;
}

Cell* head_q(Cell* series) {
    *series = logic_value(series->head() == 0);
    return series;
}

Cell* tail_q(Cell* series) {
    *series = logic_value(rs_tail_q(series));
    return series;
}

Cell* index_q(Cell* series) {
    *series = integer_value(static_cast<int32_t>(series->head() + 1));
    return series;
}

int32_t length_q(Cell* series) { return static_cast<int32_t>(get_length(series, false)); }

// ---- Reading and writing elements -------------------------------------------------------------

Cell* pick(Cell* series, int32_t index, Cell*) {
    Cell value = *series;
    return pick_into(&value, index, series);
}

Cell* poke(Cell* series, int32_t index, Cell* value, Cell*) {
    int64_t len = rs_length_q(series);
    int64_t h = clamp(series);
    int64_t target = h + (index > 0 ? index - 1 : index);
    if (index == 0 || target < 0 || target >= len) fire_int(err::OUT_OF_RANGE, index);
    Cell t = *series;
    bool notify = ownership::before(&t, words::poke, value, static_cast<int32_t>(target), 1);
    store(series, static_cast<uint32_t>(target), value);
    hash::reindex(series, static_cast<uint32_t>(target), 1);
    ownership::after(notify, &t, words::poked, value, static_cast<int32_t>(target), 1);
    return value;
}

Cell* clear(Cell* series) {
    uint32_t h = clamp(series);
    uint32_t len = series_of(series)->count();
    if (h >= len) return series;
    Cell t = *series;
    auto part = static_cast<int32_t>(len - h);
    bool notify = ownership::before(&t, words::clear, nullptr, static_cast<int32_t>(h), part);
    SeriesBuffer* s = series_of(series);
    if (h < s->count()) {
        hash::forget(series, h, s->count() - h);
        s->tail = s->offset + h * s->unit();
    }
    ownership::after(notify, &t, words::cleared, nullptr, static_cast<int32_t>(h), part);
    return series;
}

Cell* remove(Cell* series, Cell* part, Cell* key) {
    int64_t count = 1;
    if (part) {
        count = part_count(series, part);
        if (count < 1) return series;
    }
    uint32_t h = clamp(series);
    if (key) {
        if (!in(ANY_BLOCK, series->type())) fire(err::NOT_DONE);
        int32_t found = block::find_one(series, key, true);
        if (found < 0) {
            *series = none_value();
            return series;
        }
        h = static_cast<uint32_t>(found);
        series->data1 = h;
        count += 1;
    }
    uint32_t len = rs_length_q(series);
    if (h >= len) return series;
    Cell t = *series;
    auto removed = static_cast<int32_t>(h + count >= len ? len - h : count);
    bool notify = ownership::before(&t, words::remove, nullptr, static_cast<int32_t>(h), removed);
    if (h + count >= len) {
        hash::forget(series, h, len - h);
        SeriesBuffer* s = series_of(series);
        s->tail = s->offset + h * s->unit();
    } else {
        cut(series, h, static_cast<uint32_t>(count));
    }
    ownership::after(notify, &t, words::removed, nullptr, static_cast<int32_t>(h), removed);
    return series;
}

Cell* reverse(Cell* series, Cell* part, Cell* skip) {
    uint32_t h = clamp(series);
    uint32_t len = rs_length_q(series);
    if (h >= len) return series;
    int64_t count = len - h;
    if (part) {
        int64_t c = part_count(series, part);
        if (c < 1) return series;
        if (c < count) count = c;
    }
    uint32_t size = 1;
    if (skip) {
        if (skip->type() != TYPE_INTEGER) fire_refine(words::ref::skip, skip);
        int32_t sz = skip->int_value();
        if (sz == count) return series;
        if (sz < 1) fire_int(err::OUT_OF_RANGE, sz);
        if (count < sz || count % sz != 0) fire_refine(words::ref::skip, skip);
        size = static_cast<uint32_t>(sz);
    }
    Cell t = *series;
    bool notify = ownership::before(&t, words::reverse, nullptr, static_cast<int32_t>(h), static_cast<int32_t>(count));
    uint32_t unit = series_of(series)->unit();
    uint32_t records = static_cast<uint32_t>(count) / size;
    size_t width = static_cast<size_t>(size) * unit;
    std::vector<uint8_t> tmp(width);
    uint8_t* base = addr(series, h);
    for (uint32_t i = 0, j = records - 1; i < j; ++i, --j) {
        uint8_t* a = base + i * width;
        uint8_t* b = base + j * width;
        std::memcpy(tmp.data(), a, width);
        std::memcpy(a, b, width);
        std::memcpy(b, tmp.data(), width);
    }
    hash::rebuild(series);
    ownership::after(notify, &t, words::reversed, nullptr, static_cast<int32_t>(h), static_cast<int32_t>(count));
    return series;
}

// ---- Copying and taking ------------------------------------------------------------------------

Cell* copy(Cell* value, Cell* result, Cell* part, bool, Cell*) {
    Cell src = *value;
    int64_t len = rs_length_q(&src);
    int64_t h = src.head() < len ? src.head() : len;
    int64_t start = h;
    int64_t count = len - h;
    if (part) {
        if (part->type() == TYPE_PAIR) {
            int64_t x = static_cast<int32_t>(part->data2);
            int64_t y = static_cast<int32_t>(part->data3);
            start = x < 0 ? h + x : h + x - 1;
            if (start < 0) start = 0;
            count = y < x ? 0 : y - x;
        } else {
            count = part_count(&src, part);
            if (part->type() != TYPE_INTEGER) count = static_cast<int64_t>(part->head()) - h;
        }
        if (count < 0) {
            count = -count;
            start -= count;
            if (start < 0) {
                start = 0;
                count = h;
            }
        }
    }
    if (start > len) start = len;
    if (count > len - start) count = len - start;
    Node node = copy_range(&src, static_cast<uint32_t>(start), static_cast<uint32_t>(count));
    *result = Cell{src.type() | (src.header & FLAG_NEW_LINE), 0, node, src.data3};
    return result;
}

Cell* take(Cell* series, Cell* part, bool, bool last) {
    uint32_t h = clamp(series);
    uint32_t len = rs_length_q(series);
    if (h >= len) {
        *series = none_value();
        return series;
    }
    int64_t rest = len - h;
    int64_t count = 1;
    int64_t start = -1;
    if (part) {
        if (part->type() == TYPE_INTEGER) {
            count = part->int_value();
        } else if (part->type() == series->type() && part->node() == series->node()) {
            int64_t p = part->head() < len ? part->head() : len;
            count = last ? len - p : (p < h ? 0 : p - h);
        } else {
            fire_refine(words::ref::part, part);
        }
        if (count < 0) {
            if (last) {
                count = 1;
            } else {
                count = -count;
                if (count > h) count = h;
                start = h - count;
            }
        }
    }
    if (start < 0) {
        if (count > rest) count = rest;
        start = last ? len - count : h;
    }
    Cell src = *series;
    bool notify = ownership::before(&src, words::take, nullptr, static_cast<int32_t>(start), static_cast<int32_t>(count));
    Node node = copy_range(&src, static_cast<uint32_t>(start), static_cast<uint32_t>(count));
    cut(&src, static_cast<uint32_t>(start), static_cast<uint32_t>(count));
    ownership::after(notify, &src, words::taken, nullptr, static_cast<int32_t>(start), static_cast<int32_t>(count));
    *series = Cell{src.type(), 0, node, src.data3};
    return series;
}

// ---- Moving ------------------------------------------------------------------------------------

namespace {

// Tells the owners of the origin and (when another series) the target of
// a move: "move" now, "moved" when the move is done. A move that changes
// nothing returns before telling.
struct Moved {
    const Cell *origin, *target;
    int32_t index, part;
    bool notify_origin, notify_target = false;
    bool done = false;
    Moved(const Cell* o, const Cell* t, uint32_t at, uint32_t count)
        : origin(o), target(t), index(static_cast<int32_t>(at)), part(static_cast<int32_t>(count)) {
        notify_origin = ownership::before(origin, words::move, nullptr, index, part);
        if (target->node() != origin->node())
            notify_target = ownership::before(target, words::move, nullptr, static_cast<int32_t>(target->head()), part);
    }
    ~Moved() noexcept(false) {
        if (std::uncaught_exceptions()) return;
        ownership::after(notify_origin, origin, words::moved, nullptr, index, part);
        ownership::after(notify_target, target, words::moved, nullptr, static_cast<int32_t>(target->head()), part);
    }
};

}  // namespace

Cell* move(Cell* origin, Cell* target, Cell* part) {
    uint32_t ot = origin->type();
    uint32_t tt = target->type();
    auto movable = [](uint32_t t) {
        return in(ANY_BLOCK, t) || in(ANY_STRING, t) || t == TYPE_BINARY || t == TYPE_VECTOR ||
               t == TYPE_IMAGE;
    };
    if (!movable(ot)) {
        Cell caller, dt, arg;
        actions::caller_word(&caller);
        datatype::make_at(&dt, ot);
        actions::call_argument_hook(0, &arg);
        fire(err::EXPECT_ARG, &caller, &dt, &arg);
    }
    if (!movable(tt)) fire(err::INVALID_ARG, target);
    uint32_t oh = clamp(origin);
    uint32_t olen = rs_length_q(origin);
    if (oh >= olen) return target;
    uint32_t count = 1;  // one element without /part
    if (part) {
        count = olen - oh;
        if (part->type() != TYPE_INTEGER) fire_refine(words::ref::part, part);
        int32_t c = part->int_value();
        if (c < 1) return target;
        if (static_cast<uint32_t>(c) < count) count = static_cast<uint32_t>(c);
    }
    uint32_t unit = series_of(origin)->unit();
    Cell from = *origin, to = *target;
    Moved moved(&from, &to, oh, count);

    if (origin->node() == target->node()) {
        uint32_t th = clamp(target);
        uint32_t len = olen;
        if (th == oh) return target;
        if (th > oh && th != len && len - th < count) return origin;
        // A target among the moved elements leaves the series as it is.
        if (th > oh && th != len && th < oh + count) return target;
        size_t bytes = static_cast<size_t>(count) * unit;
        std::vector<uint8_t> lifted(bytes);
        std::memcpy(lifted.data(), addr(origin, oh), bytes);
        if (th > oh) {
            uint32_t dest = th == len ? len - count : th + 1 - count;
            if (dest <= oh) return target;
            std::memmove(addr(origin, oh), addr(origin, oh + count), static_cast<size_t>(dest - oh) * unit);
            std::memcpy(addr(origin, dest), lifted.data(), bytes);
        } else {
            std::memmove(addr(origin, th + count), addr(origin, th), static_cast<size_t>(oh - th) * unit);
            std::memcpy(addr(origin, th), lifted.data(), bytes);
        }
        hash::rebuild(origin);
        return target;
    }

    bool oblock = in(ANY_BLOCK, ot), tblock = in(ANY_BLOCK, tt);
    uint32_t tunit = series_of(target)->unit();
    bool fixed_units = ot == TYPE_BINARY || tt == TYPE_BINARY || ot == TYPE_VECTOR || tt == TYPE_VECTOR ||
                       ot == TYPE_IMAGE || tt == TYPE_IMAGE;
    if (oblock != tblock || (unit != tunit && (fixed_units || !in(ANY_STRING, ot) || !in(ANY_STRING, tt)))) {
        Cell d1, d2;
        datatype::make_at(&d1, ot);
        datatype::make_at(&d2, tt);
        fire(err::MOVE_BAD, &d1, &d2);
    }
    if (unit == tunit) {
        uint32_t th = clamp(target);
        SeriesBuffer* t = series_of(target);
        uint32_t tlen = t->count();
        uint64_t bytes = static_cast<uint64_t>(count) * unit;
        uint64_t needed = uint64_t{t->tail - t->offset} + bytes;
        if (needed > memory::MAX_SERIES_SIZE) fire(err::NO_MEMORY);
        if (t->size - t->offset < needed) {
            uint64_t grown = 2 * needed > memory::MAX_SERIES_SIZE ? needed : 2 * needed;
            memory::expand_series_copy(t, static_cast<uint32_t>(grown));
        }
        t = series_of(target);
        uint8_t* at_t = t->offset_addr() + static_cast<size_t>(th) * unit;
        std::memmove(at_t + bytes, at_t, static_cast<size_t>(tlen - th) * unit);
        std::memcpy(at_t, addr(origin, oh), bytes);
        t->tail += static_cast<uint32_t>(bytes);
        hash::inserted(target, th, count);
    } else {
        string::concatenate(target, origin, static_cast<int32_t>(count), true);
    }
    cut(origin, oh, count);
    return target;
}

// ---- Random ---------------------------------------------------------------------------------------

Cell* random(Cell* value, bool seed, bool secure, bool only) {
    uint32_t h = clamp(value);
    uint32_t len = rs_length_q(value);
    uint32_t unit = series_of(value)->unit();
    if (seed) {
        // A fixed hash seed, so that a seed text gives the same sequence in
        // every run.
        uint32_t hash = hashtable::murmur3_x86_32(addr(value, h), (len - h) * unit, 0);
        rng::seed(static_cast<int32_t>(hash));
        *value = Cell{TYPE_UNSET, 0, 0, 0};
        return value;
    }
    if (only) {
        if (h >= len) {
            *value = none_value();
            return value;
        }
        int32_t k = rng::int_in_range(secure, static_cast<int32_t>(len - h));
        Cell v = *value;
        return pick_into(&v, k, value);
    }
    Cell t = *value;
    auto part = static_cast<int32_t>(len > h ? len - h : 0);
    bool notify = ownership::before(&t, words::random, nullptr, static_cast<int32_t>(h), part);
    for (uint32_t i = h; i < len; ++i) {
        int32_t k = rng::int_in_range(secure, static_cast<int32_t>(len - i));
        if (k > 1) swap_bytes(addr(value, i), addr(value, i + static_cast<uint32_t>(k) - 1), unit);
    }
    ownership::after(notify, &t, words::randomized, nullptr, static_cast<int32_t>(h), part);
    return value;
}

// ---- Owner -------------------------------------------------------------------------------------------

namespace {
bool field_q(const Cell* field, uint32_t sym) {
    return in(ALL_WORD, field->type()) && symbol::resolve(field->symbol()) == symbol::resolve(sym);
}
}  // namespace

// The owner object recorded for the series, or none.
Cell* reflect(Cell* value, Cell* field) {
    if (!field_q(field, words::sym::owner)) fire(err::NOT_DONE);
    return ownership::reflect_owner(value);
}

// `owner` (and `owned`, the word the library uses): none removes the
// ownership, [object word] makes the object the owner under that word.
Cell* modify(Cell* target, Cell* field, Cell* value, bool) {
    if (field_q(field, words::sym::owner) || field_q(field, words::sym::owned)) ownership::modify_owned(target, value);
    return value;
}

}  // namespace series

// ---- Registration --------------------------------------------------------------

template <>
void datatype::init_type<TYPE_SERIES>() {
    register_type<TYPE_SERIES, "-oo------ --------------- -oo-oo-ooo-ooooo-oo--o-ooo- ---o-------">(
        own<slot::random>(series::random), own<slot::reflect>(series::reflect),
        own<slot::at>(series::at), own<slot::back>(series::back), own<slot::clear>(series::clear),
        own<slot::copy>(series::copy), own<slot::head>(series::head),
        own<slot::head_q>(series::head_q), own<slot::index_q>(series::index_q),
        own<slot::length_q>(series::length_q), own<slot::move>(series::move),
        own<slot::next>(series::next), own<slot::pick>(series::pick), own<slot::poke>(series::poke),
        own<slot::remove>(series::remove), own<slot::reverse>(series::reverse),
        own<slot::skip>(series::skip), own<slot::tail>(series::tail),
        own<slot::tail_q>(series::tail_q), own<slot::take>(series::take),
        own<slot::modify>(series::modify));
}
