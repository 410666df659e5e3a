// file!: a file or directory path, its mold, and the conversion of paths
// to the operating system's form.
#include "datatypes/file.h"

#include <algorithm>

#include "datatypes/datatype.h"
#include "datatypes/string.h"
#include "datatypes/url.h"
#include "evaluator/errors.h"
#include "evaluator/stack.h"
#include "runtime/sys.h"
#include "runtime/unicode.h"

namespace file {

// ---- Local path conversion ---------------------------------------------------------

Cell* get_current_dir() {
    uint32_t length = 0;
    char* text = sys::get_current_dir(&length);
    Cell* dir = string::rs_make_at(stack::push_slot(), length + 1);
    append_os_name(dir, text, length);
    sys::free(text);
    uint32_t n = string::rs_length_q(dir);
    if (n == 0 || string::rs_abs_at(dir, n - 1) != '/') string::append_char(series_of(dir), '/');
    return dir;
}

void to_local_path(const Cell* file, Cell* target, bool full) {
    Cell f = *file;
    uint32_t n = string::rs_length_q(&f);
    uint32_t i = 0;
    if (n > 0 && string::rs_abs_at(&f, f.head()) == '/') {
        // Absolute: a run of leading slashes is one root.
        string::append_char(series_of(target), '/');
        while (i < n && string::rs_abs_at(&f, f.head() + i) == '/') ++i;
    } else if (full) {
        Cell* dir = get_current_dir();
        Cell d = *dir;
        string::concatenate(target, &d, -1, false);
        stack::pop(1);
    }
    Cell rest = f;
    rest.data1 += i;
    string::concatenate(target, &rest, -1, false);
}

void append_os_name(Cell* str, const char* text, uint32_t count) {
    const auto* p = reinterpret_cast<const uint8_t*>(text);
    const uint8_t* end = p + count;
    SeriesBuffer* s = series_of(str);
    while (p < end) {
        int32_t cp;
        const uint8_t* next = unicode::fast_decode_utf8_char(p, end, &cp);
        if (cp < 0) {
            // Not UTF-8: this one byte stands for itself, and the decoding
            // starts again after it.
            cp = static_cast<int32_t>(RAW_BYTE_BASE + *p);
            next = p + 1;
        }
        s = string::append_char(s, static_cast<uint32_t>(cp));
        p = next;
    }
}

std::string to_os_path(const Cell* file) {
    Cell* tmp = string::rs_make_at(stack::push_slot(), std::max<uint32_t>(1, string::rs_length_q(file)));
    to_local_path(file, tmp, true);
    Cell t = *tmp;
    uint32_t n = string::rs_length_q(&t);
    std::string out;
    uint8_t buf[4];
    for (uint32_t i = 0; i < n; ++i) {
        uint32_t c = string::rs_abs_at(&t, i);
        if (c == 0) {
            // The system would end the name there and reach another file.
            stack::pop(1);
            fire(err::CANNOT_OPEN, file);
        }
        if (c >= RAW_BYTE_BASE + 0x80 && c <= RAW_BYTE_BASE + 0xFF) {
            out += static_cast<char>(c - RAW_BYTE_BASE);
            continue;
        }
        uint32_t k = unicode::encode_utf8_char(c, buf);
        out.append(reinterpret_cast<const char*>(buf), k);
    }
    stack::pop(1);
    return out;
}

Cell* from_local_path(const Cell* path, Cell* slot) {
    Cell p = *path;
    Cell* tmp = string::rs_make_at(stack::push_slot(), std::max<uint32_t>(1, string::rs_length_q(&p)));
    string::concatenate(tmp, &p, -1, false);
    Cell r = *tmp;
    r.header = TYPE_FILE;
    stack::pop(1);
    return copy_cell(&r, slot);
}

// ---- mold ------------------------------------------------------------------------------

// "%" and the text. A text holding a character that a plain file literal
// cannot hold (":" among them: file paths are POSIX, so it is an ordinary
// name character) goes in double quotes, with the string escapes; one holding a
// double quote, which a quoted file cannot hold, is written plain with its
// bytes percent-encoded. Either way it loads back whole.
int32_t mold(Cell* value, Cell* buffer, bool, bool all, bool, Cell* part, int32_t limit, int32_t) {
    Cell v = *value;
    uint32_t total = series_of(&v)->count();
    if (v.head() > total) v.data1 = total;
    uint32_t length = string::rs_length_q(&v);
    string::append_char(series_of(buffer), '%');
    if (length == 0) {
        string::concatenate_literal(buffer, "\"\"");
        return limit - 3;
    }
    uint32_t count = length;
    if (part && part->int_value() != 0) count = limit < 0 ? 0 : std::min<uint32_t>(length, limit);
    bool quotes = false, quote_char = false;
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t c = string::rs_abs_at(&v, v.head() + i);
        // The URL table, less the characters that end a plain file token.
        if (c < 127 && (!url::url_char_q(c) || c == ':' || c == '@' || c == '(' || c == ')')) quotes = true;
        if (c == '"') quote_char = true;
    }
    int32_t written = 0;
    if (quote_char) {
        Cell* range = string::rs_make_at(stack::push_slot(), count);
        Cell r = *range;
        string::concatenate(&r, &v, static_cast<int32_t>(count), false);
        uint32_t before = string::rs_length_q(buffer);
        url::percent_encode(&r, buffer, url::MODE_URL);
        written = static_cast<int32_t>(string::rs_length_q(buffer) - before);
        stack::pop(1);
    } else if (quotes) {
        string::append_char(series_of(buffer), '"');
        for (uint32_t i = 0; i < count; ++i)
            written += string::append_escaped_char(buffer, string::rs_abs_at(&v, v.head() + i), true, all);
        string::append_char(series_of(buffer), '"');
        written += 2;
    } else {
        Cell part_cell{TYPE_INTEGER, 0, count, 0};
        string::form(&v, buffer, &part_cell, limit);
        written = static_cast<int32_t>(count);
    }
    return limit - written - 1;
}

}  // namespace file

// ---- Registration --------------------------------------------------------------

// delete, query, read, rename and write reach the file system: the simple
// I/O service installs them (simple_io::init).
template <>
void datatype::init_type<TYPE_FILE>() {
    register_type<TYPE_FILE, "i--iioi-i --------------- iiiiiiiiiiiiiiii-iii-iiiii- --pi--ppp-p">(
        own<slot::mold>(file::mold));
}
