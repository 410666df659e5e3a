// Contexts map words to value slots: the global context, one per object and
// one per function. A word carries its context and its position there, so
// reading or writing it is an index operation; binding rewrites the words
// of a block to point at a context.
//
// A context is known by its node. Its series holds two cells:
//   cell 0  the context! cell
//             header  type 14, kind in bits 11-12 (0 global, 1 function,
//                     2 object), 0x400000 values on the value stack,
//                     0x1000000 has a self cell
//             word 1  node of the word table (a kind-2 hash table whose
//                     backing block is the words list)
//             word 2  heap context: node of the values series;
//                     on-stack context: 1 + the value-stack index of the
//                     first value cell of the active call, 0 when no call
//                     of its function is active
//   cell 1  the self cell: the owning object or function (unset! at first)
//
// Functions answering a Cell* into a words list or a values series answer
// an address that is valid until the next allocation.
#pragma once
#include <cstdint>

#include "runtime/cell.h"
#include "evaluator/stack.h"

namespace context {

constexpr uint32_t KIND_GLOBAL = 0;
constexpr uint32_t KIND_FUNCTION = 1;
constexpr uint32_t KIND_OBJECT = 2;
constexpr uint32_t KIND_SHIFT = 11;

constexpr uint32_t GLOBAL_SLOTS = 4000;

// The global context.
extern Node global;
// The library's context: a copy of the global context's words and values
// made when the boot image's top level has run (0 before). The library's own
// code is bound to it, so that what user code sets in the global context
// does not change what the library calls. A word the library leaves for user
// code (unset at the end of the boot, or assigned by the library at run
// time) is unset here, and its words stay global. Its self cell is the
// global context's.
extern Node library;
// Whether the context is the global context or the library's copy of it.
inline bool global_q(Node ctx) { return ctx != 0 && (ctx == global || ctx == library); }

// ---- The context's parts --------------------------------------------------------

// cell 0, the context! cell
inline Cell* cell_of(Node ctx) { return reinterpret_cast<Cell*>(memory::buffer(ctx)->offset_addr()); }
inline Cell* self_of(Node ctx) { return cell_of(ctx) + 1; }  // cell 1
inline uint32_t kind_of(Node ctx) { return (cell_of(ctx)->header & FLAG_CTX_KIND_MASK) >> KIND_SHIFT; }
inline bool on_stack_q(Node ctx) { return (cell_of(ctx)->header & FLAG_CTX_ON_STACK) != 0; }
Node table_of(Node ctx);   // the word table
Node words_of(Node ctx);   // the words list (a block's node)
uint32_t word_count(Node ctx);
// Word i of the words list.
Cell* word_at(Node ctx, uint32_t i);
// On-stack contexts: where the active call's values start (null: none).
inline Cell* stack_values(Node ctx) {
    uint32_t v = cell_of(ctx)->data2;
    return v ? stack::bottom + (v - 1) : nullptr;
}
// Value i: the heap value, or the frame cell of an on-stack context; null
// when an on-stack context has no active call.
inline Cell* value_at(Node ctx, uint32_t i) {
    const Cell* c = cell_of(ctx);
    if (c->header & FLAG_CTX_ON_STACK) return c->data2 ? stack::bottom + (c->data2 - 1) + i : nullptr;
    return reinterpret_cast<Cell*>(memory::buffer(c->data2)->offset_addr()) + i;
}
// Values series of a heap context (0 for an on-stack one).
Node values_of(Node ctx);
// Where an on-stack context's active call's values start (null: none).
inline void set_stack_values(Node ctx, const Cell* first) {
    cell_of(ctx)->data2 = first ? static_cast<uint32_t>(first - stack::bottom) + 1 : 0;
}

// ---- Making contexts ------------------------------------------------------------------

// A new context with room for `slots` words (0 counts as 1). With a source
// context its word table and words list start as copies of the source's.
Node create(uint32_t slots, bool on_stack, bool self, Node source, uint32_t kind);
// A context of the words, get-words, lit-words and refinements of this spec
// (top level, in order; one word per case-insensitive spelling). A heap
// context holds one unset! value per word.
Node make(const Cell* spec, bool on_stack, bool self, uint32_t kind);

// ---- Words ------------------------------------------------------------------------------

// Position of the symbol among the context's words, or -1; never adds.
int32_t find_symbol(Node ctx, uint32_t symbol, bool case_insensitive);
// Position of the symbol when present; otherwise appends a new word bound to
// the context, writes its position to `position` and answers -1.
int32_t find_word(Node ctx, uint32_t symbol, bool case_insensitive, int32_t* position);
// Position of the word's symbol (case-insensitive), added when missing; a
// word added to a heap context gets an unset! value.
int32_t add_word(Node ctx, const Cell* word);
// A new word gets a copy of the value and its value cell is answered; an
// existing word changes nothing and answers null.
Cell* add_value(Node ctx, const Cell* word, const Cell* value);
// Adds the word when missing with a copy of the value, else overwrites it.
void put(Node ctx, const Cell* word, const Cell* value);
// Adds every set-word of the block (from its index, top level only); true
// when the context gained words.
bool collect_set_words(Node ctx, const Cell* block);
// The word of the symbol in the global context, added when missing (with an
// unset! value; case variants share the slot of the first-added spelling).
// With case_insensitive and respell, a case variant found answers a word
// spelled as asked bound to the found slot (a copy kept in the root block).
Cell* add_global(uint32_t symbol, bool case_insensitive, bool respell);
// The context's word of the symbol (exact), or the global word.
Cell* word_of_symbol(Node ctx, uint32_t symbol);

// ---- Reading and writing values -----------------------------------------------------------

// The word's value cell in the context. An unresolved word (index -1) reads
// the self cell when it is `self`, else raises no-value; a function context
// without an active call raises not-in-context; an unbound word (context 0)
// raises not-defined.
Cell* get_in(const Cell* word, Node ctx);
// The value cell of a bound, resolved word whose context has its values,
// else null: the read of get_fast without its slow path, so it never raises.
inline Cell* peek(const Cell* word, Node ctx) {
    int32_t index = word->index();
    if (ctx != 0 && index >= 0) {
        const Cell* c = cell_of(ctx);
        uint32_t v = c->data2;
        if (c->header & FLAG_CTX_ON_STACK) {
            if (v != 0) return stack::bottom + (v - 1) + index;
        } else if (v != 0) {
            SeriesBuffer* s = memory::buffer(v);
            // A values series holds cells: its count is a shift of its bytes.
            if (static_cast<uint32_t>(index) < (s->tail - s->offset) / sizeof(Cell))
                return reinterpret_cast<Cell*>(s->offset_addr()) + index;
        }
    }
    return nullptr;
}
// get_in for the common case, inline: a bound, resolved word whose context
// has its values. The context cell is read once; anything else (and every
// error) is left to get_in.
inline Cell* get_fast(const Cell* word, Node ctx) {
    Cell* slot = peek(word, ctx);
    return slot ? slot : get_in(word, ctx);
}
inline Cell* get(const Cell* word) { return get_fast(word, word->ctx()); }
// Stores a copy of the value in the word's slot, resolving (and adding)
// the word when its index is -1. A function context without an active call
// raises not-defined. In an object context the field is marked written and,
// with notify, the owner's change handler is called. Answers the slot.
Cell* set_in(Cell* word, const Cell* value, Node ctx, bool notify);
Cell* set(Cell* word, const Cell* value);
// set for the common case, inline: a bound, resolved word of a context that
// has its values and is not an object's (no field mark, no change handler).
// Everything else is left to set.
// The slot set_fast writes without further ado (a bound, resolved word of
// a context that has its values and is not an object's), else null.
inline Cell* plain_slot(const Cell* word) {
    Node ctx = word->ctx();
    int32_t index = word->index();
    if (ctx != 0 && index >= 0) {
        const Cell* c = cell_of(ctx);
        if (c->data2 != 0 &&
            ((c->header & FLAG_CTX_ON_STACK) || (c->header & FLAG_CTX_KIND_MASK) != KIND_OBJECT << KIND_SHIFT))
            return value_at(ctx, static_cast<uint32_t>(index));
    }
    return nullptr;
}
inline Cell* set_fast(Cell* word, const Cell* value) {
    Cell v = *value;
    Cell* slot = plain_slot(word);
    if (!slot) return set(word, value);
    *slot = v;
    return slot;
}

// The change-notification hook of objects: (owner, word, old, new).
extern void (*fire_on_change_hook)(Cell* owner, Cell* word, Cell* old_value, Cell* new_value);

// ---- Binding ---------------------------------------------------------------------------------

// Binds the word to the context when the context has it (case-insensitive);
// answers its position or -1 (the word is then left as it was).
int32_t bind_word(Node ctx, Cell* word);
// Binds the block's words in place, recursively through blocks, parens,
// paths and hash!; issues are left alone. With self, a plain `self` word
// reads the context's self cell. A block met again is bound once.
Cell* bind(Cell* block, Node ctx, bool self);
// The context of an op!'s arguments when it is made from a function or
// routine; for a native!, action! or op! made from one, a context node of
// its own over the argument context its more block keeps, so that a word
// can be bound to it; 0 for any other value.
Node of_arguments(const Cell* callable);
// The end of the boot: makes the library's context from the global context
// as it is now and binds the library's code to it (see context.cpp).
void make_library();
// Binds a word! or get-word! bound to the global context to the library's
// context when that holds a value for it; true when it did.
bool bind_library_word(Cell* word);
// bind_library_word for every word of the block, deep (as bind goes): for
// library code that C++ scans and runs after the boot.
Cell* bind_library(Cell* block);


}  // namespace context
