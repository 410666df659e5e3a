// port!: objects that carry actions to a scheme's actor.
#include "datatypes/datatype.h"

namespace port {

// ---- Registration --------------------------------------------------------------

// Own slots marked `p` are not written yet and count as unsupported.

}  // namespace port

template <>
void datatype::init_type<TYPE_PORT>() {
    register_type<TYPE_PORT, "p-i-ppi-i --------------- ppppppppppppppppppppppppppp ppppp-ppppp">();
}
