// get-word!: a word that gets its value without calling it; molds as `:a`.
#include "datatypes/get_word.h"

#include "evaluator/context.h"
#include "datatypes/datatype.h"
#include "datatypes/word.h"
#include "evaluator/stack.h"

namespace get_word {

Cell* push(const Cell* word) { return word::push(word, TYPE_GET_WORD); }

Cell* get(const Cell* word) {
    Cell value = *context::get(word);
    return stack::push(&value);
}

}  // namespace get_word
