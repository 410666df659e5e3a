// Raising an error from runtime code: through the errors module's hook, or
// bare before it is installed.
#include "runtime/fault.h"

namespace fault {

void (*raise_hook)(ErrorId id, const Cell* arg) = nullptr;

void fire(ErrorId id, const Cell* arg) {
    if (raise_hook) raise_hook(id, arg);
    ErrorThrown e{id, 0, {}, Cell{TYPE_UNSET, 0, 0, 0}};
    if (arg) e.args[e.arg_count++] = *arg;
    throw e;
}

void fire_int(ErrorId id, int32_t value) {
    Cell c{TYPE_INTEGER, 0, static_cast<uint32_t>(value), 0};
    fire(id, &c);
}

}  // namespace fault
