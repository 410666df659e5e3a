// Natives whose bodies are still to be written: each answers internal
// not-done. A native leaves this file when its body is written elsewhere.
#include "evaluator/native_support.h"

namespace natives {

#define PENDING(name) \
    Unwind n_##name(bool, const int32_t*) { fire(err::NOT_DONE); }

// Loops, switch, case, get, set, comparison, type?, reduce and compose
PENDING(foreach)
PENDING(forall)
PENDING(remove_each)
PENDING(switch_)
PENDING(case_)
PENDING(get)
PENDING(equal_q)
PENDING(not_equal_q)
PENDING(strict_equal_q)
PENDING(lesser_q)
PENDING(greater_q)
PENDING(lesser_or_equal_q)
PENDING(greater_or_equal_q)
PENDING(same_q)
PENDING(not_)
PENDING(type_q)
PENDING(reduce)
PENDING(compose)

// Binding, set operations and the hex codecs
PENDING(stats)
PENDING(union_)
PENDING(intersect)
PENDING(unique)
PENDING(difference)
PENDING(exclude)

// PARSE
PENDING(parse)

// Math

// Values, conversions, the environment and the system
PENDING(construct)
PENDING(recycle)

#undef PENDING

}  // namespace natives
