// The clipboard: the X11 CLIPBOARD selection when a display can be opened,
// else one kept inside the process. It holds a text, a list of file paths
// or an image (as encoded bytes).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

struct Clipboard {
    // Failed: the clipboard's owner did not answer (or the display broke
    // off) before the time allowed.
    enum Kind { Empty, Text, Files, Image, Failed };
    Kind kind = Empty;
    std::string text;                // UTF-8 with LF line ends, for Text
    std::vector<std::string> files;  // absolute operating-system paths, for Files
    std::vector<uint8_t> image;      // the encoded image (PNG, JPEG, GIF or BMP), for Image;
                                     // PNG when written
};

// Empty when nothing (or nothing we read) is on the clipboard.
Clipboard clipboard_read();
// Replaces the content (Empty clears it); answers success.
bool clipboard_write(const Clipboard& content);

// The X11 side (clipboard_x11.cpp). Each answers false when no display
// can be opened, and the caller keeps the clipboard in the process instead.
bool x11_clipboard_read(Clipboard* out);
bool x11_clipboard_write(const Clipboard& content, bool* ok);

}  // namespace platform
