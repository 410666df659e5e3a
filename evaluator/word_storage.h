// Words: a symbol with a binding. The word family (word!, set-word!,
// lit-word!, get-word!, refinement!, issue!) shares one cell layout:
//   word 1  ctx     node of the context the word is bound to (0: unbound)
//   word 2  symbol  symbol id, as spelled
//   word 3  index   position in the context's words list, -1 unresolved
// This file holds the word operations of the whole family: making, pushing,
// reading and writing words.
#pragma once
#include <cstdint>

#include "evaluator/symbol.h"
#include "runtime/cell.h"

namespace word {

// ---- Making and pushing words -------------------------------------------------------

// The global word of the spelling (case variants share one value); during
// start-up a copy kept in the root block.
Cell* load(const char* text);
// The global word of the symbol (exact lookup); during start-up a copy kept
// in the root block.
Cell* make_global(uint32_t symbol);
// Turns the slot into a word! of the global context (only the type byte of
// the header is replaced), the word added with an unset! value when new.
Cell* make_at(uint32_t symbol, Cell* slot);
// A word! of the symbol bound to the context (its index looked up exactly,
// -1 when the context lacks it), written into `out`.
Cell* make_bound(Cell* out, uint32_t symbol, Node ctx);
// Pushes a copy of the cell (retyped when `type` is not 0).
Cell* push(const Cell* word, uint32_t type = 0);
// Pushes a copy of word `index` of the context's words list (retyped when
// `type` is not 0).
Cell* push_local(Node ctx, int32_t index, uint32_t type = 0);
// Word `index` of the context's words list.
Cell* value_at(Node ctx, int32_t index);
// The symbol-table entry of the word's symbol, its string form filled.
inline Cell* to_c_string(const Cell* word) { return symbol::to_c_string(word->symbol()); }
// A string! of the word's spelling written into `out`; its buffer is the
// symbol's own spelling string, shared, not copied.
Cell* spelling(const Cell* word, Cell* out);
// Pushes that string!.
Cell* to_string(const Cell* word);

// ---- Reading and writing word values --------------------------------------------------

// Pushes a copy of the word's value; an unset! value raises no-value.
Cell* get(const Cell* word);
// Value `index` of a heap context.
Cell* get_in(Node ctx, int32_t index);
// Pushes a copy of value `index` of a function context (the frame cell for
// an on-stack one); a context with no active call raises not-defined.
Cell* get_local(Node ctx, int32_t index);
// Set-word evaluation: the word is the current call's first argument and
// the value the next cell; an unset! value raises need-value. The value
// becomes the call's result.
void set_star();
// Copies the value-stack top into value `index` of a heap context (an
// object's field is marked written first). Nothing is pushed.
void set_in(Node ctx, int32_t index);

// Loads the first value of a string with the lexer into the slot (unset!
// when the text holds none, none! when the scan stops before the end).
// Installed by the lexer; until then making a word from text raises the
// internal error feature-na.
extern Cell* (*load_value_hook)(Cell* text, Cell* slot);

}  // namespace word

namespace issue {

// An issue! of the symbol: bound to the global context with index -1, so
// that it is never looked up.
Cell make_issue(uint32_t symbol);
// An issue of the spelling: during start-up appended to the root block,
// otherwise made in a new value-stack slot.
Cell* load(const char* text);
// Writes an issue of the spelling into the slot; answers it.
Cell* make_at(Cell* slot, const char* text);
// Appends an issue of the spelling to the block; answers it.
Cell* append_to(const char* text, Cell* block);
// Pushes a copy of the word typed issue!.
Cell* push(const Cell* word);

}  // namespace issue

namespace refinement {

// Pushes a copy of the word typed refinement!.
Cell* push(const Cell* word);
// Pushes word `index` of the context's words list typed refinement!.
Cell* push_local(Node ctx, int32_t index);
// Appends an unbound refinement! of the spelling to the root block and
// answers it.
Cell* make_root(const char* text);

}  // namespace refinement
