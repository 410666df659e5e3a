// image!: bitmaps of pixels.
#include "datatypes/datatype.h"

namespace image {

// ---- Registration --------------------------------------------------------------

// Own slots marked `p` are not written yet and count as unsupported.

}  // namespace image

template <>
void datatype::init_type<TYPE_IMAGE>() {
    register_type<TYPE_IMAGE, "p--pppp-p --------------- -pip-p-iii-p-ppp-----p-pp-- ---i-------">();
}
