// get-word!: a word that gets its value without calling it; molds as `:a`.
#include "datatypes/get_word.h"

#include "datatypes/context.h"
#include "datatypes/datatype.h"
#include "datatypes/word.h"
#include "evaluator/stack.h"

namespace get_word {

Cell* push(const Cell* word) { return word::push(word, TYPE_GET_WORD); }

Cell* push_ctx_word(Node ctx, int32_t index) { return word::push_local(ctx, index, TYPE_GET_WORD); }

Cell* get(const Cell* word) {
    Cell value = *context::get(word);
    return stack::push(&value);
}

int32_t mold(Cell* value, Cell* buffer, bool, bool, bool, Cell*, int32_t limit, int32_t) {
    return word::mold_with(value, buffer, ":", false, limit);
}

}  // namespace get_word

// ---- Registration --------------------------------------------------------------

template <>
void datatype::init_type<TYPE_GET_WORD>() {
    register_type<TYPE_GET_WORD,
                  "i--iio--i --------------- ---------i----------------- -----------">(
        own<slot::mold>(get_word::mold));
}
