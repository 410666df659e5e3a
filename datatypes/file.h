// file!: file and directory paths in the language's portable form, and
// their conversion to the operating system's form. On this POSIX system
// both forms use "/" and have no drive letters; "\" and ":" are ordinary
// file-name characters.
#pragma once
#include <cstdint>
#include <string>

#include "evaluator/cell.h"

namespace file {

// Appends the operating-system form of the file's text, from its index, to
// the target string. A leading "//" (or more slashes) becomes one "/"; with
// `full` a relative path is preceded by the current directory.
void to_local_path(const Cell* file, Cell* target, bool full);
// The NUL-terminated UTF-8 path for the operating system (full form).
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

void init();

}  // namespace file
