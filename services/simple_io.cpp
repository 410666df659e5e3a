// The simple I/O layer over POSIX files and directories: read, write,
// delete, rename and query of file! values (installed into file!'s action
// slots here), and what size? and the library's file routines call.
#include "services/simple_io.h"

#include "services/http.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "datatypes/binary.h"
#include "datatypes/block.h"
#include "datatypes/datatype.h"
#include "datatypes/date.h"
#include "datatypes/file.h"
#include "datatypes/string.h"
#include "evaluator/actions.h"
#include "evaluator/errors.h"
#include "evaluator/stack.h"
#include "evaluator/symbol.h"
#include "evaluator/words.h"
#include "datatypes/word.h"
#include "runtime/typesets.h"
#include "runtime/unicode.h"

namespace simple_io {

// ---- Low-level operations ----------------------------------------------------------

int open_file(const char* path, int mode) {
    int flags = O_CLOEXEC;
    if (mode == MODE_READ) {
        flags |= O_RDONLY;
    } else {
        flags |= O_WRONLY | O_CREAT;
        if (!(mode & (MODE_APPEND | MODE_SEEK))) flags |= O_TRUNC;
    }
    int fd;
    do fd = ::open(path, flags, 0666);
    while (fd < 0 && errno == EINTR);
    return fd;
}

int64_t file_size_q(int fd) {
    struct stat st;
    if (::fstat(fd, &st) != 0) return -1;
    if (!S_ISREG(st.st_mode)) return 0;
    return st.st_size < 0 ? -1 : static_cast<int64_t>(st.st_size);
}

bool seek(int fd, int64_t offset) { return ::lseek(fd, static_cast<off_t>(offset), SEEK_SET) >= 0; }

int64_t read_data(int fd, uint8_t* buffer, size_t size) {
    size_t done = 0;
    while (done < size) {
        ssize_t n = ::read(fd, buffer + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return -1;
        if (n == 0) break;
        done += static_cast<size_t>(n);
    }
    return static_cast<int64_t>(done);
}

int64_t write_data(int fd, const uint8_t* buffer, size_t size) {
    size_t done = 0;
    while (done < size) {
        ssize_t n = ::write(fd, buffer + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return -1;
        done += static_cast<size_t>(n);
    }
    return static_cast<int64_t>(done);
}

bool close_file(int fd) { return ::close(fd) == 0; }

bool rename_file(const char* from, const char* to) {
    if (::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) return true;
    // A file system without the no-replace flag answers EINVAL (an old
    // kernel ENOSYS); any other failure is the answer.
    if (errno != EINVAL && errno != ENOSYS) return false;
    return rename_by_link(from, to);
}

bool rename_by_link(const char* from, const char* to) {
    struct stat st;
    if (::lstat(from, &st) != 0) return false;
    if (!S_ISDIR(st.st_mode)) {
        // link never replaces the target: it fails with EEXIST instead.
        if (::link(from, to) == 0) {
            if (::unlink(from) == 0) return true;
            ::unlink(to);
            return false;
        }
        // Only a file system without hard links goes on to the check below.
        if (errno != EPERM && errno != EOPNOTSUPP) return false;
    }
    // A directory cannot be linked: the target is checked just before the
    // rename, which leaves only the moment between the two calls.
    struct stat target;
    if (::lstat(to, &target) == 0 || errno != ENOENT) return false;
    return ::rename(from, to) == 0;
}

namespace {

// A /part or /seek argument as a count: -1 when absent; an integer as it is;
// a float truncated. Anything else, or a float out of range, raises
// invalid-refine-arg with the refinement's name.
int64_t checked_integer(const Cell* c, const char* refinement) {
    if (!c) return -1;
    if (c->type() == TYPE_INTEGER) return c->int_value();
    if (c->type() == TYPE_FLOAT) {
        double d = c->float_value();
        if (d >= -9.0e18 && d <= 9.0e18) return static_cast<int64_t>(d);
    }
    Cell word{};
    word::make_at(symbol::make(refinement), &word);
    set_type(&word, TYPE_REFINEMENT);
    fire(err::INVALID_REFINE_ARG, &word, c);
}

// Appends the UTF-8 bytes of a string from its index, at most `limit`
// codepoints (no limit when negative).
void string_bytes(const Cell* str, int64_t limit, std::vector<uint8_t>& out) {
    uint32_t n = string::rs_length_q(str);
    if (limit >= 0 && limit < n) n = static_cast<uint32_t>(limit);
    uint8_t buf[4];
    for (uint32_t i = 0; i < n; ++i) {
        uint32_t k = unicode::encode_utf8_char(string::rs_abs_at(str, str->head() + i), buf);
        out.insert(out.end(), buf, buf + k);
    }
}

// The bytes a value writes: a string's UTF-8 text, a binary's bytes, the
// molded text of anything else.
void to_bytes(const Cell* value, int64_t limit, std::vector<uint8_t>& out) {
    if (in(ANY_STRING, value->type())) {
        string_bytes(value, limit, out);
    } else if (value->type() == TYPE_BINARY) {
        uint32_t n = binary::rs_length_q(value);
        if (limit >= 1 && limit < n) n = static_cast<uint32_t>(limit);
        const uint8_t* p = binary::rs_head(value);
        out.insert(out.end(), p, p + n);
    } else {
        Cell* scratch = string::rs_make_at(stack::push_slot(), 64);
        Cell v = *value;
        actions::mold(&v, scratch, false, false, false, nullptr, INT32_MAX, 0);
        Cell s = *scratch;
        string_bytes(&s, limit, out);
        stack::pop(1);
    }
}

Cell* empty_result(bool binary, Cell* slot) {
    if (binary) return binary::make_at(slot, 0);
    return string::rs_make_at(slot, 1);
}

// Reads a file whose size is not known in advance (a pipe, a device, a
// /proc file) in 64 KB pieces: the first `skip` bytes are read and dropped,
// then at most `limit` bytes (to the end when negative) are kept. False on a
// read failure or when what is kept outgrows MAX_READ_SIZE.
bool read_stream(int fd, int64_t skip, int64_t limit, std::vector<uint8_t>& out, bool* too_large) {
    uint8_t piece[65536];
    while (limit != 0) {
        size_t want = sizeof piece;
        if (skip > 0 && skip < static_cast<int64_t>(want)) want = static_cast<size_t>(skip);
        else if (skip == 0 && limit > 0 && limit < static_cast<int64_t>(want)) want = static_cast<size_t>(limit);
        int64_t n;
        do n = ::read(fd, piece, want);
        while (n < 0 && errno == EINTR);
        if (n < 0) return false;
        if (n == 0) return true;
        if (skip > 0) {
            skip -= n;
            continue;
        }
        if (static_cast<int64_t>(out.size()) + n > MAX_READ_SIZE) {
            *too_large = true;
            return false;
        }
        out.insert(out.end(), piece, piece + n);
        if (limit > 0) limit -= n;
    }
    return true;
}

// The bytes of the file from `seek` (when 0 or more), at most `part` (when
// above 0); false when the file cannot be read.
bool read_bytes(const std::string& path, int64_t part, int64_t seek_to, std::vector<uint8_t>& out,
                bool* too_large) {
    int fd = open_file(path.c_str(), MODE_READ);
    if (fd < 0) return false;
    struct stat st;
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        close_file(fd);
        return false;
    }
    int64_t size = file_size_q(fd);
    bool ok = size >= 0;
    if (ok && size == 0) {
        // Its size tells nothing: read it, only as far as /seek and /part ask.
        ok = read_stream(fd, seek_to > 0 ? seek_to : 0, part, out, too_large);
    } else if (ok) {
        if (seek_to >= 0) {
            size = seek_to >= size ? 0 : size - seek_to;
            if (size > 0) ok = seek(fd, seek_to);
        }
        if (part == 0) size = 0;
        else if (part > 0 && part < size) size = part;
        if (ok && size > MAX_READ_SIZE) {
            *too_large = true;
            ok = false;
        }
        if (ok && size > 0) {
            out.resize(static_cast<size_t>(size));
            int64_t n = read_data(fd, out.data(), out.size());
            if (n < 0) ok = false;
            else out.resize(static_cast<size_t>(n));  // the file shrank meanwhile
        }
    }
    close_file(fd);
    if (!ok) out.clear();
    return ok;
}

}  // namespace

// ---- Value-level operations --------------------------------------------------------

bool dir_q(const Cell* file) {
    uint32_t n = string::rs_length_q(file);
    if (n == 0) return false;
    auto at = [&](uint32_t i) { return string::rs_abs_at(file, file->head() + i); };
    auto sep = [](uint32_t c) { return c == '/' || c == '\\'; };
    uint32_t last = at(n - 1);
    if (sep(last)) return true;
    if (last != '.') return false;
    if (n == 1 || sep(at(n - 2))) return true;
    if (at(n - 2) == '.' && (n == 2 || sep(at(n - 3)))) return true;
    return false;
}

Cell* read(const Cell* file, const Cell* part, const Cell* seek_cell, bool binary, bool lines, Cell* slot) {
    if (dir_q(file)) return read_dir(file, slot);
    std::string path = file::to_os_path(file);
    std::vector<uint8_t> bytes;
    bool too_large = false;
    if (!read_bytes(path, checked_integer(part, "part"), checked_integer(seek_cell, "seek"), bytes, &too_large))
        fire(err::CANNOT_OPEN, file);
    if (bytes.empty()) return empty_result(binary, slot);
    if (binary) {
        binary::make_at(slot, static_cast<uint32_t>(bytes.size()));
        binary::rs_append(slot, bytes.data(), static_cast<uint32_t>(bytes.size()));
        return slot;
    }
    if (lines) return split_lines(bytes.data(), bytes.size(), slot);
    return load_text(bytes.data(), bytes.size(), slot);
}

Cell* read_dir(const Cell* file, Cell* slot) {
    std::string path = file::to_os_path(file);
    DIR* dir = ::opendir(path.c_str());
    if (!dir) fire(err::CANNOT_OPEN, file);
    std::vector<std::pair<std::string, bool>> entries;
    while (struct dirent* e = ::readdir(dir)) {
        std::string name = e->d_name;
        if (name == "." || name == "..") continue;
        bool is_dir = e->d_type == DT_DIR;
        if (e->d_type == DT_UNKNOWN || e->d_type == DT_LNK) {
            struct stat st;
            std::string full = path;
            if (full.empty() || full.back() != '/') full += '/';
            full += name;
            is_dir = ::stat(full.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
        }
        entries.emplace_back(std::move(name), is_dir);
    }
    ::closedir(dir);
    block::make_at(slot, static_cast<uint32_t>(entries.size()));
    for (auto& [name, is_dir] : entries) {
        if (is_dir) name += '/';
        // A name need not be UTF-8: its bytes are kept so that it names the
        // same entry when it goes back to the system.
        Cell* made = string::rs_make_at(stack::push_slot(), static_cast<uint32_t>(name.size()));
        file::append_os_name(made, name.data(), static_cast<uint32_t>(name.size()));
        set_type(made, TYPE_FILE);
        block::rs_append(slot, made);
        stack::pop(1);
    }
    return slot;
}

int32_t write(const Cell* file, const Cell* data, const Cell* part, const Cell* seek_cell, bool binary,
              bool append, bool lines) {
    int64_t limit = -1;
    if (part) {
        if (part->type() != TYPE_INTEGER) fire(err::INVALID_REFINE_ARG, &words::ref::part, part);
        limit = part->int_value();
        if (limit < 0) return -1;
    }
    int64_t seek_to = checked_integer(seek_cell, "seek");
    (void)binary;  // text is written as UTF-8 with LF line ends either way

    // Gather every piece before opening, so that a failure to convert leaves
    // the file as it was.
    std::vector<std::vector<uint8_t>> pieces;
    if (lines && data->type() == TYPE_BLOCK) {
        uint32_t n = block::rs_length_q(data);
        for (uint32_t i = 0; i < n; ++i) {
            Cell v = block::rs_head(data)[i];
            std::vector<uint8_t> bytes;
            to_bytes(&v, -1, bytes);
            bytes.push_back('\n');
            pieces.push_back(std::move(bytes));
        }
    } else {
        std::vector<uint8_t> bytes;
        to_bytes(data, limit, bytes);
        pieces.push_back(std::move(bytes));
        if (lines) pieces.push_back({'\n'});
    }

    int fd = 1;
    if (file) {
        std::string path = file::to_os_path(file);
        int mode = MODE_WRITE | (append ? MODE_APPEND : 0) | (seek_to >= 0 ? MODE_SEEK : 0);
        fd = open_file(path.c_str(), mode);
    }
    int64_t count = fd < 0 ? -1 : 0;
    if (fd >= 0) {
        if (seek_to > 0 && !seek(fd, seek_to)) count = -1;
        if (append && ::lseek(fd, 0, SEEK_END) < 0) count = -1;
        for (const auto& bytes : pieces) {
            if (count < 0) break;
            count = write_data(fd, bytes.data(), bytes.size());
        }
        if (file && !close_file(fd)) count = -1;
    }
    if (count < 0) {
        if (file) fire(err::CANNOT_OPEN, file);
        Cell none{TYPE_NONE, 0, 0, 0};
        fire(err::CANNOT_OPEN, &none);
    }
    return static_cast<int32_t>(count > INT32_MAX ? INT32_MAX : count);
}

bool delete_(const Cell* file) {
    std::string path = file::to_os_path(file);
    return dir_q(file) ? ::rmdir(path.c_str()) == 0 : ::unlink(path.c_str()) == 0;
}

bool rename(const Cell* from, const Cell* to) {
    std::string a = file::to_os_path(from), b = file::to_os_path(to);
    return rename_file(a.c_str(), b.c_str());
}

Cell* query(const Cell* file, Cell* slot) {
    std::string path = file::to_os_path(file);
    struct stat st;
    struct tm t;
    uint32_t n = string::rs_length_q(file);
    bool slash = n > 0 && (string::rs_abs_at(file, file->head() + n - 1) == '/' ||
                           string::rs_abs_at(file, file->head() + n - 1) == '\\');
    if (::stat(path.c_str(), &st) != 0 || (slash && !S_ISDIR(st.st_mode)) ||
        !::gmtime_r(&st.st_mtim.tv_sec, &t)) {
        *slot = Cell{TYPE_NONE, 0, 0, 0};
        return slot;
    }
    int32_t ms = static_cast<int32_t>(st.st_mtim.tv_nsec / 1000000);
    return date::make_at_fields(slot, t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min,
                                t.tm_sec, ms * 1000000);
}

namespace {

// The bytes after a leading byte-order mark.
size_t text_start(const uint8_t* bytes, size_t size) {
    return size >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF ? 3 : 0;
}

}  // namespace

Cell* load_text(const uint8_t* bytes, size_t size, Cell* slot) {
    std::vector<uint8_t> folded;
    folded.reserve(size);
    for (size_t i = text_start(bytes, size); i < size; ++i) {
        if (bytes[i] != '\r') {
            folded.push_back(bytes[i]);
        } else if (i + 1 == size || bytes[i + 1] != '\n') {
            folded.push_back('\n');  // a lone CR
        }
    }
    return string::load_at(folded.data(), static_cast<uint32_t>(folded.size()), slot, 0);
}

Cell* split_lines(const uint8_t* bytes, size_t size, Cell* slot) {
    block::make_at(slot, 16);
    size_t start = text_start(bytes, size);
    for (size_t i = start; i < size; ++i) {
        if (bytes[i] != '\n') continue;
        size_t end = i;
        if (end > start && bytes[end - 1] == '\r') --end;
        string::load_in(bytes + start, static_cast<uint32_t>(end - start), slot, 0);
        start = i + 1;
    }
    if (start < size) string::load_in(bytes + start, static_cast<uint32_t>(size - start), slot, 0);
    return slot;
}

// ---- file! actions ------------------------------------------------------------------

namespace {

// The actions that reach the file system hand over to the operations above;
// each answers its result in the file's own cell.

Cell* file_read(Cell* file, Cell* part, Cell* seek, bool binary, bool lines, bool, Cell* as) {
    if (as) fire(err::NOT_DONE);
    Cell f = *file;
    return read(&f, part, seek, binary, lines, file);
}

Cell* file_write(Cell* file, Cell* data, bool binary, bool lines, bool, bool append, Cell* part, Cell* seek,
                 Cell* allow, Cell* as) {
    if (allow || as) fire(err::NOT_DONE);
    write(file, data, part, seek, binary, append, lines);
    *file = Cell{TYPE_UNSET, 0, 0, 0};
    return file;
}

Cell* file_delete(Cell* file) {
    bool ok = delete_(file);
    *file = Cell{TYPE_LOGIC, ok ? 1u : 0u, 0, 0};
    return file;
}

Cell* file_rename(Cell* from, Cell* to) {
    if (to->type() != TYPE_FILE) fire(err::INVALID_ARG, to);
    bool ok = rename(from, to);
    *from = Cell{TYPE_LOGIC, ok ? 1u : 0u, 0, 0};
    return from;
}

Cell* file_query(Cell* file) {
    Cell f = *file;
    return query(&f, file);
}

}  // namespace

void init() {
    using namespace actions;
    datatype::install<TYPE_FILE, slot::delete_>(file_delete);
    datatype::install<TYPE_FILE, slot::query>(file_query);
    datatype::install<TYPE_FILE, slot::read>(file_read);
    datatype::install<TYPE_FILE, slot::rename>(file_rename);
    datatype::install<TYPE_FILE, slot::write>(file_write);
    http::init();
}

}  // namespace simple_io
