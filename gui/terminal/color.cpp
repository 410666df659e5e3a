// Terminal colours and their SGR sequences.
#include "gui/terminal/color.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace tui {

uint32_t color_depth = 2;

namespace {

// SGR parameters of the 16 basic colours, foreground and background.
const int basic_fg[16] = {30, 31, 32, 33, 34, 35, 36, 37, 90, 91, 92, 93, 94, 95, 96, 97};
const int basic_bg[16] = {40, 41, 42, 43, 44, 45, 46, 47, 100, 101, 102, 103, 104, 105, 106, 107};

// The RGB value of a palette index of the standard 256-colour terminal.
void palette_rgb(uint32_t index, int& r, int& g, int& b) {
    static const int basic[16][3] = {{0, 0, 0},       {128, 0, 0},   {0, 128, 0},   {128, 128, 0},
                                     {0, 0, 128},     {128, 0, 128}, {0, 128, 128}, {192, 192, 192},
                                     {128, 128, 128}, {255, 0, 0},   {0, 255, 0},   {255, 255, 0},
                                     {0, 0, 255},     {255, 0, 255}, {0, 255, 255}, {255, 255, 255}};
    static const int level[6] = {0, 95, 135, 175, 215, 255};
    if (index < 16) {
        r = basic[index][0], g = basic[index][1], b = basic[index][2];
    } else if (index < 232) {
        uint32_t i = index - 16;
        r = level[i / 36], g = level[(i / 6) % 6], b = level[i % 6];
    } else {
        r = g = b = 8 + 10 * static_cast<int>(index - 232);
    }
}

int cube_level(int v) { return v < 48 ? 0 : v <= 114 ? 1 : (v - 35) / 40; }

int distance(uint32_t index, int r, int g, int b) {
    int pr, pg, pb;
    palette_rgb(index, pr, pg, pb);
    return (pr - r) * (pr - r) + (pg - g) * (pg - g) + (pb - b) * (pb - b);
}

bool env_has(const char* name, const char* part) {
    const char* v = std::getenv(name);
    return v && std::strstr(v, part);
}

}  // namespace

uint32_t to_256_color(uint32_t bgr) {
    if ((bgr >> 24) == 0xFF) return COLOR_DEFAULT;
    int r = bgr & 0xFF, g = (bgr >> 8) & 0xFF, b = (bgr >> 16) & 0xFF;
    uint32_t cube = 16 + 36 * cube_level(r) + 6 * cube_level(g) + cube_level(b);
    int average = (r + g + b) / 3;
    int step = average >= 239 ? 23 : (average - 3) / 10;
    uint32_t grey = 232 + step;
    uint32_t index = distance(cube, r, g, b) < distance(grey, r, g, b) ? cube : grey;
    return palette_color(index);
}

uint32_t check_color_support() {
    if (env_has("COLORTERM", "24bit") || env_has("COLORTERM", "truecolor")) return 4;
    if (env_has("COLORTERM", "256") || env_has("TERM", "256")) return 2;
    return 4;
}

uint32_t color_of_rgb(uint32_t r, uint32_t g, uint32_t b) {
    if (color_depth == 4) return rgb_color(r, g, b);
    return to_256_color((r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16));
}

void emit_color(std::string& out, uint32_t color, bool foreground) {
    char text[32];
    switch (color_kind(color)) {
        case 0: std::snprintf(text, sizeof text, "\x1b[%dm", foreground ? 39 : 49); break;
        case KIND_BASIC:
            std::snprintf(text, sizeof text, "\x1b[%dm", (foreground ? basic_fg : basic_bg)[color & 0xF]);
            break;
        case KIND_PALETTE: std::snprintf(text, sizeof text, "\x1b[%d;5;%um", foreground ? 38 : 48, color & 0xFF); break;
        case KIND_RGB:
            std::snprintf(text, sizeof text, "\x1b[%d;2;%u;%u;%um", foreground ? 38 : 48, (color >> 16) & 0xFF,
                          (color >> 8) & 0xFF, color & 0xFF);
            break;
        default: std::snprintf(text, sizeof text, "\x1b[%dm", foreground ? 39 : 49); break;
    }
    out += text;
}

}  // namespace tui
