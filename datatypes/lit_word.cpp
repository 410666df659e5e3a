// lit-word!: a word that evaluates to itself as a word!; molds as `'a`.
#include "datatypes/datatype.h"
#include "datatypes/word.h"

namespace lit_word {

int32_t mold(Cell* value, Cell* buffer, bool, bool, bool, Cell*, int32_t limit, int32_t) {
    return word::mold_with(value, buffer, "'", false, limit);
}

}  // namespace lit_word

// ---- Registration --------------------------------------------------------------

template <>
void datatype::init_type<TYPE_LIT_WORD>() {
    register_type<TYPE_LIT_WORD,
                  "i--iio--i --------------- ---------i----------------- -----------">(
        own<slot::mold>(lit_word::mold));
}
