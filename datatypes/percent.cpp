// percent!: floats that read and print as percentages.
#include "datatypes/percent.h"

#include <cstring>

#include "datatypes/datatype.h"
#include "datatypes/float.h"
#include "datatypes/string.h"

namespace percent {

Cell* make_at(Cell* cell, uint32_t high, uint32_t low) {
    *cell = Cell{TYPE_PERCENT, 0, low, high};
    return cell;
}

Cell* make_in(Cell* block, uint32_t high, uint32_t low) { return make_at(alloc_tail(block), high, low); }

int32_t form(Cell* value, Cell* buffer, Cell*, int32_t limit) {
    const char* text = float_::form_float(value->float_value() * 100.0, float_::KIND_PERCENT);
    string::concatenate_literal(buffer, text);
    return limit - static_cast<int32_t>(std::strlen(text));
}

int32_t mold(Cell* value, Cell* buffer, bool, bool, bool, Cell* part, int32_t limit, int32_t) {
    return form(value, buffer, part, limit);
}

}  // namespace percent

// ---- Registration --------------------------------------------------------------

template <>
void datatype::init_type<TYPE_PERCENT>() {
    register_type<TYPE_PERCENT,
                  "ii-ioo--i iiiiiiiiiii---- --------------------------- -----------">(
        own<slot::form>(percent::form), own<slot::mold>(percent::mold));
}
