// error!: script-level errors as values (their fields and their building
// are in evaluator/error_object.h): the prototype and the error! actions.
#pragma once
#include <cstdint>

#include "evaluator/error_object.h"
#include "runtime/cell.h"

namespace error {

// The standard error prototype (system/standard/error): a fresh object!
// of the ten fields, all none, that every error! copies in shape.
Cell* make_prototype(Cell* out);

// ---- Actions ---------------------------------------------------------------------------

Cell* make(Cell* proto, Cell* spec, uint32_t type);
int32_t form(Cell* value, Cell* buffer, Cell* part, int32_t limit);
int32_t mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part, int32_t limit,
             int32_t indent);
Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell* holder, Cell* prev,
                int32_t index, bool case_, bool get, bool last);
int32_t compare(Cell* value1, Cell* value2, int32_t op);

void init();

}  // namespace error
