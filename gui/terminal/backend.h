// The text-terminal back end of the View engine: widgets made for faces,
// windows, rendering into the cell grid, event delivery to widgets and to
// `system/view/awake`, the event loop, and the routines of
// `system/view/platform` and of the event helpers.
#pragma once
#include <cstdint>

namespace gui {

// Puts the back end's and the DRAW interpreter's routine bodies into the
// routine table.
void register_routines();
// Runs one pass of the event loop when a text-mode window is active
// (the native `wait` calls it after its sleep); 0 otherwise.
int32_t do_events_wait();

}  // namespace gui
