// The language's side of console input: the routines behind `ask` and
// `input`, the standard-input reads, and the console's title and size.
#pragma once

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

// Routine bodies, arguments in the current call frame:
// `_set-buffer-history line [string!] hist [block!]`
void r_set_buffer_history();
// `_read-input prompt [string!] hidden? [logic!]`: the line editor on a
// terminal, else one piped line ("q" at the end of input).
void r_read_input();
// `input-stdin`: one piped line.
void r_input_stdin();
// `read-stdin buffer [binary!] buflen [integer!]`: appends what one read gives.
void r_read_stdin();
// `_terminate-console`: nothing to do here.
void r_terminate_console();

}  // namespace terminal
