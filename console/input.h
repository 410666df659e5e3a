// The language's side of console input: the routines behind `ask` and
// `input`, the standard-input reads, and the console's title and size.
#pragma once
#include <cstdint>
#include <string>

#include "runtime/cell.h"

namespace terminal {

// Records whether standard input is a terminal and makes the line editor.
void init();
bool console_input_q();
// The window size in cells; false when standard input and output are not
// terminals.
bool size(int& columns, int& rows);
// Sets the window title (only when standard output is a terminal; a failure
// is ignored).
void set_title(const char* title);

// Helpers of the routine bodies (library/routines.h declares the bodies:
// _set-buffer-history, _read-input, input-stdin, read-stdin,
// _terminate-console and the console's init).
Cell* arg(uint32_t i);
void result(const Cell& v);
std::string text_utf8(const Cell* str);
void set_console_size(int columns, int rows);

}  // namespace terminal
