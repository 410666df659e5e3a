// port!: objects that carry actions to a scheme's actor.
#pragma once
#include <cstdint>
#include <initializer_list>

#include "evaluator/actions.h"
#include "runtime/cell.h"

namespace port {

// The value of a word of the library's context (none when it has none).
Cell library_value(const char* name);
// The field of the system object by name (none when it has none).
Cell system_field(const char* name);

// Calls the function of the port's actor named by the action word with the
// port and the given values (in the order of the action's spec) and
// answers its result. Raises access invalid-port when the actor is not an
// object, no-port-action when it has no such function.
Cell call_actor(const char* action, Cell* port, std::initializer_list<Cell> args);

ZEM_ACTION_DECL(make);
ZEM_ACTION_DECL(open);
ZEM_ACTION_DECL(read);
ZEM_ACTION_DECL(write);

}  // namespace port
