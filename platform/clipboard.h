// The clipboard: kept in the process (no display server is assumed), holding
// a text or a list of file paths.
#pragma once
#include <string>
#include <vector>

namespace platform {

struct Clipboard {
    enum Kind { Empty, Text, Files };
    Kind kind = Empty;
    std::string text;                // UTF-8, for Text
    std::vector<std::string> files;  // operating-system paths, for Files
};

Clipboard clipboard_read();
// Replaces the content (Empty clears it); answers success.
bool clipboard_write(const Clipboard& content);

}  // namespace platform
