// The process layer behind `call`: the command's text turned into a program
// and its arguments (or a shell command line), the redirections taken from
// values, and what the child wrote appended to the target values.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "runtime/cell.h"

namespace call {

// Runs the command (a string! or a file!) and answers its exit status when
// it was waited for (with /wait, /console or any redirection), else its
// process id; -1 when a file cannot be opened or the program cannot start,
// 0 for an empty command. `in`, `out` and `err` are null when absent; a
// command not found as a program runs through the shell instead.
int64_t run(const Cell* cmd, bool wait, bool console, bool shell, const Cell* in, Cell* out, Cell* err);

// Splits a command line into its words as the shell would, without any
// expansion: blanks separate words; '...' keeps its text as it is; "..."
// keeps it but for a backslash before \ " $ ` or a line end; elsewhere a
// backslash keeps the next character. A quote left open runs to the end.
std::vector<std::string> split_command(const std::string& text);

}  // namespace call
