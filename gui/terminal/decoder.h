// Decoding of the bytes a VT terminal sends into key and mouse events: UTF-8
// characters, control keys, CSI and SS3 key sequences, SGR mouse reports and
// cursor-position reports. A sequence cut short at the end of what was read
// waits in the buffer for the rest.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace tui {

// Special key codes (negative; their names are the event's key words).
constexpr int32_t KEY_UP = -20, KEY_DOWN = -21, KEY_RIGHT = -22, KEY_LEFT = -23, KEY_END = -24, KEY_HOME = -25,
                  KEY_INSERT = -26, KEY_DELETE = -27, KEY_PAGE_UP = -28, KEY_PAGE_DOWN = -29, KEY_F1 = -31,
                  KEY_F12 = -42;

// Modifier bits of an input event (those of the event! flags word).
constexpr uint32_t MOD_DOWN = 0x02000000, MOD_CONTROL = 0x10000000, MOD_SHIFT = 0x20000000, MOD_ALT = 0x40000000;

struct Input {
    enum Kind : uint8_t { KEY, BUTTON, OVER, WHEEL, CURSOR };
    Kind kind = KEY;
    int32_t key = 0;     // KEY: code point, control byte or special key code
    uint32_t type = 0;   // BUTTON: event type code (1 down .. 6 alt-up)
    uint32_t flags = 0;  // modifier bits
    float x = 0, y = 0;  // mouse position in window cells
    int amount = 0;      // WHEEL: +1 or -1
    int row = 0, col = 0;  // CURSOR: the cursor's 0-based row and column
    bool special() const { return key < 0; }
};

class Decoder {
public:
    // Appends bytes read from the terminal.
    void feed(const uint8_t* bytes, size_t n);
    // Decodes the buffered bytes into `out`, at most `limit` events; the
    // bytes after them stay buffered. `quiet` says that nothing was read
    // since the last pass: only then is an Esc left alone at the end taken
    // as the Esc key rather than the start of a sequence. True when it
    // stopped at the limit.
    bool decode(std::vector<Input>& out, bool quiet, size_t limit = SIZE_MAX);
    void clear();
    size_t buffered() const { return buffer_.size(); }
    const std::vector<uint8_t>& bytes() const { return buffer_; }

    // The screen row and column the window starts at (inline mode), taken
    // from cursor-position reports; mouse rows are counted from it.
    int origin_row = 0, origin_col = 0;
    // Whether the last mouse button report was a press.
    bool pressed = false;

private:
    enum Status { DONE, CUT_SHORT };
    Status escape(size_t& p, std::vector<Input>& out);
    void mouse(const int* params, bool press, std::vector<Input>& out);
    std::vector<uint8_t> buffer_;
    bool esc_waited_ = false;  // a lone Esc was kept for the next pass
    bool alt_next_ = false;    // the next key was typed with Alt (after an Esc)
};

}  // namespace tui
