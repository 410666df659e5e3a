// block!: what blocks do beyond their storage (evaluator/block_storage.h):
// inserting, looking up, copying, the text of blocks and the block! actions
// (making, text, comparison, paths, insertion).
#pragma once
#include <cstdint>

#include "evaluator/actions.h"
#include "evaluator/block_storage.h"
#include "runtime/cell.h"

namespace block {

// Appends a word! of the global context for the symbol (added with an
// unset! value when new); answers it.
Cell* append_global_word(uint32_t symbol, Cell* block);
// The same from a NUL-terminated UTF-8 spelling.
Cell* append_word(const char* text, Cell* block);

// ---- Appending, inserting, removing --------------------------------------------------

// Appends a copy of every cell of the source from its index; answers block.
Cell* append_block(Cell* block, const Cell* source);
// Inserts a copy of the value at the index (at the buffer's first cell with
// at_head); with advance the index then moves past the new cell.
Cell* insert_value(Cell* block, const Cell* value, bool advance, bool at_head);
// Compiled code: appends the cell above the current call's first argument
// slot to the block held in that slot.
void append_next_star();
// Removes the first cell from the index (from the buffer's first cell with
// from_head) equal to the value under comparison code 12; 0 when none was.
uint32_t remove_value(Cell* block, Cell* value, bool from_head);

// ---- Lookups -------------------------------------------------------------------------

// The read-only none! cell the lookups answer when nothing is found.
extern const Cell none_cell;
// The cell after the first word!, set-word!, lit-word! or get-word! with the
// word's symbol (exactly with case_, else through symbol::resolve), else
// none_cell.
const Cell* select_word(const Cell* block, const Cell* word, bool case_);
// Index of the first cell from the block's index equal to the value as one
// value (code 2 with case_, else 12), or -1.
int32_t find_one(const Cell* block, Cell* value, bool case_);

// ---- Copying and making ----------------------------------------------------------------

// Pushes a copy of the cells from the index: the source's type alone in the
// header, index 0. With deep, nested block! cells (and, with any_block, the
// paren! and path cells) are cloned too, keeping their headers.
Cell* clone(const Cell* block, bool deep, bool any_block);
// Replaces each selected series-like cell (also bitset!, map!, and with a
// filter object! and error!) among cells first..end - 1 of the node's
// buffer (every `step` cells, counted from the buffer's first cell) by its
// copy, deep with `deep`; `types` is a datatype! or typeset! filter, or
// null. An object met again inside itself raises internal no-cycle. Cells
// are named by index because each copy may move the buffer.
void copy_values_deep(Node node, uint32_t first, uint32_t end, uint32_t step, bool deep, const Cell* types);
// Loads the text of a string! into a block in the slot (installed by the
// lexer); until then to block! of a string raises internal feature-na.
extern Cell* (*scan_hook)(Cell* text, Cell* slot);

// ---- Text ----------------------------------------------------------------------------------

// Appends four spaces per level (nothing for a level below 1); answers the
// budget less what was written.
int32_t mold_indent(Cell* buffer, int32_t level, int32_t limit);
// The values of a block as mold lays them out (new-line markers and
// indentation), without brackets; shared with paren!.
int32_t mold_each(Cell* block, Cell* buffer, bool only, bool all, bool flat, Cell* part, int32_t limit,
                  int32_t indent);

// ---- Actions ---------------------------------------------------------------------------------

ZEM_ACTION_DECL(make);
ZEM_ACTION_DECL(to);
ZEM_ACTION_DECL(form);
ZEM_ACTION_DECL(mold);
// Reading (value null) answers the selected cell (inside the block or the
// none cell: copy it before anything allocates); setting answers `value`.
ZEM_ACTION_DECL(eval_path);
ZEM_ACTION_DECL(compare);
ZEM_ACTION_DECL(insert);
ZEM_ACTION_DECL(change);
ZEM_ACTION_DECL(copy);
ZEM_ACTION_DECL(find);
ZEM_ACTION_DECL(select);
// Sets the value after the key (appending both when the key is missing);
// answers the value.
ZEM_ACTION_DECL(put);
// Sorts in place; /compare takes a function! (called through the
// interpreter) or a field number of the /skip records.
ZEM_ACTION_DECL(sort);
// Calls a comparison function of sort with the two values (sort asks how
// a orders against b as fn b a, or fn a b under /reverse) and answers the
// order it gives: 1 when its first argument goes first (true, a number
// below 0, any other value), -1 when its second does (false, none!, a
// number above 0), 0 for a zero or NaN number.
int32_t call_comparator(const Cell* fn, const Cell* first, const Cell* second);
ZEM_ACTION_DECL(swap);
ZEM_ACTION_DECL(take);
ZEM_ACTION_DECL(trim);

// The block side of the set-operation natives (op 8 unique, 9 union, 10
// intersect, 11 exclude, 12 difference): the sets are the current call's
// first two arguments (one for unique), records of /skip cells judged by
// their first cell; the new block, or hash! when a set is one, replaces the
// first argument.
void do_set_op(bool case_, Cell* skip, int32_t op);


}  // namespace block
