// Terminal colours: a 32-bit tagged value, the kind in the top byte:
//   0 the terminal's default colour
//   1 one of the 16 basic colours (index in the low 4 bits)
//   2 an index of the 256-colour palette (low byte)
//   4 a 24-bit colour (R in bits 16-23, G in 8-15, B in 0-7)
// and their SGR escape sequences.
#pragma once
#include <cstdint>
#include <string>

namespace tui {

constexpr uint32_t COLOR_DEFAULT = 0;
constexpr uint32_t KIND_BASIC = 1, KIND_PALETTE = 2, KIND_RGB = 4;

constexpr uint32_t basic_color(uint32_t index) { return (KIND_BASIC << 24) | (index & 0xF); }
constexpr uint32_t palette_color(uint32_t index) { return (KIND_PALETTE << 24) | (index & 0xFF); }
constexpr uint32_t rgb_color(uint32_t r, uint32_t g, uint32_t b) {
    return (KIND_RGB << 24) | ((r & 0xFF) << 16) | ((g & 0xFF) << 8) | (b & 0xFF);
}
constexpr uint32_t color_kind(uint32_t c) { return c >> 24; }

// Maps a 24-bit colour (R in the low byte, G in the next, B in the third)
// to the nearest entry of the 256-colour palette, kind 2; a value whose top
// byte is 0xFF (no colour) gives the default colour.
uint32_t to_256_color(uint32_t bgr);

// The colour depth the terminal is written with: 4 for 24-bit colour, 2 for
// the 256-colour palette (see check_color_support).
extern uint32_t color_depth;
// 4 when COLORTERM holds "24bit" or "truecolor"; else 2 when COLORTERM or
// TERM holds "256"; else 4.
uint32_t check_color_support();

// The colour of an R, G, B triple at the current depth.
uint32_t color_of_rgb(uint32_t r, uint32_t g, uint32_t b);

// Appends the SGR sequence that selects the colour as foreground or
// background.
void emit_color(std::string& out, uint32_t color, bool foreground);

}  // namespace tui
