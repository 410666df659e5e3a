// point2D!: two single-precision coordinates (geometry of the GUI).
#include "datatypes/point2d.h"

#include "datatypes/point_impl.h"

namespace point2d {

using P = point_impl::Point<2>;

Cell* make_at(Cell* slot, float x, float y) {
    double v[2] = {x, y};
    return P::make_at(slot, v);
}
Cell* push(float x, float y) {
    Cell* c = stack::push_slot();
    c->header = TYPE_POINT2D;
    return make_at(c, x, y);
}
Cell* make_in(Cell* block, float x, float y) { return make_at(alloc_tail(block), x, y); }
float x_of(const Cell* p) { return P::get(p, 0); }
float y_of(const Cell* p) { return P::get(p, 1); }

Cell* do_math(Cell* value1, Cell* value2, int32_t op) { return P::do_math(value1, value2, op); }
int32_t compare(Cell* value1, Cell* value2, int32_t op) { return P::compare(value1, value2, op); }

}  // namespace point2d

// ---- Registration --------------------------------------------------------------

template <>
void datatype::init_type<TYPE_POINT2D>() { point2d::P::init(); }
