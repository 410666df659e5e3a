// event!: GUI events.
#include "datatypes/datatype.h"

namespace event {

// ---- Registration --------------------------------------------------------------

// Own slots marked `p` are not written yet and count as unsupported.

}  // namespace event

template <>
void datatype::init_type<TYPE_EVENT>() {
    register_type<TYPE_EVENT, "p---ppp-p --------------- --------------p------------ -----------">();
}
