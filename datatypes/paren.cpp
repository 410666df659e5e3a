// paren!: a block that is evaluated where it stands.
#include "datatypes/path.h"

#include "datatypes/block.h"
#include "datatypes/datatype.h"
#include "datatypes/string.h"
#include "evaluator/cycles.h"

namespace paren {

int32_t mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part, int32_t limit,
             int32_t indent) {
    if (cycles::detect_q(value, buffer, &limit, true)) return limit;
    if (!only) {
        string::append_char(series_of(buffer), '(');
        --limit;
    }
    limit = block::mold_each(value, buffer, only, all, flat, part, limit, indent);
    if (!only) {
        string::append_char(series_of(buffer), ')');
        --limit;
    }
    return limit;
}

}  // namespace paren

// ---- Registration --------------------------------------------------------------

template <>
void datatype::init_type<TYPE_PAREN>() {
    register_type<TYPE_PAREN, "iiiiioi-i --------------- iiiiiiiiiiiiiiiiiiiiiiiiii- ---i-------">(
        own<slot::mold>(paren::mold));
}
