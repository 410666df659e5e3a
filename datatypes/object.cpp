// object!: a context with identity. Making, copying, field access, change
// notification, text, comparison and reflection of objects.
#include "datatypes/object.h"

#include "datatypes/block.h"
#include "evaluator/context.h"
#include "datatypes/datatype.h"
#include "datatypes/function.h"
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
#include "runtime/typesets.h"

namespace object {

namespace {

int32_t class_counter = FIRST_CLASS_ID;

Cell none_value() { return Cell{TYPE_NONE, 0, 0, 0}; }
Cell unset_value() { return Cell{TYPE_UNSET, 0, 0, 0}; }
Cell int_value(int32_t n) { return Cell{TYPE_INTEGER, 0, static_cast<uint32_t>(n), 0}; }
Cell logic_value(bool b) { return Cell{TYPE_LOGIC, b ? 1u : 0u, 0, 0}; }
Cell dtype(uint32_t t) {
    Cell c;
    return *datatype::make_at(&c, t);
}

uint32_t canon(uint32_t sym) { return symbol::resolve(sym); }

// Grows or cuts the values of an object context to n cells.
void set_values_length(Node ctx, uint32_t n) {
    Node values = context::values_of(ctx);
    while (memory::buffer(values)->count() < n) alloc_series_tail(memory::buffer(values));
    SeriesBuffer* s = memory::buffer(values);
    s->tail = s->offset + n * static_cast<uint32_t>(sizeof(Cell));
}

void put_char(Cell* buffer, char c) { string::append_char(series_of(buffer), static_cast<uint8_t>(c)); }

// ---- Handler records -----------------------------------------------------------------

constexpr uint32_t NO_HANDLER = 0xFFFFu;

int32_t record_index(const Cell& c) {
    uint32_t i = c.data2 >> 16;
    return i == NO_HANDLER ? -1 : static_cast<int32_t>(i);
}

Cell* record_cells(Node record) { return reinterpret_cast<Cell*>(memory::buffer(record)->offset_addr()); }

Cell record_cell(int32_t index, const Cell* fn) {
    if (index < 0) return Cell{TYPE_PAIR, 0, NO_HANDLER << 16, 0};
    Cell spec = function::spec_of(fn);
    auto locals = static_cast<uint32_t>(function::count_locals(&spec, 0, false));
    return Cell{TYPE_PAIR, 0, (static_cast<uint32_t>(index) << 16) | (locals & 0xFFFF), fn->data2};
}

// A handler whose spec changed since it was counted is counted again.
void refresh_record(Node record, uint32_t which, const Cell* fn) {
    Cell* c = record_cells(record) + which;
    if (c->data3 == fn->data2) return;
    Cell fresh = record_cell(record_index(*c), fn);
    record_cells(record)[which] = fresh;
}

// Calls a handler function with these arguments inside a function frame
// named by `name`. The arguments fill its parameters in order (missing ones
// none); its refinements are off and its locals none.
void call_handler(const Cell& fn_in, const Cell& name_in, const Cell* args, uint32_t count) {
    Cell fn = fn_in, name = name_in;
    uint32_t base_index = stack::index_of(stack::arguments);
    Cell* saved_top = stack::top;
    stack::Frame* saved_ctop = stack::ctop;
    *stack::push_slot() = unset_value();
    stack::mark_func(&name, fn.ctx());
    Cell spec = function::spec_of(&fn);
    bool refinements = false;
    uint32_t taken = 0;
    for (uint32_t i = spec.head(); i < block::rs_length_q(&spec); ++i) {
        Cell c = *block::rs_abs_at(&spec, i);
        uint32_t t = c.type();
        if (t == TYPE_REFINEMENT) {
            refinements = true;
            Cell off = logic_value(false);
            stack::push(&off);
        } else if (t == TYPE_WORD || t == TYPE_GET_WORD || t == TYPE_LIT_WORD) {
            Cell v = !refinements && taken < count ? args[taken++] : none_value();
            stack::push(&v);
        }
    }
    Unwind u = interpreter::call_function(&fn, &name);
    if (u != Unwind::none) throw UnwindThrown{u};
    stack::unwind_func();
    stack::top = saved_top;
    stack::ctop = saved_ctop;
    stack::arguments = stack::bottom + base_index;
}

// ---- Functions bound to an object ---------------------------------------------------------

// Replaces the function held in field i by a copy whose body is bound to
// the object's context (then to the function's own).
void rebind_function(Node ctx, uint32_t i) {
    Cell fn = *context::value_at(ctx, i);
    Cell body = *function::more(&fn, function::MORE_BODY);
    if (body.type() != TYPE_BLOCK) fire(err::BAD_FUNC_DEF, &fn);
    Cell spec = function::spec_of(&fn);
    Cell copy;
    function::clone(&body, &copy);
    context::bind(&copy, ctx, true);
    Cell* saved = stack::top;
    function::push(&spec, &copy, 0, 0, 0, fn.header & (function::FLAG_TRACE | function::FLAG_NO_TRACE));
    Cell fresh = *(stack::top - 1);
    stack::top = saved;
    *function::more(&fresh, function::MORE_ENTRY) = unset_value();
    *context::value_at(ctx, i) = fresh;
}

void rebind_functions(Node ctx) {
    for (uint32_t i = 0; i < context::word_count(ctx); ++i)
        if (context::value_at(ctx, i)->type() == TYPE_FUNCTION) rebind_function(ctx, i);
}

// Every series value of the context replaced by its deep copy.
void copy_series_values(Node ctx) {
    for (uint32_t i = 0; i < context::word_count(ctx); ++i) {
        Cell v = *context::value_at(ctx, i);
        if (!in(SERIES, v.type())) continue;
        actions::copy(&v, &v, nullptr, true, nullptr);
        *context::value_at(ctx, i) = v;
    }
}

// Attaches the record and, with a deep handler, makes the object own its
// series; stores the object in its self cell.
void finish_events(Cell* obj) {
    obj->data3 = events_record(obj);
    *context::self_of(obj->ctx()) = *obj;
    if (has_deep_handler_q(obj)) {
        Cell o = *obj, none = none_value();
        ownership::bind_owner(&o, &o, &none);
    }
}

}  // namespace

int32_t new_class_id() { return ++class_counter; }

// ---- Making ------------------------------------------------------------------------------

Cell* make_at(Cell* slot, uint32_t slots) {
    Node ctx = context::create(slots, false, true, 0, context::KIND_OBJECT);
    Cell obj{TYPE_OBJECT, ctx, 0, 0};
    *context::self_of(ctx) = obj;
    *slot = obj;
    return slot;
}

Cell* push(Node ctx, Node record, int32_t class_id) {
    Cell obj{TYPE_OBJECT, ctx, static_cast<uint32_t>(class_id), record};
    return stack::push(&obj);
}

bool collect_set_words(const Cell* spec_in, Node ctx, bool only) {
    Cell spec = *spec_in;
    uint32_t before = context::word_count(ctx);
    uint32_t n = block::rs_length_q(&spec);
    uint32_t i = 0;
    while (i < n) {
        Cell c = block::rs_clamp_head(&spec)[i];
        if (c.type() != TYPE_SET_WORD) {
            ++i;
            continue;
        }
        uint32_t run_end = i;
        while (run_end < n && block::rs_clamp_head(&spec)[run_end].type() == TYPE_SET_WORD) ++run_end;
        Cell v = run_end < n ? block::rs_clamp_head(&spec)[run_end] : none_value();
        if (!only && v.type() == TYPE_WORD) {
            uint32_t sym = canon(v.symbol());
            if (sym == canon(words::sym::true_) || sym == canon(words::sym::yes) || sym == canon(words::sym::on))
                v = logic_value(true);
            else if (sym == canon(words::sym::false_) || sym == canon(words::sym::no) ||
                     sym == canon(words::sym::off))
                v = logic_value(false);
            else if (sym == canon(words::sym::none))
                v = none_value();
        }
        v.header &= ~FLAG_NEW_LINE;
        for (uint32_t j = i; j < run_end; ++j) {
            Cell w = block::rs_clamp_head(&spec)[j];
            context::put(ctx, &w, &v);
        }
        i = run_end;
    }
    return context::word_count(ctx) > before;
}

Cell* create(const Cell* spec_in, const Cell* proto_in, bool only, Cell* out) {
    Cell spec = *spec_in;
    Cell obj;
    bool with_proto = proto_in && in(ANY_OBJECT, proto_in->type());
    if (with_proto) {
        Cell proto = *proto_in;
        copy_into(&proto, &obj, true, nullptr, true);
    } else {
        make_at(&obj, 4);
    }
    stack::push(&obj);  // keeps the new object alive while it is filled
    bool grew = collect_set_words(&spec, obj.ctx(), only);
    stack::pop(1);
    if (!with_proto || grew) obj.data2 = static_cast<uint32_t>(new_class_id());
    *context::self_of(obj.ctx()) = obj;
    *out = obj;
    return out;
}

Node events_record(const Cell* obj) {
    Node ctx = obj->ctx();
    int32_t found[2] = {-1, -1};
    uint32_t handlers[2] = {canon(words::on_change.symbol()), canon(words::on_deep_change.symbol())};
    for (uint32_t i = 0; i < context::word_count(ctx); ++i) {
        uint32_t sym = canon(context::word_at(ctx, i)->symbol());
        for (uint32_t k = 0; k < 2; ++k)
            if (sym == handlers[k] && found[k] < 0) found[k] = static_cast<int32_t>(i);
    }
    if (found[0] < 0 && found[1] < 0) return 0;
    Cell fns[2];
    for (uint32_t k = 0; k < 2; ++k) {
        if (found[k] < 0) continue;
        fns[k] = *context::value_at(ctx, static_cast<uint32_t>(found[k]));
        if (fns[k].type() != TYPE_FUNCTION) {
            Cell w = *context::word_at(ctx, static_cast<uint32_t>(found[k]));
            set_type(&w, TYPE_WORD);
            Cell dt = dtype(fns[k].type());
            fire(err::BAD_FIELD_SET, &dt, &w);
        }
    }
    Node record = memory::alloc_cells(2);
    SeriesBuffer* s = memory::buffer(record);
    s->tail = s->offset + 2 * static_cast<uint32_t>(sizeof(Cell));
    for (uint32_t k = 0; k < 2; ++k) {
        Cell c = record_cell(found[k], found[k] < 0 ? nullptr : &fns[k]);
        record_cells(record)[k] = c;
    }
    return record;
}

Cell* copy_into(const Cell* obj_in, Cell* slot, bool deep, const Cell* types_in, bool reset) {
    Cell obj = *obj_in;
    Cell types = types_in ? *types_in : Cell{};
    Node src = obj.ctx();
    uint32_t n = context::word_count(src);
    Node ctx = context::create(n, false, true, src, context::KIND_OBJECT);
    for (uint32_t i = 0; i < context::word_count(ctx); ++i) context::word_at(ctx, i)->data1 = ctx;
    set_values_length(ctx, n);
    Cell* from = context::value_at(src, 0);
    std::memcpy(context::value_at(ctx, 0), from, n * sizeof(Cell));
    Cell result{obj.header & ~FLAG_NEW_LINE, ctx, obj.data2, reset ? 0u : obj.data3};
    *context::self_of(ctx) = result;
    stack::push(&result);  // keeps the copy alive while its values are copied
    cycles::push(src);
    if (deep && !types_in) {
        block::copy_values_deep(context::values_of(ctx), 0, n, 1, true, nullptr);
    } else if (types_in) {
        block::copy_values_deep(context::values_of(ctx), 0, n, 1, deep, &types);
    }
    cycles::pop();
    rebind_functions(ctx);
    if (reset) finish_events(&result);
    stack::pop(1);
    *slot = result;
    return slot;
}

// ---- Access ---------------------------------------------------------------------------------

Cell* value_at(Node ctx, uint32_t index) { return context::value_at(ctx, index); }

int32_t find_word(const Cell* obj, const Cell* word) {
    return context::find_symbol(obj->ctx(), word->symbol(), true);
}

const Cell* select_word(const Cell* obj, const Cell* word) {
    int32_t i = find_word(obj, word);
    return i < 0 ? &block::none_cell : context::value_at(obj->ctx(), static_cast<uint32_t>(i));
}

uint32_t words_count(const Cell* obj) { return context::word_count(obj->ctx()); }

bool field_of_class_q(Node ctx, uint32_t index, int32_t class_id) {
    if (!ctx || index >= context::word_count(ctx)) return false;
    const Cell* v = context::value_at(ctx, index);
    return v && v->type() == TYPE_OBJECT && static_cast<int32_t>(v->data2) == class_id;
}

void set_many(Cell* obj_in, const Cell* value_in, bool any, bool only, bool some) {
    Cell obj = *obj_in, value = *value_in;
    Node ctx = obj.ctx();
    uint32_t n = context::word_count(ctx);
    uint32_t handlers[2] = {canon(words::on_change.symbol()), canon(words::on_deep_change.symbol())};
    bool notify = context::self_of(ctx)->data3 != 0;
    auto assign = [&](uint32_t i, const Cell& v) {
        if (some && v.type() == TYPE_NONE) return;
        Cell w = *context::word_at(ctx, i);
        if (notify) {
            uint32_t sym = canon(w.symbol());
            if (sym == handlers[0] || sym == handlers[1]) return;
        }
        w.data1 = ctx;
        w.data3 = i;
        context::set_in(&w, &v, ctx, true);
    };
    bool spread = !only && (value.type() == TYPE_BLOCK || in(ANY_OBJECT, value.type()));
    if (!spread) {
        for (uint32_t i = 0; i < n; ++i) assign(i, value);
        return;
    }
    if (value.type() == TYPE_BLOCK) {
        uint32_t len = block::rs_length_q(&value);
        if (!any)
            for (uint32_t i = 0; i < n && i < len; ++i)
                if (block::rs_clamp_head(&value)[i].type() == TYPE_UNSET) {
                    Cell w = *context::word_at(ctx, i);
                    fire(err::NEED_VALUE, &w);
                }
        for (uint32_t i = 0; i < n; ++i) {
            Cell v = i < len ? block::rs_clamp_head(&value)[i] : none_value();
            v.header &= ~FLAG_NEW_LINE;
            assign(i, v);
        }
        return;
    }
    Node src = value.ctx();
    for (uint32_t i = 0; i < n; ++i) {
        int32_t j = context::find_symbol(src, context::word_at(ctx, i)->symbol(), true);
        if (j < 0) continue;
        Cell v = *context::value_at(src, static_cast<uint32_t>(j));
        if (!any && v.type() == TYPE_UNSET) {
            Cell w = *context::word_at(ctx, i);
            fire(err::NEED_VALUE, &w);
        }
        assign(i, v);
    }
}

void clear_changed(Node ctx) {
    for (uint32_t i = 0; i < context::word_count(ctx); ++i) context::word_at(ctx, i)->header &= ~FLAG_FIELD_WRITTEN;
}

void clear_cell_flag(Node series) {
    SeriesBuffer* s = memory::buffer(series);
    auto* c = reinterpret_cast<Cell*>(s->offset_addr());
    for (uint32_t i = 0; i < s->count(); ++i) c[i].header &= ~FLAG_NEW_LINE;
}

// ---- Change notification ---------------------------------------------------------------------

bool has_deep_handler_q(const Cell* obj) {
    return obj->data3 != 0 && record_index(record_cells(obj->data3)[1]) >= 0;
}

void fire_on_change(Cell* owner, Cell* word, Cell* old_value, Cell* new_value) {
    Cell obj = *owner;
    if (!in(ANY_OBJECT, obj.type()) || obj.data3 == 0) return;
    int32_t index = record_index(record_cells(obj.data3)[0]);
    if (index < 0) return;
    Node ctx = obj.ctx();
    Cell fn = *context::value_at(ctx, static_cast<uint32_t>(index));
    // The handler field no longer holds a function (it was assigned since
    // the record was made).
    if (fn.type() != TYPE_FUNCTION) fire(err::INVALID_OBJ_EVT, &fn);
    refresh_record(obj.data3, 0, &fn);
    Cell w = *word;
    if (w.ctx() != ctx) {
        int32_t i = context::find_symbol(ctx, w.symbol(), true);
        w.data1 = ctx;
        w.data3 = static_cast<uint32_t>(i);
    }
    set_type(&w, TYPE_WORD);
    w.header &= ~(FLAG_NEW_LINE | FLAG_FIELD_WRITTEN);
    Cell args[3] = {w, *old_value, *new_value};
    call_handler(fn, words::on_change, args, 3);
}

void fire_on_deep_change(Cell* owner, Cell* word, Cell* target, Cell* action, Cell* value, int32_t index,
                         int32_t part) {
    Cell obj = *owner;
    if (obj.data3 == 0) fire(err::INVALID_OBJ_EVT, &obj);
    int32_t field = record_index(record_cells(obj.data3)[1]);
    if (field < 0) return;
    Cell fn = *context::value_at(obj.ctx(), static_cast<uint32_t>(field));
    if (fn.type() != TYPE_FUNCTION) return;
    refresh_record(obj.data3, 1, &fn);
    Cell args[7] = {obj, *word, *target, *action, value ? *value : none_value(), int_value(index), int_value(part)};
    for (Cell& a : args) a.header &= ~FLAG_NEW_LINE;
    call_handler(fn, words::on_deep_change, args, 7);
}

// ---- Making (the action) -------------------------------------------------------------------------

Cell* make(Cell* proto_in, Cell* spec_in, uint32_t) {
    Cell proto = *proto_in, spec = *spec_in;
    bool with_proto = proto.type() == TYPE_OBJECT;
    if (spec.type() != TYPE_BLOCK && !in(ANY_OBJECT, spec.type())) datatype::fire_malconstruct(TYPE_OBJECT, &spec);
    Cell obj;
    if (with_proto)
        copy_into(&proto, &obj, true, nullptr, false);
    else
        make_at(&obj, 4);
    Cell* held = stack::push(&obj);  // keeps the new object alive while its spec runs
    Node ctx = obj.ctx();
    uint32_t before = context::word_count(ctx);
    if (spec.type() == TYPE_BLOCK) {
        context::collect_set_words(ctx, &spec);
        context::bind(&spec, ctx, true);
        if (with_proto)
            for (uint32_t i = 0; i < before; ++i) {
                Cell v = *context::value_at(ctx, i);
                if (in(ANY_BLOCK, v.type())) context::bind(&v, ctx, true);
            }
        *context::self_of(ctx) = obj;
        Cell* saved = stack::top;
        Unwind u = interpreter::eval(&spec, false);
        if (u != Unwind::none) throw UnwindThrown{u};
        stack::top = saved;
        clear_changed(ctx);
        clear_cell_flag(context::values_of(ctx));
    } else {
        Node src = spec.ctx();
        for (uint32_t i = 0; i < context::word_count(src); ++i) {
            Cell w = *context::word_at(src, i), v = *context::value_at(src, i);
            context::put(ctx, &w, &v);
        }
        copy_series_values(ctx);
        rebind_functions(ctx);
    }
    bool grew = context::word_count(ctx) > before;
    obj.data2 = with_proto && !grew ? proto.data2 : static_cast<uint32_t>(new_class_id());
    finish_events(&obj);
    *held = obj;
    *proto_in = obj;
    stack::top = held;
    return proto_in;
}

// ---- Text ---------------------------------------------------------------------------------------

int32_t serialize(Cell* obj_in, Cell* buffer, bool only, bool all, bool flat, Cell* part, int32_t limit,
                  bool indent, int32_t level, bool mold) {
    Cell obj = *obj_in;
    Node ctx = obj.ctx();
    bool indented = indent && !flat && !only;
    char separator = flat ? ' ' : '\n';
    uint32_t handlers[2] = {canon(words::on_change.symbol()), canon(words::on_deep_change.symbol())};
    bool written = false;
    cycles::push(ctx);
    for (uint32_t i = 0; i < context::word_count(ctx); ++i) {
        if (part && limit < 1) break;
        Cell w = *context::word_at(ctx, i);
        uint32_t sym = canon(w.symbol());
        if (!all && (sym == handlers[0] || sym == handlers[1])) continue;
        if (!written && mold && !flat && !only) {
            put_char(buffer, '\n');
            --limit;
        }
        if (written && !indented) {
            put_char(buffer, separator);
            --limit;
        }
        written = true;
        if (indented) limit = block::mold_indent(buffer, level, limit);
        w.header = TYPE_WORD;
        limit = actions::form(&w, buffer, part, limit);
        string::concatenate_literal(buffer, ": ");
        limit -= 2;
        Cell v = *context::value_at(ctx, i);
        if (v.header == 0) v = unset_value();
        v.header &= ~FLAG_NEW_LINE;
        if (v.type() == TYPE_WORD) {
            put_char(buffer, '\'');
            --limit;
        }
        limit = actions::mold(&v, buffer, false, all, flat, part, limit, level);
        if (indented) {
            put_char(buffer, separator);
            --limit;
        }
    }
    cycles::pop();
    return limit;
}

int32_t mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part, int32_t limit,
             int32_t indent) {
    if (cycles::detect_q(value, buffer, &limit, true)) return limit;
    if (!only) {
        string::concatenate_literal(buffer, "make object! [");
        limit -= 14;
    }
    limit = serialize(value, buffer, only, all, flat, part, limit, true, indent + 1, true);
    if (!flat && indent >= 1 && !only) limit = block::mold_indent(buffer, indent, limit);
    if (!only) {
        put_char(buffer, ']');
        --limit;
    }
    return limit;
}

int32_t form(Cell* value, Cell* buffer, Cell* part, int32_t limit) {
    if (cycles::detect_q(value, buffer, &limit, false)) return limit;
    return serialize(value, buffer, false, false, false, part, limit, false, 0, false);
}

// ---- Paths ----------------------------------------------------------------------------------------

Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell*, Cell*, int32_t, bool, bool get,
                bool last) {
    static Cell unset_result{TYPE_UNSET, 0, 0, 0};
    Cell none = none_value();
    Cell el = *element;
    Cell* where = path ? path : &none;
    if (!in(ANY_WORD, el.type())) fire(err::INVALID_PATH, where, &el);
    Node ctx = parent->ctx();
    int32_t i = -1;
    if (el.ctx() == ctx && el.index() >= 0 && static_cast<uint32_t>(el.index()) < context::word_count(ctx))
        i = el.index();
    else
        i = context::find_symbol(ctx, el.symbol(), true);
    if (value) {
        if (i < 0) fire(err::INVALID_PATH, where, &el);
        Cell w = *context::word_at(ctx, static_cast<uint32_t>(i));
        w.data1 = ctx;
        w.data3 = static_cast<uint32_t>(i);
        context::set_in(&w, value, ctx, true);
        return value;
    }
    Cell* slot = i < 0 ? nullptr : context::value_at(ctx, static_cast<uint32_t>(i));
    if (!slot || slot->type() == TYPE_UNSET) {
        if (get && last) {
            unset_result = unset_value();
            return &unset_result;
        }
        if (!last) fire(err::UNSET_PATH, where, &el);
        fire(err::INVALID_PATH, where, &el);
    }
    return slot;
}

// ---- Comparison -------------------------------------------------------------------------------------

int32_t compare(Cell* value1, Cell* value2, int32_t op) {
    if (value2->type() != TYPE_OBJECT) return actions::NOT_COMPARABLE;
    Cell a = *value1, b = *value2;
    if (a.ctx() == b.ctx()) return 0;
    if (op == actions::COMP_SAME) return -1;
    if (cycles::find_q(a.ctx()) || cycles::find_q(b.ctx())) return 0;
    uint32_t na = context::word_count(a.ctx()), nb = context::word_count(b.ctx());
    if (na != nb) return na < nb ? -1 : 1;
    cycles::push(a.ctx());
    cycles::push(b.ctx());
    int32_t result = 0;
    for (uint32_t i = 0; i < na && result == 0; ++i) {
        uint32_t sa = canon(context::word_at(a.ctx(), i)->symbol());
        uint32_t sb = canon(context::word_at(b.ctx(), i)->symbol());
        if (sa != sb) {
            result = sa < sb ? -1 : 1;
            break;
        }
        Cell va = *context::value_at(a.ctx(), i), vb = *context::value_at(b.ctx(), i);
        uint32_t ta = va.type(), tb = vb.type();
        bool comparable = ta == tb || (in(ALL_WORD, ta) && in(ALL_WORD, tb)) || (in(NUMBER, ta) && in(NUMBER, tb));
        if (!comparable) {
            result = ta < tb ? -1 : 1;
            break;
        }
        int32_t r = actions::compare(&va, &vb, op);
        if (r == actions::NOT_COMPARABLE) r = -1;
        result = r;
    }
    cycles::pop_n(2);
    return result;
}

// ---- Copy, put, select, modify, reflect ---------------------------------------------------------------

Cell* copy(Cell* value, Cell* result, Cell* part, bool deep, Cell* types) {
    if (part) {
        Cell word = words::ref::part;
        Cell p = *part;
        fire(err::INVALID_REFINE_ARG, &word, &p);
    }
    Cell obj = *value;
    // An object being copied already (it holds itself) stays shared.
    if (cycles::find_q(obj.ctx())) {
        *result = obj;
        return result;
    }
    return copy_into(&obj, result, deep, types, true);
}

Cell* put(Cell* series, Cell* key, Cell* value, bool) {
    Cell k = *key;
    if (k.type() != TYPE_WORD) {
        Cell dt = dtype(k.type());
        fire(err::INVALID_KEY_TYPE, &dt);
    }
    Cell obj = *series;
    int32_t i = context::find_symbol(obj.ctx(), k.symbol(), true);
    if (i < 0) fire(err::INVALID_PATH, &k, &k);
    Cell w = *context::word_at(obj.ctx(), static_cast<uint32_t>(i));
    w.data1 = obj.ctx();
    w.data3 = static_cast<uint32_t>(i);
    context::set_in(&w, value, obj.ctx(), true);
    *series = *value;
    return series;
}

Cell* select(Cell* series, Cell* value, Cell*, bool, bool, bool, bool, Cell*, Cell*, bool, bool) {
    Cell k = *value;
    if (!in(ANY_WORD, k.type())) {
        Cell dt = dtype(k.type());
        fire(err::INVALID_TYPE, &dt);
    }
    Cell obj = *series;
    Cell r = *select_word(&obj, &k);
    *series = r;
    return series;
}

namespace {

bool field_is_q(const Cell* field, uint32_t sym) {
    return in(ALL_WORD, field->type()) && canon(field->symbol()) == canon(sym);
}

// A new block of `n` cells written by `fill(i, out)`, in the slot.
template <typename Fill>
void fill_block(Cell* slot, uint32_t n, Fill fill) {
    Cell blk;
    block::make_at(&blk, n ? n : 1);
    stack::push(&blk);
    for (uint32_t i = 0; i < n; ++i) {
        Cell c;
        if (!fill(i, &c)) continue;
        block::rs_append(&blk, &c);
    }
    stack::pop(1);
    *slot = blk;
}

}  // namespace

Cell* modify(Cell* target, Cell* field, Cell* value, bool) {
    Cell obj = *target, f = *field, v = *value;
    if (field_is_q(&f, words::changed.symbol())) {
        if (v.type() != TYPE_NONE) fire(err::INVALID_ARG, &v);
        clear_changed(obj.ctx());
    } else if (field_is_q(&f, words::sym::owner)) {
        Cell none = none_value();
        ownership::bind_owner(&obj, &obj, &none);
    } else if (field_is_q(&f, words::sym::owned)) {
        if (v.type() == TYPE_NONE) {
            ownership::release_object(&obj);
        } else if (v.type() == TYPE_BLOCK && block::rs_length_q(&v) >= 2 &&
                   in(ANY_OBJECT, block::rs_clamp_head(&v)[0].type()) && in(ALL_WORD, block::rs_clamp_head(&v)[1].type())) {
            Cell owner = block::rs_clamp_head(&v)[0], under = block::rs_clamp_head(&v)[1];
            under.header &= ~FLAG_NEW_LINE;
            set_type(&under, TYPE_WORD);
            ownership::bind_object(&obj, &owner, &under);
        } else {
            fire(err::INVALID_ARG, &v);
        }
    } else {
        fire(err::INVALID_ARG, &f);
    }
    *target = v;
    return target;
}

Cell* reflect(Cell* value, Cell* field) {
    Cell obj = *value, f = *field;
    Node ctx = obj.ctx();
    uint32_t n = context::word_count(ctx);
    if (field_is_q(&f, words::changed.symbol())) {
        fill_block(value, n, [&](uint32_t i, Cell* out) {
            Cell w = *context::word_at(ctx, i);
            if (!(w.header & FLAG_FIELD_WRITTEN)) return false;
            w.header = TYPE_WORD;
            *out = w;
            return true;
        });
    } else if (field_is_q(&f, words::sym::class_)) {
        *value = int_value(static_cast<int32_t>(obj.data2));
    } else if (field_is_q(&f, words::sym::words)) {
        fill_block(value, n, [&](uint32_t i, Cell* out) {
            Cell w = *context::word_at(ctx, i);
            w.header = TYPE_WORD;
            w.data1 = ctx;
            w.data3 = i;
            *out = w;
            return true;
        });
    } else if (field_is_q(&f, words::sym::values)) {
        fill_block(value, n, [&](uint32_t i, Cell* out) {
            *out = *context::value_at(ctx, i);
            out->header &= ~FLAG_NEW_LINE;
            return true;
        });
    } else if (field_is_q(&f, words::sym::body)) {
        fill_block(value, 2 * n, [&](uint32_t j, Cell* out) {
            uint32_t i = j / 2;
            if (j % 2 == 0) {
                Cell w = *context::word_at(ctx, i);
                w.header = TYPE_SET_WORD | FLAG_NEW_LINE;
                w.data1 = ctx;
                w.data3 = i;
                *out = w;
            } else {
                *out = *context::value_at(ctx, i);
                out->header &= ~FLAG_NEW_LINE;
            }
            return true;
        });
    } else if (field_is_q(&f, words::sym::owner)) {
        *value = logic_value((context::cell_of(ctx)->header & ownership::FLAG_OWNER) != 0);
    } else if (field_is_q(&f, words::sym::events_q)) {
        *value = logic_value(obj.data3 != 0);
    } else {
        fire(err::NOT_DONE);
    }
    return value;
}

}  // namespace object

// ---- Registration --------------------------------------------------------------

template <>
void datatype::init_type<TYPE_OBJECT>() {
    object::class_counter = object::FIRST_CLASS_ID;
    context::fire_on_change_hook = object::fire_on_change;
    ownership::deep_change_hook = object::fire_on_deep_change;
    register_type<TYPE_OBJECT, "o-o-ooo-o --------------- -----o----------o--o------- ---o-------">(
        own<slot::make>(object::make), own<slot::reflect>(object::reflect),
        own<slot::form>(object::form), own<slot::mold>(object::mold),
        own<slot::eval_path>(object::eval_path), own<slot::compare>(object::compare),
        own<slot::copy>(object::copy), own<slot::put>(object::put),
        own<slot::select>(object::select), own<slot::modify>(object::modify));
}
