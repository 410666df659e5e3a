// The error object: an error! is an object! whose context holds ten fields,
// in this order: code, type, id, arg1, arg2, arg3, near, where, stack,
// files. Building one from a catalogue id, and reading its fields.
#pragma once
#include <cstdint>

#include "evaluator/errors.h"
#include "runtime/cell.h"

namespace error {

enum Field : uint32_t { CODE, TYPE, ID, ARG1, ARG2, ARG3, NEAR, WHERE, STACK, FILES, FIELD_COUNT };

// The names of the fields, in field order.
extern const char* const field_names[FIELD_COUNT];

// Makes the field symbols (called by errors::init).
void init_fields();

// The value cell of a field (valid until the next allocation).
Cell* field(const Cell* error, Field f);

// Stores a copy of the value in the field.
void set_field(Cell* error, Field f, const Cell* value);
// A fresh error object: its context of ten fields, all none.
Cell blank();
// Fills code, type and id from the catalogue, and `near` with the current
// code position (none outside a block or paren).
void fill_ids(Cell* error, ErrorId id);
// A word of the spelling bound to the global context (the type and id
// fields hold such words).
Cell global_word(const char* text);

// Builds the error! of the id with up to three arguments (null: none) in
// `out`: code, type and id from the catalogue, `near` the current code
// position, the other fields none.
Cell* create(ErrorId id, const Cell* arg1, const Cell* arg2, const Cell* arg3, Cell* out);

// The catalogue id an error's type and id fields name; false when they name
// none.
bool id_of(const Cell* error, ErrorId* out);

// Stores the word in `where` when it holds none.
void set_where(Cell* error, const Cell* word);
// Replaces an integer `stack` (a call-stack position) by a block of the
// names of the calls up to it.
void capture_stack(Cell* error);

}  // namespace error
