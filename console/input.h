// The language's side of console input: the routines behind `ask` and
// `input`, the standard-input reads, and the console's title and size.
#pragma once

namespace input {

// Records whether standard input is a terminal and makes the line editor.
void init();
// The window size in cells; false when standard input and output are not
// terminals.
bool size(int& columns, int& rows);
// Sets the window title (only when standard output is a terminal; a failure
// is ignored).
void set_title(const char* title);

// Puts the console's routines into the routine table (their indexes and
// words are in ZEM_CONSOLE_ROUTINES, evaluator/routines.h).
void register_routines();

}  // namespace input
