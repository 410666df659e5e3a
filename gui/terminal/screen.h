// The character-cell grid the back end draws windows into, text drawn into
// it (clipped, wrapped, with SGR sequences in the text parsed into colours
// and attributes), and the writer that turns the grid into one terminal
// write sending only what changes from cell to cell.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace tui {

// Cell attribute bits.
constexpr uint32_t ATTR_BLINK = 0x1, ATTR_BOLD = 0x2, ATTR_DIM = 0x4, ATTR_INVERSE = 0x8, ATTR_UNDERLINE = 0x10,
                   ATTR_STRIKE = 0x40, ATTR_ITALIC = 0x100, ATTR_HIDDEN = 0x200, ATTR_COVERED = 0x400,
                   ATTR_MASKED = 0x800;
// Style bits given to the text drawer besides the attributes.
constexpr uint32_t STYLE_SGR = 0x1000, STYLE_NO_TEXT = 0x2000;
// Para flags.
constexpr uint32_t PARA_RIGHT = 1, PARA_CENTER = 2, PARA_MIDDLE = 4, PARA_BOTTOM = 8, PARA_WRAP = 0x20;

struct ScreenCell {
    uint32_t cp = 0;  // 0 stands for a blank
    uint32_t bg = 0, fg = 0, attr = 0;
};

struct Clip {
    int x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    bool empty() const { return x2 - x1 < 1 || y2 - y1 < 1; }
};

class Grid {
public:
    // Sizes the grid (its storage grows only) and clears it to zero cells.
    void reset(int width, int height);
    int width() const { return width_; }
    int height() const { return height_; }
    ScreenCell* at(int x, int y) { return &cells_[static_cast<size_t>(y) * width_ + x]; }
    const ScreenCell* at(int x, int y) const { return &cells_[static_cast<size_t>(y) * width_ + x]; }
    // Blanks (code point 32) in the background colour over the clip box.
    void fill(const Clip& clip, uint32_t bg);

private:
    int width_ = 0, height_ = 0;
    std::vector<ScreenCell> cells_;
};

// The running style of SGR parsing.
struct Style {
    uint32_t fg = 0, bg = 0, attr = 0;
};
// Parses an SGR sequence from `text` (what follows an ESC) into the style;
// answers the characters consumed, 0 when the text does not start with "[".
size_t parse_sgr(const char32_t* text, size_t n, Style& style);

// The display width of a code point (the line editor's).
int char_width(uint32_t cp);

// Draws text from column x, row y (absolute cells): characters outside the
// clip box are not stored; with wrap the text continues on the next row at
// `right` (the box's right edge), else the rest of the line is skipped.
// Stored cells take the foreground and the style's attribute bits; the
// background already in the cell stays. With STYLE_SGR, escape sequences in
// the text set the foreground and attributes of what follows.
void draw_text(Grid& grid, int x, int y, int right, const Clip& clip, const std::u32string& text, uint32_t style,
               uint32_t fg, bool wrap);
// The extent of text laid out `width` cells wide: the widest line and the
// number of lines (escape sequences take no room with STYLE_SGR).
void text_extent(const std::u32string& text, int width, bool wrap, bool sgr, int& columns, int& lines);

// The writer's state between frames.
struct Frame {
    bool full_screen = false;
    int lines_drawn = 0;     // inline mode: rows the cursor stands below the first
    bool caret = false;      // the focused widget shows a caret
    int caret_col = -1, caret_row = -1;
};
// Appends the grid as terminal output: the cursor placed at the first row,
// then every cell with only the attribute and colour changes from the cell
// before it, the style reset after the last row, and the cursor moved to
// the caret when there is one.
void write_grid(const Grid& grid, Frame& frame, std::string& out);

}  // namespace tui
