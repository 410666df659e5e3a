// event!: GUI events.
#include "datatypes/datatype.h"

namespace event {

// ---- Registration --------------------------------------------------------------

// Own slots marked `p` are not written yet and count as unsupported.
void init() {
    using namespace datatype;
    datatype::register_type<TYPE_EVENT,
                            "p---ppp-p --------------- --------------p------------ -----------">();
}

}  // namespace event
