// handle!: opaque operating-system values that scripts can print and compare.
#include "datatypes/handle.h"

#include <cstdio>

#include "datatypes/datatype.h"
#include "datatypes/scalar.h"
#include "evaluator/stack.h"

namespace handle {

// ---- Helpers -------------------------------------------------------------------

namespace {
const char* const class_names[] = {"null", "fd", "monitor", "window", "font", "rich-text"};
}

Cell* make_at(Cell* cell, uint32_t value, uint32_t cls) {
    *cell = Cell{TYPE_HANDLE, cls, value, 0xFFFFFFFFu};
    return cell;
}

Cell* box(uint32_t value, uint32_t cls) { return make_at(stack::arguments, value, cls); }
Cell* push(uint32_t value, uint32_t cls) { return make_at(stack::push_slot(), value, cls); }
Cell* push_null() { return push(0, 0); }

// ---- Actions -------------------------------------------------------------------

int32_t form(Cell* value, Cell* buffer, Cell*, int32_t limit) {
    char text[16];
    std::snprintf(text, sizeof text, "%08Xh", value->data2);
    return scalar::append(buffer, text, limit);
}

int32_t mold(Cell* value, Cell* buffer, bool, bool all, bool, Cell* part, int32_t limit, int32_t) {
    if (!all) return scalar::append(buffer, "handle!", limit);
    limit = scalar::append(buffer, "#[handle! ", limit);
    limit = form(value, buffer, part, limit);
    if (value->data1 >= 1 && value->data1 <= 6) {
        limit = scalar::append(buffer, " ", limit);
        limit = scalar::append(buffer, class_names[value->data1 - 1], limit);
    }
    return scalar::append(buffer, "]", limit);
}

int32_t compare(Cell* value1, Cell* value2, int32_t) {
    if (value2->type() != TYPE_HANDLE) return 1;
    int32_t a = static_cast<int32_t>(value1->data2), b = static_cast<int32_t>(value2->data2);
    return a < b ? -1 : (a > b ? 1 : 0);
}

}  // namespace handle

// ---- Registration --------------------------------------------------------------

template <>
void datatype::init_type<TYPE_HANDLE>() {
    register_type<TYPE_HANDLE, "----oo--o --------------- --------------------------- -----------">(
        own<slot::form>(handle::form), own<slot::mold>(handle::mold),
        own<slot::compare>(handle::compare));
}
