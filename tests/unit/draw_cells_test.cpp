// The DRAW commands a text terminal shows, drawn into a grid of characters
// through the interpreter's cell writer, clipped to the face's box.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "booted.h"
#include "datatypes/block.h"
#include "datatypes/tuple.h"
#include "gui/draw.h"

namespace {

struct Canvas {
    int width, height;
    std::vector<std::u32string> rows;
    std::vector<std::string> colors;
    Canvas(int w, int h) : width(w), height(h), rows(h, std::u32string(w, U' ')), colors(h, std::string(w, '.')) {}
};

class DrawCells : public booted::Library {
protected:
    // Draws the block (Zem source) at the face position x, y with the clip
    // box x1 y1 x2 y2 and answers the canvas as UTF-8 lines.
    std::vector<std::string> draw_at(const std::string& code, int x, int y, int x1, int y1, int x2, int y2,
                                     Canvas* out = nullptr) {
        Canvas local(12, 6);
        Canvas& c = out ? *out : local;
        Cell blk = test_eval::run(code);
        draw::Surface s;
        s.x = x, s.y = y, s.x1 = x1, s.y1 = y1, s.x2 = x2, s.y2 = y2;
        s.target = &c;
        s.put = [](void* t, int32_t col, int32_t row, uint32_t cp, const Cell* color) {
            Canvas* cv = static_cast<Canvas*>(t);
            cv->rows[row][col] = static_cast<char32_t>(cp);
            cv->colors[row][col] = color ? static_cast<char>('0' + tuple::bytes(color)[0] % 10) : '-';
        };
        draw::do_draw(&s, &blk, true);
        std::vector<std::string> lines;
        for (auto& r : c.rows) {
            std::string u;
            for (char32_t ch : r) {
                uint32_t cp = ch;
                if (cp < 0x80) u += static_cast<char>(cp);
                else if (cp < 0x800) u += static_cast<char>(0xC0 | (cp >> 6)), u += static_cast<char>(0x80 | (cp & 0x3F));
                else
                    u += static_cast<char>(0xE0 | (cp >> 12)), u += static_cast<char>(0x80 | ((cp >> 6) & 0x3F)),
                        u += static_cast<char>(0x80 | (cp & 0x3F));
            }
            lines.push_back(u);
        }
        return lines;
    }
    std::vector<std::string> draw(const std::string& code) { return draw_at(code, 0, 0, 0, 0, 12, 6); }
};

}  // namespace

TEST_F(DrawCells, LinesBoxesAndText) {
    EXPECT_EQ(draw("[box 0x0 4x2 line 6x0 9x0 line 6x1 6x3 text 1x1 \"hi\"]"),
              (std::vector<std::string>{"┌───┐ ────  ", "│hi │ │     ", "└───┘ │     ", "      │     ",
                                        "            ", "            "}));
    EXPECT_EQ(draw("[triangle 0x0 4x0 0x2]"),
              (std::vector<std::string>{"│──╱╱       ", "│╱╱         ", "│           ", "            ",
                                        "            ", "            "}));
    EXPECT_EQ(draw("[text 0x0 \"ab^/cd\"]")[1], "cd          ");
}

TEST_F(DrawCells, ClippedToTheFaceBox) {
    // The face sits at 2x1 and its box ends at column 6 and row 3.
    EXPECT_EQ(draw_at("[box 0x0 9x4 text 1x1 \"long text\"]", 2, 1, 2, 1, 6, 3),
              (std::vector<std::string>{"            ", "  ┌───      ", "  │lon      ", "            ",
                                        "            ", "            "}));
}

TEST_F(DrawCells, PenColoursAndScopedBlocks) {
    Canvas c(12, 6);
    draw_at("[line 0x0 1x0 pen 1.0.0 line 2x0 3x0 push [pen 2.0.0 line 4x0 5x0] line 6x0 7x0 pen off line 8x0 9x0]", 0,
            0, 0, 0, 12, 6, &c);
    EXPECT_EQ(c.colors[0], "--112211--..");
}

TEST_F(DrawCells, EllipsesArcsAndImages) {
    EXPECT_EQ(draw("[ellipse 0x0 4x4]"), (std::vector<std::string>{" ···        ", "·· ··       ", "·   ·       ",
                                                                  "·· ··       ", " ···        ", "            "}));
    // A quarter from the right (0 degrees) to the bottom (90).
    EXPECT_EQ(draw("[arc 2x2 2x2 0 90]"), (std::vector<std::string>{"            ", "            ", "    ·       ",
                                                                   "    ·       ", "  ··        ", "            "}));
    Canvas c(12, 6);
    draw_at("compose [image (make image! [2x1 #{0B0000160000}]) 3x2]", 0, 0, 0, 0, 12, 6, &c);
    EXPECT_EQ(c.colors[2], "...12.......");
}

TEST_F(DrawCells, ABadBlockIsReportedAndStopsDrawing) {
    testing::internal::CaptureStdout();
    std::vector<std::string> r = draw("[line 0x0 2x0 box 1x1 line 0x3 2x3]");
    std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_EQ(r[0], "───         ");
    EXPECT_EQ(r[3], "            ");
    EXPECT_NE(printed.find("DRAW - invalid input at:"), std::string::npos) << printed;
}

TEST_F(DrawCells, RichTextRangesStyleTheirCells) {
    struct Styled {
        std::vector<std::string> attrs{3, std::string(8, '.')};
    } out;
    Cell face = test_eval::run("rtd-layout/only [\"ab\" b \"cd\" /b \"^/e\" 9.0.0 [u [\"fg\"]]]");
    Cell text = *block::rs_head(&face), data = *(block::rs_head(&face) + 1);
    draw::Surface s;
    s.x = 1, s.y = 0, s.x1 = 0, s.y1 = 0, s.x2 = 6, s.y2 = 3;
    s.target = &out;
    s.style = [](void* t, int32_t col, int32_t row, uint32_t attr, const Cell* color) {
        char& c = static_cast<Styled*>(t)->attrs[row][col];
        c = static_cast<char>('0' + attr + (color ? 16 : 0));
    };
    draw::rich_text(&s, &text, &data);
    // "abcd" on the first row from column 1, then "efg": cd bold, fg underlined and coloured.
    EXPECT_EQ(out.attrs[0], "...11...");
    EXPECT_EQ(out.attrs[1], "..DD....");
}
