// The ZEMBIN encoder: writes one value, with everything it reaches, as a
// plain or compact image. Series and contexts met again are written as
// reference paths to their first occurrence, so sharing and cycles survive.
// The walk allocates nothing from the runtime's heap (records, symbols and
// paths grow in C++ buffers), so no collection can run while it holds
// node handles; only the finished image becomes a binary!.
#include <cmath>
#include <cstring>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "datatypes/binary.h"
#include "datatypes/block.h"
#include "evaluator/context.h"
#include "datatypes/error.h"
#include "datatypes/function.h"
#include "datatypes/image.h"
#include "datatypes/native.h"
#include "datatypes/tuple.h"
#include "evaluator/errors.h"
#include "evaluator/stack.h"
#include "evaluator/symbol.h"
#include "runtime/typesets.h"
#include "services/zembin/lz77.h"
#include "services/zembin/zembin.h"

namespace zembin {

namespace {

class Encoder {
public:
    Encoder(bool plain, bool boot) : plain_(plain), boot_(boot) {}

    // ---- Values --------------------------------------------------------------------------

    // One value at the current position.
    void value(const Cell& c) {
        stack::check_depth();
        uint32_t nl = c.new_line() ? P_NEW_LINE : 0;
        if (!plain_ && nl) byte(C_NEW_LINE);
        uint32_t t = c.type();
        switch (t) {
            case TYPE_UNSET: case TYPE_NONE: begin(t, nl); break;
            case TYPE_DATATYPE: begin(t, nl); number(c.data1); break;
            case TYPE_CHAR: begin(t, nl); number(c.data2); break;
            case TYPE_LOGIC:
                if (plain_) {
                    begin(t, nl);
                    u32(c.data1 ? 1 : 0);
                } else {
                    byte(c.data1 ? C_TRUE : C_FALSE);
                }
                break;
            case TYPE_INTEGER: {
                int32_t v = c.int_value();
                if (!plain_ && v >= 0 && v <= 63) {
                    byte(static_cast<uint8_t>(C_SMALL_INT + v));
                } else {
                    begin(t, nl);
                    signed_number(v);
                }
                break;
            }
            case TYPE_PAIR:
                begin(t, nl);
                signed_number(static_cast<int32_t>(c.data2));
                signed_number(static_cast<int32_t>(c.data3));
                break;
            case TYPE_POINT2D: case TYPE_POINT3D:
                begin(t, nl);
                u32(c.data1);
                u32(c.data2);
                if (t == TYPE_POINT3D) u32(c.data3);
                break;
            case TYPE_FLOAT: case TYPE_TIME: case TYPE_PERCENT: number_value(c, nl); break;
            case TYPE_DATE: {
                bool timed = (c.data1 & 0x10000) != 0;
                if (plain_) {
                    begin(t, nl);
                    u32(c.data1);
                    u32(c.data3);
                    u32(c.data2);
                } else {
                    begin(t, nl, timed);
                    u32(c.data1);
                    if (timed) {
                        u32(c.data2);
                        u32(c.data3);
                    }
                }
                break;
            }
            case TYPE_TYPESET: {
                begin(t, nl);
                if (plain_) {
                    u32(c.data1);
                    u32(c.data2);
                    u32(c.data3);
                } else {
                    const auto* b = reinterpret_cast<const uint8_t*>(&c.data1);
                    uint8_t n = 12;
                    while (n > 0 && b[n - 1] == 0) --n;
                    byte(n);
                    bytes(b, n);
                }
                break;
            }
            case TYPE_TUPLE: {
                uint32_t n = tuple::length(&c);
                if (plain_) {
                    begin(t, nl | n << 8);
                    u32(c.data1);
                    u32(c.data2);
                    u32(c.data3);
                } else {
                    begin(t, nl, n != 3);
                    if (n != 3) byte(static_cast<uint8_t>(n));
                    bytes(tuple::bytes(&c), n);
                }
                break;
            }
            case TYPE_MONEY: {
                bool negative = (c.header & 0x4000) != 0;
                if (plain_) {
                    begin(t, nl | (negative ? P_MONEY_NEGATIVE : 0));
                    u32(c.data1);
                    u32(c.data2);
                    u32(c.data3);
                } else {
                    begin(t, nl, negative);
                    bytes(reinterpret_cast<const uint8_t*>(&c.data1), 12);
                }
                break;
            }
            case TYPE_ISSUE: begin(t, nl); symbol(c.symbol()); break;
            case TYPE_NATIVE: case TYPE_ACTION: callable(c, t, nl); break;
            case TYPE_OP: {
                uint32_t source = native::source_type(&c);
                if (source == TYPE_ROUTINE) no_codec(c);
                begin(TYPE_OP, nl | source << OP_SOURCE_SHIFT);
                Cell inner = c;
                inner.header = source;
                value(inner);
                --position_;
                break;
            }
            case TYPE_ERROR: error(c, nl); break;
            case TYPE_WORD: case TYPE_SET_WORD: case TYPE_LIT_WORD: case TYPE_GET_WORD: case TYPE_REFINEMENT:
                word(c, nl);
                break;
            case TYPE_OBJECT: case TYPE_FUNCTION:
            case TYPE_BLOCK: case TYPE_PAREN: case TYPE_PATH: case TYPE_LIT_PATH: case TYPE_SET_PATH:
            case TYPE_GET_PATH:
            case TYPE_STRING: case TYPE_FILE: case TYPE_URL: case TYPE_TAG: case TYPE_EMAIL: case TYPE_REF:
            case TYPE_BINARY: case TYPE_BITSET: case TYPE_HASH: case TYPE_MAP: case TYPE_VECTOR:
                tracked(c, c.type() == TYPE_OBJECT || c.type() == TYPE_FUNCTION ? c.ctx() : c.node(), nl);
                break;
            case TYPE_IMAGE:
                // An image without pixels has no record to meet again.
                if (c.node()) tracked(c, c.node(), nl);
                else body(c, nl, false);
                break;
            default:
                // routine!, triple!, handle!, port!, event! have no record;
                // context! values alone are not carried by this build.
                no_codec(c);
        }
        ++position_;
    }

    // ---- The image -----------------------------------------------------------------------

    // The finished image.
    std::vector<uint8_t> image(uint32_t roots, uint8_t version, bool compressed) const {
        std::vector<uint8_t> img(MAGIC, MAGIC + 6);
        img.push_back(version);
        bool symbols = !symbols_.empty();
        uint8_t flags = (plain_ ? 0 : FLAG_COMPACT) | (symbols ? FLAG_SYMBOLS : 0);
        img.push_back(flags);
        std::vector<uint8_t> rest;
        auto put = [&](uint32_t v) {
            if (plain_) {
                for (int i = 0; i < 4; ++i) rest.push_back(static_cast<uint8_t>(v >> (8 * i)));
            } else {
                put_varint(rest, v);
            }
        };
        put(roots);
        put(static_cast<uint32_t>(out_.size()));
        if (symbols) {
            put(static_cast<uint32_t>(symbols_.size()));
            put(static_cast<uint32_t>(strings_.size()));
            for (uint32_t o : offsets_)
                for (int i = 0; i < 4; ++i) rest.push_back(static_cast<uint8_t>(o >> (8 * i)));
            rest.insert(rest.end(), strings_.begin(), strings_.end());
        }
        rest.insert(rest.end(), out_.begin(), out_.end());
        if (compressed) {
            std::vector<uint8_t> packed(rest.size());
            int32_t n = lz77::compress(rest, packed.data());
            if (n > 0) {
                img[7] |= FLAG_COMPRESSED;
                img.insert(img.end(), packed.begin(), packed.begin() + n);
                return img;
            }
        }
        img.insert(img.end(), rest.begin(), rest.end());
        return img;
    }

private:
    // ---- State ---------------------------------------------------------------------------

    bool plain_;
    bool boot_;  // boot images carry words in the global form only
    std::vector<uint8_t> out_;
    uint32_t position_ = 0;
    std::vector<uint32_t> path_;
    std::vector<uint32_t> symbols_;
    std::unordered_map<uint32_t, uint32_t> symbol_index_;
    std::vector<uint8_t> strings_;
    std::vector<uint32_t> offsets_;
    // Node -> the path of the first value written under it.
    std::unordered_map<Node, std::vector<uint32_t>> seen_;
    // The keys of seen_ in the order they were added, so that a failed
    // attempt can take its own back.
    std::vector<Node> seen_order_;
    // Contexts of the error! values being written (an error that holds
    // itself has no record form).
    std::vector<Node> open_errors_;
    // Contexts whose owner has no record form (it reaches a routine!, a
    // port!...): their words are written in the global form.
    std::unordered_set<Node> no_owner_record_;
    // Attempts under way: a value with no record then ends the attempt
    // instead of raising no-codec.
    uint32_t attempts_ = 0;
    struct NoRecord {};

    // ---- Writing -----------------------------------------------------------------------

    static void put_varint(std::vector<uint8_t>& o, uint32_t v) {
        while (v >= 0x80) {
            o.push_back(static_cast<uint8_t>(v | 0x80));
            v >>= 7;
        }
        o.push_back(static_cast<uint8_t>(v));
    }
    void byte(uint8_t b) { out_.push_back(b); }
    void bytes(const uint8_t* b, size_t n) { out_.insert(out_.end(), b, b + n); }
    void u32(uint32_t v) {
        for (int i = 0; i < 4; ++i) out_.push_back(static_cast<uint8_t>(v >> (8 * i)));
    }
    void varint(uint32_t v) { put_varint(out_, v); }
    void zigzag(int32_t v) {
        varint((static_cast<uint32_t>(v) << 1) ^ static_cast<uint32_t>(v >> 31));
    }
    void number(uint32_t v) { plain_ ? u32(v) : varint(v); }
    void signed_number(int32_t v) { plain_ ? u32(static_cast<uint32_t>(v)) : zigzag(v); }
    void pad4() {
        while (out_.size() & 3) out_.push_back(0);
    }
    // A record's start: the header word with its bits (plain), or the type
    // byte with the form flag (compact; ids above 62 as 63 and a varint).
    void begin(uint32_t type, uint32_t bits, bool form = false) {
        if (plain_) {
            u32(type | bits);
            return;
        }
        uint8_t f = form ? C_FORM : 0;
        if (type >= C_LONG_TYPE) {
            byte(C_LONG_TYPE | f);
            varint(type);
        } else {
            byte(static_cast<uint8_t>(type | f));
        }
    }
    void write_path(const std::vector<uint32_t>& path) {
        if (plain_) u32(P_REFERENCE);
        number(static_cast<uint32_t>(path.size()));
        for (uint32_t i : path) number(i);
    }

    // The 0-based index of a symbol in the image's table, added when new.
    void symbol(uint32_t id) {
        auto it = symbol_index_.find(id);
        uint32_t index;
        if (it != symbol_index_.end()) {
            index = it->second;
        } else {
            index = static_cast<uint32_t>(symbols_.size());
            symbols_.push_back(id);
            symbol_index_.emplace(id, index);
            uint32_t length = 0;
            const char* text = symbol::text(id, &length);
            offsets_.push_back(static_cast<uint32_t>(strings_.size()));
            strings_.insert(strings_.end(), text, text + length);
            strings_.push_back(0);
            if (plain_)
                while (strings_.size() & 7) strings_.push_back(0);
        }
        number(index);
    }

    [[noreturn]] void no_codec(const Cell& c) const {
        if (attempts_) throw NoRecord{};
        Cell v = c;
        fire(err::NO_CODEC, &v);
    }

    void remember(Node key) {
        if (seen_.emplace(key, path_).second) seen_order_.push_back(key);
    }

    // ---- Scalars ---------------------------------------------------------------------------

    void number_value(const Cell& c, uint32_t nl) {
        uint32_t t = c.type();
        double d = c.float_value();
        if (plain_) {
            // The record starts on an 8-byte boundary of the record area.
            if (out_.size() & 7) u32(0);
            begin(t, nl);
            u32(c.data3);
            u32(c.data2);
            return;
        }
        bool negative_zero = d == 0 && std::signbit(d);
        if (t == TYPE_PERCENT) {
            if (d >= -21474836.0 && d <= 21474836.0 && !negative_zero) {
                double r = d * 100.0;
                int32_t k = static_cast<int32_t>(r < 0 ? std::ceil(r - 0.5) : std::floor(r + 0.5));
                if (k / 100.0 == d) {
                    begin(t, 0, true);
                    zigzag(k);
                    return;
                }
            }
        } else if (d >= -2147483000.0 && d <= 2147483000.0 && d == std::trunc(d) && !negative_zero) {
            begin(t, 0, true);
            zigzag(static_cast<int32_t>(d));
            return;
        }
        begin(t, 0);
        u32(c.data2);
        u32(c.data3);
    }

    // ---- Callables and errors -----------------------------------------------------------------

    void callable(const Cell& c, uint32_t t, uint32_t nl) {
        uint32_t index = t == TYPE_ACTION ? c.data1 - ACTION_ENTRY_BASE : c.data1;
        begin(t, nl);
        number(index);
        value(Cell{TYPE_BLOCK, 0, c.data2, 0});
        --position_;  // the argument block takes no position of its own
    }

    void error(const Cell& c, uint32_t nl) {
        Node ctx = c.ctx();
        for (Node open : open_errors_)
            if (open == ctx) no_codec(c);
        open_errors_.push_back(ctx);
        push();
        remember(ctx);
        begin(TYPE_ERROR, nl);
        const Cell* code = error::field(&c, error::CODE);
        number(code->type() == TYPE_INTEGER ? static_cast<uint32_t>(code->int_value()) : 0);
        for (uint32_t f = error::ARG1; f <= error::STACK; ++f) value(*error::field(&c, static_cast<error::Field>(f)));
        pop();
        open_errors_.pop_back();
    }

    void push() {
        path_.push_back(position_);
        position_ = 0;
    }
    void pop() {
        position_ = path_.back();
        path_.pop_back();
    }

    // ---- Words ----------------------------------------------------------------------------------

    // Whether a word goes in the global form: unbound, bound to the global
    // context (or the library's copy of it), or bound to a context with no
    // owner that a record can carry (self unset!, none! or block!; an
    // error!'s or port!'s context that no earlier record introduced).
    bool global_form(const Cell& w) const {
        Node ctx = w.ctx();
        if (boot_ || ctx == 0 || context::global_q(ctx)) return true;
        uint32_t owner = context::self_of(ctx)->type();
        if (owner == TYPE_OBJECT || owner == TYPE_FUNCTION) return false;
        if (owner == TYPE_ERROR) return seen_.find(ctx) == seen_.end();
        return true;
    }

    void word(const Cell& w, uint32_t nl) {
        Node ctx = w.ctx();
        if (global_form(w) || no_owner_record_.count(ctx)) return global_word(w, nl);
        if (seen_.count(ctx)) return tracked(w, ctx, nl);
        // The first word of a context carries its owner's record. When the
        // owner has none, everything written for it is taken back and the
        // word goes in the global form.
        Mark saved = mark();
        ++attempts_;
        try {
            tracked(w, ctx, nl);
        } catch (const NoRecord&) {
            --attempts_;
            back_to(saved);
            no_owner_record_.insert(ctx);
            return global_word(w, nl);
        }
        --attempts_;
    }

    void global_word(const Cell& w, uint32_t nl) {
        uint32_t t = w.type();
        if (plain_) {
            begin(t, nl | P_GLOBAL);
            symbol(w.symbol());
            u32(context::global_q(w.ctx()) ? w.data3 : static_cast<uint32_t>(-1));
        } else {
            begin(t, 0);
            symbol(w.symbol());
        }
    }

    // Where the output and the tables stand, to go back to.
    struct Mark {
        size_t out, symbols, strings, offsets, path, seen, open_errors;
        uint32_t position;
    };
    Mark mark() const {
        return {out_.size(), symbols_.size(), strings_.size(), offsets_.size(), path_.size(), seen_order_.size(),
                open_errors_.size(), position_};
    }
    void back_to(const Mark& m) {
        out_.resize(m.out);
        for (size_t i = m.symbols; i < symbols_.size(); ++i) symbol_index_.erase(symbols_[i]);
        symbols_.resize(m.symbols);
        strings_.resize(m.strings);
        offsets_.resize(m.offsets);
        path_.resize(m.path);
        for (size_t i = m.seen; i < seen_order_.size(); ++i) seen_.erase(seen_order_[i]);
        seen_order_.resize(m.seen);
        open_errors_.resize(m.open_errors);
        position_ = m.position;
    }

    // ---- Tracked values: words, series, objects, functions ----------------------------------

    void tracked(const Cell& c, Node key, uint32_t nl) {
        uint32_t t = c.type();
        bool untracked = (t == TYPE_OBJECT || t == TYPE_FUNCTION) && key == context::global;
        auto it = untracked ? seen_.end() : seen_.find(key);
        bool by_ref = it != seen_.end();
        if (by_ref) {
            std::vector<uint32_t> path = it->second;
            if (!plain_) byte(C_BY_REF);
            body(c, nl | P_BY_REF, true);
            write_path(path);
            return;
        }
        if (untracked) return body(c, nl, false);
        push();
        remember(key);
        body(c, nl, false);
        pop();
    }

    void body(const Cell& c, uint32_t bits, bool by_ref) {
        uint32_t t = c.type();
        if (in(ANY_BLOCK, t)) {
            begin(t, bits, c.head() != 0);
            if (plain_ || c.head() != 0) number(c.head());
            if (by_ref) return;
            SeriesBuffer* s = series_of(&c);
            uint32_t n = s->count();
            number(n);
            for (uint32_t i = 0; i < n; ++i) value(reinterpret_cast<Cell*>(memory::buffer(c.node())->data_at(0))[i]);
            return;
        }
        switch (t) {
            case TYPE_STRING: case TYPE_FILE: case TYPE_URL: case TYPE_TAG: case TYPE_EMAIL: case TYPE_REF:
            case TYPE_BINARY: {
                SeriesBuffer* s = series_of(&c);
                uint32_t unit = t == TYPE_BINARY ? 1 : s->unit();
                if (plain_ && t != TYPE_BINARY) bits |= unit << 8;
                begin(t, bits, c.head() != 0);
                if (plain_ || c.head() != 0) number(c.head());
                if (by_ref) return;
                uint32_t n = s->count();
                if (t == TYPE_BINARY || plain_) number(n);
                else varint(n << 2 | (unit == 4 ? 2 : unit == 2 ? 1 : 0));
                bytes(s->data_at(0), uint64_t{n} * unit);
                if (plain_) pad4();
                return;
            }
            case TYPE_VECTOR: {
                // The element type and the unit, then the whole buffer.
                SeriesBuffer* s = series_of(&c);
                uint32_t unit = s->unit();
                if (plain_) bits |= unit << 8;
                begin(t, bits, c.head() != 0);
                if (plain_ || c.head() != 0) number(c.head());
                if (by_ref) return;
                uint32_t n = s->count();
                if (plain_) {
                    u32(n);
                    u32(c.data3);
                } else {
                    byte(static_cast<uint8_t>(c.data3 << 2 | (unit == 8 ? 3 : unit == 4 ? 2 : unit == 2 ? 1 : 0)));
                    varint(n);
                }
                bytes(s->data_at(0), uint64_t{n} * unit);
                if (plain_) pad4();
                return;
            }
            case TYPE_IMAGE: {
                begin(t, bits, c.head() != 0);
                if (plain_ || c.head() != 0) number(c.head());
                if (by_ref) return;
                uint32_t w = image::width_of(&c), h = image::height_of(&c);
                if (plain_) {
                    number(h << 16 | w);
                } else {
                    number(w);
                    number(h);
                }
                if (const image::Bitmap* b = image::bitmap_of(&c))
                    bytes(reinterpret_cast<const uint8_t*>(b->pixels.data()), b->pixels.size() * 4);
                return;
            }
            case TYPE_BITSET: {
                bool complemented = (series_of(&c)->flags & SERIES_COMPLEMENT) != 0;
                begin(t, bits | (complemented ? P_COMPLEMENT : 0), complemented);
                if (by_ref) return;
                SeriesBuffer* s = series_of(&c);
                number(s->count());
                bytes(s->data_at(0), s->count());
                if (plain_) pad4();
                return;
            }
            case TYPE_WORD: case TYPE_SET_WORD: case TYPE_LIT_WORD: case TYPE_GET_WORD: case TYPE_REFINEMENT: {
                begin(t, bits, true);
                symbol(c.symbol());
                signed_number(c.index());
                if (by_ref) return;
                Cell owner = *context::self_of(c.ctx());
                owner.header &= 0xFF;
                body(owner, 0, false);
                return;
            }
            case TYPE_OBJECT: {
                Node handler = c.data3;
                begin(t, bits | (handler && !by_ref ? P_HANDLER : 0), handler && !by_ref);
                if (by_ref) return;
                signed_number(static_cast<int32_t>(c.data2));
                if (handler) {
                    auto* h = reinterpret_cast<Cell*>(memory::buffer(handler)->data_at(0));
                    signed_number(static_cast<int32_t>(h[0].data2));
                    signed_number(static_cast<int32_t>(h[1].data2));
                }
                context_record(c.ctx());
                return;
            }
            case TYPE_MAP: {
                // Only live pairs are written: a removed pair's value cell
                // has a zero header.
                begin(t, bits);
                if (by_ref) return;
                uint32_t n = series_of(&c)->count() & ~1u;
                uint32_t live = 0;
                for (uint32_t i = 0; i < n; i += 2) live += map_cell(c, i + 1).header != 0;
                number(2 * live);
                for (uint32_t i = 0; i < n; i += 2) {
                    if (map_cell(c, i + 1).header == 0) continue;
                    value(map_cell(c, i));
                    value(map_cell(c, i + 1));
                }
                return;
            }
            case TYPE_FUNCTION: {
                begin(t, bits);
                if (by_ref) return;
                Cell spec{TYPE_BLOCK, 0, c.data2, 0};
                Cell body_block = *function::more(&c, function::MORE_BODY);
                number(series_of(&spec)->count());
                number(body_block.type() == TYPE_BLOCK ? series_of(&body_block)->count() : 0);
                context_record(c.ctx());
                uint32_t saved = position_;
                position_ = 0;
                value(spec);
                position_ = 1;
                value(body_block);
                position_ = saved;
                return;
            }
            default: no_codec(c);
        }
    }

    static Cell map_cell(const Cell& map, uint32_t i) {
        return reinterpret_cast<Cell*>(memory::buffer(map.node())->data_at(0))[i];
    }

    void context_record(Node ctx) {
        const Cell* cc = context::cell_of(ctx);
        uint32_t kind = (cc->header & FLAG_CTX_KIND_MASK) >> context::KIND_SHIFT;
        bool on_stack = (cc->header & FLAG_CTX_ON_STACK) != 0;
        bool self = (cc->header & FLAG_CTX_SELF) != 0;
        uint32_t n = context::word_count(ctx);
        bool values = false;
        if (!on_stack)
            for (uint32_t i = 0; i < n && !values; ++i) values = context::value_at(ctx, i)->type() != TYPE_UNSET;
        if (plain_) {
            u32(TYPE_CONTEXT | kind << P_CTX_KIND_SHIFT | (self ? P_CTX_SELF : 0) | (on_stack ? P_CTX_ON_STACK : 0) |
                (values ? P_CTX_VALUES : 0));
        } else {
            byte(TYPE_CONTEXT);
            byte(static_cast<uint8_t>(kind | (on_stack ? CTX_ON_STACK : 0) | (self ? CTX_SELF : 0) |
                                      (values ? CTX_VALUES : 0)));
        }
        number(n);
        for (uint32_t i = 0; i < n; ++i) symbol(context::word_at(ctx, i)->symbol());
        if (values)
            for (uint32_t i = 0; i < n; ++i) value(*context::value_at(ctx, i));
    }
};

// ---- Entry points ------------------------------------------------------------------------

Cell* to_binary(const std::vector<uint8_t>& img, Cell* out) {
    Cell b{};
    binary::make_at(&b, static_cast<uint32_t>(img.size()));
    SeriesBuffer* s = series_of(&b);
    std::memcpy(s->data_at(0), img.data(), img.size());
    s->tail = s->offset + static_cast<uint32_t>(img.size());
    *out = b;
    return out;
}

Cell* encode_with(const Cell* value, Cell* out, bool plain) {
    codec_mode = true;
    Cell v = *value;
    Cell* top = stack::top;
    stack::push(&v);  // keeps the value alive until the binary exists
    Encoder e(plain, false);
    e.value(v);
    std::vector<uint8_t> img = e.image(1, VERSION, false);
    Cell b;
    to_binary(img, &b);
    stack::top = top;
    *out = b;
    return out;
}

}  // namespace

Cell* encode_cp(const Cell* value, Cell* out) { return encode_with(value, out, false); }
Cell* encode(const Cell* value, Cell* out) { return encode_with(value, out, true); }

Cell* encode_boot(const Cell* source, Cell* out) {
    Cell b = *source;
    Cell* top = stack::top;
    stack::push(&b);
    Encoder e(false, true);
    uint32_t n = block::rs_length_q(&b);
    for (uint32_t i = 0; i < n; ++i) e.value(block::rs_clamp_head(&b)[i]);
    std::vector<uint8_t> img = e.image(n, BOOT_VERSION, true);
    Cell r;
    to_binary(img, &r);
    stack::top = top;
    *out = r;
    return out;
}

}  // namespace zembin
