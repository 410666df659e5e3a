// binary!: series of bytes: byte helpers, base encodings, conversion of
// values into bytes, molding, comparison, modification and bitwise actions.
#include "datatypes/binary.h"

#include <cstring>
#include <string>

#include "datatypes/block.h"
#include "datatypes/datatype.h"
#include "datatypes/image.h"
#include "datatypes/string.h"
#include "evaluator/cycles.h"
#include "evaluator/errors.h"
#include "evaluator/ownership.h"
#include "evaluator/stack.h"
#include "evaluator/symbol.h"
#include "evaluator/words.h"
#include "runtime/typesets.h"
#include "runtime/unicode.h"

namespace binary {

namespace {

Cell datatype_cell(uint32_t type) {
    Cell dt{};
    datatype::make_at(&dt, type);
    return dt;
}

[[noreturn]] void fire_bad_to(const Cell* value) {
    Cell dt = datatype_cell(TYPE_BINARY);
    fire(err::BAD_TO_ARG, &dt, value);
}

[[noreturn]] void fire_no_memory() { fire(err::NO_MEMORY); }

// Pulls an index that lies past the tail back to the tail.
void clamp_index(Cell* bin) {
    SeriesBuffer* s = series_of(bin);
    uint32_t n = s->tail - s->offset;
    if (bin->data1 > n) bin->data1 = n;
}

// Makes sure the buffer has room for `extra` more bytes after its tail:
// doubles it, or grows it to twice its size plus what is missing when
// doubling is not enough. Answers the buffer (read it again: it may move).
SeriesBuffer* reserve(Cell* bin, uint32_t extra) {
    SeriesBuffer* s = series_of(bin);
    uint64_t need = uint64_t{s->tail} + extra;
    if (need <= s->size) return s;
    uint64_t size = uint64_t{s->size} * 2;
    if (size < need - s->offset) size = uint64_t{s->size} * 2 + extra;
    if (size > memory::MAX_SERIES_SIZE) {
        size = need - s->offset;
        if (size > memory::MAX_SERIES_SIZE) fire_no_memory();
    }
    return memory::expand_series_copy(s, static_cast<uint32_t>(size));
}

char hex_digit(uint32_t n) { return "0123456789ABCDEF"[n & 15]; }

// Four spaces per level, nothing below level 1.
int32_t indent_into(std::string& out, int32_t level, int32_t limit) {
    for (int32_t i = 0; i < level; ++i) out += "    ";
    return level > 0 ? limit - 4 * level : limit;
}

void append_text(Cell* buffer, const std::string& text) {
    string::concatenate_literal_part(buffer, text.data(), static_cast<uint32_t>(text.size()));
}

}  // namespace

// ---- Raw series helpers ------------------------------------------------------------

uint32_t rs_length_q(const Cell* bin) {
    SeriesBuffer* s = series_of(bin);
    uint32_t n = s->tail - s->offset;
    return bin->head() < n ? n - bin->head() : 0;
}

uint8_t* rs_head(const Cell* bin) {
    SeriesBuffer* s = series_of(bin);
    uint32_t n = s->tail - s->offset;
    return s->data_at(bin->head() < n ? bin->head() : n);
}

uint8_t* rs_tail(const Cell* bin) { return series_of(bin)->tail_addr(); }

bool rs_tail_q(const Cell* bin) { return rs_length_q(bin) == 0; }

void rs_skip(Cell* bin, int32_t n) {
    SeriesBuffer* s = series_of(bin);
    int64_t at = int64_t{bin->head()} + n;
    if (at >= 0 && at <= int64_t{s->tail - s->offset}) bin->data1 = static_cast<uint32_t>(at);
}

uint8_t rs_abs_at(const Cell* bin) { return *series_of(bin)->data_at(bin->head()); }

void rs_clear(Cell* bin) {
    clamp_index(bin);
    SeriesBuffer* s = series_of(bin);
    s->tail = s->offset + bin->head();
}

uint8_t* rs_append(Cell* bin, const uint8_t* src, uint32_t count) {
    SeriesBuffer* s = reserve(bin, count);
    uint8_t* p = s->tail_addr();
    if (count) std::memcpy(p, src, count);
    s->tail += count;
    return p;
}

uint8_t* rs_insert(Cell* bin, uint32_t offset, const uint8_t* src, uint32_t count) {
    clamp_index(bin);
    SeriesBuffer* s = series_of(bin);
    uint32_t at = bin->head() + offset;
    uint32_t length = s->tail - s->offset;
    if (at > length) at = length;
    s = reserve(bin, count);
    uint8_t* p = s->data_at(at);
    std::memmove(p + count, p, length - at);
    if (count) std::memcpy(p, src, count);
    s->tail += count;
    return p;
}

uint8_t* rs_overwrite(Cell* bin, uint32_t offset, const uint8_t* src, uint32_t count) {
    SeriesBuffer* s = series_of(bin);
    uint64_t end = uint64_t{s->offset} + bin->head() + offset + count;
    if (end > s->size) {
        uint64_t size = uint64_t{s->size} * 2 + (end - s->size);
        if (size > memory::MAX_SERIES_SIZE) fire_no_memory();
        uint32_t old_offset = s->offset;
        s = memory::expand_series_copy(s, static_cast<uint32_t>(size));
        end = end - old_offset + s->offset;
    }
    uint8_t* p = s->data() + (end - count);
    if (count) std::memcpy(p, src, count);
    if (end > s->tail) s->tail = static_cast<uint32_t>(end);
    return p;
}

void rs_append_be32(uint32_t value, Cell* bin) {
    SeriesBuffer* s = series_of(bin);
    uint8_t* p = s->tail_addr();
    p[0] = static_cast<uint8_t>(value >> 24);
    p[1] = static_cast<uint8_t>(value >> 16);
    p[2] = static_cast<uint8_t>(value >> 8);
    p[3] = static_cast<uint8_t>(value);
    s->tail += 4;
}

Cell* make_at(Cell* cell, uint32_t size) {
    set_header(cell, TYPE_UNSET);  // never half-made while the buffer is allocated
    cell->data1 = 0;
    cell->data2 = 0;
    cell->data3 = 0;
    Node node = memory::alloc_bytes(size);
    cell->data2 = node;
    set_header(cell, TYPE_BINARY);
    return cell;
}

Cell* make_in(Cell* block, uint32_t size) { return make_at(alloc_tail(block), size); }

Cell* load_in(const uint8_t* src, uint32_t length, Cell* block) {
    Cell* bin = block ? make_in(block, length) : make_at(stack::push_slot(), length);
    SeriesBuffer* s = series_of(bin);
    if (length) std::memcpy(s->tail_addr(), src, length);
    s->tail += length;
    return bin;
}

Cell* push(const Cell* bin) { return stack::push(bin); }

uint8_t byte_of(const Cell* value) {
    switch (value->type()) {
        case TYPE_CHAR:
        case TYPE_INTEGER: return static_cast<uint8_t>(value->data2);
        default: fire(err::INVALID_ARG, value);
    }
}

// ---- Comparing and matching -------------------------------------------------------

namespace {

// UTF-8 of the code points of a text value from its index, at most
// `limit` of them (-1 = all).
void text_utf8(const Cell* str, int32_t limit, std::vector<uint8_t>& out) {
    uint32_t n = string::rs_length_q(str);
    if (limit >= 0 && static_cast<uint32_t>(limit) < n) n = static_cast<uint32_t>(limit);
    uint8_t buf[4];
    for (uint32_t i = 0; i < n; ++i) {
        uint32_t k = unicode::encode_utf8_char(string::rs_abs_at(str, str->head() + i), buf);
        out.insert(out.end(), buf, buf + k);
    }
}

// The bytes a comparison reads from a value: a binary's own bytes, or the
// UTF-8 text of a string-like value (kept in `scratch`).
bool bytes_for_compare(const Cell* value, std::vector<uint8_t>& scratch, const uint8_t** p, uint32_t* n) {
    if (value->type() == TYPE_BINARY) {
        *p = rs_head(value);
        *n = rs_length_q(value);
        return true;
    }
    if (!in(ANY_STRING, value->type())) return false;
    text_utf8(value, -1, scratch);
    *p = scratch.data();
    *n = static_cast<uint32_t>(scratch.size());
    return true;
}

bool equality_op_q(int32_t op) {
    return op == actions::COMP_EQUAL || op == actions::COMP_NOT_EQUAL ||
           op == actions::COMP_STRICT_EQUAL || op == actions::COMP_FIND;
}

}  // namespace

int32_t compare_bytes(const Cell* value1, const Cell* value2, int32_t op, bool match) {
    if (value2->type() != TYPE_BINARY && !in(ANY_STRING, value2->type())) return actions::NOT_COMPARABLE;
    bool same = value1->node() == value2->node() && value1->head() == value2->head();
    if (same && (op == actions::COMP_SAME || equality_op_q(op))) return 0;
    if (op == actions::COMP_SAME) return -1;

    std::vector<uint8_t> scratch;
    const uint8_t* a = rs_head(value1);
    uint32_t la = rs_length_q(value1);
    const uint8_t* b = nullptr;
    uint32_t lb = 0;
    bytes_for_compare(value2, scratch, &b, &lb);

    if (match) {
        if (lb == 0)
            return op == actions::COMP_EQUAL || op == actions::COMP_STRICT_EQUAL || op == actions::COMP_FIND ? 0 : 1;
        if (la < lb) return 1;
        for (uint32_t i = 0; i < lb; ++i)
            if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
        return 0;
    }
    if (equality_op_q(op) && la != lb) return 1;
    if (la == 0 && lb == 0) return 0;
    uint32_t n = la < lb ? la : lb;
    for (uint32_t i = 0; i < n; ++i)
        if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
    return la < lb ? -1 : la > lb ? 1 : 0;
}

bool match_bitset_q(const Cell* bin, const Cell* bits) {
    if (rs_tail_q(bin)) return false;
    uint32_t byte = rs_abs_at(bin);
    SeriesBuffer* s = series_of(bits);
    uint32_t at = byte >> 3;
    if (at >= s->tail - s->offset) return (s->flags & SERIES_COMPLEMENT) != 0;
    return (*s->data_at(at) & (0x80u >> (byte & 7))) != 0;
}

bool match_value_q(const Cell* bin, const Cell* value, int32_t op) {
    if (value->type() == TYPE_BINARY || in(ANY_STRING, value->type()))
        return compare_bytes(bin, value, op, true) == 0;
    if (value->type() == TYPE_CHAR)
        return !rs_tail_q(bin) && rs_abs_at(bin) == static_cast<uint32_t>(value->int_value());
    return false;
}

// ---- Bytes of a value --------------------------------------------------------------

namespace {

// Appends the formed text of any value as UTF-8.
void formed_utf8(const Cell* value, std::vector<uint8_t>& out) {
    Cell* text = string::rs_make_at(stack::push_slot(), 16);
    Cell v = *value;
    actions::form(&v, text, nullptr, INT32_MAX);
    text_utf8(stack::top_cell(), -1, out);
    stack::pop(1);
}

// One value's bytes; `limit` is the element budget left (-1 = none), which
// a value lowers by what it takes.
void bytes_of(const Cell* value, bool only, int64_t* limit, bool form_others, std::vector<uint8_t>& out) {
    auto capped = [&](uint32_t n) -> uint32_t {
        if (*limit < 0) return n;
        uint32_t k = *limit < n ? static_cast<uint32_t>(*limit) : n;
        *limit -= k;
        return k;
    };
    switch (value->type()) {
        case TYPE_CHAR: {
            uint8_t buf[4];
            uint32_t k = unicode::encode_utf8_char(static_cast<uint32_t>(value->int_value()), buf);
            if (*limit > 0) --*limit;
            out.insert(out.end(), buf, buf + k);
            return;
        }
        case TYPE_INTEGER: {
            int32_t n = value->int_value();
            if (n < -128 || n > 255) fire(err::INVALID_ARG, value);
            if (*limit > 0) --*limit;
            out.push_back(static_cast<uint8_t>(n));
            return;
        }
        case TYPE_BINARY: {
            uint32_t k = capped(rs_length_q(value));
            const uint8_t* p = rs_head(value);
            out.insert(out.end(), p, p + k);
            return;
        }
        case TYPE_TUPLE: {
            uint32_t k = capped((value->header & TUPLE_SIZE_MASK) >> TUPLE_SIZE_SHIFT);
            const uint8_t* p = reinterpret_cast<const uint8_t*>(&value->data1);
            out.insert(out.end(), p, p + k);
            return;
        }
        case TYPE_BLOCK:
        case TYPE_PAREN:
        case TYPE_HASH: {
            uint32_t n = block::rs_length_q(value);
            cycles::enter(value->node());
            for (uint32_t i = 0; i < n && *limit != 0; ++i) {
                Cell item = block::rs_head(value)[i];
                if (only) {
                    bytes_of(&item, true, limit, form_others, out);
                } else {
                    int64_t none = -1;
                    bytes_of(&item, false, &none, form_others, out);
                    if (*limit > 0) --*limit;
                }
            }
            cycles::pop();
            return;
        }
        default:
            if (in(ANY_STRING, value->type())) {
                uint32_t k = capped(string::rs_length_q(value));
                text_utf8(value, static_cast<int32_t>(k), out);
                return;
            }
            if (!form_others) fire_bad_to(value);
            formed_utf8(value, out);
    }
}

}  // namespace

void collect_bytes(const Cell* value, bool only, int32_t limit, bool form_others, std::vector<uint8_t>& out) {
    int64_t budget = limit > 0 ? limit : -1;
    bytes_of(value, only, &budget, form_others, out);
}

uint32_t value_to_bytes(int32_t mode, bool only, int32_t limit, const Cell* value, uint8_t* dst) {
    std::vector<uint8_t> bytes;
    collect_bytes(value, only, limit, mode == 2, bytes);
    if (bytes.size() > memory::MAX_SERIES_SIZE) fire_no_memory();
    if (dst && mode != 0 && !bytes.empty()) std::memcpy(dst, bytes.data(), bytes.size());
    return static_cast<uint32_t>(bytes.size());
}

// ---- Base encodings --------------------------------------------------------------------

namespace {

const char base58_alphabet[] = "123456789ABCDEFGHJKLMNPQRSTUVWXYZabcdefghijkmnopqrstuvwxyz";
const char base64_alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Characters that base 58 and base 64 texts may hold between digits:
// backspace, tab, line feed, form feed, carriage return, space, apostrophe.
bool skipped_q(uint32_t c) {
    return c == 8 || c == 9 || c == 10 || c == 12 || c == 13 || c == ' ' || c == '\'';
}

// Walks the characters of a text, skipping ";" comments up to the next line
// feed; answers -1 at the end.
struct TextReader {
    const uint8_t* text;
    uint32_t length;
    uint32_t unit;
    uint32_t i = 0;
    int64_t next() {
        while (i < length) {
            uint32_t c = unicode::get_char(text, unit, i++);
            if (c != ';') return c;
            while (i < length && unicode::get_char(text, unit, i) != '\n') ++i;
        }
        return -1;
    }
};

int8_t digit16(uint32_t c) {
    if (c >= '0' && c <= '9') return static_cast<int8_t>(c - '0');
    if (c >= 'A' && c <= 'F') return static_cast<int8_t>(c - 'A' + 10);
    if (c >= 'a' && c <= 'f') return static_cast<int8_t>(c - 'a' + 10);
    return -1;
}

int8_t digit58(uint32_t c) {
    for (int8_t k = 0; k < 58; ++k)
        if (static_cast<uint8_t>(base58_alphabet[k]) == c) return k;
    return -1;
}

int8_t digit64(uint32_t c) {
    if (c >= 'A' && c <= 'Z') return static_cast<int8_t>(c - 'A');
    if (c >= 'a' && c <= 'z') return static_cast<int8_t>(c - 'a' + 26);
    if (c >= '0' && c <= '9') return static_cast<int8_t>(c - '0' + 52);
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

Node to_series(bool ok, const std::vector<uint8_t>& bytes) {
    if (!ok) return 0;
    if (bytes.size() > memory::MAX_SERIES_SIZE) fire_no_memory();
    uint32_t n = static_cast<uint32_t>(bytes.size());
    Node node = memory::alloc_bytes(n);
    SeriesBuffer* s = memory::buffer(node);
    if (n) std::memcpy(s->tail_addr(), bytes.data(), n);
    s->tail += n;
    return node;
}

}  // namespace

uint32_t encoded_size(int32_t base, uint32_t count) {
    uint64_t n;
    switch (base) {
        case 2: n = uint64_t{count} * 8; break;
        case 16: n = uint64_t{count} * 2; break;
        case 58: n = uint64_t{count} * 138 / 100 + 1; break;  // log(256) / log(58) < 1.38
        default: n = (uint64_t{count} + 2) / 3 * 4; break;
    }
    if (n > memory::MAX_SERIES_SIZE) fire_no_memory();
    return static_cast<uint32_t>(n);
}

uint8_t* encode_2(uint8_t* dst, const uint8_t* src, uint32_t count) {
    for (uint32_t i = 0; i < count; ++i)
        for (int b = 7; b >= 0; --b) *dst++ = static_cast<uint8_t>('0' + ((src[i] >> b) & 1));
    return dst;
}

uint8_t* encode_16(uint8_t* dst, const uint8_t* src, uint32_t count) {
    for (uint32_t i = 0; i < count; ++i) {
        *dst++ = static_cast<uint8_t>(hex_digit(src[i] >> 4));
        *dst++ = static_cast<uint8_t>(hex_digit(src[i]));
    }
    return dst;
}

uint8_t* encode_58(uint8_t* dst, const uint8_t* src, uint32_t count) {
    uint32_t zeros = 0;
    while (zeros < count && src[zeros] == 0) ++zeros;
    // Divide the number by 58 repeatedly in a work copy; the remainders
    // are the digits, least significant first.
    std::vector<uint8_t> work(src + zeros, src + count);
    std::vector<uint8_t> digits;
    size_t start = 0;
    while (start < work.size()) {
        uint32_t rem = 0;
        for (size_t i = start; i < work.size(); ++i) {
            uint32_t v = (rem << 8) | work[i];
            work[i] = static_cast<uint8_t>(v / 58);
            rem = v % 58;
        }
        digits.push_back(static_cast<uint8_t>(rem));
        while (start < work.size() && work[start] == 0) ++start;
    }
    for (uint32_t i = 0; i < zeros; ++i) *dst++ = '1';
    for (size_t i = digits.size(); i-- > 0;) *dst++ = static_cast<uint8_t>(base58_alphabet[digits[i]]);
    return dst;
}

uint8_t* encode_64(uint8_t* dst, const uint8_t* src, uint32_t count) {
    uint32_t i = 0;
    for (; i + 3 <= count; i += 3) {
        uint32_t v = (uint32_t{src[i]} << 16) | (uint32_t{src[i + 1]} << 8) | src[i + 2];
        *dst++ = static_cast<uint8_t>(base64_alphabet[v >> 18]);
        *dst++ = static_cast<uint8_t>(base64_alphabet[(v >> 12) & 63]);
        *dst++ = static_cast<uint8_t>(base64_alphabet[(v >> 6) & 63]);
        *dst++ = static_cast<uint8_t>(base64_alphabet[v & 63]);
    }
    if (uint32_t left = count - i) {
        uint32_t v = uint32_t{src[i]} << 16;
        if (left == 2) v |= uint32_t{src[i + 1]} << 8;
        *dst++ = static_cast<uint8_t>(base64_alphabet[v >> 18]);
        *dst++ = static_cast<uint8_t>(base64_alphabet[(v >> 12) & 63]);
        *dst++ = left == 2 ? static_cast<uint8_t>(base64_alphabet[(v >> 6) & 63]) : '=';
        *dst++ = '=';
    }
    return dst;
}

bool decode_2_bytes(const uint8_t* text, uint32_t length, uint32_t unit, std::vector<uint8_t>& out) {
    TextReader r{text, length, unit};
    uint32_t acc = 0, bits = 0;
    for (int64_t c; (c = r.next()) >= 0;) {
        if (c <= ' ') continue;
        if (c != '0' && c != '1') return false;
        acc = (acc << 1) | static_cast<uint32_t>(c - '0');
        if (++bits == 8) {
            out.push_back(static_cast<uint8_t>(acc));
            acc = bits = 0;
        }
    }
    return bits == 0;
}

bool decode_16_bytes(const uint8_t* text, uint32_t length, uint32_t unit, std::vector<uint8_t>& out) {
    TextReader r{text, length, unit};
    int32_t high = -1;
    for (int64_t c; (c = r.next()) >= 0;) {
        if (c > 127) return false;  // never folded onto an ASCII digit
        if (c <= ' ') continue;
        int8_t d = digit16(static_cast<uint32_t>(c));
        if (d < 0) return false;
        if (high < 0) {
            high = d;
        } else {
            out.push_back(static_cast<uint8_t>((high << 4) | d));
            high = -1;
        }
    }
    return true;  // an odd last digit is dropped
}

bool decode_58_bytes(const uint8_t* text, uint32_t length, uint32_t unit, std::vector<uint8_t>& out) {
    TextReader r{text, length, unit};
    uint32_t zeros = 0;
    bool leading = true;
    std::vector<uint8_t> number;  // big-endian
    for (int64_t c; (c = r.next()) >= 0;) {
        if (c > 127) break;
        if (skipped_q(static_cast<uint32_t>(c))) continue;
        int8_t d = digit58(static_cast<uint32_t>(c));
        if (d < 0) return false;
        if (leading && d == 0) {
            ++zeros;
            continue;
        }
        leading = false;
        uint32_t carry = static_cast<uint32_t>(d);
        for (size_t i = number.size(); i-- > 0;) {
            uint32_t v = number[i] * 58u + carry;
            number[i] = static_cast<uint8_t>(v);
            carry = v >> 8;
        }
        while (carry) {
            number.insert(number.begin(), static_cast<uint8_t>(carry));
            carry >>= 8;
        }
    }
    out.insert(out.end(), zeros, 0);
    out.insert(out.end(), number.begin(), number.end());
    return true;
}

bool decode_64_bytes(const uint8_t* text, uint32_t length, uint32_t unit, std::vector<uint8_t>& out) {
    TextReader r{text, length, unit};
    uint32_t acc = 0, count = 0;
    for (int64_t c; (c = r.next()) >= 0;) {
        if (skipped_q(static_cast<uint32_t>(c))) continue;
        if (c == '=') {
            if (count == 3) {
                out.push_back(static_cast<uint8_t>(acc >> 10));
                out.push_back(static_cast<uint8_t>(acc >> 2));
            } else if (count == 2) {
                out.push_back(static_cast<uint8_t>(acc >> 4));
            } else {
                return false;
            }
            return true;
        }
        int8_t d = c > 127 ? -1 : digit64(static_cast<uint32_t>(c));
        if (d < 0) return false;
        acc = (acc << 6) | static_cast<uint32_t>(d);
        if (++count == 4) {
            out.push_back(static_cast<uint8_t>(acc >> 16));
            out.push_back(static_cast<uint8_t>(acc >> 8));
            out.push_back(static_cast<uint8_t>(acc));
            acc = count = 0;
        }
    }
    return true;  // an incomplete last group without "=" is dropped
}

namespace {

// The bytes a decoder reads from the text, as a series (0 when it refuses
// the text).
Node decoded(bool (*bytes)(const uint8_t*, uint32_t, uint32_t, std::vector<uint8_t>&), const uint8_t* text,
             uint32_t length, uint32_t unit) {
    std::vector<uint8_t> out;
    bool ok = bytes(text, length, unit, out);
    return to_series(ok, out);
}

}  // namespace

Node decode_2(const uint8_t* text, uint32_t length, uint32_t unit) { return decoded(decode_2_bytes, text, length, unit); }
Node decode_16(const uint8_t* text, uint32_t length, uint32_t unit) { return decoded(decode_16_bytes, text, length, unit); }
Node decode_58(const uint8_t* text, uint32_t length, uint32_t unit) { return decoded(decode_58_bytes, text, length, unit); }
Node decode_64(const uint8_t* text, uint32_t length, uint32_t unit) { return decoded(decode_64_bytes, text, length, unit); }

Cell* from_issue(const Cell* issue, Cell* target) {
    Cell value = *issue;
    uint32_t length = 0;
    const char* text = symbol::text(value.symbol(), &length);
    std::vector<uint8_t> bytes;
    if (!decode_16_bytes(reinterpret_cast<const uint8_t*>(text), length, 1, bytes))
        fire(err::INVALID_DATA, &value);
    make_at(target, static_cast<uint32_t>(bytes.size()));
    SeriesBuffer* s = series_of(target);
    if (!bytes.empty()) std::memcpy(s->tail_addr(), bytes.data(), bytes.size());
    s->tail += static_cast<uint32_t>(bytes.size());
    return target;
}

// ---- Forming and molding ----------------------------------------------------------------

int32_t mold_bytes(const Cell* bin, Cell* buffer, bool only, bool flat, bool part, int32_t limit,
                   int32_t indent) {
    std::string out;
    if (!only) {
        out += "#{";
        limit -= 2;
    }
    uint32_t n = rs_length_q(bin);
    bool lines = n > 30 && !flat;
    if (lines) {
        out += '\n';
        limit = indent_into(out, indent, limit - 1);
    }
    const uint8_t* p = rs_head(bin);  // nothing allocates until the text is appended
    for (uint32_t i = 0; i < n; ++i) {
        out += hex_digit(p[i] >> 4);
        out += hex_digit(p[i]);
        limit -= 2;
        if ((i + 1) % 32 == 0 && !flat) {
            out += '\n';
            limit = indent_into(out, indent, limit - 1);
        }
        if (part && limit <= 0) {
            append_text(buffer, out);
            return limit;
        }
    }
    if (lines && n % 32 != 0) {
        out += '\n';
        limit = indent_into(out, indent - 1, limit - 1);
    }
    if (!only) {
        out += '}';
        --limit;
    }
    append_text(buffer, out);
    return limit;
}

int32_t form(Cell* value, Cell* buffer, Cell* part, int32_t limit) {
    return mold_bytes(value, buffer, false, false, part != nullptr, limit, 0);
}

int32_t mold(Cell* value, Cell* buffer, bool only, bool, bool flat, Cell* part, int32_t limit,
             int32_t indent) {
    return mold_bytes(value, buffer, only, flat, part != nullptr, limit, indent);
}

// ---- Conversion ----------------------------------------------------------------------------

namespace {

void be_bytes(uint64_t v, uint32_t n, std::vector<uint8_t>& out) {
    for (uint32_t i = n; i-- > 0;) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

}  // namespace

Cell* to(Cell* proto, Cell* spec, uint32_t) {
    std::vector<uint8_t> bytes;
    switch (spec->type()) {
        case TYPE_INTEGER: be_bytes(static_cast<uint32_t>(spec->int_value()), 4, bytes); break;
        case TYPE_FLOAT:
        case TYPE_PERCENT: {
            uint64_t bits;
            double d = spec->float_value();
            std::memcpy(&bits, &d, 8);
            be_bytes(bits, 8, bytes);
            break;
        }
        case TYPE_BITSET: {
            SeriesBuffer* s = series_of(spec);
            bytes.assign(s->offset_addr(), s->tail_addr());
            break;
        }
        case TYPE_ISSUE: return from_issue(spec, proto);
        case TYPE_IMAGE: return image::extract_data(spec, 2, proto);
        case TYPE_CHAR:
        case TYPE_BINARY:
        case TYPE_TUPLE:
        case TYPE_BLOCK:
        case TYPE_PAREN:
        case TYPE_HASH: collect_bytes(spec, false, -1, false, bytes); break;
        default:
            if (!in(ANY_STRING, spec->type())) fire_bad_to(spec);
            collect_bytes(spec, false, -1, false, bytes);
    }
    if (bytes.size() > memory::MAX_SERIES_SIZE) fire_no_memory();
    uint32_t n = static_cast<uint32_t>(bytes.size());
    make_at(proto, n);
    SeriesBuffer* s = series_of(proto);
    if (n) std::memcpy(s->tail_addr(), bytes.data(), n);
    s->tail += n;
    return proto;
}

// ---- Comparison -----------------------------------------------------------------------------

int32_t compare(Cell* value1, Cell* value2, int32_t op) {
    if (value2->type() != TYPE_BINARY) return actions::NOT_COMPARABLE;
    return compare_bytes(value1, value2, op, false);
}

// ---- Bitwise actions ---------------------------------------------------------------------

Cell* do_bitwise(Cell* value1, Cell* value2, int32_t op) {
    if (value2->type() != TYPE_BINARY) fire(err::INVALID_ARG, value2);
    uint32_t la = rs_length_q(value1), lb = rs_length_q(value2);
    uint32_t n = la > lb ? la : lb;
    Cell result;
    make_at(stack::push_slot(), n);
    result = *stack::top_cell();
    // Read both operands only now: the allocation may have moved them.
    const uint8_t* a = rs_head(value1);
    const uint8_t* b = rs_head(value2);
    uint8_t* r = series_of(&result)->offset_addr();
    uint32_t shorter = la < lb ? la : lb;
    for (uint32_t i = 0; i < n; ++i) {
        if (i < shorter) {
            switch (op) {
                case 6: r[i] = a[i] & b[i]; break;
                case 5: r[i] = a[i] | b[i]; break;
                default: r[i] = a[i] ^ b[i]; break;
            }
        } else {
            r[i] = op == 6 ? 0 : (la > lb ? a[i] : b[i]);
        }
    }
    series_of(&result)->tail += n;
    stack::pop(1);
    return copy_cell(&result, value1);
}

Cell* and_(Cell* value1, Cell* value2) { return do_bitwise(value1, value2, 6); }
Cell* or_(Cell* value1, Cell* value2) { return do_bitwise(value1, value2, 5); }
Cell* xor_(Cell* value1, Cell* value2) { return do_bitwise(value1, value2, 7); }

Cell* complement(Cell* value) {
    uint8_t* p = rs_head(value);
    uint32_t n = rs_length_q(value);
    for (uint32_t i = 0; i < n; ++i) p[i] = static_cast<uint8_t>(~p[i]);
    return value;
}

// ---- Modification --------------------------------------------------------------------------

namespace {

// count x dup as a byte total; no-memory when it does not fit a series.
uint32_t total_of(uint32_t count, int32_t dup) {
    uint64_t total = uint64_t{count} * static_cast<uint32_t>(dup < 1 ? 1 : dup);
    if (total > memory::MAX_SERIES_SIZE) fire_no_memory();
    return static_cast<uint32_t>(total);
}

// Fills `total` bytes at p with copies of the `count` bytes of src.
void write_repeated(uint8_t* p, const uint8_t* src, uint32_t count, uint32_t total) {
    if (total == 0) return;
    std::memcpy(p, src, count);
    // Doubling copies of what is already written.
    for (uint32_t done = count; done < total;) {
        uint32_t k = done < total - done ? done : total - done;
        std::memcpy(p + done, p, k);
        done += k;
    }
}

}  // namespace

Cell* insert(Cell* series, Cell* value, int32_t part, bool only, int32_t dup, bool append) {
    clamp_index(series);
    std::vector<uint8_t> bytes;
    collect_bytes(value, only, part, false, bytes);
    if (bytes.empty()) return series;
    if (bytes.size() > memory::MAX_SERIES_SIZE) fire_no_memory();
    uint32_t count = static_cast<uint32_t>(bytes.size());
    uint32_t total = total_of(count, dup);
    SeriesBuffer* s = series_of(series);
    uint32_t length = s->tail - s->offset;
    if (uint64_t{length} + total > memory::MAX_SERIES_SIZE) fire_no_memory();
    uint32_t at = append ? length : series->head();
    Cell target = *series;
    bool notify = ownership::before(&target, append ? words::append : words::insert, value, static_cast<int32_t>(at),
                                    static_cast<int32_t>(total));
    s = reserve(series, total);
    uint8_t* p = s->data_at(at);
    std::memmove(p + total, p, length - at);
    write_repeated(p, bytes.data(), count, total);
    s->tail += total;
    ownership::after(notify, &target, append ? words::appended : words::inserted, value, static_cast<int32_t>(at),
                     static_cast<int32_t>(total));
    series->data1 = append ? 0 : at + total;
    return series;
}

Cell* change(Cell* series, Cell* value, int32_t part, bool only, int32_t dup) {
    clamp_index(series);
    std::vector<uint8_t> bytes;  // read first: the value may be this binary
    collect_bytes(value, only, -1, true, bytes);
    if (bytes.size() > memory::MAX_SERIES_SIZE) fire_no_memory();
    uint32_t count = static_cast<uint32_t>(bytes.size());
    uint32_t total = total_of(count, dup);
    SeriesBuffer* s = series_of(series);
    uint32_t length = s->tail - s->offset;
    uint32_t at = series->head();
    uint32_t left = length - at;
    uint32_t replaced = part >= 0 ? static_cast<uint32_t>(part) : total;
    if (replaced > left) replaced = left;
    uint64_t new_length = uint64_t{length} - replaced + total;
    if (new_length > memory::MAX_SERIES_SIZE) fire_no_memory();
    Cell target = *series;
    bool notify = ownership::before(&target, words::change, value, static_cast<int32_t>(at), static_cast<int32_t>(total));
    s = series_of(series);
    if (total > replaced) s = reserve(series, total - replaced);
    uint8_t* p = s->data_at(at);
    std::memmove(p + total, p + replaced, left - replaced);
    write_repeated(p, bytes.data(), count, total);
    s->tail = s->offset + static_cast<uint32_t>(new_length);
    ownership::after(notify, &target, words::changed, value, static_cast<int32_t>(at), static_cast<int32_t>(total));
    uint32_t index = at + total;
    series->data1 = index < new_length ? index : static_cast<uint32_t>(new_length);
    return series;
}

Cell* trim(Cell* series, bool head, bool tail, bool auto_, bool lines, bool all, Cell* with) {
    clamp_index(series);
    if (!with && !all && (auto_ || lines)) fire(err::NOT_DONE);
    Cell target = *series;
    auto part_ = static_cast<int32_t>(series_of(series)->count() - series->head());
    bool notify = ownership::before(&target, words::trim, nullptr, static_cast<int32_t>(series->head()), part_);
    SeriesBuffer* s = series_of(series);
    uint8_t* p = s->data_at(series->head());
    uint32_t n = s->tail - s->offset - series->head();
    uint32_t kept = 0;
    if (with || all) {
        bool drop[256] = {};
        if (!with) {
            drop[0] = true;
        } else if (with->type() == TYPE_CHAR || with->type() == TYPE_INTEGER) {
            drop[byte_of(with)] = true;
        } else if (with->type() == TYPE_BINARY) {
            const uint8_t* w = rs_head(with);
            for (uint32_t i = 0, k = rs_length_q(with); i < k; ++i) drop[w[i]] = true;
        } else if (in(ANY_STRING, with->type())) {
            for (uint32_t i = 0, k = string::rs_length_q(with); i < k; ++i) {
                uint32_t cp = string::rs_abs_at(with, with->head() + i);
                if (cp < 256) drop[cp] = true;
            }
        } else {
            fire(err::INVALID_ARG, with);
        }
        for (uint32_t i = 0; i < n; ++i)
            if (!drop[p[i]]) p[kept++] = p[i];
    } else {
        uint32_t from = 0, to = n;
        bool both = head == tail;
        if (head || both)
            while (from < to && p[from] == 0) ++from;
        if (tail || both)
            while (to > from && p[to - 1] == 0) --to;
        kept = to - from;
        std::memmove(p, p + from, kept);
    }
    s->tail = s->offset + series->head() + kept;
    ownership::after(notify, &target, words::trimmed, nullptr, static_cast<int32_t>(series->head()), part_);
    return series;
}

}  // namespace binary

// ---- Registration --------------------------------------------------------------

template <>
void datatype::init_type<TYPE_BINARY>() {
    register_type<TYPE_BINARY, "iiioooi-o -----------oooo oiioiiiiiioiiiii-iiiiiiiiio ---i-------">(
        own<slot::to>(binary::to), own<slot::form>(binary::form), own<slot::mold>(binary::mold),
        own<slot::compare>(binary::compare), own<slot::and_>(binary::and_),
        own<slot::complement>(binary::complement), own<slot::or_>(binary::or_),
        own<slot::xor_>(binary::xor_), own<slot::append>(binary::insert),
        own<slot::change>(binary::change), own<slot::insert>(binary::insert),
        own<slot::trim>(binary::trim));
}
