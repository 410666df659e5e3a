// set-path!: a path that sets the value it reaches.
#include "datatypes/path.h"

#include "datatypes/block.h"
#include "datatypes/datatype.h"
#include "datatypes/string.h"

namespace set_path {

int32_t mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part, int32_t limit,
             int32_t indent) {
    limit = path::mold(value, buffer, only, all, flat, part, limit, indent);
    string::append_char(series_of(buffer), ':');
    return limit - 1;
}

}  // namespace set_path

// ---- Registration --------------------------------------------------------------

template <>
void datatype::init_type<TYPE_SET_PATH>() {
    register_type<TYPE_SET_PATH,
                  "i-iiioi-i --------------- iiiiiiiiiiiiiiiiiiii-iiiii- ---i-------">(
        own<slot::mold>(set_path::mold));
}
