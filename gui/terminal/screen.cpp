// The cell grid, text drawing and the grid writer.
#include "gui/terminal/screen.h"

#include <algorithm>

#include "runtime/terminal.h"
#include "gui/terminal/color.h"
#include "runtime/unicode.h"

namespace tui {

void Grid::reset(int width, int height) {
    width_ = std::max(width, 0);
    height_ = std::max(height, 0);
    size_t n = static_cast<size_t>(width_) * height_;
    if (cells_.size() < n) cells_.resize(n);
    std::fill(cells_.begin(), cells_.begin() + static_cast<std::ptrdiff_t>(n), ScreenCell{});
}

void Grid::fill(const Clip& clip, uint32_t bg) {
    for (int y = clip.y1; y < clip.y2; ++y)
        for (int x = clip.x1; x < clip.x2; ++x) *at(x, y) = ScreenCell{32, bg, 0, 0};
}

int char_width(uint32_t cp) { return terminal::char_width(cp); }

// ---- SGR ----------------------------------------------------------------------------

namespace {

const uint32_t set_bits[10] = {0, ATTR_BOLD, ATTR_DIM, ATTR_ITALIC, ATTR_UNDERLINE, ATTR_BLINK, 0, ATTR_INVERSE,
                               ATTR_HIDDEN, ATTR_STRIKE};

void apply(uint32_t n, Style& s) {
    if (n == 0) s = Style{};
    else if (n <= 9) s.attr |= set_bits[n];
    else if (n == 22) s.attr &= ~(ATTR_BOLD | ATTR_DIM);  // normal intensity ends both
    else if (n >= 21 && n <= 29) s.attr &= ~set_bits[n - 20];
    else if (n >= 30 && n <= 39 && n != 38) s.fg = n == 39 ? 0 : basic_color(n - 30);
    else if (n >= 40 && n <= 49 && n != 48) s.bg = n == 49 ? 0 : basic_color(n - 40);
    else if (n >= 90 && n <= 97) s.fg = basic_color(n - 80);
    else if (n >= 100 && n <= 107) s.bg = basic_color(n - 90);
}

}  // namespace

size_t parse_sgr(const char32_t* text, size_t n, Style& style) {
    if (n == 0 || text[0] != '[') return 0;
    uint32_t params[3] = {0, 0, 0};
    int count = 0;
    bool digits = false;
    size_t i = 1;
    for (; i < n; ++i) {
        char32_t c = text[i];
        if (c >= '0' && c <= '9') {
            params[count] = (params[count] * 10 + (c - '0')) % 65535;
            digits = true;
        } else if (c == ';') {
            if (count == 2) {  // a fourth parameter: start over, the three are dropped
                count = 0;
                params[0] = params[1] = params[2] = 0;
            } else {
                ++count;
            }
            digits = false;
        } else {
            break;
        }
    }
    if (i >= n) return 0;
    int total = count + (digits || count > 0 ? 1 : 0);
    char32_t final = text[i];
    if (final == 'm') {
        if (total == 0) apply(0, style);
        for (int k = 0; k < total; ++k) {
            if (k + 2 < total && params[k + 1] == 5 && (params[k] == 38 || params[k] == 48)) {
                (params[k] == 38 ? style.fg : style.bg) = palette_color(params[k + 2]);
                k += 2;
                continue;
            }
            apply(params[k], style);
        }
        return i + 1;
    }
    if (final == 'A' || final == 'B' || final == 'C' || final == 'D' || final == 'H' || final == 'f' || final == 'J' ||
        final == 'K')
        return i + 1;
    return 0;
}

// ---- Text ---------------------------------------------------------------------------

void draw_text(Grid& grid, int x, int y, int right, const Clip& clip, const std::u32string& text, uint32_t style,
               uint32_t fg, bool wrap) {
    if (clip.empty()) return;
    Style running{fg, 0, style & 0x0FFF};
    int col = x, row = y;
    bool wrap_due = false;  // the last character filled the row
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t cp = text[i];
        if (cp == 27 && (style & STYLE_SGR)) {
            size_t used = parse_sgr(text.data() + i + 1, text.size() - i - 1, running);
            if (used) {
                i += used;
                continue;
            }
        }
        if (cp == '\n') {
            ++row;
            col = x;
            wrap_due = false;
            if (row >= clip.y2) return;
            continue;
        }
        int w = char_width(cp);
        if (w == 0) continue;
        if (wrap_due || (wrap && col + w > right && col > x)) {
            ++row;
            col = x;
            wrap_due = false;
        }
        if (row >= clip.y2) return;
        if (!wrap && col >= right) continue;  // the rest of the line is cut off
        if (row >= clip.y1 && col + w > clip.x1 && col + w <= clip.x2 && col >= clip.x1) {
            ScreenCell* c = grid.at(col, row);
            c->cp = cp;
            c->fg = running.fg;
            c->attr = running.attr;
            for (int k = 1; k < w; ++k) {
                ScreenCell* covered = grid.at(col + k, row);
                covered->attr = ATTR_COVERED;
                covered->cp = 0;
            }
        }
        col += w;
        if (wrap && col >= right) wrap_due = true;
    }
}

void text_extent(const std::u32string& text, int width, bool wrap, bool sgr, int& columns, int& lines) {
    columns = 0;
    lines = text.empty() ? 0 : 1;
    int col = 0;
    Style ignored;
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t cp = text[i];
        if (cp == 27 && sgr) {
            size_t used = parse_sgr(text.data() + i + 1, text.size() - i - 1, ignored);
            if (used) {
                i += used;
                continue;
            }
        }
        if (cp == '\n') {
            ++lines;
            col = 0;
            continue;
        }
        int w = char_width(cp);
        if (wrap && width > 0 && col + w > width && col > 0) {
            ++lines;
            col = 0;
        }
        col += w;
        columns = std::max(columns, std::min(col, wrap && width > 0 ? width : col));
    }
}

// ---- The writer ------------------------------------------------------------------------

namespace {

struct Toggle {
    uint32_t bit;
    const char* on;
    const char* off;
};
const Toggle toggles[] = {{ATTR_DIM, "\x1b[2m", "\x1b[22m"},     {ATTR_INVERSE, "\x1b[7m", "\x1b[27m"},
                          {ATTR_BOLD, "\x1b[1m", "\x1b[22m"},    {ATTR_ITALIC, "\x1b[3m", "\x1b[23m"},
                          {ATTR_STRIKE, "\x1b[9m", "\x1b[29m"},  {ATTR_UNDERLINE, "\x1b[4m", "\x1b[24m"}};

void change_to(std::string& out, Style& now, uint32_t attr, uint32_t fg, uint32_t bg) {
    uint32_t before = now.attr;
    bool shared_reset = false;  // ESC [22m ends bold and dim both
    for (const Toggle& t : toggles) {
        bool was = before & t.bit, is = attr & t.bit;
        if (was == is) continue;
        out += is ? t.on : t.off;
        if (!is && (t.bit == ATTR_DIM || t.bit == ATTR_BOLD)) shared_reset = true;
    }
    if (shared_reset) {
        if ((attr & ATTR_DIM) && (before & ATTR_DIM)) out += "\x1b[2m";
        if ((attr & ATTR_BOLD) && (before & ATTR_BOLD)) out += "\x1b[1m";
    }
    now.attr = attr;
    if (fg != now.fg) emit_color(out, fg, true), now.fg = fg;
    if (bg != now.bg) emit_color(out, bg, false), now.bg = bg;
}

void csi(std::string& out, int n, char final) {
    out += "\x1b[";
    out += std::to_string(n);
    out += final;
}

}  // namespace

void write_grid(const Grid& grid, Frame& frame, std::string& out) {
    int w = grid.width(), h = grid.height();
    if (w < 1 || h < 1) return;
    if (frame.full_screen) {
        out += "\x1b[H";
    } else {
        out += "\r";
        if (frame.lines_drawn > 0) csi(out, frame.lines_drawn, 'A');
        out += "\x1b[0J";
    }
    Style now;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const ScreenCell* c = grid.at(x, y);
            if (c->attr & ATTR_COVERED) continue;
            change_to(out, now, c->attr & 0x37F, c->fg, c->bg);
            uint32_t cp = c->attr & ATTR_MASKED ? '*' : c->cp < 32 ? ' ' : c->cp;
            uint8_t bytes[4];
            out.append(reinterpret_cast<const char*>(bytes), unicode::encode_utf8_char(cp, bytes));
        }
        if (y + 1 < h) {
            now.bg = 0;
            out += "\x1b[49m\r\n";
        }
    }
    change_to(out, now, 0, 0, 0);
    if (frame.caret && frame.caret_row >= 0 && frame.caret_col >= 0) {
        out += "\r";
        int up = h - (frame.caret_row + 1);
        if (up > 0) csi(out, up, 'A');
        if (frame.caret_col > 0) csi(out, frame.caret_col, 'C');
        frame.lines_drawn = frame.caret_row;
    } else {
        frame.lines_drawn = h - 1;
    }
}

}  // namespace tui
