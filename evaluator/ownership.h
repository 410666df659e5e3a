// Series ownership: an object may own the series (and the nested objects'
// series) reachable from its fields, and every modifying action on an owned
// series reports the change to the owner's `on-deep-change*`.
//
// Ownership lives in one process-wide node-keyed table (hash-table kind 4):
// key = the node of an owned series, or the context node of an owned object;
// value cells = a copy of the owned value, the owner object!, the owner's
// field word through which the value was reached. Owned series carry
// SERIES_OWNED in their buffer flags (image! values a header bit), so the
// common case, a series without owner, costs one test. The collector holds
// the table weakly: entries whose series or owner did not survive are
// dropped.
#pragma once
#include <cstdint>

#include "runtime/cell.h"
#include "runtime/typesets.h"

namespace ownership {

// Owned mark in the header of an image! cell.
constexpr uint32_t FLAG_IMAGE_OWNED = 0x00010000;
// Owner mark in the header of an owner's context! cell: binding and
// unbinding do not descend into the fields of an object that carries it.
constexpr uint32_t FLAG_OWNER = 0x00010000;

// The ownership table (0 before init).
extern Node table;

// Creates the table (room for 1000 entries of 3 value cells) and hands it
// to the collector.
void init();

// Records `owner` (an object!) and `word` as the owner of the value and,
// deeply, of what it contains. A series already owned keeps its first
// owner, but its contents are still walked. A walk never enters a series or
// object twice, nor an object that is itself an owner.
void bind(const Cell* value, const Cell* owner, const Cell* word);
// bind, then marks the owner's context as an owner.
void bind_owner(const Cell* value, const Cell* owner, const Cell* word);
// The object itself becomes known to the owner under the word (changes
// made to it through paths are reported), then its fields are bound.
void bind_object(const Cell* object, const Cell* owner, const Cell* word);
// Removes ownership from the value and, deeply, from what it contains
// (the fields of an owner object met inside are left alone).
void unbind(const Cell* value);
// Drops ownership of the object itself and of everything its fields hold,
// and clears its owner mark.
void release_object(const Cell* object);

// The owner object and field word recorded for the node (copied out);
// false when the node has no entry.
bool get_owner(Node node, Cell* owner, Cell* word);

// What reflect and modify of a series answer and do for its owner: the
// owner object recorded for the value's series (none when there is none),
// written over `value`; and, for `modify value 'owned arg`, a none! arg
// removes the ownership deeply while a block! holding an object and a word
// makes that object the owner under that word (other args change nothing).
Cell* reflect_owner(Cell* value);
void modify_owned(const Cell* value, const Cell* arg);

// Tells the owner of `target` about a change: its `on-deep-change*` gets
// the owner, the recorded word, the target, the action word, the new value
// (none when null), the index and the part. True when an owner with a
// change-handler record was found (the handler runs only when the record
// names an `on-deep-change*` function); false, and nothing called,
// otherwise. The modifying actions call it before the change with the
// operation's word and, only when that answered true, after it with the
// past form. Errors raised by the handler propagate.
bool check(const Cell* target, const Cell& action, const Cell* value, int32_t index, int32_t part);

// The call of the owner's `on-deep-change*` that check makes: (owner, word,
// target, action, new value, index, part); object! installs it.
extern void (*deep_change_hook)(Cell* owner, Cell* word, Cell* target, Cell* action, Cell* value, int32_t index,
                                int32_t part);

// While above 0, the modifying actions tell nobody (a path assignment
// reports once, as "set-path", around the action that stores the value).
extern uint32_t hushed;
struct Hush {
    Hush() { ++hushed; }
    ~Hush() { --hushed; }
    Hush(const Hush&) = delete;
    Hush& operator=(const Hush&) = delete;
};

// The fast pre-test of the modifying actions: only owned series reach the
// table.
inline bool maybe_owned(const Cell* target) {
    if (hushed) return false;
    switch (target->type()) {
        case TYPE_OBJECT:
        case TYPE_ERROR:
        case TYPE_PORT: return table != 0;
        case TYPE_IMAGE: return (target->header & FLAG_IMAGE_OWNED) != 0;
        case TYPE_BLOCK: case TYPE_PAREN: case TYPE_PATH: case TYPE_LIT_PATH: case TYPE_SET_PATH:
        case TYPE_GET_PATH: case TYPE_HASH: case TYPE_STRING: case TYPE_FILE: case TYPE_URL: case TYPE_TAG:
        case TYPE_EMAIL: case TYPE_REF: case TYPE_BINARY: case TYPE_VECTOR: case TYPE_BITSET:
            return target->node() && (memory::buffer(target->node())->flags & SERIES_OWNED) != 0;
        default: return false;
    }
}

// The target's block is about to change: the evaluator's steps made from
// its cells no longer hold (told even while hushed).
inline void cells_changing(const Cell* target) {
    if (in(ANY_BLOCK, target->type()) && target->node()) memory::cells_changed(memory::buffer(target->node()));
}

// What the modifying actions call: `before` the change (false when the
// target has no owner to tell) and, when it answered true, `after`. The
// owner's handler may have run the block between the two: its steps are
// dropped again after the change.
inline bool before(const Cell* target, const Cell& action, const Cell* value, int32_t index, int32_t part) {
    cells_changing(target);
    return maybe_owned(target) && check(target, action, value, index, part);
}
inline void after(bool notify, const Cell* target, const Cell& action, const Cell* value, int32_t index,
                  int32_t part) {
    if (!notify) return;
    cells_changing(target);
    check(target, action, value, index, part);
}

}  // namespace ownership
