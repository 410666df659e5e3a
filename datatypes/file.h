// file!: file and directory paths in the language's portable form, and
// their conversion to the operating system's form. On this POSIX system
// both forms use "/" and have no drive letters; "\" and ":" are ordinary
// file-name characters.
#pragma once
#include <cstdint>
#include <string>

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

int32_t mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part, int32_t limit,
             int32_t indent);
// The file actions, over the simple I/O layer.
Cell* read(Cell* file, Cell* part, Cell* seek, bool binary, bool lines, bool info, Cell* as);
Cell* write(Cell* file, Cell* data, bool binary, bool lines, bool info, bool append, Cell* part, Cell* seek,
            Cell* allow, Cell* as);
Cell* delete_(Cell* file);
Cell* rename(Cell* from, Cell* to);
Cell* query(Cell* file);


}  // namespace file
