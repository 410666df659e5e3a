// image!: bitmaps of pixels. The record (a 24-byte byte series: flags, two
// unused words, the size, the external slot, 0) names the slot of the
// external-resource table that owns the C++ bitmap; the collector marks the
// slot through the record whenever it marks an image! cell.
#include "datatypes/image.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "datatypes/binary.h"
#include "datatypes/block.h"
#include "datatypes/datatype.h"
#include "datatypes/pair.h"
#include "datatypes/scalar.h"
#include "datatypes/tuple.h"
#include "evaluator/context.h"
#include "evaluator/errors.h"
#include "evaluator/ownership.h"
#include "evaluator/stack.h"
#include "evaluator/words.h"
#include "runtime/collector.h"
#include "runtime/externals.h"
#include "runtime/memory.h"
#include "runtime/print.h"
#include "runtime/typesets.h"

namespace image {

namespace {

namespace imaging = sys::imaging;

// ---- The record -----------------------------------------------------------------

struct Record {
    uint32_t flags, source, bitmap, size, slot, zero;
};
static_assert(sizeof(Record) == 24);

uint32_t kind = 0;  // the external-resource kind "image"

// What the external slot owns: the pixels and the node of the record that
// names the slot (rewritten whenever the collector moves the record).
struct Owned {
    Bitmap bitmap;
    Node record;
};

Record* record_of(Node n) { return reinterpret_cast<Record*>(memory::buffer(n)->offset_addr()); }

void release_bitmap(uintptr_t object) { delete reinterpret_cast<Owned*>(object); }

// An image! cell reached: its record (as the collector now names it) keeps
// the slot.
void mark_record(Node n) {
    int32_t slot = static_cast<int32_t>(record_of(n)->slot);
    if (const externals::Slot* s = externals::slot_at(slot)) reinterpret_cast<Owned*>(s->object)->record = n;
    externals::mark(slot, 0);
}

// A record that only the machine stack holds is marked (and pinned, so its
// node did not move) without marking its slot.
bool record_alive(uintptr_t object) { return collector::marked_q(reinterpret_cast<Owned*>(object)->record); }

// A new record owning the bitmap. Allocates first, then registers the
// bitmap: nothing collects between the registration and the caller's cell.
Node make_record(Bitmap&& pixels) {
    Node n = memory::alloc_bytes(sizeof(Record));
    SeriesBuffer* s = memory::buffer(n);
    s->tail = s->offset + static_cast<uint32_t>(sizeof(Record));
    auto* owned = new Owned{std::move(pixels), n};
    int32_t slot = externals::store(reinterpret_cast<uintptr_t>(owned), kind);
    *record_of(n) = Record{3, 0, 0, owned->bitmap.height << 16 | owned->bitmap.width, static_cast<uint32_t>(slot), 0};
    return n;
}

// ---- Small values --------------------------------------------------------------

Cell datatype_cell(uint32_t type) {
    Cell dt{};
    datatype::make_at(&dt, type);
    return dt;
}

Cell none_cell() { return Cell{TYPE_NONE, 0, 0, 0}; }

// /part, as copy's errors name it.
Cell part_word() { return words::ref::part; }

// The image's bitmap; access error bad-media when it has none (a record
// always has one).
Bitmap& pixels_of(const Cell* img) {
    Bitmap* b = bitmap_of(img);
    if (!b) fire(err::BAD_MEDIA);
    return *b;
}

// R, G, B and transparency of a tuple (a 3-byte tuple is opaque) as a pixel.
uint32_t pixel_of_tuple(const Cell* t) {
    const uint8_t* b = tuple::bytes(t);
    uint32_t a = tuple::length(t) >= 4 ? 255u - b[3] : 255u;
    return a << 24 | uint32_t{b[0]} << 16 | uint32_t{b[1]} << 8 | b[2];
}

void tell_owner_before_after(Cell* img, const Cell& action, const Cell& past, const Cell* value, int32_t index,
                             int32_t part, auto&& change) {
    Cell t = *img;
    bool notify = ownership::before(&t, action, value, index, part);
    change();
    ownership::after(notify, &t, past, value, index, part);
}

// ---- Indexes --------------------------------------------------------------------

// The pixel index an integer! or pair! designates (one-based: pick, poke,
// at; zero-based: skip), clamped to 0 .. width × height; `outside` tells
// whether it is out of range.
uint32_t index_of(const Cell* img, const Cell* index, int64_t n, bool one_based, bool* outside) {
    int64_t w = width_of(img), h = height_of(img), total = w * h, head = img->head();
    bool bad = false;
    if (index && index->type() == TYPE_PAIR) {
        int64_t x = pair::x_of(index), y = pair::y_of(index);
        if (one_based) {
            n = x + w * (y - 1);
            bad = x < 1 || x > w || y < 1 || y > h;
        } else {
            n = x + w * y;
            bad = x < 0 || x >= w || y < 0 || y >= h;
        }
    }
    int64_t target;
    if (one_based) {
        bad = bad || n == 0;
        target = (n <= 0 ? n + 1 : n) + head - 1;
    } else {
        target = n + head;
    }
    bad = bad || target < 0 || target >= total;
    if (outside) *outside = bad;
    return static_cast<uint32_t>(std::clamp<int64_t>(target, 0, total));
}

int64_t number_of(const Cell* index) {
    switch (index->type()) {
        case TYPE_INTEGER: return index->int_value();
        case TYPE_PAIR: return 0;
        default: fire(err::INVALID_ARG, index);
    }
}

// ---- Making ---------------------------------------------------------------------

// The pixels of a new image: one colour, or RGB triples with the
// transparency bytes (white and opaque where the bytes run out).
Cell* make_image(Cell* slot, int64_t w, int64_t h, const Cell* rgb, const Cell* alpha, const Cell* colour,
                 const Cell* spec) {
    if (w < 0) w = 0;
    if (h < 0) h = 0;
    Bitmap b;
    if (w == 0 || h == 0) return make_at(slot, std::move(b));
    if (!imaging::size_ok(static_cast<uint64_t>(w), static_cast<uint64_t>(h))) fire(err::OUT_OF_RANGE, spec);
    uint32_t fill = colour ? pixel_of_tuple(colour) : 0xFFFFFFFFu;
    if (!imaging::allocate(b, static_cast<uint64_t>(w), static_cast<uint64_t>(h), fill)) fire(err::NO_MEMORY);
    if (!colour) {
        const uint8_t* c = rgb ? binary::rs_head(rgb) : nullptr;
        size_t triples = rgb ? binary::rs_length_q(rgb) / 3 : 0;
        const uint8_t* t = alpha ? binary::rs_head(alpha) : nullptr;
        size_t ts = alpha ? binary::rs_length_q(alpha) : 0;
        size_t n = b.pixels.size();
        for (size_t i = 0; i < n; ++i) {
            uint32_t a = i < ts ? 255u - t[i] : 255u;
            uint32_t p = i < triples ? uint32_t{c[3 * i]} << 16 | uint32_t{c[3 * i + 1]} << 8 | c[3 * i + 2]
                                     : 0xFFFFFFu;
            b.pixels[i] = a << 24 | p;
        }
    }
    return make_at(slot, std::move(b));
}

// A copy of the rectangle (x, y, w, h) of the image into the slot; w or h
// below 1 gives an empty image.
Cell* copy_rect(const Cell* img, Cell* slot, int64_t x, int64_t y, int64_t w, int64_t h) {
    Bitmap b;
    if (w >= 1 && h >= 1) {
        const Bitmap& src = pixels_of(img);
        if (!imaging::allocate(b, static_cast<uint64_t>(w), static_cast<uint64_t>(h), 0)) fire(err::NO_MEMORY);
        for (int64_t r = 0; r < h; ++r)
            std::memcpy(b.pixels.data() + r * w, src.pixels.data() + (y + r) * src.width + x,
                        static_cast<size_t>(w) * 4);
    }
    return make_at(slot, std::move(b));
}

// ---- Mold --------------------------------------------------------------------------

void hex_byte(std::string& s, uint32_t v) {
    static const char digits[] = "0123456789ABCDEF";
    s += digits[(v >> 4) & 15];
    s += digits[v & 15];
}

void line_break(std::string& s, int32_t level) {
    s += '\n';
    if (level > 0) s.append(static_cast<size_t>(level) * 4, ' ');
}

int32_t mold_pixels(const Cell* img, Cell* buffer, bool only, bool flat, int32_t limit, int32_t level) {
    std::string s;
    if (!only) s += "make image! [";
    s += std::to_string(width_of(img)) + "x" + std::to_string(height_of(img));
    Bitmap* b = bitmap_of(img);
    if (!b) {
        s += " #{}";
    } else {
        uint32_t total = pixel_count(img), from = std::min(img->head(), total), count = total - from;
        bool lines = !flat && count >= 8;  // more than 30 bytes of pixels
        s += " #{";
        if (lines) line_break(s, level);
        bool clear = false;
        for (uint32_t i = 0; i < count; ++i) {
            uint32_t p = b->pixels[from + i];
            hex_byte(s, p >> 16);
            hex_byte(s, p >> 8);
            hex_byte(s, p);
            clear |= (p >> 24) != 255;
            if (!flat && (i + 1) % 10 == 0) line_break(s, level);
        }
        if (lines && count % 10 != 0) line_break(s, level - 1);
        s += "}";
        if (clear) {
            s += " #{";
            if (!flat) line_break(s, level);
            for (uint32_t i = 0; i < count; ++i) {
                hex_byte(s, 255 - (b->pixels[from + i] >> 24));
                if (!flat && (i + 1) % 10 == 0) line_break(s, level);
            }
            if (!flat) line_break(s, level - 1);
            s += "}";
        }
    }
    if (!only) s += "]";
    return scalar::append(buffer, s.c_str(), limit);
}

// ---- Pixel data -------------------------------------------------------------------

void set_data(Cell* img, const Cell* value, int32_t kind_) {
    Bitmap& b = pixels_of(img);
    size_t n = b.pixels.size();
    if (value->type() == TYPE_BINARY) {
        const uint8_t* d = binary::rs_head(value);
        size_t len = binary::rs_length_q(value);
        if (kind_ == 2) {
            std::memcpy(b.pixels.data(), d, std::min(len, n * 4));
        } else if (kind_ == 1) {
            for (size_t i = 0; i < n && 3 * i + 2 < len; ++i)
                b.pixels[i] = (b.pixels[i] & 0xFF000000u) | uint32_t{d[3 * i]} << 16 | uint32_t{d[3 * i + 1]} << 8 |
                              d[3 * i + 2];
        } else {
            for (size_t i = 0; i < n && i < len; ++i) b.pixels[i] = (b.pixels[i] & 0xFFFFFFu) | (255u - d[i]) << 24;
        }
        return;
    }
    uint32_t k;
    if (value->type() == TYPE_TUPLE) {
        const uint8_t* t = tuple::bytes(value);
        k = t[0] | uint32_t{t[1]} << 8 | uint32_t{t[2]} << 16 | (tuple::length(value) >= 4 ? uint32_t{t[3]} << 24 : 0);
    } else if (value->type() == TYPE_INTEGER) {
        k = static_cast<uint32_t>(value->int_value());
    } else {
        fire(err::INVALID_ARG, value);
    }
    uint32_t colour = (k & 255) << 16 | ((k >> 8) & 255) << 8 | ((k >> 16) & 255);
    for (uint32_t& p : b.pixels) {
        if (kind_ == 2) p = (255u - (k >> 24)) << 24 | colour;
        else if (kind_ == 1) p = (p & 0xFF000000u) | colour;
        else p = (p & 0xFFFFFFu) | ((255u - k) & 255u) << 24;
    }
}

int32_t data_kind(const Cell* selector) {
    if (selector->type() != TYPE_WORD) return -1;
    if (scalar::word_is(selector, words::sym::alpha)) return 0;
    if (scalar::word_is(selector, words::sym::rgb)) return 1;
    if (scalar::word_is(selector, words::sym::argb)) return 2;
    return -1;
}

}  // namespace

// ---- The layer's entry points ---------------------------------------------------

Bitmap* bitmap_of(const Cell* img) {
    if (!img->node()) return nullptr;
    const externals::Slot* s = externals::slot_at(static_cast<int32_t>(record_of(img->node())->slot));
    return s ? &reinterpret_cast<Owned*>(s->object)->bitmap : nullptr;
}

Cell* make_at(Cell* slot, Bitmap&& pixels) {
    if (pixels.width == 0 || pixels.height == 0) {
        *slot = Cell{TYPE_IMAGE, 0, 0, 0};
        return slot;
    }
    uint32_t size = pixels.height << 16 | pixels.width;
    *slot = Cell{TYPE_UNSET, 0, 0, 0};
    Node n = make_record(std::move(pixels));
    *slot = Cell{TYPE_IMAGE, 0, n, size};
    return slot;
}

Cell* pixel_tuple(const Cell* img, uint32_t index, Cell* out) {
    Bitmap* b = bitmap_of(img);
    if (!b || index >= pixel_count(img)) {
        *out = none_cell();
        return out;
    }
    uint32_t p = b->pixels[index];
    uint8_t bytes[4] = {static_cast<uint8_t>(p >> 16), static_cast<uint8_t>(p >> 8), static_cast<uint8_t>(p),
                        static_cast<uint8_t>(255 - (p >> 24))};
    return tuple::make_at(out, bytes, 4);
}

Cell* extract_data(const Cell* img, int32_t kind_, Cell* out) {
    Cell keep = *img;
    uint32_t n = pixel_count(&keep);
    uint32_t per = kind_ == 0 ? 1 : kind_ == 1 ? 3 : 4;
    binary::make_at(out, n * per);
    Bitmap* b = bitmap_of(&keep);
    if (!b) return out;
    SeriesBuffer* s = memory::buffer(out->node());
    uint8_t* d = s->tail_addr();
    for (uint32_t i = 0; i < n; ++i) {
        uint32_t p = b->pixels[i];
        if (kind_ == 0) {
            *d++ = static_cast<uint8_t>(255 - (p >> 24));
        } else if (kind_ == 1) {
            *d++ = static_cast<uint8_t>(p >> 16);
            *d++ = static_cast<uint8_t>(p >> 8);
            *d++ = static_cast<uint8_t>(p);
        } else {
            std::memcpy(d, &p, 4);
            d += 4;
        }
    }
    s->tail += n * per;
    return out;
}

Cell* load_binary(const Cell* bytes, Cell* slot) {
    const uint8_t* d = binary::rs_head(bytes);
    uint32_t n = binary::rs_length_q(bytes);
    if (imaging::sniff(d, n) < 0) {
        *slot = none_cell();
        return slot;
    }
    Bitmap b;
    if (!imaging::decode(d, n, b)) fire(err::BAD_MEDIA);
    return make_at(slot, std::move(b));
}

Cell* encode(const Cell* img, int32_t format, Cell* slot) {
    if (img->type() != TYPE_IMAGE) fire(err::INVALID_ARG, img);
    if (format < imaging::BMP || format > imaging::TIFF) {
        sys::print_line({sys::Item::cstr("Cannot find image encoder")});
        *slot = none_cell();
        return slot;
    }
    Cell keep = *img;
    std::vector<uint8_t> out;
    if (keep.node() && !imaging::encode(pixels_of(&keep), format, out)) fire(err::BAD_MEDIA);
    if (!keep.node() && pixel_count(&keep) != 0) fire(err::BAD_MEDIA);
    if (out.size() > memory::MAX_SERIES_SIZE) fire(err::NO_MEMORY);
    binary::make_at(slot, static_cast<uint32_t>(out.size()));
    SeriesBuffer* s = memory::buffer(slot->node());
    if (!out.empty()) std::memcpy(s->tail_addr(), out.data(), out.size());
    s->tail += static_cast<uint32_t>(out.size());
    return slot;
}

void foreach_set_words(const Cell* words_, Cell* img, uint32_t count) {
    Cell list = *words_, keep = *img;
    uint32_t at = img->head();
    img->data1 = std::min(at + count, pixel_count(img));
    for (uint32_t i = 0; i < count; ++i) {
        Cell word = block::rs_head(&list)[i];
        if (!in(ANY_WORD, word.type())) fire(err::INVALID_ARG, &word);
        Cell v;
        pixel_tuple(&keep, at + i, &v);
        context::set(&word, &v);
    }
}

// ---- Actions -------------------------------------------------------------------------

Cell* copy(Cell* value, Cell* result, Cell* part, bool, Cell*);
Cell* to(Cell* proto, Cell* spec, uint32_t);

Cell* make(Cell* proto, Cell* spec, uint32_t) {
    Cell s = *spec;
    if (s.type() == TYPE_PAIR) return make_image(proto, pair::x_of(&s), pair::y_of(&s), nullptr, nullptr, nullptr, &s);
    if (s.type() != TYPE_BLOCK) return to(proto, spec, TYPE_IMAGE);
    uint32_t n = memory::buffer(s.node())->count();
    n = s.head() < n ? n - s.head() : 0;
    const Cell* v = reinterpret_cast<const Cell*>(memory::buffer(s.node())->offset_addr()) + s.head();
    if (n == 0) {
        if (proto->type() == TYPE_IMAGE) return copy(proto, proto, nullptr, false, nullptr);
        fire(err::INVALID_ARG, &s);
    }
    Cell size = v[0], second = n > 1 ? v[1] : none_cell(), third = n > 2 ? v[2] : none_cell();
    if (size.type() != TYPE_PAIR) {
        Cell dt = datatype_cell(TYPE_PAIR);
        fire(err::EXPECT_VAL, &dt, &size);
    }
    const Cell *rgb = nullptr, *colour = nullptr, *alpha = nullptr;
    if (n > 1) {
        if (second.type() == TYPE_BINARY) rgb = &second;
        else if (second.type() == TYPE_TUPLE) colour = &second;
        else fire(err::INVALID_ARG, &second);
    }
    if (n > 2) {
        if (third.type() != TYPE_BINARY) {
            Cell dt = datatype_cell(TYPE_BINARY);
            fire(err::EXPECT_VAL, &dt, &third);
        }
        alpha = &third;
    }
    return make_image(proto, pair::x_of(&size), pair::y_of(&size), rgb, alpha, colour, &size);
}

Cell* to(Cell* proto, Cell* spec, uint32_t) {
    if (spec->type() == TYPE_IMAGE) {
        Cell s = *spec;
        *proto = s;
        return copy(proto, proto, nullptr, false, nullptr);
    }
    scalar::bad_to_arg(TYPE_IMAGE, spec);
}

int32_t form(Cell* value, Cell* buffer, Cell*, int32_t limit) { return mold_pixels(value, buffer, false, false, limit, 0); }

int32_t mold(Cell* value, Cell* buffer, bool only, bool, bool flat, Cell*, int32_t limit, int32_t indent) {
    return mold_pixels(value, buffer, only, flat, limit, indent + 1);
}

Cell* pick(Cell* series, int32_t index, Cell* boxed);
Cell* poke(Cell* series, int32_t index, Cell* value, Cell* boxed);

Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell*, Cell*, Cell*, int32_t, bool, bool, bool) {
    if (element->type() == TYPE_INTEGER || element->type() == TYPE_PAIR) {
        Cell* r = stack::push_slot();
        *r = *parent;
        int32_t n = element->type() == TYPE_INTEGER ? element->int_value() : 0;
        return value ? poke(r, n, value, element) : pick(r, n, element);
    }
    if (element->type() == TYPE_WORD && scalar::word_is(element, words::sym::size)) {
        if (value) fire(err::INVALID_PATH, element, value);
        return pair::push(static_cast<int32_t>(width_of(parent)), static_cast<int32_t>(height_of(parent)));
    }
    int32_t k = data_kind(element);
    if (k < 0) fire(err::INVALID_PATH, element, value);
    if (!value) return extract_data(parent, k, stack::push_slot());
    Cell* img = stack::push_slot();
    *img = *parent;
    if (img->node())
        tell_owner_before_after(img, words::change, words::changed, value, 0, static_cast<int32_t>(pixel_count(img)),
                                [&] { set_data(img, value, k); });
    *img = *value;
    return img;
}

int32_t compare(Cell* value1, Cell* value2, int32_t op) {
    if (value2->type() != TYPE_IMAGE) return actions::NOT_COMPARABLE;
    bool same = value1->node() == value2->node() && value1->head() == value2->head();
    if (op == actions::COMP_SAME) return same ? 0 : -1;
    if (op >= actions::COMP_LESSER && op <= actions::COMP_GREATER_EQUAL) return actions::NOT_COMPARABLE;
    if (same && op <= actions::COMP_STRICT_EQUAL) return 0;
    uint32_t a = pixel_count(value1), b = pixel_count(value2);
    if (a != b) return a < b ? -1 : 1;
    Bitmap *p = bitmap_of(value1), *q = bitmap_of(value2);
    if (!p || !q) return 0;
    int c = std::memcmp(p->pixels.data(), q->pixels.data(), static_cast<size_t>(a) * 4);
    return c < 0 ? -1 : c > 0 ? 1 : 0;
}

Cell* at(Cell* series, Cell* index) {
    series->data1 = index_of(series, index, number_of(index), true, nullptr);
    return series;
}

Cell* change(Cell* series, Cell* value, int32_t part, bool, int32_t dup) {
    if (part >= 0 || dup >= 2) fire(err::NOT_DONE);
    uint32_t total = pixel_count(series), head = std::min(series->head(), total);
    if (value->type() == TYPE_TUPLE) {
        if (head >= total) fire_int(err::OUT_OF_RANGE, static_cast<int32_t>(head + 1));
        uint32_t p = pixel_of_tuple(value);
        tell_owner_before_after(series, words::change, words::changed, value, static_cast<int32_t>(head), 1,
                                [&] { pixels_of(series).pixels[head] = p; });
        series->data1 = head + 1;
        return series;
    }
    if (value->type() != TYPE_IMAGE) {
        Cell dt = datatype_cell(value->type());
        fire(err::INVALID_TYPE, &dt);
    }
    if (head >= total || !value->node()) return series;
    uint32_t w = width_of(series), h = height_of(series), x = head % w, y = head / w;
    uint32_t sw = width_of(value), sh = height_of(value);
    uint32_t cw = std::min(sw, w - x), ch = std::min(sh, h - y);
    Cell source = *value;
    tell_owner_before_after(series, words::change, words::changed, value, static_cast<int32_t>(head),
                            static_cast<int32_t>(cw * ch), [&] {
                                Bitmap& dst = pixels_of(series);
                                const Bitmap& src = pixels_of(&source);
                                for (uint32_t r = 0; r < ch; ++r)
                                    std::memmove(dst.pixels.data() + static_cast<size_t>(y + r) * w + x,
                                                 src.pixels.data() + static_cast<size_t>(r) * sw,
                                                 static_cast<size_t>(cw) * 4);
                            });
    if (ch > 0 && cw > 0) series->data1 = (y + ch - 1) * w + x + cw;
    return series;
}

Cell* copy(Cell* value, Cell* result, Cell* part, bool, Cell*) {
    Cell img = *value;
    *result = img;  // the collector keeps seeing the source through the result slot
    int64_t w = width_of(&img), h = height_of(&img), total = w * h;
    int64_t head = std::min<int64_t>(img.head(), total);
    if (w == 0 || h == 0) return make_at(result, Bitmap{});
    if (!part) {
        if (head >= total) return make_at(result, Bitmap{});
        int64_t x = head % w, y = head / w;
        // From the current pixel's column and row to the bottom-right corner.
        Cell* src = stack::push_slot();
        *src = img;
        copy_rect(src, result, x, y, w - x, h - y);
        stack::pop(1);
        return result;
    }
    int64_t x = head % w, y = head / w, rw = 0, rh = 0;
    Cell p = *part;
    switch (p.type()) {
        case TYPE_PAIR: {
            int64_t pw = pair::x_of(&p), ph = pair::y_of(&p);
            if (pw > 0 && ph > 0 && head < total) {
                rw = std::min(pw, w - x);
                rh = std::min(ph, h - y);
            } else if (pw < 0 && ph < 0 && head > 0) {
                // Ending at the current pixel: a column of 0 counts as the
                // width, and the row counts one more while inside.
                int64_t ex = x == 0 ? w : x, ey = y < h ? y + 1 : y;
                rw = std::min(-pw, ex);
                rh = std::min(-ph, ey);
                x = ex - rw;
                y = ey - rh;
            }
            break;
        }
        case TYPE_INTEGER: fire(err::NOT_DONE);
        case TYPE_IMAGE: {
            if (p.node() != img.node()) {
                Cell word = part_word();
                fire(err::INVALID_REFINE_ARG, &word, &p);
            }
            // The rectangle spanned by the two positions, the later corner
            // exclusive.
            int64_t other = std::min<int64_t>(p.head(), total);
            int64_t a = std::min(head, other), b = std::max(head, other);
            int64_t ax = a % w, ay = a / w, bx = b % w, by = b / w;
            x = std::min(ax, bx);
            y = ay;
            rw = std::max(ax, bx) - x;
            rh = by - ay;
            break;
        }
        default: {
            Cell word = part_word();
            fire(err::INVALID_REFINE_ARG, &word, &p);
        }
    }
    Cell* src = stack::push_slot();
    *src = img;
    copy_rect(src, result, x, y, rw, rh);
    stack::pop(1);
    return result;
}

int32_t length_q(Cell* series) { return static_cast<int32_t>(pixel_count(series)); }

Cell* next(Cell* series) {
    if (series->head() < pixel_count(series)) series->data1 = series->head() + 1;
    return series;
}

Cell* pick(Cell* series, int32_t index, Cell* boxed) {
    bool outside;
    uint32_t i = index_of(series, boxed, index, true, &outside);
    Cell img = *series;
    if (outside) {
        *series = none_cell();
        return series;
    }
    return pixel_tuple(&img, i, series);
}

Cell* poke(Cell* series, int32_t index, Cell* value, Cell* boxed) {
    bool outside;
    uint32_t i = index_of(series, boxed, index, true, &outside);
    if (outside) fire(err::OUT_OF_RANGE, boxed);
    if (value->type() != TYPE_TUPLE) fire(err::INVALID_ARG, value);
    uint32_t p = pixel_of_tuple(value);
    tell_owner_before_after(series, words::poke, words::poked, value, static_cast<int32_t>(i), 1,
                            [&] { pixels_of(series).pixels[i] = p; });
    return value;
}

Cell* skip(Cell* series, Cell* offset) {
    series->data1 = index_of(series, offset, number_of(offset), false, nullptr);
    return series;
}

Cell* tail(Cell* series) {
    series->data1 = pixel_count(series);
    return series;
}

Cell* tail_q(Cell* series) {
    *series = Cell{TYPE_LOGIC, series->head() >= pixel_count(series) ? 1u : 0u, 0, 0};
    return series;
}

}  // namespace image

// ---- Registration --------------------------------------------------------------

template <>
void datatype::init_type<TYPE_IMAGE>() {
    register_type<TYPE_IMAGE, "o--oooo-o --------------- -oio-o-iii-o-ooo-----o-oo-- ---i-------">(
        own<slot::make>(image::make), own<slot::to>(image::to), own<slot::form>(image::form),
        own<slot::mold>(image::mold), own<slot::eval_path>(image::eval_path), own<slot::compare>(image::compare),
        own<slot::at>(image::at), own<slot::change>(image::change), own<slot::copy>(image::copy),
        own<slot::length_q>(image::length_q), own<slot::next>(image::next), own<slot::pick>(image::pick),
        own<slot::poke>(image::poke), own<slot::skip>(image::skip), own<slot::tail>(image::tail),
        own<slot::tail_q>(image::tail_q));
    image::kind = externals::register_kind("image", image::release_bitmap, image::record_alive);
    collector::mark_image = image::mark_record;
}
