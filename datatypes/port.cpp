// port!: objects that carry actions to a scheme's actor. A port does nothing
// itself: each action applied to it calls the function of the same name in
// its actor object, with the port and the action's arguments.
#include "datatypes/port.h"

#include "datatypes/block.h"
#include "datatypes/datatype.h"
#include "datatypes/object.h"
#include "datatypes/string.h"
#include "evaluator/callable_cells.h"
#include "evaluator/context.h"
#include "evaluator/errors.h"
#include "evaluator/interpreter.h"
#include "evaluator/stack.h"
#include "evaluator/symbol.h"
#include "evaluator/word_storage.h"
#include "runtime/typesets.h"

namespace port {

namespace {

// The class id every port made by make carries.
constexpr uint32_t PORT_CLASS_ID = 2;
// The kind bits of an argument in the interpreter's argument cache, and
// the kind of the return: entry.
constexpr uint32_t ARG_KIND_SHIFT = 20, ARG_KIND_RETURN = 3;

Cell none() { return Cell{TYPE_NONE, 0, 0, 0}; }
Cell logic(bool b) { return Cell{TYPE_LOGIC, b ? 1u : 0u, 0, 0}; }
Cell integer(int32_t n) { return Cell{TYPE_INTEGER, 0, static_cast<uint32_t>(n), 0}; }
// A refinement argument as the actor receives it: the cell or none.
Cell arg(const Cell* c) { return c ? *c : none(); }

Cell word_cell(const char* text) {
    Cell w{TYPE_UNSET, 0, 0, 0};
    word::make_at(symbol::make(text), &w);
    return w;
}

// The field of an object by name (none when it has no such field).
Cell field(const Cell* obj, const char* name) {
    Cell w = word_cell(name);
    return *object::select_word(obj, &w);
}

void set_field(const Cell* obj, const char* name, const Cell* value) {
    Cell w = word_cell(name);
    int32_t i = object::find_word(obj, &w);
    if (i >= 0) *object::value_at(obj->ctx(), static_cast<uint32_t>(i)) = *value;
}

}  // namespace

Cell library_value(const char* name) {
    Node ctx = context::library ? context::library : context::global;
    int32_t i = context::find_symbol(ctx, symbol::make(name), true);
    return i < 0 ? none() : *context::value_at(ctx, static_cast<uint32_t>(i));
}

Cell system_field(const char* name) {
    Cell system = library_value("system");
    return system.type() == TYPE_OBJECT ? field(&system, name) : none();
}

// ---- Making and molding -----------------------------------------------------------------

Cell* make(Cell* proto, Cell* spec_in, uint32_t) {
    Cell spec = *spec_in;
    Cell* held = stack::push(&spec);
    if (spec.type() != TYPE_OBJECT) {
        Cell standard = system_field("standard");
        Cell base = standard.type() == TYPE_OBJECT ? field(&standard, "port-spec") : none();
        if (base.type() != TYPE_OBJECT) fire(err::NO_SCHEME, &spec);
        object::make(&base, &spec, TYPE_OBJECT);
        *held = base;
        spec = base;
    }
    Node sctx = spec.ctx();
    Cell scheme = context::word_count(sctx) > 0 ? *context::value_at(sctx, 0) : none();
    if (scheme.type() != TYPE_WORD) fire(err::NO_SCHEME, &spec);

    Cell standard = system_field("standard");
    Cell base = standard.type() == TYPE_OBJECT ? field(&standard, "port") : none();
    if (base.type() != TYPE_OBJECT) fire(err::INVALID_PORT, &spec);
    Cell* port = stack::push_slot();
    *port = Cell{TYPE_UNSET, 0, 0, 0};
    object::copy_into(&base, port, false, nullptr, false);
    port->header = TYPE_PORT;
    port->data2 = PORT_CLASS_ID;
    port->data3 = 0;
    *context::self_of(port->ctx()) = *port;
    set_field(port, "spec", &spec);
    set_field(port, "scheme", &scheme);

    // The scheme registry: a flat block of name, scheme pairs.
    Cell registry = system_field("schemes");
    Cell found = none();
    if (registry.type() == TYPE_BLOCK) {
        uint32_t n = block::rs_length_q(&registry);
        uint32_t want = symbol::resolve(scheme.symbol());
        for (uint32_t i = 0; i + 1 < n; i += 2) {
            Cell name = *block::rs_abs_at(&registry, registry.head() + i);
            if (in(ANY_WORD, name.type()) && symbol::resolve(name.symbol()) == want) {
                found = *block::rs_abs_at(&registry, registry.head() + i + 1);
                break;
            }
        }
    }
    if (found.type() != TYPE_OBJECT) fire(err::UNKNOWN_SCHEME, &spec);
    Cell actor = field(&found, "actor");
    if (actor.type() != TYPE_OBJECT && actor.type() != TYPE_HANDLE) fire(err::INVALID_ACTOR, &spec);
    set_field(port, "actor", &actor);
    Cell result = *port;
    stack::pop(2);
    return copy_cell(&result, proto);
}

int32_t mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part, int32_t limit,
             int32_t indent) {
    string::concatenate_literal(buffer, "make port! [");
    limit -= 12;
    limit = object::serialize(value, buffer, only, all, flat, part, limit, true, indent + 1, true);
    if (indent > 0) limit = block::mold_indent(buffer, indent, limit);
    string::append_char(series_of(buffer), ']');
    return limit - 1;
}

int32_t form(Cell* value, Cell* buffer, Cell* part, int32_t limit) {
    return mold(value, buffer, false, false, false, part, limit, 0);
}

// ---- Calling the actor ------------------------------------------------------------------

Cell call_actor(const char* action, Cell* port_in, std::initializer_list<Cell> args) {
    Cell port = *port_in;
    Cell actor = field(&port, "actor");
    // No scheme of ours carries a native actor table: a handle! actor
    // supports no action.
    if (actor.type() == TYPE_HANDLE) fire(err::NO_PORT_ACTION);
    if (actor.type() != TYPE_OBJECT) fire(err::INVALID_PORT);
    // The frame of append bears the name insert, as the actor's function does.
    Cell name = word_cell(action);
    Cell fn = *object::select_word(&actor, &name);
    if (fn.type() != TYPE_FUNCTION) fire(err::NO_PORT_ACTION, &name);

    // The values, in the order of the action's spec: the port, its
    // arguments, then a flag and an argument per refinement. A function
    // whose spec takes fewer gets the first ones; more are none.
    Cell spec = function::spec_of(&fn);
    Cell* cache_slot = function::more(&fn, function::MORE_CACHE);
    Cell cache = cache_slot->type() == TYPE_BLOCK ? *cache_slot : interpreter::argument_cache(&spec, false);
    Cell* saved_top = stack::top;
    Cell* saved_args = stack::arguments;
    stack::Frame* saved_ctop = stack::ctop;
    Cell* held = stack::push(&cache);
    stack::push_slot();
    stack::mark_func(&name, fn.ctx());
    uint32_t n = block::rs_length_q(&cache), taken = 0;
    uint32_t locals = 0;
    const Cell* given = args.begin();
    for (uint32_t i = 0; i < n; ++i) {
        Cell entry = *block::rs_abs_at(held, held->head() + i);
        if (entry.type() == TYPE_TYPESET) {
            if (((entry.header >> ARG_KIND_SHIFT) & 3) == ARG_KIND_RETURN) continue;
        } else if (entry.type() == TYPE_INTEGER) {
            locals = static_cast<uint32_t>(entry.int_value());
            break;
        } else if (entry.type() != TYPE_REFINEMENT) {
            continue;
        }
        Cell v = entry.type() == TYPE_REFINEMENT ? logic(false) : none();
        if (taken == 0) v = port;
        else if (taken - 1 < args.size()) v = given[taken - 1];
        ++taken;
        stack::push(&v);
    }
    if (locals > 0) function::init_locals(locals);
    Unwind u = interpreter::call_function(&fn, &name);
    if (u != Unwind::none) throw UnwindThrown{u};
    Cell result = *stack::arguments;
    stack::unwind_func();
    stack::top = saved_top;
    stack::arguments = saved_args;
    stack::ctop = saved_ctop;
    return result;
}

namespace {

Cell* answer(Cell* port, const Cell& result) { return copy_cell(&result, port); }

// The refinement argument and flag of a /part-like length: absent when the
// dispatch passed a negative count.
void counted(int32_t n, Cell* flag, Cell* value) {
    *flag = logic(n >= 0);
    *value = n >= 0 ? integer(n) : none();
}

}  // namespace

// ---- Forwarded actions ----------------------------------------------------------------------

#define ZEM_PORT_SIMPLE(name, word)                                                             \
    Cell* name(Cell* port) { return answer(port, call_actor(word, port, {})); }
ZEM_PORT_SIMPLE(back, "back")
ZEM_PORT_SIMPLE(clear, "clear")
ZEM_PORT_SIMPLE(head, "head")
ZEM_PORT_SIMPLE(head_q, "head?")
ZEM_PORT_SIMPLE(index_q, "index?")
ZEM_PORT_SIMPLE(next, "next")
ZEM_PORT_SIMPLE(tail, "tail")
ZEM_PORT_SIMPLE(tail_q, "tail?")
ZEM_PORT_SIMPLE(create, "create")
ZEM_PORT_SIMPLE(close, "close")
ZEM_PORT_SIMPLE(delete_, "delete")
ZEM_PORT_SIMPLE(query, "query")
ZEM_PORT_SIMPLE(update, "update")
#undef ZEM_PORT_SIMPLE

Cell* at(Cell* port, Cell* index) { return answer(port, call_actor("at", port, {*index})); }
Cell* skip(Cell* port, Cell* offset) { return answer(port, call_actor("skip", port, {*offset})); }
Cell* swap(Cell* port, Cell* other) { return answer(port, call_actor("swap", port, {*other})); }
Cell* rename(Cell* port, Cell* to) { return answer(port, call_actor("rename", port, {*to})); }

Cell* pick(Cell* port, int32_t index, Cell* boxed) {
    return answer(port, call_actor("pick", port, {boxed ? *boxed : integer(index)}));
}

Cell* poke(Cell* port, int32_t index, Cell* value, Cell* boxed) {
    return answer(port, call_actor("poke", port, {boxed ? *boxed : integer(index), *value}));
}

int32_t length_q(Cell* port) {
    Cell r = call_actor("length?", port, {});
    if (r.type() != TYPE_INTEGER) fire(err::INVALID_PORT);
    return r.int_value();
}

namespace {

Cell* insertion(const char* word, Cell* port, Cell* value, int32_t part, bool only, int32_t dup) {
    Cell part_flag, part_value;
    counted(part, &part_flag, &part_value);
    Cell dup_flag = logic(dup > 1), dup_value = dup > 1 ? integer(dup) : none();
    return answer(port, call_actor(word, port, {*value, part_flag, part_value, logic(only), dup_flag, dup_value}));
}

}  // namespace

Cell* append(Cell* port, Cell* value, int32_t part, bool only, int32_t dup, bool) {
    return insertion("insert", port, value, part, only, dup);
}
Cell* insert(Cell* port, Cell* value, int32_t part, bool only, int32_t dup, bool) {
    return insertion("insert", port, value, part, only, dup);
}
Cell* change(Cell* port, Cell* value, int32_t part, bool only, int32_t dup) {
    return insertion("change", port, value, part, only, dup);
}

Cell* copy(Cell* port, Cell* result, Cell* part, bool deep, Cell* types) {
    Cell r = call_actor("copy", port, {logic(part), arg(part), logic(deep), logic(types), arg(types)});
    return copy_cell(&r, result ? result : port);
}

Cell* find(Cell* port, Cell* value, Cell* part, bool only, bool case_, bool same, bool any, Cell* with, Cell* skip,
           bool last, bool reverse, bool tail, bool match) {
    return answer(port, call_actor("find", port,
                                   {*value, logic(part), arg(part), logic(only), logic(case_), logic(same), logic(any),
                                    logic(with), arg(with), logic(skip), arg(skip), logic(last), logic(reverse),
                                    logic(tail), logic(match)}));
}

Cell* select(Cell* port, Cell* value, Cell* part, bool only, bool case_, bool same, bool any, Cell* with,
             Cell* skip, bool last, bool reverse) {
    return answer(port, call_actor("select", port,
                                   {*value, logic(part), arg(part), logic(only), logic(case_), logic(same),
                                    logic(any), logic(with), arg(with), logic(skip), arg(skip), logic(last),
                                    logic(reverse)}));
}

Cell* sort(Cell* port, bool case_, Cell* skip, Cell* comparator, Cell* part, bool all, bool reverse, bool stable) {
    return answer(port, call_actor("sort", port,
                                   {logic(case_), logic(skip), arg(skip), logic(comparator), arg(comparator),
                                    logic(part), arg(part), logic(all), logic(reverse), logic(stable)}));
}

Cell* move(Cell* port, Cell* target, Cell* part) {
    return answer(port, call_actor("move", port, {*target, logic(part), arg(part)}));
}

Cell* remove(Cell* port, Cell* part, Cell*) {
    return answer(port, call_actor("remove", port, {logic(part), arg(part)}));
}

Cell* reverse(Cell* port, Cell* part, Cell*) {
    return answer(port, call_actor("reverse", port, {logic(part), arg(part)}));
}

Cell* take(Cell* port, Cell* part, bool deep, bool last) {
    return answer(port, call_actor("take", port, {logic(part), arg(part), logic(deep), logic(last)}));
}

Cell* trim(Cell* port, bool head, bool tail, bool auto_, bool lines, bool all, Cell* with) {
    return answer(port, call_actor("trim", port,
                                   {logic(head), logic(tail), logic(auto_), logic(lines), logic(all), logic(with),
                                    arg(with)}));
}

Cell* modify(Cell* port, Cell* field, Cell* value, bool case_) {
    return answer(port, call_actor("modify", port, {*field, *value, logic(case_)}));
}

Cell* put(Cell* port, Cell* key, Cell* value, bool case_) {
    return answer(port, call_actor("put", port, {*key, *value, logic(case_)}));
}

Cell* open(Cell* port, bool new_, bool read, bool write, bool seek, Cell* allow) {
    return answer(port, call_actor("open", port, {logic(new_), logic(read), logic(write), logic(seek), arg(allow)}));
}

// read and write are made of other actions of the actor: open, then copy
// (after insert for write), then close.
Cell* read(Cell* port, Cell* part, Cell* seek, bool, bool, bool, Cell*) {
    Cell* p = stack::push(port);
    call_actor("open", p, {logic(false), logic(false), logic(false), logic(seek), none()});
    Cell* result = stack::push_slot();
    *result = call_actor("copy", p, {logic(part), arg(part), logic(false), logic(false), none()});
    call_actor("close", p, {});
    Cell r = *result;
    stack::pop(2);
    return copy_cell(&r, port);
}

Cell* write(Cell* port, Cell* data, bool, bool, bool, bool, Cell* part, Cell* seek, Cell*, Cell*) {
    Cell* p = stack::push(port);
    Cell* d = stack::push(data);
    call_actor("open", p, {logic(false), logic(false), logic(true), logic(seek), none()});
    bool counted_part = part && part->type() == TYPE_INTEGER && part->int_value() >= 0;
    call_actor("insert", p,
               {*d, logic(counted_part), counted_part ? *part : none(), logic(false), logic(false), none()});
    Cell* result = stack::push_slot();
    *result = call_actor("copy", p, {logic(part), arg(part), logic(false), logic(false), none()});
    call_actor("close", p, {});
    Cell r = *result;
    stack::pop(3);
    return copy_cell(&r, port);
}

}  // namespace port

// ---- Registration --------------------------------------------------------------

template <>
void datatype::init_type<TYPE_PORT>() {
    register_type<TYPE_PORT, "o-i-ooi-i --------------- ooooooooooooooooooooooooooo ooooo-ooooo">(
        own<slot::make>(port::make), own<slot::form>(port::form), own<slot::mold>(port::mold),
        own<slot::append>(port::append), own<slot::at>(port::at), own<slot::back>(port::back),
        own<slot::change>(port::change), own<slot::clear>(port::clear), own<slot::copy>(port::copy),
        own<slot::find>(port::find), own<slot::head>(port::head), own<slot::head_q>(port::head_q),
        own<slot::index_q>(port::index_q), own<slot::insert>(port::insert), own<slot::length_q>(port::length_q),
        own<slot::move>(port::move), own<slot::next>(port::next), own<slot::pick>(port::pick),
        own<slot::poke>(port::poke), own<slot::put>(port::put), own<slot::remove>(port::remove),
        own<slot::reverse>(port::reverse), own<slot::select>(port::select), own<slot::sort>(port::sort),
        own<slot::skip>(port::skip), own<slot::swap>(port::swap), own<slot::tail>(port::tail),
        own<slot::tail_q>(port::tail_q), own<slot::take>(port::take), own<slot::trim>(port::trim),
        own<slot::create>(port::create), own<slot::close>(port::close), own<slot::delete_>(port::delete_),
        own<slot::modify>(port::modify), own<slot::open>(port::open), own<slot::query>(port::query),
        own<slot::read>(port::read), own<slot::rename>(port::rename), own<slot::update>(port::update),
        own<slot::write>(port::write));
}
