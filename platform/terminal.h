// The terminal as the console and the text-mode GUI drive it: raw mode,
// alternate screen, mouse reporting and cursor visibility are recorded here
// when they are switched on, so that every way out of the process (quit, a
// fatal error, a fatal signal) can put the terminal back as it was.
#pragma once
#include <cstdint>

namespace platform {

// Puts the terminal on `fd` into raw mode, saving its settings first (the
// first save wins until the terminal is restored). False when `fd` is not a
// terminal or the settings cannot be changed.
bool enter_raw_mode(int fd);
// Puts back the settings saved by enter_raw_mode.
void leave_raw_mode();
// Records that other code put `fd` into a raw mode of its own, `settings`
// (a struct termios) being what to put back; -1 records that it put them
// back itself. restore_terminal then undoes it on every exit path.
void note_raw_mode(int fd, const void* settings);

// Records that the alternate screen, mouse reporting or a hidden cursor was
// switched on (true) or off (false) on standard output.
void note_alternate_screen(bool on);
void note_mouse_reporting(bool on);
void note_cursor_hidden(bool on);

// Undoes whatever of the above is in force: mouse reporting off, cursor
// shown, main screen back, terminal settings restored. Safe to call from a
// signal handler and more than once.
void restore_terminal();

// The size of the terminal on `fd` in character cells; false when unknown.
bool terminal_size(int fd, uint32_t& columns, uint32_t& rows);

}  // namespace platform
