// Raising script-level errors (see error.h).
#include "evaluator/error.h"

#include <initializer_list>

namespace error {

void fire(uint32_t category, uint32_t id, const Cell* arg1, const Cell* arg2, const Cell* arg3) {
    Error e{category, id, 0, {}};
    for (const Cell* a : {arg1, arg2, arg3}) {
        if (!a) break;
        e.args[e.arg_count++] = *a;
    }
    throw e;
}

void fire_int(uint32_t category, uint32_t id, int32_t value) {
    Cell c{TYPE_INTEGER, 0, static_cast<uint32_t>(value), 0};
    fire(category, id, &c);
}

}  // namespace error
