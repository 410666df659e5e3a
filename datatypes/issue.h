// issue!: a word written with a leading "#" that is never looked up: bound
// to the global context with index -1, and left alone by binding.
#pragma once
#include <cstdint>

#include "evaluator/actions.h"
#include "evaluator/word_storage.h"
#include "runtime/cell.h"

namespace issue {

ZEM_ACTION_DECL(make);
ZEM_ACTION_DECL(mold);
ZEM_ACTION_DECL(compare);

}  // namespace issue
