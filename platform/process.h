// Running other programs: posix_spawn with the standard streams given to
// the child as the caller asks (the parent's, the null device, a file, or a
// pipe fed from or collected into a buffer), the pipes served by one poll()
// loop so that no stream waits on another.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

struct ProcessStream {
    enum Mode { Inherit, Discard, File, Buffer };
    Mode mode = Inherit;
    // File: the path, read for the input, written at its end for an output
    // (created when missing, never truncated).
    std::string path;
    // Buffer: the bytes written to the child's input, or those collected
    // from its output (appended).
    std::string data;
};

struct ProcessRequest {
    // The program and its arguments; a name without "/" is looked up on PATH.
    std::vector<std::string> argv;
    ProcessStream input, output, error;
    // Wait for the child (always, when a stream is a buffer).
    bool wait = false;
};

constexpr int64_t PROCESS_FAILED = -1;     // a file, pipe or the start failed
constexpr int64_t PROGRAM_NOT_FOUND = -2;  // no such program

// Starts the program. Waited for: answers its exit status (128 plus the
// signal that ended it). Otherwise: its process id, at once; the child is
// not ours to reap (it belongs to init), so it never lingers as a zombie.
// The child gets no descriptor of ours but its three standard streams, and
// the default action of SIGPIPE.
int64_t run_process(ProcessRequest& request);

// The program's text as one word of the shell: single-quoted, each quote
// written as '\''.
std::string shell_quote(const std::string& text);

// The argument vector that runs a command line through /bin/sh.
std::vector<std::string> shell_argv(const std::string& command);

}  // namespace platform
