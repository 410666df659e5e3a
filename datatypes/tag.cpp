// tag!: markup tags, held without their angle brackets.
#include "datatypes/datatype.h"
#include "datatypes/string.h"
#include "evaluator/stack.h"

namespace tag {

Cell* push(const Cell* value) { return stack::push(value); }

// form and mold are the same: the text between angle brackets.
int32_t form(Cell* value, Cell* buffer, Cell* part, int32_t limit) {
    string::append_char(series_of(buffer), '<');
    limit = string::form(value, buffer, part, limit - 1);
    string::append_char(series_of(buffer), '>');
    return limit - 1;
}

int32_t mold(Cell* value, Cell* buffer, bool, bool, bool, Cell* part, int32_t limit, int32_t) {
    return form(value, buffer, part, limit);
}

}  // namespace tag

// ---- Registration --------------------------------------------------------------

template <>
void datatype::init_type<TYPE_TAG>() {
    register_type<TYPE_TAG, "i-iiooi-i --------------- iiiiiiiiiiiiiiiiiiii-iiiii- ---i-------">(
        own<slot::form>(tag::form), own<slot::mold>(tag::mold));
}
