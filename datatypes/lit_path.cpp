// lit-path!: a path that evaluates to itself as a path!.
#include "datatypes/path.h"

#include "datatypes/block.h"
#include "datatypes/datatype.h"
#include "datatypes/string.h"

namespace lit_path {

int32_t mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part, int32_t limit,
             int32_t indent) {
    string::append_char(series_of(buffer), '\'');
    return path::mold(value, buffer, only, all, flat, part, limit - 1, indent);
}

}  // namespace lit_path

// ---- Registration --------------------------------------------------------------

template <>
void datatype::init_type<TYPE_LIT_PATH>() {
    register_type<TYPE_LIT_PATH,
                  "i-iiioi-i --------------- iiiiiiiiiiiiiiiiiiii-iiiii- ---i-------">(
        own<slot::mold>(lit_path::mold));
}
