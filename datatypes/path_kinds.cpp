// lit-path!, set-path! and get-path!: path!s that mold with a mark before or
// after them ('a/b, a/b:, :a/b) and otherwise act as the path! they inherit.
#include "datatypes/datatype.h"
#include "datatypes/path.h"
#include "datatypes/string.h"

namespace path_kinds {
namespace {

struct Kind {
    uint32_t type;
    char prefix;  // written before the path (0: none)
    char suffix;  // written after it (0: none)
};
constexpr Kind kinds[] = {
    {TYPE_LIT_PATH, '\'', 0},
    {TYPE_SET_PATH, 0, ':'},
    {TYPE_GET_PATH, ':', 0},
};

constexpr Kind kind_of(uint32_t type) {
    for (const Kind& k : kinds)
        if (k.type == type) return k;
    return Kind{};
}

template <uint32_t Type>
int32_t mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part, int32_t limit,
             int32_t indent) {
    constexpr Kind k = kind_of(Type);
    static_assert(k.type == Type, "every path kind has its row in the table");
    if (k.prefix) {
        string::append_char(series_of(buffer), k.prefix);
        --limit;
    }
    limit = path::mold(value, buffer, only, all, flat, part, limit, indent);
    if (k.suffix) {
        string::append_char(series_of(buffer), k.suffix);
        --limit;
    }
    return limit;
}

}  // namespace

template <uint32_t Type>
void register_kind() {
    using namespace datatype;
    register_type<Type, "i-iiioi-i --------------- iiiiiiiiiiiiiiiiiiii-iiiii- ---i-------">(
        own<slot::mold>(mold<Type>));
}

}  // namespace path_kinds

// ---- Registration --------------------------------------------------------------

template <>
void datatype::init_type<TYPE_LIT_PATH>() { path_kinds::register_kind<TYPE_LIT_PATH>(); }
template <>
void datatype::init_type<TYPE_SET_PATH>() { path_kinds::register_kind<TYPE_SET_PATH>(); }
template <>
void datatype::init_type<TYPE_GET_PATH>() { path_kinds::register_kind<TYPE_GET_PATH>(); }
