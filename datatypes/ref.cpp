// ref!: references written with a leading @, held without it.
#include "datatypes/datatype.h"
#include "datatypes/string.h"
#include "evaluator/stack.h"

namespace ref {

Cell* push(const Cell* value) { return stack::push(value); }

int32_t mold(Cell* value, Cell* buffer, bool, bool, bool, Cell* part, int32_t limit, int32_t) {
    string::append_char(series_of(buffer), '@');
    return string::form(value, buffer, part, limit - 1);
}

}  // namespace ref

// ---- Registration --------------------------------------------------------------

template <>
void datatype::init_type<TYPE_REF>() {
    register_type<TYPE_REF, "i-iiio--i --------------- -iiiiiiiiiiiiiii-iii-iiiii- ---i-------">(
        own<slot::mold>(ref::mold));
}
