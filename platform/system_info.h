// System facts for the language: the command line rebuilt as one text and
// the operating system's description (name, architecture, version, build).
#pragma once
#include <cstdint>
#include <string>

namespace platform {

// The whole command line as one text: the arguments joined by spaces, an
// argument that is empty or holds a space or tab written in double quotes,
// so that the library's splitting of the command line gives them back.
std::string get_cmdline(int argc, char** argv);

struct OsInfo {
    std::string name;      // "Linux " and the kernel release
    std::string arch;      // x86-32 ARM IA-64 x86-64 ARM64 or Unknown
    uint8_t version[3];    // the release's first three numbers
    int32_t build;         // the kernel's build number (its #n), else 0
};
OsInfo os_info();

}  // namespace platform
