// The clipboard: kept in the process (no display server is assumed), holding
// a text, a list of file paths or an image (as PNG bytes).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

struct Clipboard {
    enum Kind { Empty, Text, Files, Image };
    Kind kind = Empty;
    std::string text;                // UTF-8, for Text
    std::vector<std::string> files;  // operating-system paths, for Files
    std::vector<uint8_t> png;        // the encoded image, for Image
};

Clipboard clipboard_read();
// Replaces the content (Empty clears it); answers success.
bool clipboard_write(const Clipboard& content);

}  // namespace platform
