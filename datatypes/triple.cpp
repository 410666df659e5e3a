// triple!: three 32-bit integers with a text form.
#include "datatypes/triple.h"

#include <cstdio>

#include "datatypes/datatype.h"
#include "datatypes/scalar.h"

namespace triple {

// ---- Helpers -------------------------------------------------------------------

Cell* make_at(Cell* cell, int32_t a, int32_t b, int32_t c) {
    *cell = Cell{TYPE_TRIPLE, static_cast<uint32_t>(a), static_cast<uint32_t>(b), static_cast<uint32_t>(c)};
    return cell;
}

// ---- Actions -------------------------------------------------------------------

int32_t form(Cell* value, Cell* buffer, Cell*, int32_t limit) {
    char text[64];
    std::snprintf(text, sizeof text, "make triple! [%d %d %d]", static_cast<int32_t>(value->data1),
                  static_cast<int32_t>(value->data2), static_cast<int32_t>(value->data3));
    return scalar::append(buffer, text, limit);
}

int32_t mold(Cell* value, Cell* buffer, bool, bool, bool, Cell* part, int32_t limit, int32_t) {
    return form(value, buffer, part, limit);
}

}  // namespace triple

// ---- Registration --------------------------------------------------------------

template <>
void datatype::init_type<TYPE_TRIPLE>() {
    register_type<TYPE_TRIPLE, "----oo--- --------------- --------------------------- -----------">(
        own<slot::form>(triple::form), own<slot::mold>(triple::mold));
}
