// object!: a context with identity. Object cell:
//   word 1  the context node (kind 2, with a self cell holding a copy of
//           the object cell)
//   word 2  the class id: objects of one shape share it
//   word 3  the node of the change-handler record, 0 when none
// The record is a 2-cell block: cell 0 for `on-change*`, cell 1 for
// `on-deep-change*`; each is a pair! cell whose word 2 is (field index << 16)
// | the handler's local count (index -1: no such handler) and word 3 the
// node of the handler's spec when it was counted.
#pragma once
#include <cstdint>

#include "evaluator/actions.h"
#include "runtime/cell.h"

namespace object {

// Class ids of shapes made at run time start above this.
constexpr int32_t FIRST_CLASS_ID = 1000000;

// The next class id (the first one handed out is 1,000,001).
int32_t new_class_id();

// ---- Making ---------------------------------------------------------------------------

// A fresh object (header 32, class id 0, no record) over a new object
// context of `slots` slots, written to the slot and to its self cell.
Cell* make_at(Cell* slot, uint32_t slots);
// Pushes an object cell.
Cell* push(Node ctx, Node record, int32_t class_id);
// The construct core: a fresh object of 4 slots with a new class id (or a
// deep copy of the prototype with its record computed again), then the
// spec's set-words collected (see collect_set_words). Written to `out`.
Cell* create(const Cell* spec, const Cell* proto, bool only, Cell* out);
// Adds every set-word of the definition block to the context; each takes the first
// value after its run of set-words (none at the end). Unless only, a word
// spelled true/yes/on becomes logic true, false/no/off logic false and
// none the none value. True when the context grew.
bool collect_set_words(const Cell* spec, Node ctx, bool only);
// The copy core of copy and make: a new context copying the source's words
// and values; deep (without types) deep-copies series values, types copies
// the values of those types; function! values are rebound to the copy.
// The source's record is kept unless reset, which computes it again and
// re-establishes ownership. Answers the slot.
Cell* copy_into(const Cell* obj, Cell* slot, bool deep, const Cell* types, bool reset);
// The change-handler record of the object (0 when it has no handler);
// raises bad-field-set when a handler field holds something else than a
// function!.
Node events_record(const Cell* obj);

// ---- Access ------------------------------------------------------------------------------

Cell* value_at(Node ctx, uint32_t index);
// The field's value (case-insensitive), or the shared none cell.
const Cell* select_word(const Cell* obj, const Cell* word);
// The field's index, or -1.
int32_t find_word(const Cell* obj, const Cell* word);
uint32_t words_count(const Cell* obj);
bool field_of_class_q(Node ctx, uint32_t index, int32_t class_id);
// `set` with an object target.
void set_many(Cell* obj, const Cell* value, bool any, bool only, bool some);
// Clears the "field written" mark of every word of the context.
void clear_changed(Node ctx);
// Clears the new-line marker of every cell of the series.
void clear_cell_flag(Node series);

// ---- Change notification -------------------------------------------------------------------

// Calls the object's `on-change*` (field word, old value, new value) when it
// has one; the new value is already stored.
void fire_on_change(Cell* obj, Cell* word, Cell* old_value, Cell* new_value);
// Calls the owner's `on-deep-change*` (owner, word, target, action, new
// value, index, part) when it has one.
void fire_on_deep_change(Cell* owner, Cell* word, Cell* target, Cell* action, Cell* value, int32_t index,
                         int32_t part);
bool has_deep_handler_q(const Cell* obj);

// ---- Actions ---------------------------------------------------------------------------------

ZEM_ACTION_DECL(make);
ZEM_ACTION_DECL(reflect);
ZEM_ACTION_DECL(form);
ZEM_ACTION_DECL(mold);
// Fields in word order, shared with the molds of error! and port!.
int32_t serialize(Cell* obj, Cell* buffer, bool only, bool all, bool flat, Cell* part, int32_t limit,
                  bool indent, int32_t level, bool mold);
ZEM_ACTION_DECL(eval_path);
ZEM_ACTION_DECL(compare);
ZEM_ACTION_DECL(copy);
ZEM_ACTION_DECL(put);
ZEM_ACTION_DECL(select);
ZEM_ACTION_DECL(modify);


}  // namespace object
