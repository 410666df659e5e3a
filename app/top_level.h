// The library's top level: the boot image is loaded into the root block and
// its statements run, in source order, at the end of start-up.
#pragma once

namespace top_level {

// Loads the boot image (collection off) and evaluates its statements with
// collection on. The start-up flag must already be cleared. An error raised
// by a statement propagates as an ErrorThrown.
void run();

}  // namespace top_level
