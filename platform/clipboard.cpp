// The clipboard kept in the process.
#include "platform/clipboard.h"

namespace platform {

namespace {
Clipboard& held() {
    static Clipboard c;
    return c;
}
}  // namespace

Clipboard clipboard_read() { return held(); }

bool clipboard_write(const Clipboard& content) {
    held() = content;
    return true;
}

}  // namespace platform
