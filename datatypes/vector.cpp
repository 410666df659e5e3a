// vector!: series of numbers of one element type.
#include "datatypes/datatype.h"

namespace vector {

// ---- Registration --------------------------------------------------------------

// Own slots marked `p` are not written yet and count as unsupported.
void init() {
    using namespace datatype;
    datatype::register_type<TYPE_VECTOR,
                            "pii-ppi-p -ppp--p-p--p-pp piipiiiiiipiiiii-iiiii-iii- ---i-------">();
}

}  // namespace vector
