// Raising errors. Until the catalogue and error! values exist, an error
// travels as the bare exception with its id and arguments.
#include "evaluator/errors.h"

#include <initializer_list>

void fire(ErrorId id, const Cell* arg1, const Cell* arg2, const Cell* arg3) {
    ErrorThrown e{id, 0, {}};
    for (const Cell* a : {arg1, arg2, arg3}) {
        if (!a) break;
        e.args[e.arg_count++] = *a;
    }
    throw e;
}

void fire_int(ErrorId id, int32_t value) {
    Cell c{TYPE_INTEGER, 0, static_cast<uint32_t>(value), 0};
    fire(id, &c);
}
