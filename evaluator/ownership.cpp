// Series ownership: the ownership table, binding and unbinding values to an
// owner object, and the change notification of the modifying actions.
#include "evaluator/ownership.h"

#include "evaluator/context.h"
#include "evaluator/block_storage.h"
#include "evaluator/cycles.h"
#include "runtime/collector.h"
#include "runtime/hashtable.h"
#include "runtime/typesets.h"

namespace ownership {

Node table = 0;
uint32_t hushed = 0;

namespace {

Node key_of(const Cell* v) { return in(ANY_OBJECT, v->type()) ? v->ctx() : v->node(); }

void set_flag(const Cell* v, bool on) {
    if (v->type() == TYPE_IMAGE) {
        // The flag of an image! lives in the cell; the caller's cell is what
        // the actions test.
        auto* c = const_cast<Cell*>(v);
        c->header = on ? c->header | FLAG_IMAGE_OWNED : c->header & ~FLAG_IMAGE_OWNED;
        return;
    }
    SeriesBuffer* s = memory::buffer(v->node());
    s->flags = on ? s->flags | SERIES_OWNED : s->flags & ~SERIES_OWNED;
}

bool flagged_q(const Cell* v) {
    if (v->type() == TYPE_IMAGE) return (v->header & FLAG_IMAGE_OWNED) != 0;
    return (memory::buffer(v->node())->flags & SERIES_OWNED) != 0;
}

// An entry for the key unless there is one already.
void record(Node key, const Cell* value, const Cell* owner, const Cell* word) {
    Cell v = *value, o = *owner, w = *word;
    if (hashtable::get_key(table, key)) return;
    Cell* e = hashtable::put_key(table, key);
    e[0] = v;
    e[1] = o;
    e[2] = w;
}

void forget(Node key) {
    if (Cell* e = hashtable::get_key(table, key)) {
        e[0] = e[1] = e[2] = Cell{TYPE_UNSET, 0, 0, 0};
        hashtable::delete_key(table, key);
    }
}

// Cell i of a block's buffer (absolute index), copied out.
Cell cell_at(Node node, uint32_t i) { return reinterpret_cast<Cell*>(memory::buffer(node)->offset_addr())[i]; }

void bind_cells(const Cell* blk, const Cell* owner, const Cell* word) {
    Node node = blk->node();
    if (cycles::find_q(node)) return;
    cycles::push(node);
    for (uint32_t i = blk->head(); i < memory::buffer(node)->count(); ++i) {
        Cell c = cell_at(node, i);
        bind(&c, owner, word);
    }
    cycles::pop();
}

void bind_fields(const Cell* obj, const Cell* owner) {
    Node ctx = obj->ctx();
    if (cycles::find_q(ctx)) return;
    cycles::push(ctx);
    for (uint32_t i = 0; i < context::word_count(ctx); ++i) {
        Cell v = *context::value_at(ctx, i);
        if (in(ANY_OBJECT, v.type()) && v.ctx() == owner->ctx()) continue;
        Cell w = *context::word_at(ctx, i);
        bind(&v, owner, &w);
    }
    cycles::pop();
}

void unbind_fields(const Cell* obj) {
    Node ctx = obj->ctx();
    if (cycles::find_q(ctx)) return;
    cycles::push(ctx);
    for (uint32_t i = 0; i < context::word_count(ctx); ++i) {
        Cell v = *context::value_at(ctx, i);
        unbind(&v);
    }
    cycles::pop();
}

bool owner_q(Node ctx) { return (context::cell_of(ctx)->header & FLAG_OWNER) != 0; }

}  // namespace

void init() {
    table = hashtable::init(1000, nullptr, hashtable::KIND_OWNERSHIP, 3);
    collector::ownership_table = &table;
}

void bind(const Cell* value, const Cell* owner, const Cell* word) {
    Cell v = *value;
    uint32_t t = v.type();
    if (in(SERIES, t)) {
        if (!v.node()) return;
        if (!flagged_q(&v)) {
            set_flag(value, true);
            record(v.node(), &v, owner, word);
        }
        if (in(ANY_BLOCK, t)) bind_cells(&v, owner, word);
    } else if (t == TYPE_BITSET) {
        if (!flagged_q(&v)) {
            set_flag(&v, true);
            record(v.node(), &v, owner, word);
        }
    } else if (in(ANY_OBJECT, t) && v.ctx()) {
        if (owner_q(v.ctx())) return;
        bind_fields(&v, owner);
    }
}

void bind_owner(const Cell* value, const Cell* owner, const Cell* word) {
    Cell o = *owner;
    bind(value, &o, word);
    if (in(ANY_OBJECT, o.type()) && o.ctx()) context::cell_of(o.ctx())->header |= FLAG_OWNER;
}

void bind_object(const Cell* object, const Cell* owner, const Cell* word) {
    Cell o = *object;
    if (!in(ANY_OBJECT, o.type()) || !o.ctx()) return;
    record(o.ctx(), &o, owner, word);
    bind(&o, owner, word);
}

void unbind(const Cell* value) {
    Cell v = *value;
    uint32_t t = v.type();
    if (in(SERIES, t) || t == TYPE_BITSET) {
        if (!v.node()) return;
        if (t == TYPE_IMAGE)
            set_flag(value, false);
        else
            set_flag(&v, false);
        forget(v.node());
        if (in(ANY_BLOCK, t)) {
            Node node = v.node();
            if (cycles::find_q(node)) return;
            cycles::push(node);
            for (uint32_t i = v.head(); i < memory::buffer(node)->count(); ++i) {
                Cell c = cell_at(node, i);
                unbind(&c);
            }
            cycles::pop();
        }
    } else if (in(ANY_OBJECT, t) && v.ctx()) {
        if (owner_q(v.ctx())) return;
        unbind_fields(&v);
    }
}

void release_object(const Cell* object) {
    Cell o = *object;
    if (!o.ctx()) return;
    forget(o.ctx());
    context::cell_of(o.ctx())->header &= ~FLAG_OWNER;
    unbind_fields(&o);
}

bool get_owner(Node node, Cell* owner, Cell* word) {
    if (!table || !node) return false;
    Cell* e = hashtable::get_key(table, node);
    if (!e) return false;
    *owner = e[1];
    *word = e[2];
    return true;
}

Cell* reflect_owner(Cell* value) {
    Cell owner, word;
    Node key = key_of(value);
    if (!get_owner(key, &owner, &word)) owner = Cell{TYPE_NONE, 0, 0, 0};
    *value = owner;
    return value;
}

void modify_owned(const Cell* value, const Cell* arg_in) {
    Cell v = *value, arg = *arg_in;
    if (arg.type() == TYPE_NONE) {
        unbind(&v);
        return;
    }
    if (arg.type() != TYPE_BLOCK || block::rs_length_q(&arg) < 2) return;
    Cell owner = block::rs_clamp_head(&arg)[0], word = block::rs_clamp_head(&arg)[1];
    if (!in(ANY_OBJECT, owner.type()) || word.type() < TYPE_WORD || word.type() > TYPE_REFINEMENT) return;
    owner.header &= ~FLAG_NEW_LINE;
    word.header = (word.header & ~(FLAG_NEW_LINE | 0xFFu)) | TYPE_WORD;
    bind_owner(&v, &owner, &word);
}

void (*deep_change_hook)(Cell* owner, Cell* word, Cell* target, Cell* action, Cell* value, int32_t index,
                         int32_t part) = nullptr;

bool check(const Cell* target, const Cell& action, const Cell* value, int32_t index, int32_t part) {
    Cell t = *target;
    Node key = key_of(&t);
    Cell owner, word;
    if (!key || !get_owner(key, &owner, &word)) return false;
    // The owner's self cell holds its current record.
    if (owner.ctx() && context::self_of(owner.ctx())->type() == owner.type()) owner = *context::self_of(owner.ctx());
    if (owner.data3 == 0) return false;
    Cell a = action;
    Cell v = value ? *value : Cell{TYPE_NONE, 0, 0, 0};
    if (deep_change_hook) deep_change_hook(&owner, &word, &t, &a, &v, index, part);
    return true;
}

}  // namespace ownership
