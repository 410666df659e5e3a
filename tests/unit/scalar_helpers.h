// Helpers for the scalar datatype tests: values by their parts, the form
// and mold texts through the action entry points, and small blocks.
#pragma once
#include <string>

#include "booted.h"

namespace scalar_helpers {

inline std::string mold(const Cell& v, bool all = false) {
    Cell r = all ? booted::call(actions::slot::mold, {v, booted::logic(true)}, {-1, 1, -1, -1})
                 : booted::call(actions::slot::mold, {v});
    return booted::text_of(&r);
}
inline std::string form(const Cell& v) {
    Cell r = booted::call(actions::slot::form, {v});
    return booted::text_of(&r);
}
inline Cell flt(double d, uint32_t type = TYPE_FLOAT) {
    Cell c{type, 0, 0, 0};
    c.set_float(d);
    return c;
}
inline Cell block_of(std::initializer_list<Cell> cells) {
    Cell blk = *block::make_at(stack::push_slot(), 4);
    for (const Cell& c : cells) block::rs_append(&blk, &c);
    return blk;
}
// A binary action through its entry point.
inline Cell op(uint32_t slot, const Cell& a, const Cell& b) { return booted::call(slot, {a, b}); }
// compare_star under the code.
inline bool cmp(Cell a, Cell b, int32_t code) { return actions::compare_star(&a, &b, code); }
// A path read or write through the path slot (value null reads).
inline Cell path(Cell& parent, Cell element, const Cell* value = nullptr) {
    Cell* top = stack::top;
    Cell v = value ? *value : Cell{};
    Cell* r = actions::eval_path(&parent, &element, value ? &v : nullptr, nullptr, nullptr, nullptr, 0,
                                 false, value == nullptr, true);
    Cell out = *r;
    stack::top = top;
    return out;
}
inline Cell pick(Cell v, Cell index) {
    Cell* top = stack::top;
    Cell* r = actions::pick(&v, index.type() == TYPE_INTEGER ? index.int_value() : 0, &index);
    Cell out = *r;
    stack::top = top;
    return out;
}

}  // namespace scalar_helpers
