// The library's top level: the boot image is loaded into the root block and
// its statements run, in source order, at the end of start-up.
#pragma once

namespace top_level {

// Loads the boot image (collection off) and evaluates its statements with
// collection on. The start-up flag must already be cleared. An error raised
// by a statement propagates as an ErrorThrown.
void run();

// What the boot image needs before it is decoded: the datatype words, the
// global context as an object and a bare `make` (run calls it first).
void prelude();

}  // namespace top_level
