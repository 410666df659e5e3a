// Raising errors. Until the catalogue and error! values exist, an error
// travels as the bare exception.
#include "evaluator/errors.h"

[[noreturn]] void fire(ErrorId id, const Cell*, const Cell*, const Cell*) { throw ErrorThrown{id}; }
