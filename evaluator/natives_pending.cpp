// Natives whose bodies are still to be written: each answers internal
// not-done. A native leaves this file when its body is written elsewhere.
#include "evaluator/native_support.h"

namespace natives {

#define PENDING(name) \
    Unwind n_##name(bool, const int32_t*) { fire(err::NOT_DONE); }

// Binding, set operations and the hex codecs
PENDING(stats)
PENDING(union_)
PENDING(intersect)
PENDING(unique)
PENDING(difference)
PENDING(exclude)

// PARSE

// Math

// Values, conversions, the environment and the system
PENDING(construct)
PENDING(recycle)

#undef PENDING

}  // namespace natives
