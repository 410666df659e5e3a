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
PENDING(set)
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
PENDING(bind)
PENDING(in)
PENDING(complement_q)
PENDING(dehex)
PENDING(enhex)
PENDING(debase)
PENDING(enbase)

// PARSE
PENDING(parse)

// Math
PENDING(negative_q)
PENDING(positive_q)
PENDING(max)
PENDING(min)
PENDING(shift)
PENDING(to_hex)
PENDING(sine)
PENDING(cosine)
PENDING(tangent)
PENDING(arcsine)
PENDING(arccosine)
PENDING(arctangent)
PENDING(arctangent2)
PENDING(nan_q)
PENDING(log_2)
PENDING(log_10)
PENDING(log_e)
PENDING(exp)
PENDING(square_root)

// Values, conversions, the environment and the system
PENDING(construct)
PENDING(value_q)
PENDING(uppercase)
PENDING(lowercase)
PENDING(as_pair)
PENDING(as_point2d)
PENDING(as_point3d)
PENDING(as_money)
PENDING(extend)
PENDING(to_local_file)
PENDING(wait)
PENDING(checksum)
PENDING(unset)
PENDING(new_line)
PENDING(new_line_q)
PENDING(context_q)
PENDING(set_env)
PENDING(get_env)
PENDING(list_env)
PENDING(now)
PENDING(sign_q)
PENDING(as)
PENDING(call)
PENDING(zero_q)
PENDING(size_q)
PENDING(browse)
PENDING(compress)
PENDING(decompress)
PENDING(recycle)
PENDING(transcode)
PENDING(apply)

#undef PENDING

}  // namespace natives
