// The terminal as a device, shared by the console's line editor and the
// GUI's terminal back end: raw mode, the window size and its changes, key
// decoding from the bytes a VT terminal sends, display widths, and the plain
// line read of piped input.
#pragma once
#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>

namespace terminal {

// ---- Keys ----------------------------------------------------------------------
// A key is a code point (control characters included) or one of these codes.
constexpr int32_t KEY_IGNORED = 0;
constexpr int32_t KEY_FAILED = -1;      // a read failed for a moment: ignored
constexpr int32_t KEY_HUNG_UP = -2;     // end of input or a terminal gone
constexpr int32_t KEY_RESIZED = -3;     // the window changed size
constexpr int32_t KEY_UP = -20;
constexpr int32_t KEY_DOWN = -21;
constexpr int32_t KEY_RIGHT = -22;
constexpr int32_t KEY_LEFT = -23;
constexpr int32_t KEY_END = -24;
constexpr int32_t KEY_HOME = -25;
constexpr int32_t KEY_INSERT = -26;
constexpr int32_t KEY_DELETE = -27;
constexpr int32_t KEY_PAGE_UP = -28;
constexpr int32_t KEY_PAGE_DOWN = -29;

// Reads keys from `fd`: UTF-8 characters (an invalid sequence gives U+FFFD),
// and the escape sequences of the cursor and editing keys in the variants
// real terminals send (CSI and SS3 forms, with or without modifiers). An Esc
// not followed within a short while by a sequence is the Esc key itself.
class KeyReader {
public:
    explicit KeyReader(int fd) : fd_(fd) {}
    int32_t read_key();
    // Bytes read ahead of time (a terminal reply, or after a lone Esc).
    void push_back(uint8_t byte) { pending_.push_back(byte); }
    // Reads one byte, waiting at most `timeout_ms` (-1: no limit). 1 for a
    // byte, 0 for a timeout, -1 at end of input or on a failure that lasts,
    // -3 when interrupted by a change of the window size.
    int read_byte(uint8_t& byte, int timeout_ms);

private:
    int32_t read_sequence(uint8_t introducer);
    int fd_;
    std::deque<uint8_t> pending_;
};

// ---- Display widths -------------------------------------------------------------
// Columns a code point takes: 0 for NUL and the zero-width characters, 2 for
// the wide ones, 1 for controls and everything else.
int char_width(uint32_t cp);
// The East Asian variant: ambiguous-width characters take 2 columns.
int char_width_cjk(uint32_t cp);

// ---- Terminal -----------------------------------------------------------------------
// Raw mode on `fd`, settings saved first; false when `fd` is not a terminal.
bool raw_mode_on(int fd);
// Puts back the settings saved by raw_mode_on (nothing when none are saved).
void raw_mode_off();
// The size of the terminal on `fd` in cells.
bool window_size(int fd, int& columns, int& rows);
// Makes a change of window size interrupt a wait for a key, a hang-up end
// it as the end of input does, and every other signal that ends the process
// (where it keeps its default action) put the terminal back first; the
// process then ends by that signal.
void watch_resize();
// Hands bytes read from the terminal but not used back to the key readers:
// the next key read takes them first.
void unread_input(const uint8_t* bytes, size_t n);
// True once after the window changed size (a resize seen by watch_resize).
bool take_resize();
// Records which screen modes are on (the alternate screen, mouse reporting,
// a hidden cursor), so that every way out of the process switches them off.
void note_screen_modes(bool alternate_screen, bool mouse_reporting, bool cursor_hidden);

// ---- Piped input ------------------------------------------------------------------------
// Reads one line from `fd` a byte at a time (never past its line feed), as
// UTF-8 (invalid sequences give U+FFFD). The line feed is dropped, a carriage
// return is kept. False at end of input when nothing was read.
bool read_piped_line(int fd, std::u32string& line);

// ---- Line editing ---------------------------------------------------------------------
// Whether a line is being edited: a hang-up then ends the read as the end of
// input does, rather than the process.
void note_editing(bool on);

}  // namespace terminal
