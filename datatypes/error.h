// error!: script-level errors as values (their fields and their building
// are in evaluator/error_object.h): the prototype and the error! actions.
#pragma once
#include <cstdint>

#include "evaluator/actions.h"
#include "evaluator/error_object.h"
#include "runtime/cell.h"

namespace error {

// The standard error prototype (system/standard/error): a fresh object!
// of the ten fields, all none, that every error! copies in shape.
Cell* make_prototype(Cell* out);

// ---- Actions ---------------------------------------------------------------------------

ZEM_ACTION_DECL(make);
ZEM_ACTION_DECL(form);
ZEM_ACTION_DECL(mold);
ZEM_ACTION_DECL(eval_path);
ZEM_ACTION_DECL(compare);


}  // namespace error
