// vector!: series of numbers of one element type.
#include "datatypes/datatype.h"

namespace vector {

// ---- Registration --------------------------------------------------------------

// Own slots marked `p` are not written yet and count as unsupported.

}  // namespace vector

template <>
void datatype::init_type<TYPE_VECTOR>() {
    register_type<TYPE_VECTOR, "pii-ppi-p -ppp--p-p--p-pp piipiiiiiipiiiii-iiiii-iii- ---i-------">();
}
