// The DRAW and SHAPE dialects: the interpreter that checks a draw block
// command by command and draws what a text terminal can show into cells.
#pragma once
#include <cstdint>

#include "runtime/cell.h"

namespace draw {

// Where a draw block's cells go: the face's absolute position in the grid,
// the clip box (x2 and y2 exclusive) and the back end's cell writer, which
// stores one character with a foreground colour (a tuple! cell, or null for
// the default colour) and leaves the cell's background alone.
struct Surface {
    int32_t x = 0, y = 0;
    int32_t x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    void* target = nullptr;
    void (*put)(void* target, int32_t col, int32_t row, uint32_t code_point, const Cell* color) = nullptr;
    // For rich text: adds attribute bits (RT_ below) and, with a colour, the
    // foreground to the cell; and the display width of a code point.
    void (*style)(void* target, int32_t col, int32_t row, uint32_t attributes, const Cell* color) = nullptr;
    int (*width)(uint32_t code_point) = nullptr;
};

// Attribute bits of rich-text ranges.
constexpr uint32_t RT_BOLD = 1, RT_ITALIC = 2, RT_UNDERLINE = 4, RT_STRIKE = 8;

// Applies a rich-text face's style ranges (its data: start x length, then
// bold, italic, underline, strike, colours, backdrop colour or font
// arguments) to the cells of its text as drawn from the surface's x and y,
// a line feed starting the next row; ranges outside the text are cut.
void rich_text(Surface* surface, const Cell* text, const Cell* data);

// Runs the draw block: with a surface, the commands a terminal can show draw
// into it; without one the block is only checked. A command value that is
// not a non-empty block does nothing. A bad block raises draw-invalid or
// draw-infinite; with catch_ the error is printed instead and the call
// returns. With system/view/silent? set it stops quietly.
void do_draw(Surface* surface, const Cell* commands, bool catch_);

// Registers the routines of this file in the routine table.
void register_routines();

}  // namespace draw
