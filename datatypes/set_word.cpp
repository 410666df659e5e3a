// set-word!: a word that sets its value when evaluated; molds as `a:`.
#include "datatypes/datatype.h"
#include "datatypes/word.h"

namespace set_word {

int32_t mold(Cell* value, Cell* buffer, bool, bool, bool, Cell*, int32_t limit, int32_t) {
    return word::mold_with(value, buffer, ":", true, limit);
}

}  // namespace set_word

// ---- Registration --------------------------------------------------------------

template <>
void datatype::init_type<TYPE_SET_WORD>() {
    register_type<TYPE_SET_WORD,
                  "i--iio--i --------------- ---------i----------------- -----------">(
        own<slot::mold>(set_word::mold));
}
