// set-word!, lit-word!, get-word! and refinement!: word!s that mold with a
// mark (a: 'a :a /a) and otherwise act as the word! they inherit.
#include "datatypes/datatype.h"
#include "datatypes/word.h"

namespace word_kinds {
namespace {

struct Kind {
    uint32_t type;
    const char* mark;
    bool suffix;  // the mark follows the spelling
    datatype::Row row;
};
constexpr Kind kinds[] = {
    {TYPE_SET_WORD, ":", true, "i--iio--i --------------- ---------i----------------- -----------"},
    {TYPE_LIT_WORD, "'", false, "i--iio--i --------------- ---------i----------------- -----------"},
    {TYPE_GET_WORD, ":", false, "i--iio--i --------------- ---------i----------------- -----------"},
    {TYPE_REFINEMENT, "/", false, "i--iio--i --------------- --------------------------- -----------"},
};

constexpr Kind kind_of(uint32_t type) {
    for (const Kind& k : kinds)
        if (k.type == type) return k;
    return kinds[0];
}

template <uint32_t Type>
int32_t mold(Cell* value, Cell* buffer, bool, bool, bool, Cell*, int32_t limit, int32_t) {
    constexpr Kind k = kind_of(Type);
    return word::mold_with(value, buffer, k.mark, k.suffix, limit);
}

}  // namespace

template <uint32_t Type>
void register_kind() {
    using namespace datatype;
    constexpr Kind k = kind_of(Type);
    static_assert(k.type == Type, "every word kind has its row in the table");
    register_type<Type, k.row>(own<slot::mold>(mold<Type>));
}

}  // namespace word_kinds

// ---- Registration --------------------------------------------------------------

template <>
void datatype::init_type<TYPE_SET_WORD>() { word_kinds::register_kind<TYPE_SET_WORD>(); }
template <>
void datatype::init_type<TYPE_LIT_WORD>() { word_kinds::register_kind<TYPE_LIT_WORD>(); }
template <>
void datatype::init_type<TYPE_GET_WORD>() { word_kinds::register_kind<TYPE_GET_WORD>(); }
template <>
void datatype::init_type<TYPE_REFINEMENT>() { word_kinds::register_kind<TYPE_REFINEMENT>(); }
