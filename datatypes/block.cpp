// block!: inserting, looking up and copying blocks, their text, and the
// block! actions: making, form and mold, comparison, path steps, insertion
// and modification. The storage layer is evaluator/block_storage.cpp.
#include "datatypes/block.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>
#include <vector>

#include "datatypes/datatype.h"
#include "datatypes/function.h"
#include "datatypes/hash.h"
#include "datatypes/integer.h"
#include "datatypes/scalar.h"
#include "datatypes/series.h"
#include "datatypes/string.h"
#include "datatypes/typeset.h"
#include "datatypes/word.h"
#include "evaluator/actions.h"
#include "evaluator/cycles.h"
#include "evaluator/errors.h"
#include "evaluator/interpreter.h"
#include "evaluator/ownership.h"
#include "evaluator/stack.h"
#include "evaluator/symbol.h"
#include "evaluator/words.h"
#include "runtime/hashtable.h"
#include "runtime/memory.h"
#include "runtime/sort.h"
#include "runtime/sys.h"
#include "runtime/typesets.h"

namespace block {

// ---- Appending, inserting, removing ---------------------------------------------------------

namespace {

// Largest number of cells a block may hold (its bytes must fit 32 bits).
constexpr uint64_t MAX_CELLS = 134217728;

// Opens a gap of `total` cells at cell `at` (from the buffer's first cell),
// growing the buffer first when needed: to twice the needed size, or to
// exactly it with `exact`. The gap's cells are left as they were; read
// cell addresses again afterwards.
void open_gap(const Cell* block, uint32_t at, uint64_t total, bool exact) {
    SeriesBuffer* s = series_of(block);
    memory::cells_changed(s);
    uint64_t used = s->tail - s->offset;
    uint64_t needed = used + total * sizeof(Cell);
    if (total >= MAX_CELLS || needed > memory::MAX_SERIES_SIZE) fire(err::NO_MEMORY);
    if (needed > s->size - s->offset) {
        uint64_t size = exact || 2 * needed > memory::MAX_SERIES_SIZE ? needed : 2 * needed;
        memory::expand_series_copy(s, static_cast<uint32_t>(size));
        s = series_of(block);
    }
    Cell* base = reinterpret_cast<Cell*>(s->offset_addr());
    uint32_t len = s->count();
    std::memmove(base + at + total, base + at, (len - at) * sizeof(Cell));
    s->tail += static_cast<uint32_t>(total * sizeof(Cell));
}

// The cells an insertion adds, read where they are (no copy is held while
// the target grows: a collection may move buffers and nodes). A spliced
// value gives its cells from its index, at most `part` of them (-1: all);
// any other value is one cell. A source on the target's own buffer is
// first cloned onto the value stack, so that opening the gap cannot move
// it under the copy; `release` pops that clone.
struct Source {
    Cell value;      // the value, or the block whose cells are copied
    bool spliced;
    uint32_t count;  // cells per group
    bool cloned;

    Source(const Cell* v, const Cell* target, bool only, int32_t part) : value(*v), cloned(false) {
        spliced = !only && in(ANY_BLOCK, value.type());
        if (!spliced) {
            count = 1;
            return;
        }
        count = rs_length_q(&value);
        if (part >= 0 && static_cast<uint32_t>(part) < count) count = static_cast<uint32_t>(part);
        if (count && value.node() == target->node()) {
            Cell copy = value;
            copy.data1 = value.head() < series_of(&value)->count() ? value.head() : series_of(&value)->count();
            value = *clone(&copy, false, false);
            cloned = true;
        }
    }
    void release() const {
        if (cloned) stack::pop(1);
    }
    // Writes `dup` groups of the cells at cell `at` of the block.
    void fill(const Cell* block, uint32_t at, uint32_t dup) const {
        if (count == 0) return;
        if (spliced) {
            for (uint32_t i = 0; i < count; ++i) {
                Cell c = *rs_abs_at(&value, value.head() + i);
                *rs_abs_at(block, at + i) = c;
            }
        } else {
            Cell c = value;
            *rs_abs_at(block, at) = c;
        }
        Cell* first = rs_abs_at(block, at);
        for (uint32_t d = 1; d < dup; ++d)
            std::memcpy(static_cast<void*>(first + d * count), first, count * sizeof(Cell));
    }
};

uint32_t clamp(Cell* block) { return series::clamp(block); }

}  // namespace

Cell* append_block(Cell* block, const Cell* source) {
    Cell src = *source;
    uint32_t n = rs_length_q(&src);
    uint32_t from = src.head();
    for (uint32_t i = 0; i < n; ++i) rs_append(block, rs_abs_at(&src, from + i));
    return block;
}

Cell* insert_value(Cell* block, const Cell* value, bool advance, bool at_head) {
    Cell v = *value;
    uint32_t h = clamp(block);
    uint32_t at = at_head ? 0 : h;
    open_gap(block, at, 1, false);
    *rs_abs_at(block, at) = v;
    hash::inserted(block, at, 1);
    if (advance) block->data1 += 1;
    return block;
}

void append_next_star() {
    rs_append(stack::arguments, stack::arguments + 1);
    hash::inserted(stack::arguments, series_of(stack::arguments)->count() - 1, 1);
}

uint32_t remove_value(Cell* block, Cell* value, bool from_head) {
    Cell from = *block;
    if (from_head) from.data1 = 0;
    int32_t i = find_one(&from, value, false);
    if (i < 0) return 0;
    SeriesBuffer* s = series_of(block);
    Cell* base = reinterpret_cast<Cell*>(s->offset_addr());
    uint32_t len = s->count();
    std::memmove(base + i, base + i + 1, (len - static_cast<uint32_t>(i) - 1) * sizeof(Cell));
    s->tail -= sizeof(Cell);
    hash::removed(block, static_cast<uint32_t>(i), 1, len);
    return static_cast<uint32_t>(i) + 1;
}

// ---- Lookups ---------------------------------------------------------------------------------

const Cell none_cell{TYPE_NONE, 0, 0, 0};

int32_t find_one(const Cell* block, Cell* value, bool case_) {
    int32_t op = case_ ? actions::COMP_STRICT_EQUAL : actions::COMP_FIND;
    uint32_t len = series_of(block)->count();
    for (uint32_t i = block->head(); i < len; ++i) {
        Cell c = *rs_abs_at(block, i);
        if (actions::compare(value, &c, op) == 0) return static_cast<int32_t>(i);
    }
    return -1;
}

const Cell* select_word(const Cell* block, const Cell* word, bool case_) {
    uint32_t len = series_of(block)->count();
    uint32_t sym = case_ ? word->symbol() : symbol::resolve(word->symbol());
    for (uint32_t i = block->head(); i < len; ++i) {
        const Cell* c = rs_abs_at(block, i);
        uint32_t t = c->type();
        if (t != TYPE_WORD && t != TYPE_SET_WORD && t != TYPE_LIT_WORD && t != TYPE_GET_WORD) continue;
        uint32_t s = case_ ? c->symbol() : symbol::resolve(c->symbol());
        if (s != sym) continue;
        return i + 1 < len ? rs_abs_at(block, i + 1) : &none_cell;
    }
    return &none_cell;
}

// ---- Copying ------------------------------------------------------------------------------------

Cell* clone(const Cell* block, bool deep, bool any_block) {
    Cell src = *block;
    uint32_t n = rs_length_q(&src);
    Cell* slot = stack::push_slot();
    set_header(slot, TYPE_UNSET);
    slot->data1 = 0;
    slot->data2 = 0;
    slot->data3 = 0;
    Node node = memory::alloc_cells(n ? n : 1);
    SeriesBuffer* d = memory::buffer(node);
    if (n) std::memcpy(d->offset_addr(), rs_clamp_head(&src), n * sizeof(Cell));
    d->tail = d->offset + n * static_cast<uint32_t>(sizeof(Cell));
    slot->data2 = node;
    set_header(slot, src.type());
    if (!deep) return slot;
    // A block met again further down would be cloned for ever.
    if (cycles::find_q(src.node())) {
        cycles::reset();
        fire(err::NO_CYCLE);
    }
    cycles::push(src.node());
    for (uint32_t i = 0; i < n; ++i) {
        Cell c = *rs_abs_at(slot, i);
        uint32_t t = c.type();
        bool nested = t == TYPE_BLOCK || (any_block && (t == TYPE_PAREN || (t >= TYPE_PATH && t <= TYPE_GET_PATH)));
        if (!nested) continue;
        Cell copy = *clone(&c, true, any_block);
        copy.header = c.header;
        *rs_abs_at(slot, i) = copy;
        stack::pop(1);
    }
    cycles::pop();
    return slot;
}

void copy_values_deep(Node node, uint32_t first, uint32_t end, uint32_t step, bool deep, const Cell* types) {
    if (step == 0) step = 1;
    for (uint32_t i = first; i < end; i += step) {
        Cell* p = reinterpret_cast<Cell*>(memory::buffer(node)->offset_addr()) + i;
        Cell c = *p;
        uint32_t t = c.type();
        if (types) {
            bool pass = types->type() == TYPE_TYPESET ? typeset::has_q(types, t) : types->data1 == t;
            if (!pass) continue;
        }
        // Objects and errors are copied only when a filter names them; a
        // plain deep walk copies the series and shares the objects.
        bool object = t == TYPE_OBJECT || t == TYPE_ERROR;
        if (object && !types) continue;
        if (!object && !in(SERIES, t) && t != TYPE_BITSET && t != TYPE_MAP)
            continue;
        // An object met again inside its own copy would be copied for ever.
        if (object && cycles::find_q(c.ctx())) {
            cycles::reset();
            fire(err::NO_CYCLE);
        }
        Cell copy = c;
        Cell filter = types ? *types : Cell{};
        actions::copy(&copy, &copy, nullptr, deep, deep && types ? &filter : nullptr);
        reinterpret_cast<Cell*>(memory::buffer(node)->offset_addr())[i] = copy;
    }
}

Cell* append_global_word(uint32_t symbol, Cell* block) {
    Cell w{TYPE_UNSET, 0, 0, 0};
    word::make_at(symbol, &w);
    return copy_cell(&w, alloc_tail(block));
}

Cell* append_word(const char* text, Cell* block) { return append_global_word(symbol::make(text), block); }

// ---- Making ------------------------------------------------------------------------------------

namespace {

// The result slot becomes a shallow copy of an any-block spec, typed `type`.
Cell* copy_into(Cell* slot, const Cell* spec, uint32_t type) {
    Cell c = *clone(spec, false, false);
    stack::pop(1);
    c.header = type;
    *slot = c;
    return slot;
}

// The block that reflect gives of an object! or map! (its body), or the
// elements of a vector!, typed `type`, in the slot.
Cell* body_into(Cell* slot, const Cell* spec, uint32_t type) {
    Cell v = *spec;
    if (v.type() == TYPE_VECTOR) {
        uint32_t n = series::get_length(&v, false);
        make_at(slot, n);
        for (uint32_t i = 1; i <= n; ++i) {
            Cell e;
            series::pick_into(&v, static_cast<int32_t>(i), &e);
            rs_append(slot, &e);
        }
    } else {
        Cell field = *word::make_global(words::sym::body);
        *slot = *actions::reflect(&v, &field);
    }
    set_header(slot, type);
    return slot;
}

}  // namespace

Cell* (*scan_hook)(Cell* text, Cell* slot) = nullptr;

Cell* make(Cell* proto, Cell* spec, uint32_t type) {
    uint32_t t = spec->type();
    if (in(ANY_BLOCK, t)) return copy_into(proto, spec, type);
    switch (t) {
        case TYPE_INTEGER:
        case TYPE_FLOAT: {
            int32_t n = integer::checked(spec);
            make_at(proto, n > 0 ? static_cast<uint32_t>(n) : 1u);
            set_header(proto, type);
            return proto;
        }
        case TYPE_OBJECT:
        case TYPE_MAP:
        case TYPE_VECTOR: return body_into(proto, spec, type);
        default: scalar::bad_make_arg(type, spec);
    }
}

Cell* to(Cell* proto, Cell* spec, uint32_t type) {
    uint32_t t = spec->type();
    if (in(ANY_BLOCK, t)) return copy_into(proto, spec, type);
    switch (t) {
        case TYPE_OBJECT:
        case TYPE_MAP:
        case TYPE_VECTOR: return body_into(proto, spec, type);
        case TYPE_TYPESET: typeset::to_block(spec, proto); break;
        case TYPE_STRING: {
            if (!scan_hook) fire(err::FEATURE_NA);
            Cell text = *spec;
            scan_hook(&text, proto);
            break;
        }
        default: {
            Cell v = *spec;
            make_at(proto, 1);
            rs_append(proto, &v);
            break;
        }
    }
    set_header(proto, type);
    return proto;
}

// ---- Form and mold ------------------------------------------------------------------------------

namespace {

// Appends one ASCII character; answers the budget less one.
int32_t put_char(Cell* buffer, char c, int32_t limit) {
    string::append_char(series_of(buffer), static_cast<uint8_t>(c));
    return limit - 1;
}

// The last code point of the output, 0 when it is empty.
uint32_t last_char(const Cell* buffer) {
    uint32_t n = series_of(buffer)->count();
    return n ? string::rs_abs_at(buffer, n - 1) : 0;
}

}  // namespace

int32_t mold_indent(Cell* buffer, int32_t level, int32_t limit) {
    for (int32_t i = 0; i < level; ++i) {
        string::concatenate_literal(buffer, "    ");
        limit -= 4;
    }
    return limit;
}

int32_t form(Cell* value, Cell* buffer, Cell* part, int32_t limit) {
    if (cycles::detect_q(value, buffer, &limit, false)) return limit;
    Cell blk = *value;
    clamp(&blk);
    uint32_t len = series_of(&blk)->count();
    cycles::push(blk.node());
    for (uint32_t i = blk.head(); i < len; ++i) {
        if (part && limit < 1) break;
        if (i > blk.head()) {
            uint32_t c = last_char(buffer);
            if (c != '\t' && c != '\n' && c != '\r') limit = put_char(buffer, ' ', limit);
        }
        Cell v = *rs_abs_at(&blk, i);
        limit = actions::form(&v, buffer, part, limit);
    }
    cycles::pop();
    return limit;
}

int32_t mold_each(Cell* block, Cell* buffer, bool only, bool all, bool flat, Cell* part, int32_t limit,
                  int32_t indent) {
    Cell blk = *block;
    clamp(&blk);
    uint32_t len = series_of(&blk)->count();
    bool opened = false;
    cycles::push(blk.node());
    for (uint32_t i = blk.head(); i < len; ++i) {
        if (part && limit < 1) break;
        Cell v = *rs_abs_at(&blk, i);
        bool first = i == blk.head();
        if (!flat && v.new_line()) {
            if (first && !only) {
                ++indent;
                opened = true;
            }
            if (!(first && only)) {
                limit = put_char(buffer, '\n', limit);
                limit = mold_indent(buffer, indent, limit);
            }
        } else if (!first) {
            limit = put_char(buffer, ' ', limit);
        }
        limit = actions::mold(&v, buffer, false, all, flat, part, limit, indent);
    }
    cycles::pop();
    if (opened) {
        limit = put_char(buffer, '\n', limit);
        limit = mold_indent(buffer, indent - 1, limit);
    }
    return limit;
}

int32_t mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part, int32_t limit,
             int32_t indent) {
    if (cycles::detect_q(value, buffer, &limit, true)) return limit;
    if (!only) limit = put_char(buffer, '[', limit);
    limit = mold_each(value, buffer, only, all, flat, part, limit, indent);
    if (!only) limit = put_char(buffer, ']', limit);
    return limit;
}

// ---- Comparison ----------------------------------------------------------------------------------

namespace {

bool equality_op_q(int32_t op) {
    switch (op) {
        case actions::COMP_EQUAL: case actions::COMP_NOT_EQUAL: case actions::COMP_STRICT_EQUAL:
        case actions::COMP_STRICT_EQUAL_WORD: case actions::COMP_EQUAL_WORD: case actions::COMP_FIND:
            return true;
        default: return false;
    }
}

}  // namespace

int32_t compare(Cell* value1, Cell* value2, int32_t op) {
    uint32_t t1 = value1->type(), t2 = value2->type();
    if (t1 != t2) {
        bool paths = (t1 == TYPE_PATH && t2 == TYPE_LIT_PATH) || (t1 == TYPE_LIT_PATH && t2 == TYPE_PATH);
        if (!paths || (op != actions::COMP_STRICT_EQUAL_WORD && op != actions::COMP_EQUAL_WORD))
            return actions::NOT_COMPARABLE;
    }
    if (value1->node() == value2->node() && value1->head() == value2->head()) return 0;
    if (op == actions::COMP_SAME) return -1;
    if (cycles::find_q(value1->node())) return cycles::find_q(value2->node()) ? 0 : -1;

    Cell b1 = *value1, b2 = *value2;
    uint32_t l1 = rs_length_q(&b1), l2 = rs_length_q(&b2);
    if (l1 != l2 && equality_op_q(op)) return 1;
    uint32_t h1 = clamp(&b1), h2 = clamp(&b2);
    uint32_t n = l1 < l2 ? l1 : l2;
    int32_t r = 0;
    cycles::push(b1.node());
    cycles::push(b2.node());
    for (uint32_t i = 0; i < n && r == 0; ++i) {
        Cell c1 = *rs_abs_at(&b1, h1 + i);
        Cell c2 = *rs_abs_at(&b2, h2 + i);
        uint32_t a = c1.type(), b = c2.type();
        if (a == b || (in(ALL_WORD, a) && in(ALL_WORD, b)) || (in(NUMBER, a) && in(NUMBER, b)))
            r = actions::compare(&c1, &c2, op);
        else
            r = a < b ? -1 : 1;
    }
    cycles::pop_n(2);
    if (r != 0) return r;
    return l1 < l2 ? -1 : l1 > l2 ? 1 : 0;
}

// ---- Path steps ----------------------------------------------------------------------------------

namespace {
Cell path_none{TYPE_NONE, 0, 0, 0};
// The position find finds (with the search section below).
int64_t locate(Cell* series, const Cell* value, const Cell* part, bool only, bool case_, bool same, const Cell* skip,
               bool last, bool reverse, bool match, uint32_t* span);
}  // namespace

namespace {

// A path assignment into the block: the owner hears of it once, as
// "set-path", after the store.
Cell* set_path_poke(Cell* blk, int32_t n, Cell* value, Cell* element) {
    Cell target = *blk;
    Cell* r;
    {
        ownership::Hush hush;
        r = series::poke(blk, n, value, element);
    }
    if (ownership::maybe_owned(&target)) {
        uint32_t h = clamp(&target);
        ownership::check(&target, words::set_path, value, static_cast<int32_t>(h) + (n > 0 ? n - 1 : n), 1);
    }
    return r;
}

}  // namespace

Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell*, Cell*, int32_t, bool case_,
                bool, bool) {
    Cell blk = *parent;
    if (element->type() == TYPE_INTEGER) {
        if (value) return set_path_poke(&blk, element->int_value(), value, element);
        Cell r;
        series::pick_into(&blk, element->int_value(), &r);
        if (r.type() == TYPE_NONE) {
            path_none = none_cell;
            return &path_none;
        }
        // The cell itself, inside the block: the caller copies it at once.
        int32_t n = element->int_value();
        uint32_t h = clamp(&blk);
        return rs_abs_at(&blk, static_cast<uint32_t>(static_cast<int64_t>(h) + (n > 0 ? n - 1 : n)));
    }
    const Cell* found;
    if (!value) {
        if (element->type() == TYPE_WORD && blk.type() != TYPE_HASH)
            found = select_word(&blk, element, case_);
        else {
            // select/only: a hash! looks the key up in its table.
            clamp(&blk);
            uint32_t span;
            int64_t i = locate(&blk, element, nullptr, true, case_, false, nullptr, false, false, false, &span);
            found = i < 0 || static_cast<uint64_t>(i) + 1 >= series_of(&blk)->count()
                        ? &none_cell
                        : rs_abs_at(&blk, static_cast<uint32_t>(i) + 1);
        }
        path_none = *found;
        return found == &none_cell ? &path_none : const_cast<Cell*>(found);
    }
    clamp(&blk);
    int32_t i = find_one(&blk, element, case_);
    if (i < 0) fire(err::BAD_PATH_SET, path ? path : parent, element);
    blk.data1 = static_cast<uint32_t>(i);
    return set_path_poke(&blk, 2, value, nullptr);
}

// ---- Insertion and modification -----------------------------------------------------------------

Cell* insert(Cell* series, Cell* value, int32_t part, bool only, int32_t dup, bool append) {
    if (dup < 1) return series;
    uint32_t h = clamp(series);
    uint32_t len = series_of(series)->count();
    uint32_t at = append || h >= len ? len : h;
    Source src(value, series, only, part);
    uint64_t total = static_cast<uint64_t>(src.count) * static_cast<uint32_t>(dup);
    if (total > UINT32_MAX) {
        src.release();
        fire(err::NO_MEMORY);
    }
    Cell target = *series;
    bool notify = ownership::before(&target, append ? words::append : words::insert, value, static_cast<int32_t>(at),
                                    static_cast<int32_t>(total));
    if (total) {
        open_gap(series, at, total, dup > 4);
        src.fill(series, at, static_cast<uint32_t>(dup));
    }
    src.release();
    hash::inserted(series, at, static_cast<uint32_t>(total));
    ownership::after(notify, &target, append ? words::appended : words::inserted, value, static_cast<int32_t>(at),
                     static_cast<int32_t>(total));
    if (append) {
        series->data1 = 0;
    } else {
        uint64_t index = h + total;
        uint32_t n = series_of(series)->count();
        series->data1 = index > n ? n : static_cast<uint32_t>(index);
    }
    return series;
}

Cell* change(Cell* series, Cell* value, int32_t part, bool only, int32_t dup) {
    if (dup < 1) return series;
    uint32_t h = clamp(series);
    uint32_t len = series_of(series)->count();
    uint32_t rest = len - h;
    bool spliced = !only && in(ANY_BLOCK, value->type());
    uint64_t inserted = static_cast<uint64_t>(spliced ? rs_length_q(value) : 1) * static_cast<uint32_t>(dup);
    uint64_t removed = part >= 0 ? static_cast<uint64_t>(part) : inserted;
    if (removed > rest) removed = rest;
    if (inserted > UINT32_MAX || len + inserted - removed >= MAX_CELLS) fire(err::NO_MEMORY);
    Source src(value, series, only, -1);
    Cell target = *series;
    bool notify = ownership::before(&target, words::change, value, static_cast<int32_t>(h), static_cast<int32_t>(inserted));
    if (inserted > removed) {
        open_gap(series, h + static_cast<uint32_t>(removed), inserted - removed, dup > 4);
    } else if (removed > inserted) {
        SeriesBuffer* s = series_of(series);
        Cell* base = reinterpret_cast<Cell*>(s->offset_addr());
        std::memmove(base + h + inserted, base + h + removed, (len - h - removed) * sizeof(Cell));
        s->tail -= static_cast<uint32_t>((removed - inserted) * sizeof(Cell));
    }
    src.fill(series, h, static_cast<uint32_t>(dup));
    src.release();
    hash::rebuild(series);
    ownership::after(notify, &target, words::changed, value, static_cast<int32_t>(h), static_cast<int32_t>(inserted));
    series->data1 = h + static_cast<uint32_t>(inserted);
    return series;
}

namespace {

// Replaces every series-like cell of the block by its deep copy.
void deepen(const Cell* block) {
    copy_values_deep(block->node(), block->head(), series_of(block)->count(), 1, true, nullptr);
}

}  // namespace

Cell* copy(Cell* value, Cell* result, Cell* part, bool deep, Cell* types) {
    Cell src = *value;
    series::copy(&src, result, part, false, nullptr);
    if (!deep && !types) return result;
    if (result->type() == TYPE_HASH) set_type(result, TYPE_BLOCK);
    if (deep) {
        if (cycles::find_q(src.node())) {
            cycles::reset();
            fire(err::NO_CYCLE);
        }
        cycles::push(src.node());
    }
    Cell out = *result;
    uint32_t n = series_of(&out)->count();
    if (!types) {
        for (uint32_t i = 0; i < n; ++i) {
            Cell c = *rs_abs_at(&out, i);
            if (!in(SERIES, c.type())) continue;
            Cell copied = c;
            actions::copy(&copied, &copied, nullptr, true, nullptr);
            copied.header = c.header;
            *rs_abs_at(&out, i) = copied;
        }
    } else {
        copy_values_deep(out.node(), 0, n, 1, deep, types);
    }
    if (deep) cycles::pop();
    *result = out;
    return result;
}

Cell* swap(Cell* series1, Cell* series2) {
    if (!in(ANY_BLOCK, series2->type())) fire(err::INVALID_ARG, series2);
    uint32_t h1 = clamp(series1), h2 = clamp(series2);
    if (h1 < series_of(series1)->count() && h2 < series_of(series2)->count()) {
        Cell s1 = *series1, s2 = *series2;
        bool notify1 = ownership::before(&s1, words::swap, &s2, static_cast<int32_t>(h1), 1);
        bool notify2 = s2.node() != s1.node() && ownership::before(&s2, words::swap, &s1, static_cast<int32_t>(h2), 1);
        Cell* a = rs_abs_at(series1, h1);
        Cell* b = rs_abs_at(series2, h2);
        Cell t = *a;
        *a = *b;
        *b = t;
        hash::reindex(series1, h1, 1);
        hash::reindex(series2, h2, 1);
        ownership::after(notify1, &s1, words::swaped, &s2, static_cast<int32_t>(h1), 1);
        ownership::after(notify2, &s2, words::swaped, &s1, static_cast<int32_t>(h2), 1);
    }
    return series1;
}

Cell* take(Cell* series, Cell* part, bool deep, bool last) {
    series::take(series, part, deep, last);
    if (series->type() == TYPE_NONE) return series;
    // The taken cells of a hash! get a table of their own.
    if (part && series->type() == TYPE_HASH) hash::make_table_at(series, series_of(series)->count());
    if (!part) {
        Cell c = *rs_abs_at(series, 0);
        if (deep && in(SERIES, c.type())) actions::copy(&c, &c, nullptr, true, nullptr);
        *series = c;
        return series;
    }
    if (deep) deepen(series);
    return series;
}

Cell* trim(Cell* series, bool, bool, bool, bool, bool, Cell*) {
    uint32_t h = clamp(series);
    Cell target = *series;
    auto part = static_cast<int32_t>(series_of(series)->count() - h);
    bool notify = ownership::before(&target, words::trim, nullptr, static_cast<int32_t>(h), part);
    SeriesBuffer* s = series_of(series);
    Cell* base = reinterpret_cast<Cell*>(s->offset_addr());
    uint32_t len = s->count();
    uint32_t out = h;
    for (uint32_t i = h; i < len; ++i)
        if (base[i].type() != TYPE_NONE) base[out++] = base[i];
    s->tail = s->offset + out * static_cast<uint32_t>(sizeof(Cell));
    ownership::after(notify, &target, words::trimmed, nullptr, static_cast<int32_t>(h), part);
    return series;
}


// ---- Search -------------------------------------------------------------------------------------

namespace {

// script invalid-refine-arg with the refinement's word and the argument.
[[noreturn]] void fire_refine(const Cell& refinement, const Cell* arg) {
    Cell w = refinement;
    set_type(&w, TYPE_WORD);
    fire(err::INVALID_REFINE_ARG, &w, arg);
}

// What a search compares at each tested position.
struct Pattern {
    enum Kind { ONE, TYPE, TYPESET, SEQUENCE } kind;
    Cell value;       // the value, or the block whose elements form the sequence
    uint32_t length;  // cells a match spans
    int32_t op;       // 12 search equality, 2 with /case, 9 with /same

    Pattern(const Cell* v, bool only, int32_t op_) : value(*v), length(1), op(op_) {
        uint32_t t = value.type();
        if (only) kind = ONE;
        else if (t == TYPE_DATATYPE) kind = TYPE;
        else if (t == TYPE_TYPESET) kind = TYPESET;
        else if (in(ANY_BLOCK, t) && rs_length_q(&value) > 0) {
            kind = SEQUENCE;
            clamp(&value);
            length = rs_length_q(&value);
        } else kind = ONE;
    }

    bool cell_matches(const Cell* series, uint32_t pos, const Cell* against) const {
        Cell c = *rs_abs_at(series, pos);
        Cell v = *against;
        return actions::compare(&c, &v, op) == 0;
    }

    // Whether the pattern matches at `pos`, the range ending before `end`.
    bool matches(const Cell* series, uint32_t pos, uint32_t end) const {
        switch (kind) {
            case TYPE: return rs_abs_at(series, pos)->type() == value.data1;
            case TYPESET: return typeset::has_q(&value, rs_abs_at(series, pos)->type());
            case ONE: return cell_matches(series, pos, &value);
            default: break;
        }
        if (uint64_t{pos} + length > end) return false;
        for (uint32_t k = 0; k < length; ++k) {
            // The sequence is read again each time: nothing here allocates,
            // but the value may share the searched buffer.
            Cell element = *rs_abs_at(&value, value.head() + k);
            if (!cell_matches(series, pos + k, &element)) return false;
        }
        return true;
    }
};

// Whether a search of this value may go through a hash! table.
bool table_search_q(const Pattern& p, bool only, bool same, bool match) {
    if (match || p.kind != Pattern::ONE) return false;
    uint32_t t = p.value.type();
    if (t == TYPE_OBJECT && !same) return false;
    if (in(ANY_BLOCK, t) && !(only && same)) return false;
    return true;
}

int64_t floor_div(int64_t a, int64_t b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

// The position `find` finds, or -1; *span gets the cells the match covers.
int64_t locate(Cell* series, const Cell* value, const Cell* part, bool only, bool case_, bool same, const Cell* skip,
               bool last, bool reverse, bool match, uint32_t* span) {
    uint32_t len = series_of(series)->count();
    int64_t h = series->head();
    if (len == 0 || (!reverse && h >= len)) return -1;
    if (h > len) h = len;
    int64_t step = 1;
    if (skip) {
        if (skip->type() != TYPE_INTEGER) fire_refine(words::ref::skip, skip);
        if (skip->int_value() < 1) fire(err::OUT_OF_RANGE, skip);
        step = skip->int_value();
    }
    int64_t limit = int64_t{len} - 1;
    bool has_part = part != nullptr;
    if (part) {
        if (part->type() == TYPE_INTEGER) {
            if (part->int_value() < 1) return -1;
            limit = h + part->int_value() - 1;
        } else if (part->type() == series->type() && part->node() == series->node()) {
            limit = int64_t{part->head()} - 1;
        } else {
            fire_refine(words::ref::part, part);
        }
        if (limit > int64_t{len} - 1) limit = int64_t{len} - 1;
    }
    Pattern p(value, only, same ? actions::COMP_SAME : case_ ? actions::COMP_STRICT_EQUAL : actions::COMP_FIND);
    *span = p.length;

    if (Node table = hash::table_of(series); table && table_search_q(p, only, same, match)) {
        auto lookup = [&](uint32_t type) -> int64_t {
            Cell key = p.value;
            set_type(&key, type);
            Cell* hit = hashtable::get(table, &key, static_cast<int32_t>(h), static_cast<int32_t>(step), p.op, last,
                                       reverse);
            return hit ? hit - rs_abs_at(series, 0) : -1;
        };
        uint32_t t = p.value.type();
        int64_t pos = -1;
        if (in(ALL_WORD, t) && (p.op == actions::COMP_FIND || p.op == actions::COMP_EQUAL)) {
            // The table keeps each kind of word apart; equality does not.
            for (uint32_t kind = TYPE_WORD; kind <= TYPE_ISSUE; ++kind) {
                if (kind == TYPE_ISSUE && t != TYPE_ISSUE) continue;
                int64_t q = lookup(kind);
                if (q >= 0 && (pos < 0 || (last || reverse ? q > pos : q < pos))) pos = q;
            }
        } else {
            pos = lookup(t);
        }
        return pos > limit ? -1 : pos;
    }

    if (!last && !reverse) {
        for (int64_t pos = h; pos <= limit; pos += step) {
            if (p.matches(series, static_cast<uint32_t>(pos), static_cast<uint32_t>(limit + 1))) return pos;
            if (match) break;
        }
        return -1;
    }
    int64_t start = has_part ? limit : reverse ? h - p.length : int64_t{len} - p.length;
    // Backward steps keep to the records that the index starts.
    if (step > 1) start = h + floor_div(start - h, step) * step;
    for (int64_t pos = start; pos >= 0; pos -= step) {
        if (pos < len && p.matches(series, static_cast<uint32_t>(pos), len)) return pos;
        if (match) break;
    }
    return -1;
}

}  // namespace

Cell* find(Cell* series, Cell* value, Cell* part, bool only, bool case_, bool same, bool, Cell*, Cell* skip,
           bool last, bool reverse, bool tail, bool match) {
    uint32_t span;
    int64_t pos = locate(series, value, part, only, case_, same, skip, last, reverse, match, &span);
    if (pos < 0) {
        *series = none_cell;
        return series;
    }
    series->data1 = static_cast<uint32_t>(pos + (tail ? span : 0));
    return series;
}

Cell* select(Cell* series, Cell* value, Cell* part, bool only, bool case_, bool same, bool, Cell*, Cell* skip,
             bool last, bool reverse) {
    uint32_t span;
    int64_t pos = locate(series, value, part, only, case_, same, skip, last, reverse, false, &span);
    // A hash! value matched as a sequence selects the cell after its first cell.
    if (value->type() == TYPE_HASH) span = 1;
    uint32_t len = series_of(series)->count();
    if (pos < 0 || pos + span >= len) {
        *series = none_cell;
        return series;
    }
    Cell c = *rs_abs_at(series, static_cast<uint32_t>(pos + span));
    *series = c;
    return series;
}

Cell* put(Cell* series, Cell* key, Cell* value, bool case_) {
    Cell k = *key, v = *value;
    uint32_t span;
    // The key is one cell, as put appends it.
    int64_t pos = locate(series, &k, nullptr, true, case_, false, nullptr, false, false, false, &span);
    uint32_t len = series_of(series)->count();
    // The change is at the value's cell (or at the tail, for the key and
    // value appended).
    int32_t at = pos < 0 ? static_cast<int32_t>(len) : static_cast<int32_t>(pos) + 1;
    int32_t part = pos < 0 ? 2 : 1;
    Cell target = *series;
    bool notify = ownership::before(&target, words::put, &v, at, part);
    len = series_of(series)->count();
    if (pos < 0) {
        rs_append(series, &k);
        rs_append(series, &v);
        hash::inserted(series, len, 2);
    } else if (static_cast<uint32_t>(pos) + 1 >= len) {
        rs_append(series, &v);
        hash::inserted(series, len, 1);
    } else {
        *rs_abs_at(series, static_cast<uint32_t>(pos) + 1) = v;
        hash::reindex(series, static_cast<uint32_t>(pos) + 1, 1);
    }
    ownership::after(notify, &target, words::put_ed, &v, at, part);
    return value;
}

// ---- Sort ----------------------------------------------------------------------------------------

int32_t call_comparator(const Cell* fn_in, const Cell* first, const Cell* second) {
    Cell fn = *fn_in;
    Cell spec = function::spec_of(&fn);
    uint32_t n = rs_length_q(&spec);
    Cell* saved_top = stack::top;
    stack::push_slot()->header = TYPE_UNSET;
    stack::mark_func(&words::compare_callback, fn.ctx());
    // One cell per word of its context: the two values for its first two
    // arguments, none for further ones, false for each refinement and none
    // for the refinements' arguments and the locals.
    uint32_t arguments = 0;
    bool refinements = false;
    for (uint32_t i = 0; i < n; ++i) {
        Cell c = *rs_abs_at(&spec, spec.head() + i);
        uint32_t t = c.type();
        if (t == TYPE_REFINEMENT) {
            refinements = true;
            Cell f{TYPE_LOGIC, 0, 0, 0};
            stack::push(&f);
        } else if (t == TYPE_WORD || t == TYPE_LIT_WORD || t == TYPE_GET_WORD) {
            const Cell* v = refinements || arguments > 1 ? &none_cell : arguments == 0 ? first : second;
            ++arguments;
            stack::push(v);
        }
    }
    Unwind u = interpreter::call_function(&fn, &words::compare_callback);
    if (u != Unwind::none) throw UnwindThrown{u};
    Cell r = *stack::arguments;
    stack::unwind_func();
    stack::top = saved_top;
    switch (r.type()) {
        case TYPE_LOGIC: return r.data1 ? 1 : -1;
        case TYPE_INTEGER: return r.int_value() > 0 ? -1 : r.int_value() < 0 ? 1 : 0;
        case TYPE_FLOAT: {
            double d = r.float_value();
            return d > 0 ? -1 : d < 0 ? 1 : 0;
        }
        case TYPE_NONE: return -1;
        default: return 1;
    }
}

namespace {

// flags of the comparators: bit 0 /reverse, bit 1 whole records, bits 2 and
// up a cell count (the record size with bit 1, else the compared cell's
// offset in its record).
constexpr int32_t SORT_REVERSE = 1;
constexpr int32_t SORT_ALL = 2;

// The sort in progress. Records are sorted as indexes into the block, read
// through its node at every comparison, and put in their new order at the
// end: a comparison function may run a collection that moves the buffer,
// and an error it raises leaves the block as it was.
struct Sorting {
    Node node;
    uint32_t base;      // first cell of the sorted range
    uint32_t size;      // cells per record
    Cell fn;            // the comparison function, or none
    Cell record_a;      // blocks holding copies of two records (/all)
    Cell record_b;
};
Sorting* sorting = nullptr;

const Cell none_record{TYPE_NONE, 0, 0, 0};

// Cell k of record r (none when a comparison function shortened the block).
Cell record_cell(const Sorting& s, uint32_t r, uint32_t k) {
    uint64_t i = s.base + uint64_t{r} * s.size + k;
    SeriesBuffer* b = memory::buffer(s.node);
    if (i >= b->count()) return none_record;
    return reinterpret_cast<Cell*>(b->offset_addr())[i];
}

// The argument for record r: its first cell, or a block of copies of its
// cells with /all.
Cell record_arg(const Sorting& s, uint32_t r, bool all, Cell* holder) {
    if (!all || s.size < 2) return record_cell(s, r, 0);
    rs_clear(holder, 0);
    for (uint32_t k = 0; k < s.size; ++k) {
        Cell c = record_cell(s, r, k);
        rs_append(holder, &c);
    }
    return *holder;
}

int32_t compare_records(const void* pa, const void* pb, int32_t op, int32_t flags) {
    const Sorting& s = *sorting;
    uint32_t a = *static_cast<const uint32_t*>(pa), b = *static_cast<const uint32_t*>(pb);
    if (s.fn.type() == TYPE_FUNCTION) {
        // The second record goes first (the first with /reverse).
        bool rev = flags & SORT_REVERSE;
        Sorting& w = *sorting;
        Cell x = record_arg(s, rev ? a : b, flags & SORT_ALL, &w.record_a);
        Cell y = record_arg(s, rev ? b : a, flags & SORT_ALL, &w.record_b);
        return call_comparator(&s.fn, &x, &y);
    }
    if (flags & SORT_REVERSE) std::swap(a, b);
    uint32_t first = flags & SORT_ALL ? 0 : static_cast<uint32_t>(flags) >> 2;
    uint32_t count = flags & SORT_ALL ? static_cast<uint32_t>(flags) >> 2 : 1;
    for (uint32_t k = first; k < first + count; ++k) {
        // Both cells read through one look-up of the buffer; two integers
        // compare here, as integer!'s compare would, without its dispatch.
        SeriesBuffer* buf = memory::buffer(s.node);
        const Cell* cells = reinterpret_cast<const Cell*>(buf->offset_addr());
        uint64_t n = buf->count(), ia = s.base + uint64_t{a} * s.size + k, ib = s.base + uint64_t{b} * s.size + k;
        Cell x = ia < n ? cells[ia] : none_record, y = ib < n ? cells[ib] : none_record;
        if (x.type() == TYPE_INTEGER && y.type() == TYPE_INTEGER) {
            int32_t u = x.int_value(), v = y.int_value();
            if (u != v) return u < v ? -1 : 1;
            continue;
        }
        int32_t r = actions::compare(&x, &y, op);
        if (r == actions::NOT_COMPARABLE) r = static_cast<int32_t>(x.type()) - static_cast<int32_t>(y.type());
        if (r) return r;
    }
    return 0;
}

// Records compared by one cell that is an integer! in every record sort by
// that key alone: each key is packed with its record's position into one
// 64-bit word, so equal keys keep their order (as the stable sort keeps
// them) and the sort compares plain integers. False when some key is not
// an integer or the comparison is not by one cell.
bool sort_integer_keys(const Sorting& s, uint32_t records, int32_t flags, std::vector<uint32_t>& order) {
    if (s.fn.type() == TYPE_FUNCTION || (flags & SORT_ALL)) return false;
    uint32_t field = static_cast<uint32_t>(flags) >> 2;
    bool reverse = flags & SORT_REVERSE;
    const Cell* cells = reinterpret_cast<const Cell*>(memory::buffer(s.node)->offset_addr()) + s.base;
    std::vector<uint64_t> keys(records);
    for (uint32_t i = 0; i < records; ++i) {
        const Cell& c = cells[uint64_t{i} * s.size + field];
        if (c.type() != TYPE_INTEGER) return false;
        uint32_t k = static_cast<uint32_t>(c.int_value()) ^ 0x80000000u;  // signed order as unsigned
        keys[i] = uint64_t{reverse ? ~k : k} << 32 | i;
    }
    std::sort(keys.begin(), keys.end());
    for (uint32_t i = 0; i < records; ++i) order[i] = static_cast<uint32_t>(keys[i]);
    return true;
}

struct SortScope {
    Sorting* saved;
    explicit SortScope(Sorting* s) : saved(sorting) { sorting = s; }
    ~SortScope() { sorting = saved; }
};

}  // namespace

Cell* sort(Cell* series, bool case_, Cell* skip, Cell* comparator, Cell* part, bool all, bool reverse,
           bool stable) {
    uint32_t h = clamp(series);
    uint32_t len = series_of(series)->count();
    int64_t count = len - h;
    if (count == 0) return series;
    int64_t start = h;
    if (part) {
        int64_t n;
        if (part->type() == TYPE_INTEGER) n = part->int_value();
        else if (part->type() == series->type() && part->node() == series->node())
            n = int64_t{part->head()} - h;
        else fire_refine(words::ref::part, part);
        if (n < 0) {
            if (h + n < 0) return series;
            start = h + n;
            count = -n;
        } else if (n < count) {
            count = n;
        }
    }
    uint32_t size = 1;
    if (skip) {
        int32_t n = skip->type() == TYPE_INTEGER ? skip->int_value() : 0;
        if (n < 1 || n > count || count % n != 0) fire_refine(words::ref::skip, skip);
        size = static_cast<uint32_t>(n);
    } else if (all) {
        fire(err::BAD_REFINES);
    }
    int32_t op = case_ ? actions::COMP_CASE_SORT : actions::COMP_SORT;
    int32_t flags = reverse ? SORT_REVERSE : 0;
    Cell fn = none_cell;
    if (comparator) {
        if (comparator->type() == TYPE_FUNCTION) {
            fn = *comparator;
            if (all && skip) flags |= SORT_ALL | static_cast<int32_t>(size << 2);
        } else if (comparator->type() == TYPE_INTEGER) {
            if (!skip || all) fire(err::BAD_REFINES);
            int32_t field = comparator->int_value();
            if (field < 1 || static_cast<uint32_t>(field) > size) fire(err::OUT_OF_RANGE, comparator);
            flags |= (field - 1) << 2;
        } else {
            fire_refine(words::ref::compare, comparator);
        }
    } else if (all) {
        flags |= SORT_ALL | static_cast<int32_t>(size << 2);
    }
    uint32_t records = static_cast<uint32_t>(count) / size;
    if (records < 2) return series;
    Cell target = *series;
    bool notify = ownership::before(&target, words::sort, nullptr, static_cast<int32_t>(start), static_cast<int32_t>(count));

    Sorting s{series->node(), static_cast<uint32_t>(start), size, fn, none_cell, none_cell};
    Cell* saved_top = stack::top;
    if (fn.type() == TYPE_FUNCTION) {
        if (flags & SORT_ALL) {
            s.record_a = *make_at(stack::push_slot(), size);
            s.record_b = *make_at(stack::push_slot(), size);
        }
    }
    std::vector<uint32_t> order(records);
    if (!sort_integer_keys(s, records, flags, order)) {
        for (uint32_t i = 0; i < records; ++i) order[i] = i;
        SortScope scope(&s);
        if (stable)
            sort::merge_sort(order.data(), records, sizeof(uint32_t), op, flags, compare_records);
        else
            sort::adaptive_sort(order.data(), records, sizeof(uint32_t), op, flags, compare_records);
    }
    stack::top = saved_top;
    // A comparison function that shortened the block leaves it as it is.
    SeriesBuffer* b = series_of(series);
    if (uint64_t{s.base} + uint64_t{records} * size <= b->count()) {
        Cell* cells = reinterpret_cast<Cell*>(b->offset_addr()) + s.base;
        std::vector<Cell> sorted(uint64_t{records} * size);
        for (uint32_t i = 0; i < records; ++i)
            std::memcpy(static_cast<void*>(&sorted[uint64_t{i} * size]), cells + uint64_t{order[i]} * size,
                        size * sizeof(Cell));
        std::memcpy(static_cast<void*>(cells), sorted.data(), sorted.size() * sizeof(Cell));
        // The comparator may have run the block since `before`.
        memory::cells_changed(b);
    }
    ownership::after(notify, &target, words::sorted, nullptr, static_cast<int32_t>(start), static_cast<int32_t>(count));
    return series;
}

// ---- Set operations ------------------------------------------------------------------------------

namespace {

// The records of a set from its index: `size` cells each, judged by the
// first; membership through a hash table over the set (its own for a
// hash!), or find/only for a first cell of an any-block type.
struct Set {
    Cell value;
    uint32_t length;  // cells from the index
    Node table;

    Set(const Cell* v, uint32_t size) : value(*v), table(0) {
        clamp(&value);
        length = rs_length_q(&value);
        (void)size;
    }
    // Builds the temporary table of a set that is not a hash!.
    void index() {
        table = hash::table_of(&value);
        if (!table) table = hashtable::init(length ? length : 1, &value, hashtable::KIND_HASH, 1);
    }
};

// Whether `key` is the first cell of a record of the block from `head`
// (records of `size` cells), under `op`.
bool has_record(const Cell* block, uint32_t head, Node table, const Cell* key, uint32_t size, int32_t op) {
    if (in(ANY_BLOCK, key->type())) {
        uint32_t len = series_of(block)->count();
        for (uint32_t i = head; i < len; i += size) {
            Cell c = *rs_abs_at(block, i);
            Cell k = *key;
            if (actions::compare(&c, &k, op) == 0) return true;
        }
        return false;
    }
    Cell k = *key;
    return hashtable::get(table, &k, static_cast<int32_t>(head), static_cast<int32_t>(size), op, false, false) !=
           nullptr;
}

}  // namespace

void do_set_op(bool case_, Cell* skip, int32_t op) {
    uint32_t size = 1;
    if (skip) {
        if (skip->type() != TYPE_INTEGER || skip->int_value() < 1) fire_refine(words::ref::skip, skip);
        size = static_cast<uint32_t>(skip->int_value());
    }
    bool two = op != 8;
    int32_t cmp = case_ ? actions::COMP_STRICT_EQUAL : actions::COMP_FIND;
    Set a(stack::arguments, size);
    Set b(two ? stack::arguments + 1 : stack::arguments, size);
    if (op == 10 || op == 11 || op == 12) b.index();
    if (op == 12) a.index();

    uint64_t room = uint64_t{a.length} + (op == 9 ? b.length : 0);
    if (room == 0) room = 1;
    if (room >= 134217728) fire(err::NO_MEMORY);
    Cell* slot = make_at(stack::push_slot(), static_cast<uint32_t>(room));
    Node result_table = hashtable::init(static_cast<uint32_t>(room), slot, hashtable::KIND_HASH, 1);
    Cell result = *slot;
    result.data3 = result_table;

    // Appends the records of `from` that pass: in `other` (present) or not.
    auto pass = [&](Set& from, Set* other, bool present) {
        for (uint32_t i = 0; i < from.length; i += size) {
            Cell key = *rs_abs_at(&from.value, from.value.head() + i);
            if (other && has_record(&other->value, other->value.head(), other->table, &key, size, cmp) != present)
                continue;
            if (has_record(&result, 0, result_table, &key, size, cmp)) continue;
            uint32_t at = series_of(&result)->count();
            uint32_t n = from.length - i < size ? from.length - i : size;
            for (uint32_t k = 0; k < n; ++k) {
                Cell c = *rs_abs_at(&from.value, from.value.head() + i + k);
                rs_append(&result, &c);
            }
            int32_t status = 0;
            if (!in(ANY_BLOCK, key.type())) hashtable::put(result_table, rs_abs_at(&result, at), &status);
        }
    };
    switch (op) {
        case 8: pass(a, nullptr, false); break;
        case 9:
            pass(a, nullptr, false);
            pass(b, nullptr, false);
            break;
        case 10: pass(a, &b, true); break;
        case 11: pass(a, &b, false); break;
        case 12:
            pass(a, &b, false);
            pass(b, &a, false);
            break;
        default: sys::on_quit(101, ZEM_HERE());
    }
    bool to_hash = a.value.type() == TYPE_HASH || (two && b.value.type() == TYPE_HASH);
    if (to_hash) {
        result.header = TYPE_HASH;
        // The table indexes only the records' first cells: a hash! indexes all.
        if (size > 1) hashtable::resize(result_table, series_of(&result)->count());
    } else {
        result = Cell{TYPE_BLOCK, 0, result.node(), 0};
    }
    *stack::arguments = result;
    stack::pop(1);
}

}  // namespace block

// ---- Registration --------------------------------------------------------------

template <>
void datatype::init_type<TYPE_BLOCK>() {
    register_type<TYPE_BLOCK, "oiioooo-o --------------- oiioiooiiioiiiiioiiooioiioo ---i-------">(
        own<slot::make>(block::make), own<slot::to>(block::to), own<slot::form>(block::form),
        own<slot::mold>(block::mold), own<slot::eval_path>(block::eval_path),
        own<slot::compare>(block::compare), own<slot::append>(block::insert),
        own<slot::change>(block::change), own<slot::copy>(block::copy),
        own<slot::find>(block::find), own<slot::insert>(block::insert), own<slot::put>(block::put),
        own<slot::select>(block::select), own<slot::sort>(block::sort),
        own<slot::swap>(block::swap), own<slot::take>(block::take), own<slot::trim>(block::trim));
}
