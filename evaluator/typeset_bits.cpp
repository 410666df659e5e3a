// The bits of typesets and their making from function specs.
#include "evaluator/typeset_bits.h"

#include "evaluator/block_storage.h"
#include "evaluator/context.h"
#include "evaluator/datatype_registry.h"
#include "evaluator/errors.h"

namespace typeset {

Cell word_value{};

// ---- Bits --------------------------------------------------------------------------

void clear(Cell* ts) { ts->data1 = ts->data2 = ts->data3 = 0; }

uint32_t count(const Cell* ts) {
    uint32_t n = 0;
    for (uint32_t t = 1; t <= datatype::top_id; ++t) n += has_q(ts, t);
    return n;
}

Cell* make_at(Cell* slot) {
    slot->header = TYPE_TYPESET;
    clear(slot);
    return slot;
}

Cell default_set() {
    Cell ts;
    make_at(&ts);
    ts.data1 = ts.data2 = ts.data3 = 0xFFFFFFFF;
    bytes(&ts)[TYPE_UNSET >> 3] &= static_cast<uint8_t>(~(0x80u >> (TYPE_UNSET & 7)));
    return ts;
}

namespace {

void or_in(Cell* ts, const Cell* other) {
    ts->data1 |= other->data1;
    ts->data2 |= other->data2;
    ts->data3 |= other->data3;
}

// The value of a word, which must be set.
const Cell* value_of_word(const Cell* word) {
    const Cell* v = context::get(word);
    if (v->type() == TYPE_UNSET) fire(err::NO_VALUE, word);
    return v;
}

}  // namespace

// ---- Making ---------------------------------------------------------------------------

Cell* make_in(Cell* block, uint32_t bits1, uint32_t bits2, uint32_t bits3) {
    Cell* ts = make_at(alloc_tail(block));
    ts->data1 = bits1;
    ts->data2 = bits2;
    ts->data3 = bits3;
    return ts;
}

Cell* make_default(Cell* block) {
    Cell ts = default_set();
    return copy_cell(&ts, alloc_tail(block));
}

Cell* make_from_spec(Cell* block, const Cell* types) {
    Cell ts;
    make_at(&ts);
    uint32_t n = block::rs_length_q(types);
    for (uint32_t i = 0; i < n; ++i) {
        const Cell* value = block::rs_head(types) + i;
        if (value->type() == TYPE_WORD) value = value_of_word(value);
        switch (value->type()) {
            case TYPE_DATATYPE: set_bit(&ts, value->data1); break;
            case TYPE_TYPESET: or_in(&ts, value); break;
            case TYPE_WORD: add(&ts, &word_value); break;
            case TYPE_BLOCK: break;
            default: fire(err::INVALID_TYPE_SPEC, value);
        }
    }
    return copy_cell(&ts, alloc_tail(block));
}

void add(Cell* ts, const Cell* value) {
    if (value->type() == TYPE_WORD) value = value_of_word(value);
    switch (value->type()) {
        case TYPE_DATATYPE: set_bit(ts, value->data1); break;
        case TYPE_TYPESET: or_in(ts, value); break;
        default: fire(err::INVALID_ARG, value);
    }
}

}  // namespace typeset
