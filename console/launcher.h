// The last step of start-up: the console, started through the library's
// `cli-console-ctx/launch` once the top level has run.
#pragma once

namespace console {

// Calls `cli-console-ctx/launch` when the library defined it; returns when
// the console returns (a script ran without "--catch"), else never.
void launch();

}  // namespace console
