// A test program for the console's escape interpreter in a real terminal:
// writes a few escape sequences through the console's terminal path, then
// waits to be looked at (console_output_test runs it inside tmux).
#include <unistd.h>

#include <cstdint>

#include "console/output.h"

int main() {
    console::init();
    const char text[] =
        "\x1b[2J"                // clear the screen, cursor home
        "abc\x1b[2DX\n"          // two left, then overwrite the b
        "red\x1b[31mR\x1b[0mN\n"  // a red R
        "12345\x1b[3D\x1b[K\n"    // erase from the 3 to the end of the row
        "\x1b[5;10HPOS\x1b[0;12HEND";  // column first, then row
    console::print_latin1(reinterpret_cast<const uint8_t*>(text), sizeof text - 1);
    console::flush();
    sleep(30);
    return 0;
}
