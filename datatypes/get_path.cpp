// get-path!: a path that gets its value without calling it.
#include "datatypes/path.h"

#include "datatypes/block.h"
#include "datatypes/datatype.h"
#include "datatypes/string.h"

namespace get_path {

int32_t mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part, int32_t limit,
             int32_t indent) {
    string::append_char(series_of(buffer), ':');
    return path::mold(value, buffer, only, all, flat, part, limit - 1, indent);
}

}  // namespace get_path

// ---- Registration --------------------------------------------------------------

template <>
void datatype::init_type<TYPE_GET_PATH>() {
    register_type<TYPE_GET_PATH,
                  "i-iiioi-i --------------- iiiiiiiiiiiiiiiiiiii-iiiii- ---i-------">(
        own<slot::mold>(get_path::mold));
}
