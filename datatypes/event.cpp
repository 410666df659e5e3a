// event!: GUI events.
#include "datatypes/event.h"

#include <iterator>

#include "datatypes/block.h"
#include "datatypes/datatype.h"
#include "datatypes/float.h"
#include "datatypes/pair.h"
#include "datatypes/scalar.h"
#include "evaluator/actions.h"
#include "evaluator/block_storage.h"
#include "evaluator/context.h"
#include "evaluator/errors.h"
#include "evaluator/stack.h"
#include "evaluator/symbol.h"
#include "evaluator/word_storage.h"
#include "runtime/collector.h"
#include "runtime/memory.h"

namespace event {

namespace {

// ---- Word tables -----------------------------------------------------------------

const char* const type_names[TYPE_LAST + 1] = {
    nullptr,    "down",    "up",      "mid-down", "mid-up", "alt-down", "alt-up",    "aux-down", "aux-up",
    "click",    "dbl-click", "wheel", "over",     "key",    "key-down", "key-up",    "ime",      "focus",
    "unfocus",  "enter",   "zoom",    "pan",      "rotate", "two-tap",  "press-tap", "select",   "change",
    "menu",     "close",   "move",    "resize",   "moving", "resizing", "time",      "drawing",  "scroll"};

const char* const field_names[] = {nullptr,  "type",     "face",      "window",    "offset",
                                   "key",    "picked",   "flags",     "away?",     "down?",
                                   "mid-down?", "alt-down?", "aux-down?", "ctrl?", "shift?",
                                   "orientation"};
constexpr uint32_t FIELD_COUNT = 15;

// Flag words in the order the flags field lists them.
struct FlagWord {
    const char* name;
    uint32_t bit;
};
const FlagWord listed_flags[] = {{"away", FLAG_AWAY},         {"down", FLAG_DOWN},       {"mid-down", FLAG_MID_DOWN},
                                 {"alt-down", FLAG_ALT_DOWN}, {"aux-down", FLAG_AUX_DOWN}, {"control", FLAG_CONTROL},
                                 {"shift", FLAG_SHIFT},       {"alt", FLAG_ALT}};
// What `make event!` takes in its flags: block.
const FlagWord made_flags[] = {{"control", FLAG_CONTROL},   {"shift", FLAG_SHIFT},   {"alt", FLAG_ALT},
                               {"command", FLAG_COMMAND},   {"away", FLAG_AWAY},     {"down", FLAG_DOWN},
                               {"mid-down", FLAG_MID_DOWN}, {"alt-down", FLAG_ALT_DOWN}, {"aux-down", FLAG_AUX_DOWN}};

uint32_t type_symbols[TYPE_LAST + 1];
uint32_t field_symbols[FIELD_COUNT + 1];
uint32_t listed_symbols[std::size(listed_flags)];
uint32_t made_symbols[std::size(made_flags)];

// ---- Back-end records ------------------------------------------------------------

constexpr uint32_t RING = 64;
struct Kept {
    uint32_t serial = 0;
    Record record;
};
Kept ring[RING];
uint32_t next_serial = 1;

// The block the flags field refills at every read.
Cell flags_block{TYPE_NONE, 0, 0, 0};

void mark() {
    for (Kept& k : ring)
        if (k.serial && k.record.face.type() != 0) collector::mark_block(&k.record.face, &k.record.face + 1);
    if (flags_block.type() == TYPE_BLOCK) collector::mark_block_node(&flags_block.data2);
}

const Record* record_of(const Cell* ev) {
    uint32_t serial = ev->data2;
    const Kept& k = ring[serial % RING];
    return serial != 0 && k.serial == serial ? &k.record : nullptr;
}

bool made(const Cell* ev) { return (ev->data3 & FLAG_MADE) != 0; }

Cell word_cell(uint32_t symbol) {
    Cell w{};
    word::make_at(symbol, &w);
    return w;
}

uint32_t symbol_index(const Cell* word, const uint32_t* symbols, uint32_t count) {
    if (word->type() < TYPE_WORD || word->type() > TYPE_REFINEMENT) return 0;
    for (uint32_t i = 1; i < count; ++i)
        if (symbols[i] && scalar::word_is(word, symbols[i])) return i;
    return 0;
}

// The field number a path element or pick index names: 1..15, or 0.
uint32_t field_of(const Cell* element) {
    if (element->type() == TYPE_INTEGER) {
        int32_t n = element->int_value();
        return n >= 1 && n <= static_cast<int32_t>(FIELD_COUNT) ? static_cast<uint32_t>(n) : 0;
    }
    return symbol_index(element, field_symbols, FIELD_COUNT + 1);
}

// A made event's value cell n (1 face .. 4 picked), or null.
const Cell* made_value(const Cell* ev, uint32_t n) {
    if (!made(ev) || ev->data2 == 0) return nullptr;
    Cell block{TYPE_BLOCK, 0, ev->data2, 0};
    if (block::rs_length_q(&block) < n) return nullptr;
    return block::rs_head(&block) + (n - 1);
}

Cell logic_of(bool b) { return Cell{TYPE_LOGIC, b ? 1u : 0u, 0, 0}; }

}  // namespace

// ---- Helpers ---------------------------------------------------------------------

void init() {
    for (uint32_t i = 1; i <= TYPE_LAST; ++i) type_symbols[i] = symbol::make(type_names[i]);
    for (uint32_t i = 1; i <= FIELD_COUNT; ++i) field_symbols[i] = symbol::make(field_names[i]);
    for (size_t i = 0; i < std::size(listed_flags); ++i) listed_symbols[i] = symbol::make(listed_flags[i].name);
    for (size_t i = 0; i < std::size(made_flags); ++i) made_symbols[i] = symbol::make(made_flags[i].name);
    for (Kept& k : ring) k = Kept{};
    flags_block = Cell{TYPE_NONE, 0, 0, 0};
    collector::register_mark_callback(mark);
    datatype::init_type<TYPE_EVENT>();
}

uint32_t keep(const Record& record) {
    if (next_serial == 0) next_serial = 1;  // 0 names no record
    uint32_t serial = next_serial++;
    ring[serial % RING] = Kept{serial, record};
    return serial;
}

Cell make_backend(uint32_t type, uint32_t serial, uint32_t flags) {
    return Cell{TYPE_EVENT, type, serial, flags & ~FLAG_MADE};
}

Cell type_word(uint32_t code) {
    if (code < 1 || code > TYPE_LAST) return scalar::none();
    return word_cell(type_symbols[code]);
}

uint32_t type_code(const Cell* word) { return symbol_index(word, type_symbols, TYPE_LAST + 1); }

const char* key_name(int32_t code) {
    static const char* const names[] = {"up",     "down",   "right",  "left",      "end",  "home",
                                        "insert", "delete", "page-up", "page-down", nullptr, "F1",
                                        "F2",     "F3",     "F4",     "F5",        "F6",   "F7",
                                        "F8",     "F9",     "F10",    "F11",       "F12"};
    if (code > -20 || code < -42) return nullptr;
    return names[-20 - code];
}

Cell* field(const Cell* ev, uint32_t n, Cell* out) {
    const Record* r = made(ev) ? nullptr : record_of(ev);
    const Cell* v;
    switch (n) {
        case 1: *out = type_word(ev->data1); break;
        case 2: case 3:
            if (made(ev)) *out = (v = made_value(ev, n - 1)) ? *v : scalar::none();
            else *out = n == 2 && r && r->face.type() != 0 ? r->face : scalar::none();
            break;
        case 4:
            if (made(ev)) *out = (v = made_value(ev, 3)) ? *v : scalar::none();
            else pair::make_at(out, r ? static_cast<int32_t>(r->x) : 0, r ? static_cast<int32_t>(r->y) : 0);
            if (out->type() == TYPE_NONE) pair::make_at(out, 0, 0);
            break;
        case 5: {
            if (made(ev)) {
                uint32_t key = ev->data3 & 0xFFFF;
                *out = key ? Cell{TYPE_CHAR, 0, key, 0} : scalar::none();
            } else if (!r) {
                *out = scalar::none();
            } else if (ev->data3 & FLAG_SPECIAL_KEY) {
                const char* name = key_name(r->key);
                *out = name ? word_cell(symbol::make(name)) : scalar::none();
            } else {
                *out = r->key > 0 ? Cell{TYPE_CHAR, 0, static_cast<uint32_t>(r->key), 0} : scalar::none();
            }
            break;
        }
        case 6:
            if (made(ev)) *out = (v = made_value(ev, 4)) ? *v : scalar::integer(0);
            else if (ev->data1 == WHEEL) float_::make_at(out, r ? r->wheel : 0.0);
            else *out = scalar::integer(r ? r->key : 0);
            break;
        case 7: {
            if (flags_block.type() != TYPE_BLOCK) block::make_at(&flags_block, 8);
            block::rs_clear(&flags_block, 0);
            for (size_t i = 0; i < std::size(listed_flags); ++i) {
                if (!(ev->data3 & listed_flags[i].bit)) continue;
                Cell w = word_cell(listed_symbols[i]);
                block::rs_append(&flags_block, &w);
            }
            *out = flags_block;
            break;
        }
        case 8: *out = logic_of(ev->data3 & FLAG_AWAY); break;
        case 9: *out = logic_of(ev->data3 & FLAG_DOWN); break;
        case 10: *out = logic_of(ev->data3 & FLAG_MID_DOWN); break;
        case 11: *out = logic_of(ev->data3 & FLAG_ALT_DOWN); break;
        case 12: *out = logic_of(ev->data3 & FLAG_AUX_DOWN); break;
        case 13: *out = logic_of(ev->data3 & FLAG_CONTROL); break;
        case 14: *out = logic_of(ev->data3 & FLAG_SHIFT); break;
        default: *out = scalar::none(); break;
    }
    return out;
}

// ---- Actions ---------------------------------------------------------------------

// make event! [type: 'click key: #"a" ...]: set-words with their values;
// anything else in the block is passed over.
Cell* make(Cell* proto, Cell* spec, uint32_t) {
    uint32_t type = 0, flags = FLAG_MADE;
    Cell values[4] = {scalar::none(), scalar::none(), scalar::none(), scalar::integer(0)};
    pair::make_at(&values[2], 0, 0);
    bool any_value = false;
    if (spec->type() == TYPE_BLOCK) {
        uint32_t n = block::rs_length_q(spec);
        for (uint32_t i = 0; i + 1 < n; ++i) {
            Cell name = block::rs_head(spec)[i];
            if (name.type() != TYPE_SET_WORD) continue;
            Cell value = block::rs_head(spec)[++i];
            if ((value.type() == TYPE_WORD || value.type() == TYPE_GET_WORD) && value.ctx() != 0) {
                const Cell* bound = context::peek(&value, value.ctx());
                if (bound) value = *bound;
            }
            uint32_t f = field_of(&name);
            switch (f) {
                case 1:
                    if (value.type() == TYPE_WORD || value.type() == TYPE_LIT_WORD) {
                        type = type_code(&value);
                        if (type == 0) fire(err::NOT_EVENT_TYPE, &value);
                    }
                    break;
                case 2: case 3:
                    if (value.type() == TYPE_OBJECT) values[f - 2] = value, any_value = true;
                    break;
                case 4:
                    if (value.type() == TYPE_PAIR || value.type() == TYPE_POINT2D) values[2] = value, any_value = true;
                    break;
                case 5:
                    if (value.type() == TYPE_CHAR) flags |= value.data2 & 0xFFFF;
                    break;
                case 6:
                    if (value.type() == TYPE_INTEGER) values[3] = value, any_value = true;
                    break;
                case 7:
                    if (value.type() != TYPE_BLOCK) break;
                    for (uint32_t k = 0, m = block::rs_length_q(&value); k < m; ++k) {
                        const Cell* w = block::rs_head(&value) + k;
                        if (w->type() < TYPE_WORD || w->type() > TYPE_REFINEMENT) continue;
                        for (size_t j = 0; j < std::size(made_flags); ++j)
                            if (scalar::word_is(w, made_symbols[j])) flags |= made_flags[j].bit;
                    }
                    break;
                default: break;
            }
        }
    }
    Cell result{TYPE_EVENT, type, 0, flags};
    if (any_value) {
        Cell block;
        block::make_at(&block, 4);
        for (const Cell& v : values) block::rs_append(&block, &v);
        result.data2 = block.node();
    }
    *proto = result;
    return proto;
}

int32_t form(Cell*, Cell* buffer, Cell*, int32_t limit) { return scalar::append(buffer, "event", limit); }

int32_t mold(Cell* value, Cell* buffer, bool, bool, bool, Cell* part, int32_t limit, int32_t) {
    return form(value, buffer, part, limit);
}

Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell* holder, Cell* prev, int32_t index,
                bool, bool, bool) {
    uint32_t n = element->type() == TYPE_INTEGER ? 0 : field_of(element);
    if (!value) {
        if (n == 0) fire(err::INVALID_PATH, path ? path : parent, element);
        Cell r{};
        field(parent, n, &r);
        return stack::push(&r);
    }
    if (n != 1 || (value->type() != TYPE_WORD && value->type() != TYPE_LIT_WORD))
        fire(err::BAD_PATH_SET, path ? path : parent, element);
    uint32_t code = type_code(value);
    if (code == 0) fire(err::NOT_EVENT_TYPE, value);
    parent->data1 = code;
    scalar::store_back(parent, path, holder, prev, index);
    return value;
}

Cell* pick(Cell* value, int32_t, Cell* boxed) {
    uint32_t n = field_of(boxed);
    if (n == 0) fire(err::OUT_OF_RANGE, boxed);
    Cell r{};
    field(value, n, &r);
    return stack::push(&r);
}

int32_t compare(Cell* value1, Cell* value2, int32_t op) {
    if (value2->type() != TYPE_EVENT) return actions::NOT_COMPARABLE;
    switch (op) {
        case actions::COMP_SAME:
            return value1->data1 == value2->data1 && value1->data2 == value2->data2 && value1->data3 == value2->data3
                       ? 0 : 1;
        case actions::COMP_EQUAL: case actions::COMP_NOT_EQUAL: case actions::COMP_STRICT_EQUAL:
        case actions::COMP_FIND:
            return 0;
        default: return actions::NOT_COMPARABLE;
    }
}

}  // namespace event

// ---- Registration --------------------------------------------------------------

template <>
void datatype::init_type<TYPE_EVENT>() {
    register_type<TYPE_EVENT, "o---ooo-o --------------- --------------o------------ -----------">(
        own<slot::make>(event::make), own<slot::form>(event::form), own<slot::mold>(event::mold),
        own<slot::eval_path>(event::eval_path), own<slot::compare>(event::compare), own<slot::pick>(event::pick));
}
