// symbol!: the entries of the symbol table; compared as text.
#include "datatypes/datatype.h"
#include "evaluator/symbol.h"

namespace symbol {

namespace {
// The comparison slot: symbol entries compare through their spellings.
int32_t compare_action(Cell* value1, Cell* value2, int32_t op) {
    if (value2->type() != TYPE_SYMBOL) return actions::NOT_COMPARABLE;
    return compare(value1, value2, op);
}
}  // namespace

}  // namespace symbol

// ---- Registration --------------------------------------------------------------

template <>
void datatype::init_type<TYPE_SYMBOL>() {
    register_type<TYPE_SYMBOL, "--------o --------------- --------------------------- -----------">(
        own<slot::compare>(symbol::compare_action));
}
