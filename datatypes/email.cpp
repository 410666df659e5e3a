// email!: e-mail addresses; molded as their bare text, with the path words
// `user` and `host` for the parts around the at sign.
#include "datatypes/datatype.h"
#include "datatypes/string.h"
#include "evaluator/errors.h"
#include "evaluator/stack.h"
#include "evaluator/symbol.h"
#include "evaluator/words.h"

namespace email {

Cell* push(const Cell* value) { return stack::push(value); }

int32_t mold(Cell* value, Cell* buffer, bool, bool, bool, Cell* part, int32_t limit, int32_t) {
    return string::form(value, buffer, part, limit);
}

Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell* holder, Cell* prev,
                int32_t index, bool case_, bool get, bool last) {
    if (element->type() == TYPE_INTEGER)
        return string::eval_path(parent, element, value, path, holder, prev, index, case_, get, last);
    Cell none{TYPE_NONE, 0, 0, 0};
    Cell* where = path ? path : &none;
    bool user = false;
    if (element->type() == TYPE_WORD) {
        uint32_t sym = symbol::resolve(element->symbol());
        if (sym == symbol::resolve(words::sym::user)) user = true;
        else if (sym != symbol::resolve(words::sym::host)) fire(err::INVALID_PATH, where, element);
    } else {
        fire(err::INVALID_PATH, where, element);
    }
    Cell email = *parent;
    uint32_t length = string::rs_length_q(&email);
    int32_t found = string::find_char(&email, '@');
    uint32_t at = found < 0 ? length : static_cast<uint32_t>(found);
    if (value) {
        Cell target = email;
        int32_t part;
        if (user) {
            part = static_cast<int32_t>(at);
        } else {
            uint32_t from = at < length ? at + 1 : length;
            target.data1 += from;
            part = static_cast<int32_t>(length - from);
        }
        Cell* slot = stack::push(&target);
        Cell v = *value;
        string::change(slot, &v, part, false, 1);
        stack::pop(1);
        return value;
    }
    uint32_t from = user ? 0 : (at < length ? at + 1 : length);
    uint32_t count = user ? at : length - from;
    Cell* slot = string::rs_make_at(stack::push_slot(), count);
    Cell src = email;
    src.data1 += from;
    string::concatenate(slot, &src, static_cast<int32_t>(count), false);
    Cell r = *slot;
    stack::pop(1);
    return copy_cell(&r, parent);
}

}  // namespace email

// ---- Registration --------------------------------------------------------------

template <>
void datatype::init_type<TYPE_EMAIL>() {
    register_type<TYPE_EMAIL, "i-iiioo-i --------------- iiiiiiiiiiiiiiiiiiii-iiiii- ---i-------">(
        own<slot::mold>(email::mold), own<slot::eval_path>(email::eval_path));
}
