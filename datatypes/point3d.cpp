// point3D!: three single-precision coordinates.
#include "datatypes/point3d.h"

#include "datatypes/point_impl.h"

namespace point3d {

using P = point_impl::Point<3>;

Cell* make_at(Cell* slot, float x, float y, float z) {
    double v[3] = {x, y, z};
    return P::make_at(slot, v);
}
Cell* push(float x, float y, float z) {
    Cell* c = stack::push_slot();
    c->header = TYPE_POINT3D;
    return make_at(c, x, y, z);
}
Cell* make_in(Cell* block, float x, float y, float z) { return make_at(alloc_tail(block), x, y, z); }

Cell* do_math(Cell* value1, Cell* value2, int32_t op) { return P::do_math(value1, value2, op); }
int32_t compare(Cell* value1, Cell* value2, int32_t op) { return P::compare(value1, value2, op); }

}  // namespace point3d

// ---- Registration --------------------------------------------------------------

template <>
void datatype::init_type<TYPE_POINT3D>() { point3d::P::init(); }
