// The simple I/O layer: whole-file reads and writes, directory listings,
// delete, rename and query over POSIX, one open and close per call, and
// file!'s actions over them.
#pragma once
#include <cstddef>
#include <cstdint>

#include "runtime/cell.h"

namespace simple_io {

// Open mode flags.
constexpr int MODE_READ = 1;
constexpr int MODE_WRITE = 2;
constexpr int MODE_APPEND = 4;
constexpr int MODE_SEEK = 8;

// The largest file content a read turns into a series; a larger file raises
// access cannot-open rather than being cut.
constexpr int64_t MAX_READ_SIZE = 0x7FFFFFFF;

// ---- Low-level operations (UTF-8 paths; -1 is failure) ---------------------------

// Read mode opens an existing file; any other mode opens for writing,
// creating the file, truncating it unless the append or seek bit is set.
int open_file(const char* path, int mode);
// The size of a regular file; 0 for anything whose size is not known in
// advance (pipes, devices, /proc files); -1 on failure.
int64_t file_size_q(int fd);
bool seek(int fd, int64_t offset);
// Bytes read or written (retrying short transfers), or -1 on failure.
int64_t read_data(int fd, uint8_t* buffer, size_t size);
int64_t write_data(int fd, const uint8_t* buffer, size_t size);
bool close_file(int fd);
// Renames an entry, never over an existing one: false when `to` exists.
bool rename_file(const char* from, const char* to);
// The same where the file system refuses a no-replace rename: a hard link
// then an unlink; a directory, which cannot be linked, is renamed when a
// check just before finds no target.
bool rename_by_link(const char* from, const char* to);

// ---- Value-level operations ------------------------------------------------------

// The file's text (from its index) names a directory: it ends with "/" or
// "\", or is "." or ".." alone or after a separator.
bool dir_q(const Cell* file);
// The file's content into the slot: a binary! with `binary`, a block! of
// lines with `lines`, else a string! with CR LF folded to LF. A directory
// name is listed instead. `part` and `seek` are integer cells or null.
// Fails with access cannot-open.
Cell* read(const Cell* file, const Cell* part, const Cell* seek, bool binary, bool lines, Cell* slot);
// The entries of a directory as file! values, directories ending in "/".
Cell* read_dir(const Cell* file, Cell* slot);
// Writes the data to the file (standard output when `file` is null); the
// result is the count of the last write. Fails with access cannot-open.
int32_t write(const Cell* file, const Cell* data, const Cell* part, const Cell* seek, bool binary,
              bool append, bool lines);
// Removes a file, or an empty directory when the text names a directory.
bool delete_(const Cell* file);
bool rename(const Cell* from, const Cell* to);
// The date! (UTC) of the last change into the slot, or none!.
Cell* query(const Cell* file, Cell* slot);
// A new string! from UTF-8 bytes with CR LF and lone CR folded to LF and a
// leading byte-order mark skipped.
Cell* load_text(const uint8_t* bytes, size_t size, Cell* slot);
// A new block! of one string! per line (LF ends a line; a CR before it is
// dropped; no empty last line after a final LF; a leading byte-order mark
// skipped).
Cell* split_lines(const uint8_t* bytes, size_t size, Cell* slot);

// ---- file! actions ----------------------------------------------------------------

// Installs file!'s delete, query, read, rename and write, over the
// operations above, into its action slots (after file! has registered),
// and url!'s HTTP requests.
void init();

}  // namespace simple_io
