// The natives that bind, test, convert and build values: bind, in,
// context?, value?, unset, complement?, the hex and base codecs (dehex,
// enhex, debase, enbase), case changes, the as- makers, as, new-line and
// extend.
#include <cmath>
#include <vector>

#include "datatypes/binary.h"
#include "datatypes/bitset.h"
#include "datatypes/block.h"
#include "evaluator/context.h"
#include "datatypes/datatype.h"
#include "datatypes/float.h"
#include "datatypes/integer.h"
#include "datatypes/money.h"
#include "datatypes/pair.h"
#include "datatypes/point2d.h"
#include "datatypes/point3d.h"
#include "datatypes/string.h"
#include "datatypes/url.h"
#include "datatypes/word.h"
#include "evaluator/actions.h"
#include "natives/native_support.h"
#include "runtime/typesets.h"

namespace natives {

namespace {

// The context an object-like or function value carries in word 1 (0 for
// other values).
Node context_of_value(const Cell* v) {
    switch (v->type()) {
        case TYPE_OBJECT:
        case TYPE_ERROR:
        case TYPE_PORT:
        case TYPE_FUNCTION:
        case TYPE_ROUTINE: return v->ctx();
        default: return 0;
    }
}

constexpr typesets::Mask BLOCK_FAMILY = typesets::of({TYPE_BLOCK, TYPE_PAREN}) | ANY_PATH;

// A text argument's bytes, for the codecs: UTF-8 of a string, the bytes of
// a binary from its index.
std::vector<uint8_t> bytes_of(const Cell* v) {
    std::vector<uint8_t> out;
    binary::collect_bytes(v, false, 0, false, out);
    return out;
}

}  // namespace

// ---- Binding -----------------------------------------------------------------------------

// bind word context /copy: a block is bound in place (or a deep copy of it
// with /copy); a word is rebound when the context has its symbol.
Unwind n_bind(bool, const int32_t* refs) {
    Cell target = *arg(0);
    Cell source = *arg(1);
    Node ctx = in(ALL_WORD, source.type()) ? source.ctx() : context_of_value(&source);
    if (!ctx) {
        if (in(ALL_WORD, source.type())) fire(err::NOT_DEFINED, &source);
        expect_arg(source.type(), 1);
    }
    if (in(ALL_WORD, target.type())) {
        context::bind_word(ctx, &target);
        return result(target);
    }
    if (target.type() != TYPE_BLOCK) expect_arg(target.type(), 0);
    bool self = source.type() == TYPE_OBJECT;
    if (refs[0] >= 0) target = *block::clone(&target, true, true);
    context::bind(&target, ctx, self);
    return result(target);
}

// in object word: the word bound to the object's context, or none.
// The context `in` looks a word up in: an object's or a function's own, or
// the argument context of a native!, action! or op!.
Node in_context(const Cell* v) {
    Node ctx = context::of_arguments(v);
    return ctx ? ctx : context_of_value(v);
}

Unwind n_in(bool, const int32_t*) {
    Cell obj = *arg(0);
    Cell w = *arg(1);
    Node ctx = in_context(&obj);
    if (!ctx) expect_arg(obj.type(), 0);
    if (!in(ALL_WORD, w.type()) || w.type() == TYPE_ISSUE) expect_arg(w.type(), 1);
    if (context::bind_word(ctx, &w) < 0) return none_result();
    if (w.type() == TYPE_REFINEMENT) set_type(&w, TYPE_WORD);
    return result(w);
}

// context? word: what the self cell of the word's context holds.
Unwind n_context_q(bool, const int32_t*) {
    Cell w = *arg(0);
    if (!w.ctx()) fire(err::NOT_DEFINED, &w);
    return result(*context::self_of(w.ctx()));
}

// value? value: whether a word has a value (anything else: whether it is set).
Unwind n_value_q(bool, const int32_t*) {
    Cell v = *arg(0);
    switch (v.type()) {
        case TYPE_WORD:
        case TYPE_SET_WORD:
        case TYPE_LIT_WORD:
        case TYPE_GET_WORD: {
            // Looked up without raising: an unbound word, a word its context
            // lacks or a function word outside a call of it has no value.
            Node ctx = v.ctx();
            if (!ctx) return logic_result(false);
            int32_t i = v.index();
            if (i < 0) i = context::find_symbol(ctx, v.symbol(), true);
            if (i < 0 || static_cast<uint32_t>(i) >= context::word_count(ctx)) return logic_result(false);
            const Cell* value = context::value_at(ctx, static_cast<uint32_t>(i));
            return logic_result(value && value->type() != TYPE_UNSET);
        }
        default: return logic_result(v.type() != TYPE_UNSET);
    }
}

// unset word-or-block: the word, or every word! of the block from its
// index, gets unset!.
Unwind n_unset(bool, const int32_t*) {
    Cell target = *arg(0);
    Cell nothing = unset_cell();
    if (target.type() == TYPE_BLOCK) {
        uint32_t n = block::rs_length_q(&target);
        for (uint32_t i = 0; i < n; ++i) {
            Cell w = *block::rs_abs_at(&target, target.head() + i);
            if (w.type() == TYPE_WORD) context::set(&w, &nothing);
        }
    } else if (in(ALL_WORD, target.type())) {
        context::set(&target, &nothing);
    } else {
        expect_arg(target.type(), 0);
    }
    return unset_result();
}

// ---- Bitsets and text codecs ----------------------------------------------------------

Unwind n_complement_q(bool, const int32_t*) {
    if (arg(0)->type() != TYPE_BITSET) expect_arg(arg(0)->type(), 0);
    return logic_result(bitset::complemented_q(arg(0)));
}

// dehex value: a new string! with the %XX escapes decoded.
Unwind n_dehex(bool, const int32_t*) {
    Cell source = *arg(0);
    if (!in(ANY_STRING, source.type())) expect_arg(source.type(), 0);
    Cell* target = string::rs_make_at(stack::push_slot(), string::rs_length_q(&source));
    url::percent_decode(&source, target);
    return result(*target);
}

// enhex value: a new string! of the UTF-8 text with escapes (only the
// unreserved characters stay for a string!, the URL table for the others).
Unwind n_enhex(bool, const int32_t*) {
    Cell source = *arg(0);
    if (!in(ANY_STRING, source.type())) expect_arg(source.type(), 0);
    Cell* target = string::rs_make_at(stack::push_slot(), string::rs_length_q(&source));
    url::percent_encode(&source, target, source.type() == TYPE_STRING ? url::MODE_UNRESERVED : 255);
    return result(*target);
}

// debase value /base base-value: the decoded bytes, or none when the text
// is not valid in the base (64 by default).
Unwind n_debase(bool, const int32_t* refs) {
    Cell text = *arg(0);
    int32_t base = 64;
    if (Cell* b = ref_arg(refs, 0)) {
        if (b->type() != TYPE_INTEGER) expect_arg(b->type(), 1);
        base = b->int_value();
    }
    Node (*decode)(const uint8_t*, uint32_t, uint32_t);
    switch (base) {
        case 16: decode = binary::decode_16; break;
        case 2: decode = binary::decode_2; break;
        case 58: decode = binary::decode_58; break;
        case 64: decode = binary::decode_64; break;
        default: fire(err::INVALID_ARG, ref_arg(refs, 0));
    }
    if (!in(ANY_STRING, text.type())) expect_arg(text.type(), 0);
    *arg(0) = none_cell();
    uint32_t length = string::rs_length_q(&text);
    SeriesBuffer* s = series_of(&text);
    const uint8_t* start = length ? s->data_at(text.head() * s->unit()) : nullptr;
    Node node = decode(start, length, s->unit());
    if (!node) return none_result();
    return result(Cell{TYPE_BINARY, 0, node, 0});
}

// enbase value /base base-value: the text of the bytes (a string's UTF-8)
// in base 64, 58, 16 or 2.
Unwind n_enbase(bool, const int32_t* refs) {
    Cell value = *arg(0);
    int32_t base = 64;
    if (Cell* b = ref_arg(refs, 0)) {
        if (b->type() != TYPE_INTEGER) expect_arg(b->type(), 1);
        base = b->int_value();
    }
    uint8_t* (*encode)(uint8_t*, const uint8_t*, uint32_t);
    switch (base) {
        case 64: encode = binary::encode_64; break;
        case 58: encode = binary::encode_58; break;
        case 16: encode = binary::encode_16; break;
        case 2: encode = binary::encode_2; break;
        default: fire(err::INVALID_ARG, ref_arg(refs, 0));
    }
    if (value.type() != TYPE_BINARY && !in(ANY_STRING, value.type())) expect_arg(value.type(), 0);
    std::vector<uint8_t> bytes = bytes_of(&value);
    // The text may not reach 2^31 characters: count in 64 bits first.
    uint64_t n = bytes.size();
    uint64_t size = base == 64 ? (n + 2) / 3 * 4 : base == 16 ? n * 2 : base == 2 ? n * 8 : n * 138 / 100 + 1;
    if (size >= 0x80000000u) fire(err::TOO_LONG);
    std::vector<uint8_t> text(binary::encoded_size(base, static_cast<uint32_t>(n)) + 1);
    uint8_t* end = encode(text.data(), bytes.data(), static_cast<uint32_t>(n));
    uint32_t length = static_cast<uint32_t>(end - text.data());
    Cell* str = string::rs_make_at(stack::push_slot(), length);
    string::concatenate_literal_part(str, reinterpret_cast<const char*>(text.data()), length);
    return result(*str);
}

// ---- Case changes ------------------------------------------------------------------------

static Unwind change_case(const int32_t* refs, bool upper) {
    Cell* value = arg(0);
    if (value->type() != TYPE_CHAR && !in(ANY_STRING, value->type())) expect_arg(value->type(), 0);
    Cell* part = ref_arg(refs, 0);
    Cell limit;
    if (part) {
        if (part->type() == TYPE_FLOAT) {
            limit = Cell{TYPE_INTEGER, 0, static_cast<uint32_t>(integer::truncate(part->float_value())), 0};
            part = &limit;
        } else if (part->type() != TYPE_INTEGER) {
            // A position must be one in the same text.
            if (!in(ANY_STRING, part->type()) || value->type() == TYPE_CHAR || part->node() != value->node())
                fire(err::INVALID_PART, part);
        }
    }
    if (upper)
        string::uppercase(value, part);
    else
        string::lowercase(value, part);
    stack::keep();
    return Unwind::none;
}

Unwind n_uppercase(bool, const int32_t* refs) { return change_case(refs, true); }
Unwind n_lowercase(bool, const int32_t* refs) { return change_case(refs, false); }

// ---- Makers of scalars ---------------------------------------------------------------------

namespace {

// A coordinate of as-pair: an integer, or a float truncated toward zero.
int32_t pair_coordinate(const Cell* c) {
    if (c->type() == TYPE_INTEGER) return c->int_value();
    if (c->type() != TYPE_FLOAT) fire(err::INVALID_ARG, c);
    double d = c->float_value();
    if (!std::isfinite(d)) fire(err::INVALID_ARG, c);
    if (integer::out_of_range_q(d)) fire(err::OUT_OF_RANGE, c);
    return integer::truncate(d);
}

float point_coordinate(const Cell* c) {
    if (c->type() == TYPE_INTEGER) return static_cast<float>(c->int_value());
    if (c->type() != TYPE_FLOAT) fire(err::INVALID_ARG, c);
    return static_cast<float>(c->float_value());
}

}  // namespace

Unwind n_as_pair(bool, const int32_t*) {
    int32_t x = pair_coordinate(arg(0));
    int32_t y = pair_coordinate(arg(1));
    Cell r{};
    pair::make_at(&r, x, y);
    return result(r);
}

Unwind n_as_point2d(bool, const int32_t*) {
    Cell r{};
    point2d::make_at(&r, point_coordinate(arg(0)), point_coordinate(arg(1)));
    return result(r);
}

Unwind n_as_point3d(bool, const int32_t*) {
    Cell r{};
    point3d::make_at(&r, point_coordinate(arg(0)), point_coordinate(arg(1)), point_coordinate(arg(2)));
    return result(r);
}

// as-money currency amount: an unknown currency code is a bad denomination.
Unwind n_as_money(bool, const int32_t*) {
    Cell code = *arg(0);
    Cell amount = *arg(1);
    if (!in(ALL_WORD, code.type())) expect_arg(code.type(), 0);
    int32_t index = money::get_currency_index(code.symbol());
    if (index < 0) fire(err::BAD_DENOM, &code);
    Cell m{};
    if (amount.type() == TYPE_INTEGER)
        money::make_integer_at(&m, amount.int_value());
    else if (amount.type() == TYPE_FLOAT)
        money::make_float_at(&m, amount.float_value(), false);
    else
        expect_arg(amount.type(), 1);
    money::set_currency(&m, static_cast<uint32_t>(index));
    return result(m);
}

// ---- Series views and markers ----------------------------------------------------------------

// as type value: the same series seen as another type of its family.
Unwind n_as(bool, const int32_t*) {
    Cell type = *arg(0);
    Cell value = *arg(1);
    uint32_t to = type.type() == TYPE_DATATYPE ? type.data1 : type.type();
    uint32_t from = value.type();
    bool same_family = (in(BLOCK_FAMILY, to) && in(BLOCK_FAMILY, from)) ||
                       (in(ANY_STRING, to) && in(ANY_STRING, from));
    if (!same_family) {
        Cell a, b;
        datatype::make_at(&a, from);
        datatype::make_at(&b, to);
        fire(err::NOT_SAME_CLASS, &a, &b);
    }
    set_type(&value, to);
    return result(value);
}

// new-line position value /all /skip size: sets or clears the new-line
// marker of the cell at the position, or of every cell from it.
Unwind n_new_line(bool, const int32_t* refs) {
    Cell position = *arg(0);
    if (!in(ANY_BLOCK, position.type())) expect_arg(position.type(), 0);
    bool on = truthy(arg(1));
    int32_t size = 0;
    if (refs[0] >= 0) size = 1;
    if (Cell* skip = ref_arg(refs, 1)) {
        if (skip->int_value() <= 0) fire(err::OUT_OF_RANGE, skip);
        size = skip->int_value();
    }
    uint32_t n = block::rs_length_q(&position);
    Cell* first = n ? block::rs_abs_at(&position, position.head()) : nullptr;
    if (n) memory::cells_changed(series_of(&position));
    auto mark = [](Cell* c, bool marker) {
        if (marker)
            c->header |= FLAG_NEW_LINE;
        else
            c->header &= ~FLAG_NEW_LINE;
    };
    if (size == 0) {
        if (n) mark(first, on);
    } else {
        for (uint32_t i = 0; i < n; ++i) mark(first + i, (i % static_cast<uint32_t>(size) == 0) == on);
    }
    return result(position);
}

Unwind n_new_line_q(bool, const int32_t*) {
    Cell position = *arg(0);
    if (!in(ANY_BLOCK, position.type())) expect_arg(position.type(), 0);
    if (block::rs_length_q(&position) == 0) return logic_result(false);
    return logic_result(block::rs_abs_at(&position, position.head())->new_line());
}

// extend obj source /case: a map! takes the source's key/value pairs; objects
// are not extended.
Unwind n_extend(bool, const int32_t* refs) {
    Cell target = *arg(0);
    Cell spec = *arg(1);
    if (target.type() == TYPE_OBJECT) fire(err::NOT_DONE);
    if (target.type() != TYPE_MAP) expect_arg(target.type(), 0);
    if (spec.type() == TYPE_MAP) fire(err::NOT_DONE);
    if (spec.type() != TYPE_BLOCK && spec.type() != TYPE_HASH) expect_arg(spec.type(), 1);
    uint32_t n = block::rs_length_q(&spec);
    if (n % 2) fire(err::INVALID_ARG, &spec);
    for (uint32_t i = 0; i < n; i += 2) {
        Cell key = *block::rs_abs_at(&spec, spec.head() + i);
        Cell value = *block::rs_abs_at(&spec, spec.head() + i + 1);
        Cell* slot = stack::push(&target);
        actions::put(slot, &key, &value, refs[0] >= 0);
        stack::pop(1);
    }
    return result(target);
}

}  // namespace natives
