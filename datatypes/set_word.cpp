// set-word!: a word that sets its value when evaluated; molds as `a:`.
#include "datatypes/datatype.h"
#include "datatypes/word.h"

namespace set_word {

int32_t mold(Cell* value, Cell* buffer, bool, bool, bool, Cell*, int32_t limit, int32_t) {
    return word::mold_with(value, buffer, ":", true, limit);
}

// ---- Registration --------------------------------------------------------------

void init() {
    using namespace datatype;
    datatype::register_type<TYPE_SET_WORD,
                            "i--iio--i --------------- ---------i----------------- -----------">(
        own<slot::mold>(mold));
}

}  // namespace set_word
