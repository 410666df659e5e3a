// The path family (path!, lit-path!, set-path!, get-path!) and paren!: blocks
// that differ from block! in how they are made, formed and molded.
#pragma once
#include <cstdint>

#include "evaluator/actions.h"
#include "runtime/cell.h"

namespace path {

// Sets the cell's whole header to `type` (flags cleared) and pushes a copy.
Cell* push_typed(Cell* value, uint32_t type);
inline Cell* push(Cell* value) { return push_typed(value, TYPE_PATH); }
// As block::make_at, typed path!.
Cell* make_at(Cell* slot, uint32_t size);

ZEM_ACTION_DECL(make);
ZEM_ACTION_DECL(to);
// Elements with "/" between them; the element texts are formed or molded.
ZEM_ACTION_DECL(form);
ZEM_ACTION_DECL(mold);

}  // namespace path

namespace lit_path {
inline Cell* push(Cell* value) { return path::push_typed(value, TYPE_LIT_PATH); }
}  // namespace lit_path

namespace set_path {
inline Cell* push(Cell* value) { return path::push_typed(value, TYPE_SET_PATH); }
}  // namespace set_path

namespace get_path {
inline Cell* push(Cell* value) { return path::push_typed(value, TYPE_GET_PATH); }
}  // namespace get_path

namespace paren {
inline Cell* push(Cell* value) { return path::push_typed(value, TYPE_PAREN); }
ZEM_ACTION_DECL(mold);
}  // namespace paren
