// The ZEMBIN decoder: reads an image's header, symbol table and records
// (plain or compact) into a target block. Every read is bounded by the
// input; counts are checked against the bytes left before anything is
// allocated for them; anything malformed raises rb-invalid-record.
#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "datatypes/bitset.h"
#include "datatypes/block.h"
#include "evaluator/context.h"
#include "datatypes/date.h"
#include "datatypes/error.h"
#include "datatypes/function.h"
#include "datatypes/hash.h"
#include "datatypes/image.h"
#include "datatypes/map.h"
#include "datatypes/money.h"
#include "datatypes/native.h"
#include "datatypes/tuple.h"
#include "datatypes/vector.h"
#include "datatypes/word.h"
#include "evaluator/actions.h"
#include "evaluator/errors.h"
#include "evaluator/interpreter.h"
#include "evaluator/natives.h"
#include "evaluator/stack.h"
#include "evaluator/symbol.h"
#include "runtime/collector.h"
#include "runtime/hashtable.h"
#include "runtime/print.h"
#include "runtime/sys.h"
#include "runtime/typesets.h"
#include "runtime/unicode.h"
#include "services/zembin/lz77.h"
#include "services/zembin/zembin.h"

namespace zembin {

bool codec_mode = false;

namespace {

constexpr Cell UNSET_CELL{TYPE_UNSET, 0, 0, 0};
constexpr Cell NONE_CELL{TYPE_NONE, 0, 0, 0};

// ---- State of a decode -------------------------------------------------------------------

inline uint32_t le32(const uint8_t* p) {
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}

// What a record's header says before its body is read.
struct Head {
    uint32_t type = 0;
    bool form = false;     // compact form flag
    bool new_line = false;
    bool by_ref = false;
    bool assign = false;   // boot image: set this word to the next record
    bool global = false;   // plain files: the word is bound to the global context
    uint32_t word = 0;     // plain: the whole header word
    const uint8_t* at = nullptr;
};

// Where a word that waits for its owner's context sits: the owner record
// fills in the context as soon as it exists, so that paths through the word
// reach the owner's values while they are decoded.
struct PendingWord {
    Node block = 0;
    uint32_t position = 0;
    int32_t index = 0;
};

// The state of one decode. It lives on the C++ stack, so the collector's
// stack scan sees the nodes it holds.
struct Decoder {
    const uint8_t* begin = nullptr;  // first byte after the flags byte
    const uint8_t* p = nullptr;
    const uint8_t* end = nullptr;
    bool plain = false;
    bool codec = false;
    Cell target{};
    uint32_t base = 0;
    const uint8_t* offsets = nullptr;
    uint32_t symbol_count = 0;
    const uint8_t* strings = nullptr;
    uint32_t strings_size = 0;
    std::vector<uint32_t> symbols;  // resolved ids, 0 until met
    PendingWord* pending = nullptr;

    // ---- Reading -----------------------------------------------------------------------

    // rb-invalid-record at the byte `at`: its 1-based position in the image
    // as written uncompressed (magic, version and flags come first).
    [[noreturn]] void invalid(const uint8_t* at) const {
        fire_int(err::RB_INVALID_RECORD, static_cast<int32_t>(at - begin) + 9);
    }
    size_t left() const { return static_cast<size_t>(end - p); }
    void need(size_t n) const {
        if (left() < n) invalid(p < end ? p : end);
    }
    uint8_t byte() {
        need(1);
        return *p++;
    }
    uint32_t u32() {
        need(4);
        uint32_t v = le32(p);
        p += 4;
        return v;
    }
    // Unsigned LEB128 of at most 32 bits.
    uint32_t varint() {
        uint32_t v = 0;
        for (int shift = 0;; shift += 7) {
            const uint8_t* at = p;
            uint8_t b = byte();
            if (shift == 28 && (b & 0xF0)) invalid(at);
            v |= static_cast<uint32_t>(b & 0x7F) << shift;
            if (!(b & 0x80)) return v;
        }
    }
    int32_t zigzag() {
        uint32_t u = varint();
        return static_cast<int32_t>((u >> 1) ^ (0u - (u & 1)));
    }
    // An unsigned count or index: varint (compact) or u32 (plain).
    uint32_t number() { return plain ? u32() : varint(); }
    int32_t signed_number() { return plain ? static_cast<int32_t>(u32()) : zigzag(); }
    // A count that must not be negative nor claim more than `unit` bytes
    // per element beyond what is left.
    uint32_t count(uint32_t unit) {
        const uint8_t* at = p;
        uint32_t n = number();
        if (n > 0x7FFFFFFF || uint64_t{n} * unit > left()) invalid(at);
        return n;
    }
    void skip_padding() {
        size_t used = static_cast<size_t>(p - begin) & 3;
        if (used) {
            need(4 - used);
            p += 4 - used;
        }
    }
    double float64(bool high_first) {
        uint32_t a = u32(), b = u32();
        uint64_t bits = high_first ? (uint64_t{a} << 32 | b) : (uint64_t{b} << 32 | a);
        double v;
        std::memcpy(&v, &bits, 8);
        return v;
    }

    // ---- Symbols --------------------------------------------------------------------------

    uint32_t symbol() {
        const uint8_t* at = p;
        uint32_t i = number();
        if (i >= symbol_count) invalid(at);
        if (symbols[i]) return symbols[i];
        uint32_t offset = le32(offsets + 4 * i);
        if (offset >= strings_size) invalid(at);
        const uint8_t* text = strings + offset;
        uint32_t length = static_cast<uint32_t>(std::strlen(reinterpret_cast<const char*>(text)));
        if (length == 0) invalid(at);
        for (const uint8_t* q = text; q < text + length;) {
            int32_t cp;
            q = unicode::fast_decode_utf8_char(q, text + length, &cp);
            if (cp <= 0) invalid(at);
        }
        return symbols[i] = symbol::make_utf8(text, length);
    }

    // ---- Record heads ------------------------------------------------------------------------

    Head head() {
        Head h;
        if (plain) {
            for (;;) {
                h.at = p;
                h.word = u32();
                if ((h.word & 0xFF) != 0) break;  // a padding word
            }
            h.type = h.word & 0xFF;
            h.new_line = (h.word & P_NEW_LINE) != 0;
            // An op!'s source type fills bits 16-23, over the by-ref bit.
            h.by_ref = h.type != TYPE_OP && (h.word & P_BY_REF) != 0;
            bool word_type = h.type >= TYPE_WORD && h.type <= TYPE_ISSUE;
            if (word_type && (h.word & P_GLOBAL)) (codec ? h.global : h.assign) = true;
            return h;
        }
        for (;;) {
            h.at = p;
            uint8_t b = byte();
            if (b == C_NEW_LINE) h.new_line = true;
            else if (b == C_BY_REF) h.by_ref = true;
            else if (b == C_ASSIGN) {
                if (codec) invalid(h.at);
                h.assign = true;
            } else {
                if (b >= 0x80) {
                    h.type = b;  // a lead byte: the caller tells them apart
                    return h;
                }
                h.form = (b & C_FORM) != 0;
                h.type = b & 63;
                if (h.type == C_LONG_TYPE) {
                    h.type = varint();
                    if (h.type == 0 || h.type > 0xFF) invalid(h.at);
                }
                return h;
            }
        }
    }

    // ---- Reference paths ------------------------------------------------------------------------

    // The cell a reference path leads to, copied.
    Cell path() {
        const uint8_t* at = p;
        if (plain && u32() != P_REFERENCE) invalid(at);
        uint32_t n = number();
        if (n < 1 || n > MAX_PATH || n > left()) invalid(at);
        std::vector<uint32_t> steps(n);
        for (uint32_t& s : steps) s = number();
        SeriesBuffer* t = series_of(&target);
        if (steps[0] >= t->count() - base) invalid(at);
        Cell cur = reinterpret_cast<Cell*>(t->data_at(0))[base + steps[0]];
        for (uint32_t k = 1; k < n; ++k) cur = step(cur, steps[k], at);
        return cur;
    }

    Cell element(Node node, uint32_t i, const uint8_t* at) const {
        SeriesBuffer* s = memory::buffer(node);
        if (i >= s->count()) invalid(at);
        return reinterpret_cast<Cell*>(s->data_at(0))[i];
    }

    Cell context_value(Node ctx, uint32_t i, const uint8_t* at) const {
        if (ctx == 0 || context::on_stack_q(ctx)) invalid(at);
        if (i >= context::word_count(ctx) || i >= memory::buffer(context::values_of(ctx))->count()) invalid(at);
        return *context::value_at(ctx, i);
    }

    Cell step(const Cell& cur, uint32_t i, const uint8_t* at) const {
        uint32_t t = cur.type();
        if (in(ANY_BLOCK, t) || t == TYPE_MAP) return element(cur.node(), i, at);
        switch (t) {
            case TYPE_WORD: case TYPE_SET_WORD: case TYPE_LIT_WORD: case TYPE_GET_WORD:
            case TYPE_REFINEMENT: case TYPE_ISSUE: {
                Node ctx = cur.ctx();
                if (ctx && context::on_stack_q(ctx)) {
                    Cell owner = *context::self_of(ctx);
                    if (owner.type() != TYPE_FUNCTION) invalid(at);
                    return step(owner, i, at);
                }
                return context_value(ctx, i, at);
            }
            case TYPE_NATIVE: case TYPE_ACTION: return element(cur.data2, i, at);
            case TYPE_FUNCTION: case TYPE_OP:
                if (i == 0) return Cell{TYPE_BLOCK, 0, cur.data2, 0};
                if (i == 1 && native::source_type(&cur) == TYPE_FUNCTION) {
                    Cell body = *function::more(&cur, function::MORE_BODY);
                    if (body.type() != TYPE_BLOCK) invalid(at);
                    return body;
                }
                invalid(at);
            case TYPE_OBJECT: return context_value(cur.ctx(), i, at);
            case TYPE_ERROR:
                if (i >= error::FIELD_COUNT - 3) invalid(at);
                return context_value(cur.ctx(), i + 3, at);
            default: invalid(at);
        }
    }

    // ---- Appending -----------------------------------------------------------------------------

    static Cell* append(Cell* into, const Cell& v) { return copy_cell(&v, alloc_tail(into)); }
    static uint32_t length_of(const Cell* block) { return series_of(block)->count(); }
    static Cell last_of(const Cell* block) {
        SeriesBuffer* s = series_of(block);
        return reinterpret_cast<Cell*>(s->data_at(0))[s->count() - 1];
    }
    static void cut(const Cell* block, uint32_t n) { block::rs_clear(block, n); }

    // A fresh block on the value stack for values that must not stay in
    // the output; the caller pops it.
    static Cell temporary(uint32_t size) { return *block::make_at(stack::push_slot(), size); }

    // Decodes one record into a temporary block and answers the value.
    Cell one_value() {
        Cell tmp = temporary(1);
        record(&tmp, false);
        Cell v = last_of(&tmp);
        stack::pop(1);
        return v;
    }

    // ---- Records --------------------------------------------------------------------------------

    // Decodes one record and appends its value to the block; with `top` an
    // assignment record may consume the value instead.
    void record(Cell* into, bool top) {
        stack::check_depth();
        Head h = head();
        if (h.assign && !top) invalid(h.at);
        Cell v;
        if (!plain && h.type >= 0x80) {
            if (h.by_ref || h.assign) invalid(h.at);
            if (h.type < 0xC0) v = Cell{TYPE_INTEGER, 0, h.type - C_SMALL_INT, 0};
            else if (h.type == C_TRUE || h.type == C_FALSE) v = Cell{TYPE_LOGIC, h.type == C_TRUE, 0, 0};
            else if (h.type == C_REFERENCE) v = path();
            else invalid(h.at);
            if (h.new_line) v.header |= FLAG_NEW_LINE;
            append(into, v);
            return;
        }
        if (plain && h.type == P_REFERENCE) {
            if (h.word != P_REFERENCE) invalid(h.at);
            p = h.at;  // the header word is the path's first word
            v = path();
            if (h.new_line) v.header |= FLAG_NEW_LINE;
            append(into, v);
            return;
        }
        if (h.assign && !(h.type >= TYPE_WORD && h.type <= TYPE_ISSUE)) invalid(h.at);
        uint32_t before = length_of(into);
        body(into, h);
        if (length_of(into) != before + 1) invalid(h.at);  // cannot happen; kept as a guard
        if (h.new_line) {
            SeriesBuffer* s = series_of(into);
            reinterpret_cast<Cell*>(s->data_at(0))[before].header |= FLAG_NEW_LINE;
        }
        if (h.assign) assign(into, before);
    }

    // The word just appended at `position` takes the next record's value;
    // both leave the target again.
    void assign(Cell* into, uint32_t position) {
        record(into, false);
        Cell value = last_of(into);
        value.header &= ~FLAG_NEW_LINE;
        Cell word = reinterpret_cast<Cell*>(series_of(into)->data_at(0))[position];
        cut(into, position);
        if (word.ctx() && context::on_stack_q(word.ctx())) invalid(p);
        context::set(&word, &value);
    }

    void body(Cell* into, const Head& h) {
        uint32_t t = h.type;
        const uint8_t* at = h.at;
        auto no_ref = [&] {
            if (h.by_ref) invalid(at);
        };
        switch (t) {
            case TYPE_DATATYPE: {
                no_ref();
                uint32_t id = number();
                if (id < 1 || id > TYPE_COUNT) invalid(at);
                append(into, Cell{TYPE_DATATYPE, id, 0, 0});
                return;
            }
            case TYPE_UNSET: case TYPE_NONE: no_ref(); append(into, Cell{t, 0, 0, 0}); return;
            case TYPE_LOGIC: {
                if (!plain) invalid(at);
                no_ref();
                uint32_t b = u32();
                if (b > 1) invalid(at);
                append(into, Cell{TYPE_LOGIC, b, 0, 0});
                return;
            }
            case TYPE_CHAR: {
                no_ref();
                uint32_t cp = number();
                if (cp > 0x10FFFF) invalid(at);
                append(into, Cell{TYPE_CHAR, 0, cp, 0});
                return;
            }
            case TYPE_INTEGER:
                no_ref();
                append(into, Cell{TYPE_INTEGER, 0, static_cast<uint32_t>(signed_number()), 0});
                return;
            case TYPE_FLOAT: case TYPE_TIME: case TYPE_PERCENT: {
                no_ref();
                double d;
                if (plain) d = float64(true);
                else if (h.form) d = t == TYPE_PERCENT ? zigzag() / 100.0 : static_cast<double>(zigzag());
                else d = float64(false);
                Cell v{t, 0, 0, 0};
                v.set_float(d);
                append(into, v);
                return;
            }
            case TYPE_PAIR: {
                no_ref();
                int32_t x = signed_number();
                int32_t y = signed_number();
                append(into, Cell{TYPE_PAIR, 0, static_cast<uint32_t>(x), static_cast<uint32_t>(y)});
                return;
            }
            case TYPE_POINT2D: case TYPE_POINT3D: {
                no_ref();
                Cell v{t, u32(), u32(), 0};
                if (t == TYPE_POINT3D) v.data3 = u32();
                append(into, v);
                return;
            }
            case TYPE_DATE: {
                no_ref();
                uint32_t packed = u32();
                bool timed = (packed & date::TIME_FLAG) != 0;
                if (!plain && timed != h.form) invalid(at);
                int32_t month = date::month_of(packed), day = date::day_of(packed);
                if (month < 1 || month > 12 || day < 1) invalid(at);
                double time = 0;
                if (plain) time = float64(true);
                else if (timed) time = float64(false);
                if (!timed) time = 0;
                Cell v{TYPE_DATE, packed, 0, 0};
                v.set_float(time);
                append(into, v);
                return;
            }
            case TYPE_TYPESET: {
                no_ref();
                Cell v{TYPE_TYPESET, 0, 0, 0};
                if (plain) {
                    v.data1 = u32();
                    v.data2 = u32();
                    v.data3 = u32();
                } else {
                    uint8_t n = byte();
                    if (n > 12) invalid(at);
                    need(n);
                    std::memcpy(&v.data1, p, n);
                    p += n;
                }
                append(into, v);
                return;
            }
            case TYPE_TUPLE: {
                no_ref();
                uint8_t bytes[12] = {};
                uint32_t n = 3;
                if (plain) {
                    n = (h.word >> 8) & 0xFF;
                    if (n < 1 || n > 12) invalid(at);
                    for (int k = 0; k < 3; ++k) {
                        uint32_t w = u32();
                        std::memcpy(bytes + 4 * k, &w, 4);
                    }
                } else {
                    if (h.form) {
                        n = byte();
                        if (n < 1 || n > 12) invalid(at);
                    }
                    need(n);
                    std::memcpy(bytes, p, n);
                    p += n;
                }
                Cell v{};
                tuple::make_at(&v, bytes, n);
                append(into, v);
                return;
            }
            case TYPE_MONEY: {
                no_ref();
                uint8_t raw[12];
                bool negative;
                if (plain) {
                    for (int k = 0; k < 3; ++k) {
                        uint32_t w = u32();
                        std::memcpy(raw + 4 * k, &w, 4);
                    }
                    negative = (h.word & P_MONEY_NEGATIVE) != 0;
                } else {
                    need(12);
                    std::memcpy(raw, p, 12);
                    p += 12;
                    negative = h.form;
                }
                for (int k = 1; k < 12; ++k)
                    if ((raw[k] >> 4) > 9 || (raw[k] & 15) > 9) invalid(at);
                Cell v{};
                money::make_at(&v, negative, raw[0], raw + 1);
                append(into, v);
                return;
            }
            case TYPE_ISSUE:
                no_ref();
                append(into, Cell{TYPE_ISSUE, context::global, symbol(), static_cast<uint32_t>(-1)});
                return;
            case TYPE_WORD: case TYPE_SET_WORD: case TYPE_LIT_WORD: case TYPE_GET_WORD:
            case TYPE_REFINEMENT:
                word(into, h);
                return;
            case TYPE_CONTEXT: no_ref(); object(into, h); return;
            case TYPE_OBJECT: object(into, h); return;
            case TYPE_FUNCTION: function(into, h); return;
            case TYPE_NATIVE: case TYPE_ACTION: native(into, h); return;
            case TYPE_OP: op(into, h); return;
            case TYPE_ERROR: error(into, h); return;
            case TYPE_BLOCK: case TYPE_PAREN: case TYPE_PATH: case TYPE_LIT_PATH: case TYPE_SET_PATH:
            case TYPE_GET_PATH:
                block_record(into, h);
                return;
            case TYPE_STRING: case TYPE_FILE: case TYPE_URL: case TYPE_TAG: case TYPE_EMAIL: case TYPE_REF:
            case TYPE_BINARY:
                text_record(into, h);
                return;
            case TYPE_BITSET: bitset_record(into, h); return;
            case TYPE_VECTOR: vector_record(into, h); return;
            case TYPE_IMAGE: image_record(into, h); return;
            case TYPE_HASH: hash_record(into, h); return;
            case TYPE_MAP: map_record(into, h); return;
            case TYPE_ROUTINE: case TYPE_TRIPLE: case TYPE_HANDLE: case TYPE_PORT: case TYPE_EVENT:
            // Not yet carried: these datatypes have no storage in this build.
            {
                Cell dt{TYPE_DATATYPE, t, 0, 0};
                fire(err::NO_CODEC, &dt);
            }
            default: invalid(at);
        }
    }

    // ---- Series ---------------------------------------------------------------------------------

    // The head of a series record: always present in plain records, with the
    // form flag in compact ones.
    uint32_t series_head(const Head& h) { return plain || h.form ? number() : 0; }

    // A copy of the series value a path leads to, retyped, sharing its buffer.
    void shared(Cell* into, const Head& h, uint32_t head, typesets::Mask fits) {
        const uint8_t* at = p;
        Cell v = path();
        if (!in(fits, v.type())) invalid(at);
        v.header = h.type;
        v.data3 = 0;
        uint32_t n = memory::buffer(v.node())->count();
        v.data1 = head < n ? head : n;
        if (h.type == TYPE_BITSET) v.data1 = 0;
        append(into, v);
    }

    static constexpr typesets::Mask CELLS =
        ANY_BLOCK | typesets::of({TYPE_NATIVE, TYPE_ACTION, TYPE_OP, TYPE_FUNCTION});

    void block_record(Cell* into, const Head& h) {
        uint32_t head = series_head(h);
        if (h.by_ref) return shared(into, h, head, CELLS);
        uint32_t n = count(plain ? 4 : 1);
        Cell b{};
        block::make_at(&b, n ? n : 1);
        b.header = h.type;
        append(into, b);
        for (uint32_t i = 0; i < n; ++i) record(&b, false);
        b.data1 = head < n ? head : n;
        SeriesBuffer* s = series_of(into);
        reinterpret_cast<Cell*>(s->data_at(0))[s->count() - 1].data1 = b.data1;
    }

    // A hash!, a map! and a vector! share their buffer only with a value of
    // their own type, whose table (element type) the copy keeps.
    void shared_table(Cell* into, const Head& h, uint32_t head) {
        const uint8_t* at = p;
        Cell v = path();
        if (v.type() != h.type) invalid(at);
        uint32_t n = memory::buffer(v.node())->count();
        v.data1 = head < n ? head : n;
        append(into, v);
    }

    // The hash table is made over the empty block first, so that paths
    // into the hash! met among its elements find a whole value, and is
    // indexed again once the elements are in.
    void hash_record(Cell* into, const Head& h) {
        uint32_t head = series_head(h);
        if (h.by_ref) return shared_table(into, h, head);
        uint32_t n = count(plain ? 4 : 1);
        Cell b{};
        block::make_at(&b, n ? n : 1);
        hash::make_table_at(&b, n);
        append(into, b);
        for (uint32_t i = 0; i < n; ++i) record(&b, false);
        hash::rebuild(&b);
        SeriesBuffer* s = series_of(into);
        reinterpret_cast<Cell*>(s->data_at(0))[s->count() - 1].data1 = head < n ? head : n;
    }

    // Key, value, key, value...: the keys take the form a map! keeps them
    // in, and a key met twice gives the earlier pair its value.
    void map_record(Cell* into, const Head& h) {
        if (h.by_ref) return shared_table(into, h, 0);
        const uint8_t* at = p;
        uint32_t n = count(plain ? 4 : 1);
        if (n % 2) invalid(at);
        Cell b{};
        block::make_at(&b, n ? n : 2);
        Node table = hashtable::init(n / 2, &b, hashtable::KIND_MAP, 1);
        Cell m{TYPE_MAP, 0, b.node(), table};
        append(into, m);
        for (uint32_t i = 0; i < n; ++i) {
            const uint8_t* key_at = p;
            record(&b, false);
            if (i % 2 == 0 && !in(map::KEY_TYPES, last_of(&b).type())) invalid(key_at);
        }
        for (uint32_t i = 0; i < n; i += 2) map::preprocess_key(&b, i, nullptr);
        hashtable::put_all(table, 0, 2);
    }

    void text_record(Cell* into, const Head& h) {
        uint32_t head = series_head(h);
        bool binary = h.type == TYPE_BINARY;
        if (h.by_ref) return shared(into, h, head, binary ? typesets::of({TYPE_BINARY}) : ANY_STRING);
        uint32_t unit = 1, n;
        if (binary) {
            n = count(1);
        } else if (plain) {
            unit = (h.word >> 8) & 0xFF;
            if (unit != 1 && unit != 2 && unit != 4) invalid(h.at);
            n = count(unit);
        } else {
            const uint8_t* at = p;
            uint32_t coded = varint();
            if ((coded & 3) == 3) invalid(at);
            unit = 1u << (coded & 3);
            n = coded >> 2;
            if (uint64_t{n} * unit > left()) invalid(p);
        }
        uint32_t bytes = n * unit;
        if (unit == 4)
            for (uint32_t i = 0; i < n; ++i)
                if (le32(p + 4 * i) > 0x10FFFF) invalid(p + 4 * i);
        Node node = binary ? memory::alloc_bytes(bytes) : memory::alloc_codepoints(n, unit);
        SeriesBuffer* s = memory::buffer(node);
        std::memcpy(s->data_at(0), p, bytes);
        s->tail = s->offset + bytes;
        p += bytes;
        if (plain) skip_padding();
        append(into, Cell{h.type, head < n ? head : n, node, 0});
    }

    // The element type and the unit, then the elements: their bytes as the
    // vector keeps them.
    void vector_record(Cell* into, const Head& h) {
        uint32_t head = series_head(h);
        if (h.by_ref) return shared_table(into, h, head);
        uint32_t type, unit, n;
        const uint8_t* at = p;
        if (plain) {
            unit = (h.word >> 8) & 0xFF;
            if (unit != 1 && unit != 2 && unit != 4 && unit != 8) invalid(h.at);
            n = count(unit);
            at = p;
            type = u32();
        } else {
            uint8_t b = byte();
            type = b >> 2;
            unit = 1u << (b & 3);
            n = count(unit);
        }
        if (!vector::valid_element_q(type, unit)) invalid(at);
        need(size_t{n} * unit);
        if (type == TYPE_CHAR && unit == 4)
            for (uint32_t i = 0; i < n; ++i)
                if (le32(p + 4 * i) > 0x10FFFF) invalid(p + 4 * i);
        Cell v{};
        vector::make_at(&v, n, type, unit);
        SeriesBuffer* s = series_of(&v);
        std::memcpy(s->data_at(0), p, size_t{n} * unit);
        s->tail = s->offset + n * unit;
        p += size_t{n} * unit;
        if (plain) skip_padding();
        v.data1 = head < n ? head : n;
        append(into, v);
    }

    void bitset_record(Cell* into, const Head& h) {
        bool complemented = plain ? (h.word & P_COMPLEMENT) != 0 : h.form;
        if (h.by_ref) return shared(into, h, 0, typesets::of({TYPE_BITSET}));
        uint32_t n = count(1);
        Cell b{};
        bitset::make_at(&b, n, complemented);
        std::memcpy(series_of(&b)->data_at(0), p, n);
        p += n;
        if (plain) skip_padding();
        append(into, b);
    }

    // An image: its size and its pixel words as stored (B, G, R, A), or a
    // reference to an image met before.
    void image_record(Cell* into, const Head& h) {
        uint32_t head = series_head(h);
        const uint8_t* at = p;
        if (h.by_ref) {
            Cell v = path();
            if (v.type() != TYPE_IMAGE) invalid(at);
            v.header = h.type;
            v.data1 = std::min(head, image::pixel_count(&v));
            append(into, v);
            return;
        }
        uint32_t w, ht;
        if (plain) {
            uint32_t size = u32();
            w = size & 0xFFFF;
            ht = size >> 16;
        } else {
            w = varint();
            ht = varint();
        }
        if (!sys::imaging::size_ok(w, ht)) invalid(at);
        size_t n = size_t{w} * ht * 4;
        need(n);
        image::Bitmap b;
        if (n && !sys::imaging::allocate(b, w, ht, 0)) fire(err::NO_MEMORY);
        if (n) std::memcpy(b.pixels.data(), p, n);
        p += n;
        Cell* slot = image::make_at(stack::push_slot(), std::move(b));
        slot->data1 = std::min(head, image::pixel_count(slot));
        append(into, *slot);
        stack::pop(1);
    }

    // ---- Words ----------------------------------------------------------------------------------

    void word(Cell* into, const Head& h) {
        uint32_t sym = symbol();
        Cell w{h.type, context::global, sym, static_cast<uint32_t>(-1)};
        bool bound = plain ? !h.global : h.form;
        if (!codec) {
            // Boot layout: root index of the value that holds the context.
            int32_t r;
            int32_t index;
            if (plain) {
                r = static_cast<int32_t>(u32());
                index = static_cast<int32_t>(u32());
            } else {
                r = bound ? static_cast<int32_t>(varint()) : -1;
                index = bound ? zigzag() : -1;
            }
            if (r < 0) return global_word(into, w);
            SeriesBuffer* t = series_of(&target);
            if (static_cast<uint32_t>(r) >= t->count() - base) invalid(h.at);
            Cell holder = reinterpret_cast<Cell*>(t->data_at(0))[base + r];
            bind(&w, holder, index, h.at);
            append(into, w);
            return;
        }
        int32_t index = plain ? static_cast<int32_t>(u32()) : 0;
        if (!bound) return global_word(into, w);
        if (!plain) index = zigzag();
        if (h.by_ref) {
            Cell holder = path();
            bind(&w, holder, index, h.at);
            append(into, w);
            return;
        }
        // The owner's record follows; the word waits in the output for its
        // context so that the owner's values can refer to it.
        append(into, w);
        PendingWord pending_word{series_of(into)->node, length_of(into) - 1, index};
        PendingWord* saved = pending;
        pending = &pending_word;
        Head oh = head();
        if (oh.type != TYPE_OBJECT && oh.type != TYPE_FUNCTION) invalid(oh.at);
        if (oh.by_ref || oh.new_line || oh.assign) invalid(oh.at);
        Cell tmp = temporary(1);
        if (oh.type == TYPE_OBJECT) object(&tmp, oh);
        else function(&tmp, oh);
        stack::pop(1);
        if (pending) invalid(oh.at);  // the owner made no context
        pending = saved;
    }

    void global_word(Cell* into, Cell w) {
        uint32_t type = w.type();
        word::make_at(w.symbol(), &w);
        set_type(&w, type);
        append(into, w);
    }

    // Binds the word to the context held by `holder` (an object!, error!,
    // function!, or a word), checking the index.
    void bind(Cell* w, Cell holder, int32_t index, const uint8_t* at) {
        uint32_t t = holder.type();
        if (t == TYPE_OP && native::source_type(&holder) == TYPE_FUNCTION) t = TYPE_FUNCTION;
        if (!(t == TYPE_OBJECT || t == TYPE_ERROR || t == TYPE_FUNCTION || (t >= TYPE_WORD && t <= TYPE_REFINEMENT)))
            invalid(at);
        Node ctx = holder.ctx();
        if (ctx == 0) invalid(at);
        set_context(w, ctx, index, at);
    }

    void set_context(Cell* w, Node ctx, int32_t index, const uint8_t* at) const {
        if (index == -1) index = context::find_symbol(ctx, w->symbol(), true);
        else if (index < 0 || static_cast<uint32_t>(index) >= context::word_count(ctx)) invalid(at);
        w->data1 = ctx;
        w->data3 = static_cast<uint32_t>(index);
    }

    // ---- Contexts, objects, functions ----------------------------------------------------------

    // Reads a context record's header and words and makes the context. A
    // record standing alone has had its type read already (`standalone`);
    // inside an object! or function! record the type byte comes first.
    // `function` asks for a context whose values live on the stack; every
    // other context keeps its values on the heap.
    Node context_header(bool function, const Head* standalone) {
        const uint8_t* at = standalone ? standalone->at : p;
        uint32_t kind;
        bool on_stack, self, values;
        if (plain) {
            uint32_t w = standalone ? standalone->word : u32();
            if ((w & 0xFF) != TYPE_CONTEXT) invalid(at);
            kind = (w >> P_CTX_KIND_SHIFT) & 3;
            on_stack = (w & P_CTX_ON_STACK) != 0;
            self = (w & P_CTX_SELF) != 0;
            values = (w & P_CTX_VALUES) != 0;
        } else {
            if (!standalone && byte() != TYPE_CONTEXT) invalid(at);
            uint8_t f = byte();
            kind = f & 3;
            on_stack = (f & CTX_ON_STACK) != 0;
            self = (f & CTX_SELF) != 0;
            values = (f & CTX_VALUES) != 0;
        }
        if (kind == 3 || on_stack != function) invalid(at);
        uint32_t n = count(plain ? 4 : 1);
        Node ctx = context::create(n, on_stack, self, 0, kind);
        for (uint32_t i = 0; i < n; ++i) {
            const uint8_t* sat = p;
            Cell w{TYPE_WORD, ctx, symbol(), static_cast<uint32_t>(-1)};
            if (context::add_word(ctx, &w) != static_cast<int32_t>(i)) invalid(sat);
        }
        values_follow = values && !on_stack;
        return ctx;
    }
    bool values_follow = false;

    // The owner takes the context: it becomes the context's self cell, and
    // the word waiting for it (if any) is bound; otherwise it is appended.
    // Answers whether it was appended.
    bool place_owner(Cell* into, Node ctx, const Cell& owner) {
        *context::self_of(ctx) = owner;
        if (pending) {
            PendingWord* pw = pending;
            pending = nullptr;
            Cell* w = reinterpret_cast<Cell*>(memory::buffer(pw->block)->data_at(0)) + pw->position;
            Cell word = *w;
            set_context(&word, ctx, pw->index, p);
            *w = word;
            return false;
        }
        append(into, owner);
        return true;
    }

    // Decodes the context's values straight into its values series.
    void context_values(Node ctx, bool follow) {
        if (!follow) return;
        Node values = context::values_of(ctx);
        uint32_t n = context::word_count(ctx);
        SeriesBuffer* s = memory::buffer(values);
        s->tail = s->offset;
        Cell v{TYPE_BLOCK, 0, values, 0};
        stack::push(&v);
        for (uint32_t i = 0; i < n; ++i) record(&v, false);
        stack::pop(1);
    }

    void object(Cell* into, const Head& h) {
        if (h.by_ref) {
            const uint8_t* at = p;
            Cell holder = path();
            Cell self = self_of_holder(holder, at);
            if (self.type() != TYPE_OBJECT) invalid(at);
            append(into, self);
            return;
        }
        int32_t class_id = h.type == TYPE_CONTEXT ? -1 : signed_number();
        bool handler = h.type == TYPE_OBJECT && (plain ? (h.word & P_HANDLER) != 0 : h.form);
        Node record = 0;
        if (handler) {
            int32_t a = signed_number(), b = signed_number();
            record = memory::alloc_cells(2);
            SeriesBuffer* s = memory::buffer(record);
            auto* c = reinterpret_cast<Cell*>(s->data_at(0));
            c[0] = Cell{TYPE_PAIR, 0, static_cast<uint32_t>(a), 0};
            c[1] = Cell{TYPE_PAIR, 0, static_cast<uint32_t>(b), 0};
            s->tail = s->offset + 2 * sizeof(Cell);
        }
        Node ctx = context_header(false, h.type == TYPE_CONTEXT ? &h : nullptr);
        bool follow = values_follow;
        Cell obj{TYPE_OBJECT, ctx, static_cast<uint32_t>(codec ? -1 : class_id), record};
        place_owner(into, ctx, obj);
        context_values(ctx, follow);
    }

    Cell self_of_holder(Cell holder, const uint8_t* at) const {
        uint32_t t = holder.type();
        if (t == TYPE_OP && native::source_type(&holder) == TYPE_FUNCTION) t = TYPE_FUNCTION;
        if (!(t == TYPE_OBJECT || t == TYPE_FUNCTION || (t >= TYPE_WORD && t <= TYPE_REFINEMENT))) invalid(at);
        if (holder.ctx() == 0) invalid(at);
        return *context::self_of(holder.ctx());
    }

    void function(Cell* into, const Head& h) {
        if (h.by_ref) {
            const uint8_t* at = p;
            Cell holder = path();
            Cell self = self_of_holder(holder, at);
            if (self.type() != TYPE_FUNCTION) invalid(at);
            append(into, self);
            return;
        }
        const uint8_t* at = p;
        uint32_t spec_length = number(), body_length = number();
        if (spec_length > left() || body_length > left()) invalid(at);
        Node ctx = context_header(true, nullptr);
        Node more = memory::alloc_unset_cells(function::MORE_CELLS);
        SeriesBuffer* m = memory::buffer(more);
        m->tail = m->offset + function::MORE_CELLS * sizeof(Cell);
        // Until its spec is read the function holds an empty one.
        Cell placeholder{};
        block::make_at(&placeholder, 1);
        Cell fn{TYPE_FUNCTION, ctx, placeholder.node(), more};
        uint32_t position = length_of(into);
        bool appended = place_owner(into, ctx, fn);
        Cell spec = callable_block();
        fn.data2 = spec.node();
        *context::self_of(ctx) = fn;
        if (appended) reinterpret_cast<Cell*>(series_of(into)->data_at(0))[position].data2 = fn.data2;
        Cell body = callable_block();
        *function::more(&fn, function::MORE_BODY) = body;
        Cell spec_block{TYPE_BLOCK, 0, spec.node(), 0};
        check_function(ctx, spec_block, at);
        Cell cache = interpreter::argument_cache(&spec_block, false);
        *function::more(&fn, function::MORE_CACHE) = cache;
    }

    // The spec or body block of a function: optional new-line and by-ref
    // prefixes, a block! type byte and head, then a path or the elements.
    Cell callable_block() {
        Head h = head();
        if (h.type != TYPE_BLOCK || h.assign) invalid(h.at);
        Cell tmp = temporary(1);
        block_record(&tmp, h);
        Cell v = last_of(&tmp);
        if (h.new_line) v.header |= FLAG_NEW_LINE;
        stack::pop(1);
        return v;
    }

    // The context a function record carries must be the one its spec makes:
    // the interpreter lays the call's values out by the function's argument block.
    void check_function(Node ctx, Cell spec, const uint8_t* at) {
        Node expected = context::make(&spec, true, false, context::KIND_FUNCTION);
        uint32_t n = context::word_count(expected);
        if (n != context::word_count(ctx)) invalid(at);
        for (uint32_t i = 0; i < n; ++i)
            if (symbol::resolve(context::word_at(expected, i)->symbol()) !=
                symbol::resolve(context::word_at(ctx, i)->symbol()))
                invalid(at);
    }

    void native(Cell* into, const Head& h) {
        if (h.by_ref) invalid(h.at);
        const uint8_t* at = p;
        uint32_t index = number();
        uint32_t id;
        if (h.type == TYPE_ACTION) {
            if (index < 1 || index > actions::ACTION_COUNT || !actions::entry(index)) invalid(at);
            id = ACTION_ENTRY_BASE + index;
        } else {
            if (index < 1 || index >= natives::next_index || !natives::entry(index)) invalid(at);
            id = index;
        }
        Cell spec = one_value();
        if (spec.type() != TYPE_BLOCK) invalid(at);
        stack::push(&spec);
        // The entry reads the arguments its own spec gives it.
        Cell cache;
        if (!native::entry_cache(h.type, index, &spec, &cache)) invalid(at);
        stack::push(&cache);
        Node ctx = context::make(&spec, true, false, context::KIND_FUNCTION);
        Node more = memory::alloc_unset_cells(native::MORE_CELLS);
        SeriesBuffer* m = memory::buffer(more);
        auto* cells = reinterpret_cast<Cell*>(m->data_at(0));
        cells[native::MORE_CONTEXT] = *context::cell_of(ctx);
        cells[native::MORE_CACHE] = cache;
        m->tail = m->offset + native::MORE_CELLS * sizeof(Cell);
        stack::pop(2);
        append(into, Cell{h.type, id, spec.node(), more});
    }

    void op(Cell* into, const Head& h) {
        if (h.by_ref) invalid(h.at);
        const uint8_t* at = p;
        uint32_t source = plain ? (h.word >> OP_SOURCE_SHIFT) & 0xFF : 0;
        uint32_t position = length_of(into);
        record(into, false);
        Cell* c = reinterpret_cast<Cell*>(series_of(into)->data_at(0)) + position;
        Cell v = *c;
        uint32_t t = v.type();
        if (t != TYPE_NATIVE && t != TYPE_ACTION && t != TYPE_FUNCTION) invalid(at);
        if (plain && source != t) invalid(at);
        Cell spec{TYPE_BLOCK, 0, v.data2, 0};
        if (!native::two_argument_spec_q(&spec)) invalid(at);
        if (t == TYPE_FUNCTION) *function::more(&v, function::MORE_OP) = v;
        v.header = TYPE_OP | (t << OP_SOURCE_SHIFT) | (v.header & FLAG_NEW_LINE);
        c = reinterpret_cast<Cell*>(series_of(into)->data_at(0)) + position;
        *c = v;
    }

    void error(Cell* into, const Head& h) {
        if (h.by_ref) invalid(h.at);
        const uint8_t* at = p;
        uint32_t code = number();
        uint32_t category = code / 100, position = code % 100;
        if (category >= errors::CATEGORY_COUNT || position >= errors::id_count(category) ||
            !errors::id_word(ErrorId{category, position}))
            invalid(at);
        Cell e{};
        error::create(ErrorId{category, position}, nullptr, nullptr, nullptr, &e);
        append(into, e);
        // The fields are decoded in place, each one there before its own
        // contents, so that paths through the error reach what is decoded
        // so far (the first word of a context among the `stack` words).
        Node values = context::values_of(e.ctx());
        std::vector<Cell> after;
        SeriesBuffer* s = memory::buffer(values);
        for (uint32_t f = error::STACK + 1; f < s->count(); ++f) after.push_back(*context::value_at(e.ctx(), f));
        s->tail = s->offset + error::ARG1 * sizeof(Cell);
        Cell v{TYPE_BLOCK, 0, values, 0};
        stack::push(&v);
        for (uint32_t f = error::ARG1; f <= error::STACK; ++f) record(&v, false);
        for (const Cell& c : after) append(&v, c);
        stack::pop(1);
    }
};

// ---- Entry points ------------------------------------------------------------------------

// The decompressed rest of an image, freed however the decode ends.
struct Buffer {
    uint8_t* data = nullptr;
    ~Buffer() { lz77::free_buffer(data); }
};

[[noreturn]] void boot_failure(const char* message) {
    sys::print_line({sys::Item::cstr(message)});
    std::fflush(nullptr);
    sys::free_all();
    std::exit(1);
}

[[noreturn]] void refuse(bool fire_on_error, const char* message, const Cell* caller_arg) {
    if (!fire_on_error) boot_failure(message);
    Cell arg = caller_arg ? *caller_arg : NONE_CELL;
    fire(err::INVALID_DATA, &arg);
}

}  // namespace

uint32_t decode(const uint8_t* data, size_t length, Cell* target, bool fire_on_error, const Cell* caller_arg) {
    if (length < 8 || std::memcmp(data, MAGIC, 6) != 0)
        refuse(fire_on_error, "Error: Not a ZEMBIN file!", caller_arg);
    uint8_t flags = data[7];
    Decoder d;
    d.codec = codec_mode;
    d.plain = (flags & FLAG_COMPACT) == 0;
    d.begin = data + 8;
    d.end = data + length;
    Buffer unpacked;
    if (flags & FLAG_COMPRESSED) {
        uint32_t size = 0;
        unpacked.data = lz77::decompress({data + 8, length - 8}, &size);
        if (!unpacked.data) refuse(fire_on_error, "Error: ZEMBIN compressed data corrupted!", caller_arg);
        d.begin = unpacked.data;
        d.end = unpacked.data + size;
    }
    d.p = d.begin;
    d.target = *target;
    d.base = series_of(target)->count();
    if (d.plain && d.left() < 8) {
        Cell arg = caller_arg ? *caller_arg : NONE_CELL;
        fire(err::INVALID_DATA, &arg);
    }
    d.number();  // the root count: not used
    const uint8_t* at = d.p;
    uint32_t payload = d.number();
    if (flags & FLAG_SYMBOLS) {
        const uint8_t* sat = d.p;
        uint32_t s = d.number();
        uint32_t b = d.number();
        if (s > 0x7FFFFFFF || b > 0x7FFFFFFF || uint64_t{s} * 4 > d.left() || b > d.left() - uint64_t{s} * 4 ||
            (b > 0 && d.p[uint64_t{s} * 4 + b - 1] != 0))
            d.invalid(sat);
        d.offsets = d.p;
        d.symbol_count = s;
        d.strings = d.p + uint64_t{s} * 4;
        d.strings_size = b;
        d.symbols.assign(s, 0);
        d.p += uint64_t{s} * 4 + b;
    }
    if (payload > 0x7FFFFFFF || payload > d.left()) d.invalid(at);
    d.end = d.p + payload;
    Cell t = *target;
    while (d.p < d.end) d.record(&t, true);
    return d.base;
}

uint32_t boot_load(const uint8_t* image, size_t length, bool keep_previous) {
    codec_mode = false;
    uint32_t saved_active = collector::active;
    collector::active = 0;
    uint32_t previous = root_base;
    uint32_t first;
    try {
        first = decode(image, length, &memory::root_block, false, nullptr);
    } catch (...) {
        collector::active = saved_active;
        throw;
    }
    collector::active = saved_active;
    root_base = keep_previous ? previous : first;
    return first;
}

Cell* decode_value(const Cell* data, Cell* out) {
    Cell arg = *data;
    if (arg.type() != TYPE_BINARY || series_of(&arg)->count() <= arg.head() ||
        series_of(&arg)->count() - arg.head() <= 10)
        fire(err::INVALID_DATA, &arg);
    // The bytes are copied out first: a collection during the decode may
    // move the binary's buffer.
    SeriesBuffer* s = series_of(&arg);
    std::vector<uint8_t> bytes(s->data_at(arg.head()), s->data_at(0) + s->count());
    codec_mode = true;
    Cell* top = stack::top;
    Cell result = *block::make_at(stack::push_slot(), 4);
    decode(bytes.data(), bytes.size(), &result, true, &arg);
    if (series_of(&result)->count() == 1) result = *reinterpret_cast<Cell*>(series_of(&result)->data_at(0));
    stack::top = top;
    *out = result;
    return out;
}

}  // namespace zembin
