// file!: file and directory paths in the language's portable form, and
// their conversion to the operating system's form. On this POSIX system
// both forms use "/" and have no drive letters; "\" and ":" are ordinary
// file-name characters.
#pragma once
#include <cstdint>
#include <string>

#include "evaluator/actions.h"
#include "runtime/cell.h"

namespace file {

// Appends the operating-system form of the file's text, from its index, to
// the target string. A leading "//" (or more slashes) becomes one "/"; with
// `full` a relative path is preceded by the current directory.
void to_local_path(const Cell* file, Cell* target, bool full);
// Names from the system need not be UTF-8. A byte that is not part of a
// valid UTF-8 sequence (0x80-0xFF) is kept as the code point RAW_BYTE_BASE
// plus the byte (a lone low surrogate, which no valid UTF-8 name holds), and
// turns back into that byte on the way out, so a listed name reaches the
// same file.
constexpr uint32_t RAW_BYTE_BASE = 0xDC00;
// Appends a name or path from the system to a string, decoded as above.
void append_os_name(Cell* str, const char* text, uint32_t count);
// The path for the operating system (full form), UTF-8 but for the raw
// bytes above. Every file name goes to the system through here: a name
// holding a NUL, which the system would cut short, raises access
// cannot-open with the file.
std::string to_os_path(const Cell* file);
// Pushes a string! of the process's current directory, ending with "/".
Cell* get_current_dir();
// The file! of an operating-system path held in a string (`to-zem-file`),
// written into the slot: its text as it is.
Cell* from_local_path(const Cell* path, Cell* slot);

ZEM_ACTION_DECL(mold);
// delete, query, read, rename and write reach the file system: they stay
// pending until simple_io::init installs them.

}  // namespace file
