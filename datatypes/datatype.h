// datatype!, the value that names a type, and the start-up registration of
// every datatype. The registry itself is evaluator/datatype_registry.h.
#pragma once
#include <cstdint>

#include "evaluator/datatype_registry.h"
#include "runtime/cell.h"

namespace datatype {

// Registers every datatype of the core, each after its parent (event! comes
// later, with the GUI engine).
void init_all();

// ---- datatype! -------------------------------------------------------------------------

// Appends a datatype! naming `type` to the block; answers the new cell.
Cell* make_in(Cell* block, uint32_t type);
// Pushes a datatype! naming `type` on the value stack.
Cell* push(uint32_t type);

ZEM_ACTION_DECL(form);
ZEM_ACTION_DECL(mold);
ZEM_ACTION_DECL(compare);


// syntax malconstruct for a make of the datatype from a value it refuses:
// the datatype and that value's mold (flat, cut near 80 characters) fill the
// message as the lexer's place and excerpt do.
[[noreturn]] void fire_malconstruct(uint32_t type, const Cell* spec);

}  // namespace datatype
