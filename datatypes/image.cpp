// image!: bitmaps of pixels.
#include "datatypes/datatype.h"

namespace image {

// ---- Registration --------------------------------------------------------------

// Own slots marked `p` are not written yet and count as unsupported.
void init() {
    using namespace datatype;
    datatype::register_type<TYPE_IMAGE,
                            "p--pppp-p --------------- -pip-p-iii-p-ppp-----p-pp-- ---i-------">();
}

}  // namespace image
