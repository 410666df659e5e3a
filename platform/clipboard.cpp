// The clipboard: the X display's when one can be opened, else the one kept
// in the process.
#include "platform/clipboard.h"

namespace platform {

namespace {
Clipboard& held() {
    static Clipboard c;
    return c;
}
}  // namespace

Clipboard clipboard_read() {
    Clipboard c;
    if (x11_clipboard_read(&c)) return c;
    return held();
}

bool clipboard_write(const Clipboard& content) {
    bool ok = false;
    if (x11_clipboard_write(content, &ok)) return ok;
    held() = content;
    return true;
}

}  // namespace platform
