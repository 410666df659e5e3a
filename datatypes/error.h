// error!: script-level errors as values. An error! is an object! whose
// context holds ten fields, in this order: code, type, id, arg1, arg2,
// arg3, near, where, stack, files.
#pragma once
#include <cstdint>

#include "evaluator/actions.h"
#include "runtime/cell.h"
#include "evaluator/errors.h"

namespace error {

enum Field : uint32_t { CODE, TYPE, ID, ARG1, ARG2, ARG3, NEAR, WHERE, STACK, FILES, FIELD_COUNT };

// Makes the field symbols (called by errors::init).
void init_fields();

// The value cell of a field (valid until the next allocation).
Cell* field(const Cell* error, Field f);

// Builds the error! of the id with up to three arguments (null: none) in
// `out`: code, type and id from the catalogue, `near` the current code
// position, the other fields none.
Cell* create(ErrorId id, const Cell* arg1, const Cell* arg2, const Cell* arg3, Cell* out);

// The standard error prototype (system/standard/error): a fresh object!
// of the ten fields, all none, that every error! copies in shape.
Cell* make_prototype(Cell* out);

// The catalogue id an error's type and id fields name; false when they name
// none.
bool id_of(const Cell* error, ErrorId* out);

// Stores the word in `where` when it holds none.
void set_where(Cell* error, const Cell* word);
// Replaces an integer `stack` (a call-stack position) by a block of the
// names of the calls up to it.
void capture_stack(Cell* error);

// ---- Actions ---------------------------------------------------------------------------

ZEM_ACTION_DECL(make);
ZEM_ACTION_DECL(form);
ZEM_ACTION_DECL(mold);
ZEM_ACTION_DECL(eval_path);
ZEM_ACTION_DECL(compare);


}  // namespace error
