// set, for a single word only: the boot library needs it before the full
// native lands.
#include "datatypes/context.h"
#include "evaluator/native_support.h"

namespace natives {

Unwind n_set(bool, const int32_t*) {
    Cell value = *arg(1);
    if (arg(0)->type() == TYPE_BLOCK || arg(0)->type() == TYPE_OBJECT) fire(err::NOT_DONE);
    context::set(arg(0), &value);
    return result(value);
}

}  // namespace natives
