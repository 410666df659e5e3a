// map!: dictionaries of key/value pairs. A map! cell holds index 0, the
// node of its backing block (key, value, key, value... in insertion order)
// and the node of its hash table (kind 1: one bucket per key). A removed
// pair stays in the block with its value cell's header set to 0.
#pragma once
#include <cstdint>

#include "evaluator/actions.h"
#include "runtime/cell.h"
#include "runtime/typesets.h"

namespace map {

// The datatypes whose values can be keys.
constexpr typesets::Mask KEY_TYPES =
    typesets::of({TYPE_STRING, TYPE_FILE, TYPE_URL, TYPE_CHAR, TYPE_INTEGER, TYPE_FLOAT, TYPE_WORD, TYPE_SET_WORD,
                  TYPE_LIT_WORD, TYPE_GET_WORD, TYPE_REFINEMENT, TYPE_ISSUE, TYPE_PAIR, TYPE_PERCENT, TYPE_TUPLE,
                  TYPE_BINARY, TYPE_TIME, TYPE_TAG, TYPE_EMAIL, TYPE_DATE, TYPE_MONEY, TYPE_REF, TYPE_POINT2D,
                  TYPE_POINT3D});
// Stores the key at cell `index` of the block in its map form: a copy of a
// string-family or binary! key, a set-word! for a word!, set-word!,
// lit-word! or get-word!; any other valid key as it is. A key of another
// datatype raises script invalid-path with `context` and the datatype.
void preprocess_key(Cell* block, uint32_t index, const Cell* context);

// Turns the slot into a map! over the backing block (a block! value at
// index 0), or over a new block with room for `size` cells when `backing`
// is null. The keys are normalised and indexed; a key met again gives the
// earlier pair its value and leaves the block. `context` names the
// operation in key errors (null: the block).
Cell* make_at(Cell* slot, const Cell* backing, uint32_t size, const Cell* context = nullptr);
Cell* push(const Cell* map);
// Live pairs.
uint32_t rs_length_q(const Cell* map);

// The extend native: sets each key/value pair of the block (an even count
// from its index, else script invalid-arg) in the map.
void extend(Cell* map, Cell* block, bool case_);
// One step of foreach over a map: sets each of the `count` words (from the
// block's index) to the next live cell of the backing block from the map's
// index (keys as word!), none! when the block has run out, and advances
// the map's index. Answers whether any word was set from the map.
bool foreach_next(const Cell* words, Cell* map, uint32_t count);

// ---- Actions ------------------------------------------------------------------------

ZEM_ACTION_DECL(make);
ZEM_ACTION_DECL(to);
ZEM_ACTION_DECL(reflect);
ZEM_ACTION_DECL(form);
ZEM_ACTION_DECL(mold);
ZEM_ACTION_DECL(eval_path);
ZEM_ACTION_DECL(compare);
ZEM_ACTION_DECL(clear);
ZEM_ACTION_DECL(copy);
ZEM_ACTION_DECL(find);
ZEM_ACTION_DECL(length_q);
ZEM_ACTION_DECL(put);
ZEM_ACTION_DECL(remove);
ZEM_ACTION_DECL(select);


}  // namespace map
