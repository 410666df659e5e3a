// action!: the polymorphic actions of the action table as values; they
// share native!'s make, reflection, mold and comparison.
#include <cstring>

#include "datatypes/datatype.h"
#include "datatypes/native.h"
#include "datatypes/string.h"

namespace action {

int32_t form(Cell*, Cell* buffer, Cell*, int32_t limit) {
    string::concatenate_literal(buffer, "?action?");
    return limit - 8;
}

}  // namespace action

// ---- Registration --------------------------------------------------------------

template <>
void datatype::init_type<TYPE_ACTION>() {
    register_type<TYPE_ACTION, "o-i-oo--o --------------- --------------------------- -----------">(
        own<slot::make>(native::make), own<slot::form>(action::form), own<slot::mold>(native::mold),
        own<slot::compare>(native::compare));
}
