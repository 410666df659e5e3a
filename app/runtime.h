// Program entry and the runtime's start-up sequence.
#pragma once
#include <cstdint>

struct ErrorThrown;

namespace runtime {


// The program entry: machine start-up, runtime initialisation, the library's
// top level and the console. Never returns.
[[noreturn]] int entry(int argc, char** argv);

// Machine and system start-up without the rest (tests boot through this and
// init()).
void machine_start(int argc, char** argv);
// Every module's initialisation, in order, and the boot image.
void init();
// Frees the memory manager's frames, then every tracked allocation.
void cleanup();

// An error that no try frame guards: prints it as the console shows errors
// and ends the process with status 254 (-2 as 8 bits).
[[noreturn]] void unguarded_error(const ErrorThrown& e);

}  // namespace runtime
