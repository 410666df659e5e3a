// Action dispatch: implementation lookup, the generic dispatchers, the
// comparison codes and the stack entry points of the 62 actions.
#include "evaluator/actions.h"

#include <climits>
#include <cmath>

#include "evaluator/context.h"
#include "evaluator/block_storage.h"
#include "evaluator/callable_cells.h"
#include "evaluator/datatype_registry.h"
#include "evaluator/errors.h"
#include "evaluator/text_storage.h"
#include "evaluator/word_storage.h"
#include "evaluator/words.h"
#include "runtime/sys.h"

namespace actions {

// ---- Slots ---------------------------------------------------------------------------

const char* word_of(uint32_t slot) {
    switch (slot) {
#define X(n, name, word, sig, refs) \
    case n: return word;
        ZEM_ACTIONS(X)
#undef X
        default: return "";
    }
}

const char* refinements_of(uint32_t slot) {
    switch (slot) {
#define X(n, name, word, sig, refs) \
    case n: return refs;
        ZEM_ACTIONS(X)
#undef X
        default: return "";
    }
}

uint32_t refinement_count(uint32_t slot) { return count_refinements(refinements_of(slot)); }

// ---- Implementation lookup -------------------------------------------------------------

ActionFn (*port_action_hook)(Cell* port, uint32_t slot) = nullptr;

namespace {
// The word caller_word found last: an error names its caller first, then
// the argument.
Cell last_caller{TYPE_UNSET, 0, 0, 0};

// The n-th argument word in the interface block of the callable the last
// caller names: its words up to /local, refinements not counted.
void spec_argument(int32_t n, Cell* out) {
    *out = words::anon;
    Cell name = last_caller;
    if (name.symbol() == words::not_found.symbol() || name.ctx() == 0) return;
    Cell fn = *context::get(&name);
    uint32_t t = fn.type();
    if (t != TYPE_NATIVE && t != TYPE_ACTION && t != TYPE_FUNCTION && t != TYPE_ROUTINE && t != TYPE_OP) return;
    Cell spec = function::spec_of(&fn);
    uint32_t count = block::rs_length_q(&spec);
    for (uint32_t i = 0; i < count; ++i) {
        Cell c = block::rs_clamp_head(&spec)[i];
        if (c.type() == TYPE_REFINEMENT && c.symbol() == words::local.symbol()) return;
        if (c.type() != TYPE_WORD && c.type() != TYPE_LIT_WORD && c.type() != TYPE_GET_WORD) continue;
        if (n-- == 0) {
            *out = c;
            set_type(out, TYPE_WORD);
            return;
        }
    }
}
}  // namespace

void (*call_argument_hook)(int32_t n, Cell* out) = spec_argument;

Cell* caller_word(Cell* out) {
    stack::Frame* f = stack::error_ctop ? stack::error_ctop : stack::ctop;
    stack::error_ctop = nullptr;
    uint32_t body = words::body.symbol();
    uint32_t anon = words::anon.symbol();
    while (--f >= stack::cbottom) {
        if (f->symbol == 0 || f->symbol == body || f->symbol == anon) continue;
        word::make_bound(out, f->symbol, f->name_ctx);
        last_caller = *out;
        return out;
    }
    *out = words::not_found;
    last_caller = *out;
    return out;
}

namespace {

// script expect-arg: the caller, the datatype refused, the argument's word.
[[noreturn]] void fire_expect_arg(uint32_t type, int32_t argument) {
    Cell caller, dt, arg;
    caller_word(&caller);
    datatype::make_at(&dt, type);
    call_argument_hook(argument, &arg);
    fire(err::EXPECT_ARG, &caller, &dt, &arg);
}

}  // namespace

ActionFn get_action_ptr_from(uint32_t type, Cell* value, uint32_t slot) {
    if (value->type() == TYPE_PORT && slot >= slot::append && port_action_hook) {
        if (ActionFn fn = port_action_hook(value, slot)) return fn;
    }
    ActionFn fn = datatype::action(type, slot);
    if (!fn) fire_expect_arg(type, 0);
    return fn;
}

ActionFn get_action_ptr_path(Cell* value, uint32_t slot, Cell* path, Cell* element,
                             int32_t element_index) {
    ActionFn fn = datatype::action(value->type(), slot);
    if (fn) return fn;
    Cell dt;
    datatype::make_at(&dt, value->type());
    if (!path) fire(err::BAD_PATH_TYPE2, element, &dt);
    // The path as far as the element that failed.
    Cell cut = *path;
    SeriesBuffer* src = series_of(path);
    uint32_t length = src->count() > path->head() ? src->count() - path->head() : 0;
    uint32_t n = element_index < 0 ? 0 : static_cast<uint32_t>(element_index) + 1;
    if (n > length) n = length;
    Node node = memory::alloc_cells(n);
    SeriesBuffer* dst = memory::buffer(node);
    src = series_of(path);
    std::memcpy(dst->offset_addr(), src->data_at(path->head() * sizeof(Cell)), n * sizeof(Cell));
    dst->tail = dst->offset + n * static_cast<uint32_t>(sizeof(Cell));
    cut.data1 = 0;
    cut.data2 = node;
    fire(err::BAD_PATH_TYPE, path, &dt, &cut);
}

// ---- Generic dispatchers ------------------------------------------------------------------

namespace {
uint32_t target_type(const Cell* proto) {
    return proto->type() == TYPE_DATATYPE ? proto->data1 : proto->type();
}
}  // namespace

Cell* make(Cell* proto, Cell* spec) {
    uint32_t type = target_type(proto);
    return lookup_type<slot::make>(type, proto)(proto, spec, type);
}

Cell* to(Cell* proto, Cell* spec) {
    uint32_t type = target_type(proto);
    return lookup_type<slot::to>(type, proto)(proto, spec, type);
}

Cell* random(Cell* value, bool seed, bool secure, bool only) {
    return lookup<slot::random>(value)(value, seed, secure, only);
}

Cell* reflect(Cell* value, Cell* field) { return lookup<slot::reflect>(value)(value, field); }

int32_t form(Cell* value, Cell* buffer, Cell* part, int32_t limit) {
    return lookup<slot::form>(value)(value, buffer, part, limit);
}

int32_t mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part, int32_t limit,
             int32_t indent) {
    return lookup<slot::mold>(value)(value, buffer, only, all, flat, part, limit, indent);
}

Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell* holder, Cell* prev,
                int32_t index, bool case_, bool get, bool last) {
    auto fn = reinterpret_cast<Impl<slot::eval_path>>(
        get_action_ptr_path(parent, slot::eval_path, path, element, index));
    return fn(parent, element, value, path, holder, prev, index, case_, get, last);
}

#define ZEM_ONE_ARG(name) \
    Cell* name(Cell* value) { return lookup<slot::name>(value)(value); }
#define ZEM_TWO_ARGS(name) \
    Cell* name(Cell* value1, Cell* value2) { return lookup<slot::name>(value1)(value1, value2); }
ZEM_ONE_ARG(absolute)
ZEM_TWO_ARGS(add)
ZEM_TWO_ARGS(divide)
ZEM_TWO_ARGS(multiply)
ZEM_ONE_ARG(negate)
ZEM_TWO_ARGS(power)
ZEM_TWO_ARGS(remainder)
ZEM_TWO_ARGS(subtract)
ZEM_TWO_ARGS(and_)
ZEM_ONE_ARG(complement)
ZEM_TWO_ARGS(or_)
ZEM_TWO_ARGS(xor_)
ZEM_TWO_ARGS(at)
ZEM_ONE_ARG(back)
ZEM_ONE_ARG(clear)
ZEM_ONE_ARG(head)
ZEM_ONE_ARG(head_q)
ZEM_ONE_ARG(index_q)
ZEM_ONE_ARG(next)
ZEM_TWO_ARGS(skip)
ZEM_TWO_ARGS(swap)
ZEM_ONE_ARG(tail)
ZEM_ONE_ARG(tail_q)
ZEM_ONE_ARG(create)
ZEM_ONE_ARG(close)
ZEM_ONE_ARG(delete_)
ZEM_ONE_ARG(open_q)
ZEM_ONE_ARG(query)
ZEM_TWO_ARGS(rename)
ZEM_ONE_ARG(update)
#undef ZEM_ONE_ARG
#undef ZEM_TWO_ARGS

Cell* round(Cell* n, Cell* scale, bool even, bool down, bool half_down, bool floor, bool ceiling,
            bool half_ceiling) {
    return lookup<slot::round>(n)(n, scale, even, down, half_down, floor, ceiling, half_ceiling);
}

bool even_q(Cell* number) { return lookup<slot::even_q>(number)(number); }
bool odd_q(Cell* number) { return lookup<slot::odd_q>(number)(number); }

Cell* append(Cell* series, Cell* value, int32_t part, bool only, int32_t dup) {
    return lookup<slot::append>(series)(series, value, part, only, dup, true);
}

Cell* insert(Cell* series, Cell* value, int32_t part, bool only, int32_t dup, bool append) {
    // One implementation serves both slots, but a datatype may support only one of them.
    auto impl = append ? lookup<slot::append>(series) : lookup<slot::insert>(series);
    return impl(series, value, part, only, dup, append);
}

Cell* change(Cell* series, Cell* value, int32_t part, bool only, int32_t dup) {
    return lookup<slot::change>(series)(series, value, part, only, dup);
}

Cell* copy(Cell* value, Cell* result, Cell* part, bool deep, Cell* types) {
    return lookup<slot::copy>(value)(value, result, part, deep, types);
}

Cell* find(Cell* series, Cell* value, Cell* part, bool only, bool case_, bool same, bool any,
           Cell* with, Cell* skip, bool last, bool reverse, bool tail, bool match) {
    return lookup<slot::find>(series)(series, value, part, only, case_, same, any, with, skip, last,
                                      reverse, tail, match);
}

int32_t length_q(Cell* series) { return lookup<slot::length_q>(series)(series); }

Cell* move(Cell* origin, Cell* target, Cell* part) {
    return lookup<slot::move>(origin)(origin, target, part);
}

Cell* pick(Cell* series, int32_t index, Cell* boxed) {
    return lookup<slot::pick>(series)(series, index, boxed);
}

Cell* poke(Cell* series, int32_t index, Cell* value, Cell* boxed) {
    return lookup<slot::poke>(series)(series, index, value, boxed);
}

Cell* put(Cell* series, Cell* key, Cell* value, bool case_) {
    return lookup<slot::put>(series)(series, key, value, case_);
}

Cell* remove(Cell* series, Cell* part, Cell* key) {
    return lookup<slot::remove>(series)(series, part, key);
}

Cell* reverse(Cell* series, Cell* part, Cell* skip) {
    return lookup<slot::reverse>(series)(series, part, skip);
}

Cell* select(Cell* series, Cell* value, Cell* part, bool only, bool case_, bool same, bool any,
             Cell* with, Cell* skip, bool last, bool reverse) {
    return lookup<slot::select>(series)(series, value, part, only, case_, same, any, with, skip,
                                        last, reverse);
}

Cell* sort(Cell* series, bool case_, Cell* skip, Cell* comparator, Cell* part, bool all,
           bool reverse, bool stable) {
    return lookup<slot::sort>(series)(series, case_, skip, comparator, part, all, reverse, stable);
}

Cell* take(Cell* series, Cell* part, bool deep, bool last) {
    return lookup<slot::take>(series)(series, part, deep, last);
}

Cell* trim(Cell* series, bool head, bool tail, bool auto_, bool lines, bool all, Cell* with) {
    return lookup<slot::trim>(series)(series, head, tail, auto_, lines, all, with);
}

Cell* modify(Cell* target, Cell* field, Cell* value, bool case_) {
    return lookup<slot::modify>(target)(target, field, value, case_);
}

Cell* open(Cell* port, bool new_, bool read, bool write, bool seek, Cell* allow) {
    return lookup<slot::open>(port)(port, new_, read, write, seek, allow);
}

Cell* read(Cell* source, Cell* part, Cell* seek, bool binary, bool lines, bool info, Cell* as) {
    return lookup<slot::read>(source)(source, part, seek, binary, lines, info, as);
}

Cell* write(Cell* destination, Cell* data, bool binary, bool lines, bool info, bool append,
            Cell* part, Cell* seek, Cell* allow, Cell* as) {
    return lookup<slot::write>(destination)(destination, data, binary, lines, info, append, part,
                                            seek, allow, as);
}

int32_t count_arg(const Cell* value) {
    if (value->type() != TYPE_FLOAT && value->type() != TYPE_PERCENT) return value->int_value();
    double d = value->float_value();
    if (std::isnan(d) || d >= 2147483648.0 || d <= -2147483649.0) fire(err::OUT_OF_RANGE, value);
    return static_cast<int32_t>(d);
}

int32_t pick_index() {
    const Cell* index = stack::arguments + 1;
    switch (index->type()) {
        case TYPE_LOGIC: return index->data1 ? 1 : 2;
        case TYPE_INTEGER:
        case TYPE_CHAR:
        case TYPE_FLOAT:
        case TYPE_PERCENT: return count_arg(index);
        default: return 0;
    }
}

// ---- Comparison -----------------------------------------------------------------------------

namespace {
int32_t sign(int64_t d) { return d < 0 ? -1 : d > 0 ? 1 : 0; }

void set_logic(Cell* slot, bool value) {
    slot->header = TYPE_LOGIC;
    slot->data1 = value ? 1 : 0;
}
}  // namespace

int32_t compare(Cell* value1, Cell* value2, int32_t op) {
    uint32_t type = value1->type();
    switch (type) {
        case TYPE_LOGIC:
        case TYPE_NATIVE:
        case TYPE_ACTION:
        case TYPE_OP:
        case TYPE_FUNCTION:
        case TYPE_ROUTINE:
            // Their payload words mean something only between values of
            // one type.
            if (value2->type() != type) return NOT_COMPARABLE;
            if (type == TYPE_LOGIC)
                return static_cast<int32_t>(value1->data1 != 0) - static_cast<int32_t>(value2->data1 != 0);
            if (type == TYPE_FUNCTION || type == TYPE_ROUTINE)
                return sign(static_cast<int64_t>(value1->data3) - value2->data3);
            return sign(static_cast<int64_t>(value1->data1) - value2->data1);
        default: return lookup<slot::compare>(value1)(value1, value2, op);
    }
}

bool compare_star(Cell* value1, Cell* value2, int32_t op) {
    int32_t r = lookup<slot::compare>(value1)(value1, value2, op);
    switch (op) {
        case COMP_EQUAL:
        case COMP_STRICT_EQUAL:
        case COMP_SAME:
        case COMP_STRICT_EQUAL_WORD:
        case COMP_EQUAL_WORD:
        case COMP_FIND: return r == 0;
        case COMP_NOT_EQUAL: return r != 0;
        default: break;
    }
    if (r == NOT_COMPARABLE) fire(err::INVALID_COMPARE, value1, value2);
    switch (op) {
        case COMP_LESSER: return r < 0;
        case COMP_LESSER_EQUAL: return r <= 0;
        case COMP_GREATER: return r > 0;
        case COMP_GREATER_EQUAL: return r >= 0;
        default: sys::no_switch_matched();
    }
}

void compare_box(int32_t op) {
    bool r = compare_star(stack::arguments, stack::arguments + 1, op);
    set_logic(stack::arguments, r);
}

// ---- Stack entry points ----------------------------------------------------------------------

namespace {

Cell* arg(int i) { return stack::arguments + i; }
bool flag(const int32_t* refs, int i) { return refs[i] >= 0; }
Cell* refarg(const int32_t* refs, int i) { return refs[i] < 0 ? nullptr : stack::arguments + refs[i]; }

Unwind result(const Cell* c) {
    if (c && c != stack::arguments) *stack::arguments = *c;
    return Unwind::none;
}

void set_none(Cell* slot) { slot->header = TYPE_NONE; }
void set_integer(Cell* slot, int32_t n) {
    slot->header = TYPE_INTEGER;
    slot->data2 = static_cast<uint32_t>(n);
}

// Series types that a /part argument can measure.
bool part_series_q(const Cell* value) {
    switch (value->type()) {
        case TYPE_BLOCK: case TYPE_PAREN: case TYPE_HASH:
        case TYPE_PATH: case TYPE_LIT_PATH: case TYPE_SET_PATH: case TYPE_GET_PATH:
        case TYPE_STRING: case TYPE_FILE: case TYPE_URL: case TYPE_TAG: case TYPE_EMAIL:
        case TYPE_REF: case TYPE_BINARY: case TYPE_VECTOR: case TYPE_IMAGE: case TYPE_MAP:
            return value->node() != 0;
        default: return false;
    }
}

// Elements of the whole series buffer of a series value.
uint32_t buffer_length(const Cell* value) {
    SeriesBuffer* s = series_of(value);
    return s->unit() ? s->count() : 0;
}

// The word `part`, for invalid-refine-arg.
[[noreturn]] void fire_bad_part(Cell* part) {
    Cell w = words::ref::part;
    set_type(&w, TYPE_WORD);
    fire(err::INVALID_REFINE_ARG, &w, part);
}

// The /part count of append and insert, measured on the value; false when
// the action has nothing to do.
bool part_of_value(Cell* value, Cell* part, int32_t* count) {
    if (!part_series_q(value)) fire(err::INVALID_PART, part);
    uint32_t length = buffer_length(value);
    if (value->head() > length) value->data1 = length;
    int32_t n;
    if (part->type() == TYPE_INTEGER) {
        n = part->int_value();
    } else {
        if (part->type() != value->type() || part->node() != value->node()) fire_bad_part(part);
        n = static_cast<int32_t>(part->head()) - static_cast<int32_t>(value->head());
    }
    if (n < 0) {
        int32_t head = static_cast<int32_t>(value->head());
        int32_t from = head + n < 0 ? 0 : head + n;
        n = head - from;
        value->data1 = static_cast<uint32_t>(from);
    }
    *count = n;
    return n != 0;
}

Unwind insert_entry(const int32_t* refs, bool append) {
    Cell* series = arg(0);
    Cell* value = arg(1);
    int32_t part = -1;
    if (Cell* p = refarg(refs, 0)) {
        if (!part_of_value(value, p, &part)) return Unwind::none;
    }
    int32_t dup = 1;
    if (Cell* d = refarg(refs, 2)) {
        dup = d->int_value();
        if (dup < 1) return Unwind::none;
    }
    return result(insert(series, value, part, flag(refs, 1), dup, append));
}

Unwind e_make(bool, const int32_t*) { return result(make(arg(0), arg(1))); }
Unwind e_random(bool, const int32_t* r) { return result(random(arg(0), flag(r, 0), flag(r, 1), flag(r, 2))); }
Unwind e_reflect(bool, const int32_t*) { return result(reflect(arg(0), arg(1))); }
Unwind e_to(bool, const int32_t*) { return result(to(arg(0), arg(1))); }

// form and mold: the text goes into a new string, cut to the /part limit;
// a limit below 1 gives an empty string at once.
template <typename Write>
Unwind text_entry(Cell* part, Write write) {
    int32_t limit = part ? part->int_value() : INT32_MAX;
    if (limit < 1) {
        string::rs_make_at(stack::arguments, 0);
        return Unwind::none;
    }
    Cell* buffer = string::rs_make_at(stack::push_slot(), 16);
    write(buffer, limit);
    if (part) string::truncate_to(series_of(buffer), static_cast<uint32_t>(limit));
    return result(buffer);
}

Unwind e_form(bool, const int32_t* r) {
    Cell* part = refarg(r, 0);
    return text_entry(part, [&](Cell* buffer, int32_t limit) { form(arg(0), buffer, part, limit); });
}

Unwind e_mold(bool, const int32_t* r) {
    Cell* part = refarg(r, 3);
    return text_entry(part, [&](Cell* buffer, int32_t limit) {
        mold(arg(0), buffer, flag(r, 0), flag(r, 1), flag(r, 2), part, limit, 0);
    });
}

Unwind e_eval_path(bool, const int32_t* r) {
    return result(eval_path(arg(0), arg(1), refarg(r, 0), nullptr, nullptr, nullptr, 0, false,
                            false, true));
}

Unwind e_compare(bool, const int32_t*) {
    bool r = compare_star(arg(0), arg(1), arg(2)->int_value());
    set_logic(stack::arguments, r);
    return Unwind::none;
}

template <Cell* (*F)(Cell*)>
Unwind e_one(bool, const int32_t*) {
    return result(F(arg(0)));
}
template <Cell* (*F)(Cell*, Cell*)>
Unwind e_two(bool, const int32_t*) {
    return result(F(arg(0), arg(1)));
}

Unwind e_round(bool, const int32_t* r) {
    return result(round(arg(0), refarg(r, 0), flag(r, 1), flag(r, 2), flag(r, 3), flag(r, 4),
                        flag(r, 5), flag(r, 6)));
}

Unwind e_even_q(bool, const int32_t*) {
    set_logic(stack::arguments, even_q(arg(0)));
    return Unwind::none;
}
Unwind e_odd_q(bool, const int32_t*) {
    set_logic(stack::arguments, odd_q(arg(0)));
    return Unwind::none;
}

Unwind e_append(bool, const int32_t* r) { return insert_entry(r, true); }
Unwind e_insert(bool, const int32_t* r) { return insert_entry(r, false); }

Unwind e_change(bool, const int32_t* r) {
    Cell* series = arg(0);
    bool fixed = series->type() == TYPE_IMAGE || series->type() == TYPE_PORT;
    int32_t part = -1;
    if (Cell* p = refarg(r, 0)) {
        if (!fixed && part_series_q(series)) {
            uint32_t length = buffer_length(series);
            if (series->head() > length) series->data1 = length;
        }
        if (p->type() == TYPE_INTEGER) {
            part = p->int_value();
        } else {
            if (fixed || p->type() != series->type() || p->node() != series->node()) fire_bad_part(p);
            part = static_cast<int32_t>(p->head()) - static_cast<int32_t>(series->head());
        }
        if (part < 0) {
            if (fixed) {
                part = 0;
            } else {
                int32_t head = static_cast<int32_t>(series->head());
                int32_t from = head + part < 0 ? 0 : head + part;
                part = head - from;
                series->data1 = static_cast<uint32_t>(from);
            }
        }
    }
    int32_t dup = 1;
    if (Cell* d = refarg(r, 2)) {
        dup = count_arg(d);
        if (dup < 1) return Unwind::none;
    }
    return result(change(series, arg(1), part, flag(r, 1), dup));
}

Unwind e_copy(bool, const int32_t* r) {
    Cell* types = refarg(r, 2);
    if (types && types->type() != TYPE_DATATYPE && types->type() != TYPE_TYPESET) {
        Cell caller, dt, word;
        caller_word(&caller);
        datatype::make_at(&dt, types->type());
        call_argument_hook(5, &word);
        fire(err::EXPECT_ARG, &caller, &dt, &word);
    }
    return result(copy(arg(0), stack::arguments, refarg(r, 0), flag(r, 1), types));
}

Unwind e_find(bool, const int32_t* r) {
    return result(find(arg(0), arg(1), refarg(r, 0), flag(r, 1), flag(r, 2), flag(r, 3),
                       flag(r, 4), refarg(r, 5), refarg(r, 6), flag(r, 7), flag(r, 8), flag(r, 9),
                       flag(r, 10)));
}

Unwind e_length_q(bool, const int32_t*) {
    int32_t n = length_q(arg(0));
    if (n == -1) set_none(stack::arguments);
    else set_integer(stack::arguments, n);
    return Unwind::none;
}

Unwind e_move(bool, const int32_t* r) { return result(move(arg(0), arg(1), refarg(r, 0))); }
Unwind e_pick(bool, const int32_t*) { return result(pick(arg(0), pick_index(), arg(1))); }
Unwind e_poke(bool, const int32_t*) { return result(poke(arg(0), pick_index(), arg(2), arg(1))); }
Unwind e_put(bool, const int32_t* r) { return result(put(arg(0), arg(1), arg(2), flag(r, 0))); }
Unwind e_remove(bool, const int32_t* r) { return result(remove(arg(0), refarg(r, 0), refarg(r, 1))); }
Unwind e_reverse(bool, const int32_t* r) { return result(reverse(arg(0), refarg(r, 0), refarg(r, 1))); }

Unwind e_select(bool, const int32_t* r) {
    return result(select(arg(0), arg(1), refarg(r, 0), flag(r, 1), flag(r, 2), flag(r, 3),
                         flag(r, 4), refarg(r, 5), refarg(r, 6), flag(r, 7), flag(r, 8)));
}

Unwind e_sort(bool, const int32_t* r) {
    return result(sort(arg(0), flag(r, 0), refarg(r, 1), refarg(r, 2), refarg(r, 3), flag(r, 4),
                       flag(r, 5), flag(r, 6)));
}

Unwind e_take(bool, const int32_t* r) { return result(take(arg(0), refarg(r, 0), flag(r, 1), flag(r, 2))); }

Unwind e_trim(bool, const int32_t* r) {
    return result(trim(arg(0), flag(r, 0), flag(r, 1), flag(r, 2), flag(r, 3), flag(r, 4), refarg(r, 5)));
}

Unwind e_modify(bool, const int32_t* r) { return result(modify(arg(0), arg(1), arg(2), flag(r, 0))); }

Unwind e_open(bool, const int32_t* r) {
    return result(open(arg(0), flag(r, 0), flag(r, 1), flag(r, 2), flag(r, 3), refarg(r, 4)));
}

Unwind e_read(bool, const int32_t* r) {
    return result(read(arg(0), refarg(r, 0), refarg(r, 1), flag(r, 2), flag(r, 3), flag(r, 4), refarg(r, 5)));
}

Unwind e_write(bool, const int32_t* r) {
    return result(write(arg(0), arg(1), flag(r, 0), flag(r, 1), flag(r, 2), flag(r, 3), refarg(r, 4),
                        refarg(r, 5), refarg(r, 6), refarg(r, 7)));
}

}  // namespace

NativeEntry entries[ACTION_COUNT];

void init() {
    const NativeEntry list[ACTION_COUNT] = {
        e_make, e_random, e_reflect, e_to, e_form, e_mold, e_eval_path, nullptr, e_compare,
        e_one<absolute>, e_two<add>, e_two<divide>, e_two<multiply>, e_one<negate>, e_two<power>,
        e_two<remainder>, e_round, e_two<subtract>, e_even_q, e_odd_q, e_two<and_>,
        e_one<complement>, e_two<or_>, e_two<xor_>,
        e_append, e_two<at>, e_one<back>, e_change, e_one<clear>, e_copy, e_find, e_one<head>,
        e_one<head_q>, e_one<index_q>, e_insert, e_length_q, e_move, e_one<next>, e_pick, e_poke,
        e_put, e_remove, e_reverse, e_select, e_sort, e_two<skip>, e_two<swap>, e_one<tail>,
        e_one<tail_q>, e_take, e_trim,
        e_one<create>, e_one<close>, e_one<delete_>, e_modify, e_open, e_one<open_q>, e_one<query>,
        e_read, e_two<rename>, e_one<update>, e_write,
    };
    for (uint32_t i = 0; i < ACTION_COUNT; ++i) entries[i] = list[i];
}


}  // namespace actions
