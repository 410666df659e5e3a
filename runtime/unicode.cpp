// Text encodings: UTF-8 decoding (table-driven and validated), UTF-8 and
// UTF-16 loading into strings with in-place widening, and encoding strings
// back into their cache buffers.
#include "runtime/unicode.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "runtime/fault.h"
#include "runtime/print.h"
#include "runtime/sys.h"

namespace unicode {

// ---- UTF-8 byte helpers ---------------------------------------------------------

namespace {

constexpr uint8_t ACCEPT = 0;
constexpr uint8_t REJECT = 12;

constexpr uint8_t byte_class(uint32_t b) {
    if (b <= 0x7F) return 0;
    if (b <= 0x8F) return 1;
    if (b <= 0x9F) return 9;
    if (b <= 0xBF) return 7;
    if (b <= 0xC1) return 8;
    if (b <= 0xDF) return 2;
    if (b == 0xE0) return 10;
    if (b <= 0xEC) return 3;
    if (b == 0xED) return 4;
    if (b <= 0xEF) return 3;
    if (b == 0xF0) return 11;
    if (b <= 0xF3) return 6;
    if (b == 0xF4) return 5;
    return 8;
}

constexpr uint8_t transitions[108] = {
    0,  12, 24, 36, 60, 96, 84, 12, 12, 12, 48, 72,  // 0
    12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12,  // 12
    12, 0,  12, 12, 12, 12, 12, 0,  12, 0,  12, 12,  // 24
    12, 24, 12, 12, 12, 12, 12, 24, 12, 24, 12, 12,  // 36
    12, 12, 12, 12, 12, 12, 12, 24, 12, 12, 12, 12,  // 48
    12, 24, 12, 12, 12, 12, 12, 12, 12, 24, 12, 12,  // 60
    12, 12, 12, 12, 12, 12, 12, 36, 12, 36, 12, 12,  // 72
    12, 36, 12, 12, 12, 12, 12, 36, 12, 36, 12, 12,  // 84
    12, 36, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12,  // 96
};

struct Dfa {
    uint8_t table[364];
    constexpr Dfa() : table() {
        for (uint32_t b = 0; b < 256; b++) table[b] = byte_class(b);
        for (uint32_t i = 0; i < 108; i++) table[256 + i] = transitions[i];
    }
};
constexpr Dfa dfa{};

[[noreturn]] void invalid_code_point(uint32_t cp) {
    fault::fire_int(fault::OUT_OF_RANGE, static_cast<int32_t>(cp));
}

// Access error invalid-utf8 with the bytes of the sequence as binary!.
[[noreturn]] void invalid_utf8(const uint8_t* src, uint32_t available) {
    uint32_t n = available < 4 ? available : 4;
    Node bytes = memory::alloc_bytes(n);
    SeriesBuffer* s = memory::buffer(bytes);
    std::memcpy(s->offset_addr(), src, n);
    s->tail = s->offset + n;
    Cell bin{TYPE_BINARY, 0, bytes, 0};
    fault::fire(fault::INVALID_UTF8, &bin);
}

}  // namespace

const uint8_t utf8_dfa[364] = {
#define ROW(b) dfa.table[b], dfa.table[b + 1], dfa.table[b + 2], dfa.table[b + 3]
#define ROW16(b) ROW(b), ROW(b + 4), ROW(b + 8), ROW(b + 12)
#define ROW64(b) ROW16(b), ROW16(b + 16), ROW16(b + 32), ROW16(b + 48)
    ROW64(0), ROW64(64), ROW64(128), ROW64(192), ROW64(256), ROW16(320), ROW16(336),
    ROW(352), ROW(356), ROW(360)
#undef ROW64
#undef ROW16
#undef ROW
};

const uint8_t* fast_decode_utf8_char(const uint8_t* src, const uint8_t* end, int32_t* cp) {
    if (src >= end) {
        *cp = -1;
        return end;
    }
    uint8_t cls = utf8_dfa[*src];
    uint32_t code = *src & (0xFFu >> cls);
    uint32_t state = utf8_dfa[256 + cls];
    const uint8_t* p = src + 1;
    while (state != ACCEPT && state != REJECT) {
        if (p >= end) {  // the text ends inside the sequence
            *cp = -1;
            return end;
        }
        cls = utf8_dfa[*p];
        code = (code << 6) | (*p & 0x3Fu);
        state = utf8_dfa[256 + state + cls];
        if (state == REJECT) break;  // resume at the byte that broke it
        p++;
    }
    *cp = state == ACCEPT ? static_cast<int32_t>(code) : -1;
    return p;
}

uint32_t count_utf8_chars(const uint8_t* start, const uint8_t* end) {
    uint32_t n = 0;
    int32_t cp;
    while (start < end) {
        start = fast_decode_utf8_char(start, end, &cp);
        n++;
    }
    return n;
}

const uint8_t* skip_utf8_chars(const uint8_t* start, const uint8_t* end, uint32_t n) {
    int32_t cp;
    while (n-- > 0 && start < end) start = fast_decode_utf8_char(start, end, &cp);
    return start;
}

uint32_t utf8_lead_size(uint8_t byte) {
    if ((byte & 0xF0) == 0xF0) return 4;
    if ((byte & 0xF0) == 0xE0) return 3;
    if ((byte & 0xE0) == 0xC0) return 2;
    return 0;
}

uint32_t utf8_char_size(uint32_t cp) {
    if (cp <= 0x7F) return 1;
    if (cp <= 0x7FF) return 2;
    if (cp <= 0xFFFF) return 3;
    if (cp <= 0x10FFFF) return 4;
    invalid_code_point(cp);
}

uint32_t utf8_size(const uint8_t* start, const uint8_t* end, uint32_t unit) {
    uint32_t bytes = 0;
    for (uint32_t i = 0, n = static_cast<uint32_t>((end - start) / unit); i < n; i++)
        bytes += utf8_char_size(get_char(start, unit, i));
    return bytes;
}

uint32_t encode_utf8_char(uint32_t cp, uint8_t* buffer) {
    if (cp <= 0x7F) {
        buffer[0] = static_cast<uint8_t>(cp);
        return 1;
    }
    if (cp <= 0x7FF) {
        buffer[0] = static_cast<uint8_t>(0xC0 | (cp >> 6));
        buffer[1] = static_cast<uint8_t>(0x80 | (cp & 0x3F));
        return 2;
    }
    if (cp <= 0xFFFF) {
        buffer[0] = static_cast<uint8_t>(0xE0 | (cp >> 12));
        buffer[1] = static_cast<uint8_t>(0x80 | ((cp >> 6) & 0x3F));
        buffer[2] = static_cast<uint8_t>(0x80 | (cp & 0x3F));
        return 3;
    }
    if (cp <= 0x10FFFF) {
        buffer[0] = static_cast<uint8_t>(0xF0 | (cp >> 18));
        buffer[1] = static_cast<uint8_t>(0x80 | ((cp >> 12) & 0x3F));
        buffer[2] = static_cast<uint8_t>(0x80 | ((cp >> 6) & 0x3F));
        buffer[3] = static_cast<uint8_t>(0x80 | (cp & 0x3F));
        return 4;
    }
    invalid_code_point(cp);
}

uint32_t encode_utf8_char_part(uint32_t cp, uint8_t* buffer, uint32_t room) {
    uint8_t full[4];
    uint32_t n = encode_utf8_char(cp, full);
    if (n > room) n = room;
    std::memcpy(buffer, full, n);
    return n;
}

int32_t decode_utf8_char_or_invalid(const uint8_t* src, uint32_t* count) {
    const uint32_t available = *count;
    if (available == 0) return -1;
    const uint32_t b0 = src[0];
    auto follower = [&](uint32_t i) { return (src[i] & 0xC0) == 0x80; };
    if (b0 <= 0x7F) {
        *count = 1;
        return static_cast<int32_t>(b0);
    }
    if (b0 <= 0xBF || b0 >= 0xF8) return INVALID_SEQUENCE;
    const uint32_t needed = b0 <= 0xDF ? 2 : b0 <= 0xEF ? 3 : 4;
    if (available < needed) return -1;
    for (uint32_t i = 1; i < needed; i++)
        if (!follower(i)) return INVALID_SEQUENCE;
    uint32_t cp;
    if (needed == 2) {
        cp = ((b0 - 0xC0) << 6) | (src[1] - 0x80);
    } else if (needed == 3) {
        cp = ((b0 & 0x0F) << 12) | ((src[1] & 0x3Fu) << 6) | (src[2] & 0x3Fu);
        if (cp >= 0xDC00 && cp <= 0xDCFF) return INVALID_SEQUENCE;
    } else {
        cp = ((b0 & 0x07) << 18) | ((src[1] & 0x3Fu) << 12) | ((src[2] & 0x3Fu) << 6) |
             (src[3] & 0x3Fu);
        if (cp > 0x10FFFF) return INVALID_SEQUENCE;
    }
    *count = needed;
    return static_cast<int32_t>(cp);
}

int32_t decode_utf8_char_checked(const uint8_t* src, uint32_t* count) {
    const uint32_t available = *count;
    int32_t cp = decode_utf8_char_or_invalid(src, count);
    if (cp == INVALID_SEQUENCE) invalid_utf8(src, available);
    return cp;
}

// ---- Widening ---------------------------------------------------------------------

namespace {

void set_unit(SeriesBuffer* s, uint32_t unit) { s->flags = (s->flags & ~SERIES_UNIT_MASK) | unit; }

SeriesBuffer* widen(SeriesBuffer* s, uint32_t to) {
    const uint32_t from = s->unit();
    if (to <= from) return s;
    const uint32_t n = s->count();
    // Room from the head: the widened content and one more element. The
    // head offset counts too, so a string whose head is not at the start of
    // its buffer cannot be widened past its end.
    const uint64_t needed = static_cast<uint64_t>(s->offset) + static_cast<uint64_t>(n) * to + to;
    if (needed > s->size) s = memory::expand_series_copy(s, static_cast<uint32_t>(needed));
    uint8_t* data = s->offset_addr();
    for (uint32_t i = n; i-- > 0;) set_char(data, to, i, get_char(data, from, i));
    s->tail = s->offset + n * to;
    set_unit(s, to);
    return s;
}

uint32_t unit_for(uint32_t cp) { return cp <= 0xFF ? 1 : cp <= 0xFFFF ? 2 : 4; }

}  // namespace

SeriesBuffer* latin1_to_ucs2(SeriesBuffer* s) { return widen(s, 2); }
SeriesBuffer* latin1_to_ucs4(SeriesBuffer* s) { return widen(s, 4); }
SeriesBuffer* ucs2_to_ucs4(SeriesBuffer* s) { return widen(s, 4); }
SeriesBuffer* widen_for(SeriesBuffer* s, uint32_t cp) { return widen(s, unit_for(cp)); }

// ---- Loading UTF-8 ----------------------------------------------------------------

Node load_utf8(const uint8_t* src, uint32_t size, Node str, uint32_t* remaining, bool crlf, bool bom) {
    const uint32_t count = size ? size : 1;
    Node node = str;
    SeriesBuffer* s;
    if (node) {
        s = memory::buffer(node);
        const uint32_t unit = s->unit();
        if ((s->size - s->offset) / unit < count)
            s = memory::expand_series_copy(s, s->offset + count * unit);
    } else {
        node = memory::alloc_codepoints(count, 1);
        s = memory::buffer(node);
    }
    s->tail = s->offset;
    if (remaining) *remaining = 0;
    if (size == 0) return node;

    uint32_t pos = 0;
    if (bom && size > 2 && src[0] == 0xEF && src[1] == 0xBB && src[2] == 0xBF) pos = 3;
    uint32_t written = 0;  // elements stored from the head
    while (pos < size) {
        uint32_t used = size - pos;
        int32_t decoded = decode_utf8_char_checked(src + pos, &used);
        if (decoded < 0) {
            if (remaining) *remaining = size - pos;
            break;
        }
        pos += used;
        uint32_t cp = static_cast<uint32_t>(decoded);
        if (crlf && cp == '\r') {
            if (pos < size && src[pos] == '\n') continue;  // the LF comes next
            cp = '\n';
        }
        uint32_t unit = s->unit();
        if (cp > 0xFF && unit_for(cp) > unit) {
            s->tail = s->offset + written * unit;
            s = widen(s, unit_for(cp));
            unit = s->unit();
        }
        if (s->offset + (written + 1) * unit > s->size) {
            // Grow by a quarter of the size for unit 2, the whole size for unit 4.
            uint32_t more = unit == 4 ? s->size : s->size / 4;
            if (more < 16) more = 16;
            s->tail = s->offset + written * unit;
            s = memory::expand_series_copy(s, s->size + more);
        }
        set_char(s->offset_addr(), unit, written++, cp);
    }
    s->tail = s->offset + written * s->unit();
    return node;
}

Node load_utf8_in(const uint8_t* src, uint32_t size, Node str, uint32_t* remaining) {
    return load_utf8(src, size, str, remaining, false);
}

Node load_utf8_new(const uint8_t* src, uint32_t size) { return load_utf8(src, size, 0, nullptr, false); }

// ---- UTF-16 -------------------------------------------------------------------------

uint32_t encode_utf16_char(uint32_t cp, uint16_t* buffer) {
    if (cp < 0x10000) {
        buffer[0] = static_cast<uint16_t>(cp);
        return 1;
    }
    if (cp <= 0x10FFFF) {
        cp -= 0x10000;
        buffer[0] = static_cast<uint16_t>(0xD800 | (cp >> 10));
        buffer[1] = static_cast<uint16_t>(0xDC00 | (cp & 0x3FF));
        return 2;
    }
    return 0;
}

uint32_t utf16_extra_size(const uint8_t* start, const uint8_t* end, uint32_t unit) {
    uint32_t extra = 0;
    for (uint32_t i = 0, n = static_cast<uint32_t>((end - start) / unit); i < n; i++) {
        uint32_t cp = get_char(start, unit, i);
        if (cp == '\n' || cp >= 0x10000) extra += 2;
    }
    return extra;
}

namespace {

// A high surrogate without its low surrogate ends the process. The status is
// not 0: the input was refused.
[[noreturn]] void broken_utf16() {
    sys::print_line({sys::Item::cstr("*** Input Error: invalid UTF-16LE codepoint")});
    std::fflush(nullptr);
    sys::free_all();
    std::exit(1);
}

}  // namespace

Node load_utf16(const uint16_t* src, uint32_t count, Cell* str, bool crlf) {
    if (!src) {
        Node cache = str ? str->data3 : 0;
        if (!cache) count = 0;
        else src = reinterpret_cast<const uint16_t*>(memory::buffer(cache)->offset_addr());
    }
    auto unit_at = [&](uint32_t i) {
        uint16_t v;
        std::memcpy(&v, src + i, 2);
        return static_cast<uint32_t>(v);
    };
    uint32_t unit = 1;
    for (uint32_t i = 0; i < count; i++) {
        uint32_t high = unit_at(i) >> 8;
        if (high >= 0xD8 && high <= 0xDF) {
            unit = 4;
            break;
        }
        if (high) unit = 2;
    }
    Node node;
    SeriesBuffer* s;
    if (str) {
        node = str->node();
        s = memory::buffer(node);
        const uint32_t needed = count << (unit >> 1);
        if (s->size - s->offset < needed) s = memory::expand_series(s, s->offset + needed);
        set_unit(s, unit);
    } else {
        node = memory::alloc_codepoints(count, unit);
        s = memory::buffer(node);
    }
    uint8_t* data = s->offset_addr();
    uint32_t n = 0;
    for (uint32_t i = 0; i < count; i++) {
        uint32_t cp = unit_at(i);
        if (crlf && cp == '\r') continue;
        if (unit == 4 && cp >= 0xD800 && cp <= 0xDBFF) {
            uint32_t low = i + 1 < count ? unit_at(i + 1) : 0;
            if (low < 0xDC00 || low > 0xDFFF) {
                broken_utf16();
            }
            cp = 0x10000 + (((cp & 0x3FF) << 10) | (low & 0x3FF));
            i++;
        }
        set_char(data, unit, n++, cp);
    }
    s->tail = s->offset + n * unit;
    return node;
}

// ---- Encoding strings --------------------------------------------------------------

namespace {

// The string's elements from its index: data, unit and count (clipped).
struct View {
    const uint8_t* data;
    uint32_t unit;
    uint32_t count;
};

View view_of(const Cell* str, int32_t length) {
    const SeriesBuffer* s = series_of(str);
    const uint32_t unit = s->unit();
    const uint32_t total = s->count();
    const uint32_t head = str->head() < total ? str->head() : total;
    uint32_t n = total - head;
    if (length >= 0 && static_cast<uint32_t>(length) < n) n = static_cast<uint32_t>(length);
    return {s->data_at(head * unit), unit, n};
}

}  // namespace

uint8_t* get_cache_buffer(Cell* str, uint32_t size) {
    Node cache = str->data3;
    if (!cache) {
        cache = memory::alloc_bytes(size);
        str->data3 = cache;
    }
    SeriesBuffer* s = memory::buffer(cache);
    if (s->size - s->offset < size) s = memory::expand_series(s, s->offset + size);
    return s->offset_addr();
}

Node to_utf8_node(Cell* str, int32_t* length, bool crlf) {
    View v = view_of(str, *length);
    const uint32_t per = v.unit + 1 < 4 ? v.unit + 1 : 4;
    get_cache_buffer(str, (v.count + 1) * per);
    v = view_of(str, *length);  // the cache may have moved the string
    uint8_t* out = memory::buffer(str->data3)->offset_addr();
    uint32_t bytes = 0;
    for (uint32_t i = 0; i < v.count; i++) {
        uint32_t cp = get_char(v.data, v.unit, i);
        if (crlf && cp == '\n') out[bytes++] = '\r';
        bytes += encode_utf8_char(cp, out + bytes);
    }
    out[bytes] = 0;
    *length = static_cast<int32_t>(bytes);
    return str->data3;
}

uint8_t* to_utf8_crlf(Cell* str, int32_t* length, bool crlf) {
    return memory::buffer(to_utf8_node(str, length, crlf))->offset_addr();
}

uint8_t* to_utf8(Cell* str, int32_t* length) { return to_utf8_crlf(str, length, false); }

uint32_t to_utf8_buffer(const Cell* str, uint8_t* dst, int32_t length, bool null) {
    View v = view_of(str, length);
    uint32_t bytes = 0;
    for (uint32_t i = 0; i < v.count; i++) bytes += encode_utf8_char(get_char(v.data, v.unit, i), dst + bytes);
    if (null) dst[bytes] = 0;
    return bytes;
}

uint32_t to_utf8_buffer_max(const Cell* str, uint8_t* dst, uint32_t limit, int32_t length, bool null) {
    View v = view_of(str, length > 0 ? length : -1);
    if (null) {
        if (limit == 0) return 0;
        limit--;  // room for the 0
    }
    uint32_t bytes = 0;
    for (uint32_t i = 0; i < v.count && bytes < limit; i++)
        bytes += encode_utf8_char_part(get_char(v.data, v.unit, i), dst + bytes, limit - bytes);
    if (null) dst[bytes] = 0;
    return bytes;
}

uint16_t* to_utf16_crlf(Cell* str, int32_t* length, bool crlf) {
    View v = view_of(str, *length);
    const uint32_t extra = utf16_extra_size(v.data, v.data + v.count * v.unit, v.unit);
    get_cache_buffer(str, (v.count + 1) * 2 + extra);
    v = view_of(str, *length);
    uint8_t* out = memory::buffer(str->data3)->offset_addr();
    uint32_t units = 0;
    auto put = [&](uint16_t u) { std::memcpy(out + 2 * units++, &u, 2); };
    for (uint32_t i = 0; i < v.count; i++) {
        uint32_t cp = get_char(v.data, v.unit, i);
        if (crlf && cp == '\n') put('\r');
        uint16_t pair[2];
        uint32_t k = encode_utf16_char(cp, pair);
        for (uint32_t j = 0; j < k; j++) put(pair[j]);
    }
    put(0);
    *length = static_cast<int32_t>(units - 1);
    return reinterpret_cast<uint16_t*>(out);
}

uint16_t* to_utf16(Cell* str) {
    int32_t length = -1;
    return to_utf16_crlf(str, &length, true);
}

}  // namespace unicode
