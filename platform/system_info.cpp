// System facts over POSIX: the command line rebuilt from argv, and the
// operating system's description from uname.
#include "platform/system_info.h"

#include <sys/utsname.h>

#include <cstdlib>
#include <cstring>

namespace platform {

std::string get_cmdline(int argc, char** argv) {
    std::string line;
    for (int i = 0; i < argc && argv && argv[i]; ++i) {
        if (i) line += ' ';
        const char* a = argv[i];
        bool quote = *a == '\0' || std::strpbrk(a, " \t") != nullptr;
        if (quote) line += '"';
        line += a;
        if (quote) line += '"';
    }
    return line;
}

namespace {

std::string arch_word(const char* machine) {
    std::string m = machine;
    if (m == "x86_64" || m == "amd64") return "x86-64";
    if (m == "aarch64" || m == "arm64") return "ARM64";
    if (m == "ia64") return "IA-64";
    if (m.size() == 4 && m[0] == 'i' && m.substr(2) == "86") return "x86-32";
    if (m.compare(0, 3, "arm") == 0) return "ARM";
    return "Unknown";
}

}  // namespace

OsInfo os_info() {
    OsInfo info{"Linux", "Unknown", {0, 0, 0}, 0};
    struct utsname u;
    if (::uname(&u) != 0) return info;
    info.name = std::string("Linux ") + u.release;
    info.arch = arch_word(u.machine);
    const char* p = u.release;
    for (int i = 0; i < 3 && *p; ++i) {
        char* end = nullptr;
        long n = std::strtol(p, &end, 10);
        if (end == p) break;
        info.version[i] = static_cast<uint8_t>(n < 0 ? 0 : n > 255 ? 255 : n);
        p = end;
        if (*p != '.') break;
        ++p;
    }
    if (const char* hash = std::strchr(u.version, '#')) info.build = static_cast<int32_t>(std::atol(hash + 1));
    return info;
}

}  // namespace platform
