// The library's routines: thin bridges from a Zem call to a runtime service
// (exit, quiet setters, shifts, directories, colours, UTF-8 counting, the
// value and call stacks, the clipboard, standard output, the collector).
#include "library/routines.h"

#include "build_info.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "datatypes/binary.h"
#include "datatypes/block.h"
#include "evaluator/context.h"
#include "datatypes/datatype.h"
#include "datatypes/date.h"
#include "datatypes/error.h"
#include "datatypes/file.h"
#include "datatypes/float.h"
#include "datatypes/image.h"
#include "datatypes/money.h"
#include "datatypes/object.h"
#include "datatypes/routine.h"
#include "datatypes/string.h"
#include "datatypes/tuple.h"
#include "datatypes/word.h"
#include "evaluator/actions.h"
#include "evaluator/errors.h"
#include "evaluator/interpreter.h"
#include "natives/native_support.h"
#include "evaluator/stack.h"
#include "evaluator/symbol.h"
#include "evaluator/text_storage.h"
#include "runtime/collector.h"
#include "runtime/sys.h"
#include "runtime/typesets.h"
#include "runtime/unicode.h"
#include "services/lexer/lexer.h"
#include "services/zembin/zembin.h"

namespace routines {

namespace {

Cell* arg(uint32_t i) { return stack::arguments + i; }
void result(const Cell& v) { stack::set_last_keep(&v); }
Cell int_cell(int32_t n) { return Cell{TYPE_INTEGER, 0, static_cast<uint32_t>(n), 0}; }
Cell logic_cell(bool b) { return Cell{TYPE_LOGIC, b ? 1u : 0u, 0, 0}; }
Cell none_cell() { return Cell{TYPE_NONE, 0, 0, 0}; }

// The text of an any-string! from its index, as UTF-8.
std::string utf8_of(const Cell* str) {
    std::string s;
    uint32_t n = string::rs_length_q(str);
    for (uint32_t i = 0; i < n; ++i) {
        uint32_t cp = string::rs_abs_at(str, str->head() + i);
        if (cp < 0x80) {
            s += static_cast<char>(cp);
        } else if (cp < 0x800) {
            s += static_cast<char>(0xC0 | (cp >> 6));
            s += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            s += static_cast<char>(0xE0 | (cp >> 12));
            s += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            s += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            s += static_cast<char>(0xF0 | (cp >> 18));
            s += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            s += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            s += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    return s;
}

// The first negative argument raises invalid-arg with it.
void check_non_negative(uint32_t count) {
    for (uint32_t i = 0; i < count; ++i)
        if (arg(i)->int_value() < 0) {
            Cell v = *arg(i);
            fire(err::INVALID_ARG, &v);
        }
}

void push_tuple_word(uint32_t length, uint32_t packed) {
    Cell t = *tuple::push(length, packed, 0, 0);
    stack::pop(1);
    result(t);
}

}  // namespace

// ---- Process and words -----------------------------------------------------------

void r_quit_return() {
    int32_t status = arg(0)->int_value();
    sys::flush_output();
    std::fflush(nullptr);
    sys::restore_terminal();
    sys::free_all();
    std::exit(status & 0xFF);
}

void r_set_quiet() {
    Cell w = *arg(0), v = *arg(1);
    if (!in(ALL_WORD, w.type())) natives::expect_arg(w.type(), 0);
    // No notification: an on-change* handler that puts a field back with
    // set-quiet must not be called again by its own undo.
    context::set_in(&w, &v, w.ctx(), false);
    result(v);
}

void r_set_slot_quiet() {
    Cell s = *arg(0), v = *arg(1);
    // A hash! is left out: its index would not follow the new value.
    if (!in(ANY_BLOCK, s.type()) || s.type() == TYPE_HASH) natives::expect_arg(TYPE_BLOCK, 0);
    if (s.head() < series_of(&s)->count()) {
        memory::cells_changed(series_of(&s));
        *block::rs_clamp_head(&s) = v;
    }
    result(v);
}

// ---- Shifts -----------------------------------------------------------------------

void r_shift_right() {
    int32_t data = arg(0)->int_value(), bits = arg(1)->int_value();
    if (bits < 0) bits = 0;
    result(int_cell(bits > 31 ? (data < 0 ? -1 : 0) : data >> bits));
}

void r_shift_left() {
    int32_t data = arg(0)->int_value(), bits = arg(1)->int_value();
    if (bits < 0) bits = 0;
    result(int_cell(bits > 31 ? 0 : static_cast<int32_t>(static_cast<uint32_t>(data) << bits)));
}

void r_shift_logical() {
    int32_t data = arg(0)->int_value(), bits = arg(1)->int_value();
    if (bits < 0) bits = 0;
    result(int_cell(bits > 31 ? 0 : static_cast<int32_t>(static_cast<uint32_t>(data) >> bits)));
}

void r_last_lf_q() { result(logic_cell(natives::last_lf_q)); }

// ---- Directories ------------------------------------------------------------------

void r_get_current_dir() {
    Cell dir = *file::get_current_dir();
    Cell out{};
    file::from_local_path(&dir, &out);
    stack::pop(1);
    result(out);
}

void r_set_current_dir() {
    Cell path = *arg(0);
    if (sys::set_current_dir(file::to_os_path(&path).c_str()) != 0) fire(err::CANNOT_OPEN, &path);
    result(Cell{TYPE_UNSET, 0, 0, 0});
}

void r_create_dir() {
    Cell path = *arg(0);
    if (::mkdir(file::to_os_path(&path).c_str(), 0777) != 0) fire(err::NO_CREATE, &path);
    result(Cell{TYPE_UNSET, 0, 0, 0});
}

void r_exists_q() {
    Cell path = *arg(0);
    struct stat st;
    result(logic_cell(::stat(file::to_os_path(&path).c_str(), &st) == 0));
}

// An object of four fields, in this order: name ("Linux " and the kernel
// release), arch (a word), version (the release's first three numbers as a
// tuple) and build (the kernel's build number).
void r_os_info() {
    sys::OsInfo info = sys::os_info();
    Cell* obj = object::make_at(stack::push_slot(), 8);
    Node ctx = obj->ctx();
    auto field = [ctx](const char* name, const Cell& value) { context::put(ctx, word::load(name), &value); };
    Cell name = *string::load(reinterpret_cast<const uint8_t*>(info.name.data()),
                              static_cast<uint32_t>(info.name.size()), 0);
    field("name", name);
    stack::pop(1);
    field("arch", *word::load(info.arch.c_str()));
    Cell version = *tuple::push(3, info.version[0] | (info.version[1] << 8) | (info.version[2] << 16), 0, 0);
    field("version", version);
    stack::pop(1);
    field("build", int_cell(info.build));
    obj->data2 = static_cast<uint32_t>(object::new_class_id());
    *context::self_of(ctx) = *obj;
    result(*obj);
}

// ---- Colours and addresses -------------------------------------------------------

void r_as_color() {
    check_non_negative(3);
    uint32_t packed = (static_cast<uint32_t>(arg(0)->int_value()) & 0xFF) |
                      ((static_cast<uint32_t>(arg(1)->int_value()) & 0xFF) << 8) |
                      ((static_cast<uint32_t>(arg(2)->int_value()) & 0xFF) << 16);
    push_tuple_word(3, packed);
}

// a or (b << 8) or (c << 16) or (d << 24): a value above 255 spills over.
void four_bytes() {
    check_non_negative(4);
    uint32_t packed = static_cast<uint32_t>(arg(0)->int_value()) | (static_cast<uint32_t>(arg(1)->int_value()) << 8) |
                      (static_cast<uint32_t>(arg(2)->int_value()) << 16) |
                      (static_cast<uint32_t>(arg(3)->int_value()) << 24);
    push_tuple_word(4, packed);
}

void r_as_ipv4() { four_bytes(); }
void r_as_rgba() { four_bytes(); }

// ---- Text ---------------------------------------------------------------------------

void r_count_chars() {
    Cell start = *arg(0), pos = *arg(1);
    // Both positions must lie in one buffer, the start not after the end:
    // anything else would read outside the binary.
    if (start.node() != pos.node() || start.head() > pos.head()) fire(err::INVALID_ARG, &pos);
    SeriesBuffer* s = series_of(&start);
    uint32_t tail = s->count();
    uint32_t from = start.head() < tail ? start.head() : tail;
    uint32_t to = pos.head() < tail ? pos.head() : tail;
    const uint8_t* p = s->data_at(from);
    const uint8_t* end = s->data_at(to);
    int32_t n = 0;
    while (p < end) {
        uint32_t avail = static_cast<uint32_t>(end - p);
        uint32_t used = avail;
        if (unicode::decode_utf8_char_checked(p, &used) < 0 || used == 0 || used > avail) used = 1;
        p += used;
        ++n;
    }
    result(int_cell(n));
}

// ---- Stacks -------------------------------------------------------------------------

void r_stack_size_q() { result(int_cell(static_cast<int32_t>(stack::top - stack::bottom))); }

void r_pick_stack() {
    int32_t idx = arg(0)->int_value();
    int32_t size = static_cast<int32_t>(stack::top - stack::bottom);
    result(idx > 0 && idx < size ? stack::bottom[idx - 1] : none_cell());
}

void r_frame_index_q() { result(int_cell(static_cast<int32_t>(stack::arguments - stack::bottom))); }

void r_collect_calls() {
    Cell blk = *arg(0);
    // The newest frame is this routine's own call: leave it out. (An error
    // raised while the block grows has cut the stacks back already: nothing
    // here may put a frame back.)
    stack::collect_calls(&blk, 1);
    result(blk);
}

// Whether a do/trace is running with its tracing switched on (whatever
// the no-trace body that asks).
void r_tracing_q() { result(logic_cell(interpreter::trace_installed() && interpreter::trace_enabled)); }

void r_set_tracing() {
    Cell on = *arg(0);
    interpreter::switch_trace(on.type() == TYPE_LOGIC && on.data1 != 0);
    result(logic_cell(interpreter::trace_enabled));
}

// ---- Clipboard and standard output -------------------------------------------------

void r_read_clipboard() {
    sys::Clipboard c = sys::clipboard_read();
    if (c.kind == sys::Clipboard::Failed) return result(logic_cell(false));
    if (c.kind == sys::Clipboard::Empty) return result(none_cell());
    if (c.kind == sys::Clipboard::Image) {
        Cell* bytes = binary::load(c.image.data(), static_cast<uint32_t>(c.image.size()));
        Cell* img = image::load_binary(bytes, stack::push_slot());
        Cell v = *img;
        stack::pop(2);
        return result(v);
    }
    if (c.kind == sys::Clipboard::Text) {
        Cell s = *string::load(reinterpret_cast<const uint8_t*>(c.text.data()), static_cast<uint32_t>(c.text.size()), 0);
        stack::pop(1);
        return result(s);
    }
    Cell* blk = block::make_at(stack::push_slot(), static_cast<uint32_t>(c.files.size()));
    for (const std::string& f : c.files) {
        // A system path as a file!: bytes that are not UTF-8 are kept as
        // the file type keeps them, so the name reaches the same file.
        Cell* text = string::rs_make_at(stack::push_slot(), std::max<uint32_t>(1, static_cast<uint32_t>(f.size())));
        file::append_os_name(text, f.data(), static_cast<uint32_t>(f.size()));
        Cell file = *text;
        set_type(&file, TYPE_FILE);
        stack::pop(1);
        block::rs_append(blk, &file);
    }
    Cell b = *blk;
    stack::pop(1);
    result(b);
}

void r_write_clipboard() {
    Cell data = *arg(0);
    sys::Clipboard c;
    if (data.type() == TYPE_NONE) {
        c.kind = sys::Clipboard::Empty;
    } else if (data.type() == TYPE_STRING) {
        c.kind = sys::Clipboard::Text;
        c.text = utf8_of(&data);
    } else if (data.type() == TYPE_BLOCK) {
        // A list of files, each as the system's absolute path (what a
        // program pasting them needs). Anything else in the block is an
        // error, and nothing reaches the clipboard.
        c.kind = sys::Clipboard::Files;
        uint32_t n = block::rs_length_q(&data);
        for (uint32_t i = 0; i < n; ++i) {
            Cell f = block::rs_clamp_head(&data)[i];
            if (f.type() != TYPE_FILE) fire(err::INVALID_ARG, &f);
            c.files.push_back(file::to_os_path(&f));
        }
    } else if (data.type() == TYPE_IMAGE) {
        // An image of no pixels only empties the clipboard; others go as
        // PNG, which reads back exactly.
        if (image::pixel_count(&data) != 0) {
            c.kind = sys::Clipboard::Image;
            Cell* bytes = image::encode(&data, sys::imaging::PNG, stack::push_slot());
            c.image.assign(binary::rs_head(bytes), binary::rs_head(bytes) + binary::rs_length_q(bytes));
            stack::pop(1);
        }
    } else {
        fire(err::INVALID_ARG, &data);
    }
    result(logic_cell(sys::clipboard_write(c)));
}

void r_write_stdout() {
    Cell data = *arg(0);
    sys::flush_output();
    if (data.type() == TYPE_BINARY) {
        std::fwrite(binary::rs_head(&data), 1, binary::rs_length_q(&data), stdout);
    } else {
        Cell text = data;
        if (!in(ANY_STRING, data.type())) {
            Cell* buffer = string::rs_make_at(stack::push_slot(), 64);
            actions::form(&data, buffer, nullptr, INT32_MAX);
            text = *buffer;
        }
        std::string s = utf8_of(&text);
        std::fwrite(s.data(), 1, s.size(), stdout);
    }
    std::fflush(stdout);
    result(Cell{TYPE_UNSET, 0, 0, 0});
}

// ---- Collector ------------------------------------------------------------------------

void r_gc_active_q() { result(logic_cell(collector::active == 1)); }
void r_gc_series_cycles() { result(int_cell(static_cast<int32_t>(collector::cycles))); }
// ---- The ZEMBIN codec ---------------------------------------------------------------

// encode* data compact?: the compact or the plain binary of the value.
void r_zembin_encode() {
    Cell data = *arg(0);
    Cell* out = stack::push_slot();
    if (natives::truthy(arg(1))) zembin::encode_cp(&data, out);
    else zembin::encode(&data, out);
    result(*out);
}

// decode payload: a file! or url! is read first.
void r_zembin_decode() {
    Cell payload = *arg(0);
    if (payload.type() == TYPE_FILE || payload.type() == TYPE_URL) {
        Cell* slot = stack::push(&payload);
        payload = *actions::read(slot, nullptr, nullptr, true, false, false, nullptr);
    }
    Cell* out = stack::push_slot();
    zembin::decode_value(&payload, out);
    result(*out);
}

// ---- The image codecs --------------------------------------------------------------

// encode img where: the encoded image as a binary! when `where` is none;
// otherwise the bytes are written there and `where` is the result.
void image_encode(int32_t format) {
    Cell where = *arg(1);
    Cell* bytes = image::encode(arg(0), format, stack::push_slot());
    if (where.type() == TYPE_NONE || bytes->type() != TYPE_BINARY) return result(*bytes);
    Cell* dst = stack::push(&where);
    actions::write(dst, bytes, true, false, false, false, nullptr, nullptr, nullptr, nullptr);
    result(where);
}

void r_image_encode_bmp() { image_encode(sys::imaging::BMP); }
void r_image_encode_png() { image_encode(sys::imaging::PNG); }
void r_image_encode_gif() { image_encode(sys::imaging::GIF); }
void r_image_encode_jpeg() { image_encode(sys::imaging::JPEG); }
void r_image_encode_tiff() { image_encode(sys::imaging::TIFF); }

// decode data: an image from encoded bytes, or from a file's (or URL's)
// bytes; none when they begin with no image signature.
void r_image_decode() {
    Cell data = *arg(0);
    if (data.type() == TYPE_FILE || data.type() == TYPE_URL) {
        Cell* slot = stack::push(&data);
        data = *actions::read(slot, nullptr, nullptr, true, false, false, nullptr);
    }
    if (data.type() != TYPE_BINARY) fire(err::INVALID_ARG, &data);
    Cell* bytes = stack::push(&data);
    result(*image::load_binary(bytes, stack::push_slot()));
}
namespace {

// The value a build-time text scans to, as the routine's result.
void result_scanned(const char* text, uint32_t size) {
    Cell* out = stack::push_slot();
    uint32_t consumed = 0;
    lexer::scan(out, reinterpret_cast<const uint8_t*>(text), size, true, false, false, &consumed);
    result(*out);
}

}  // namespace

// The program's version as a tuple!, from the build's version text.
void r_version() {
    static const char text[] = ZEM_VERSION;
    result_scanned(text, sizeof text - 1);
}

// The build's settings as a block of set-words and values, which the
// library makes into system/build/config.
void r_build_config() {
#if defined(__x86_64__)
#define ZEM_ARCH "x86-64"
#elif defined(__aarch64__)
#define ZEM_ARCH "ARM64"
#elif defined(__i386__)
#define ZEM_ARCH "x86-32"
#elif defined(__arm__)
#define ZEM_ARCH "ARM"
#else
#define ZEM_ARCH "Unknown"
#endif
    static const char text[] = "[config-name: 'Linux OS: 'Linux arch: '" ZEM_ARCH " build-type: '" ZEM_BUILD_TYPE
                               " compiler: \"" ZEM_BUILD_COMPILER "\"]";
#undef ZEM_ARCH
    result_scanned(text, sizeof text - 1);
}

// The build's date and, in a git checkout, its commit, as a block of
// set-words and values that the library adds to system/build.
void r_build_info() {
    static const char text[] = ZEM_BUILD_INFO;
    result_scanned(text, sizeof text - 1);
}

void r_gc_nodes_cycles() { result(int_cell(static_cast<int32_t>(collector::relocations))); }

// ---- Float texts ----------------------------------------------------------------------

// The two flags of the float text conversion that system/options/float
// mirrors: each takes the truth of the new value.
void r_float_pretty() {
    float_::pretty_q = natives::truthy(arg(0));
    result(*arg(0));
}

void r_float_full() {
    float_::full_q = natives::truthy(arg(0));
    result(*arg(0));
}

// ---- The error catalogue ------------------------------------------------------------

// system/catalog/errors, made from the runtime's own table: one object per
// category, in catalogue order, whose fields are `code` (100 x its index),
// `type` (its title) and one field per id holding the id's message: a
// string, or a block of strings and words naming error fields.
void r_error_catalog() {
    auto put = [](const Cell* obj, const char* name, const Cell* value) {
        Cell w{TYPE_WORD, 0, symbol::make(name), static_cast<uint32_t>(-1)};
        context::put(obj->ctx(), &w, value);
    };
    Cell* catalog = object::make_at(stack::push_slot(), errors::CATEGORY_COUNT);
    catalog->data2 = static_cast<uint32_t>(object::new_class_id());
    *context::self_of(catalog->ctx()) = *catalog;
    for (uint32_t c = 0; c < errors::CATEGORY_COUNT; ++c) {
        uint32_t ids = errors::id_count(c);
        Cell* category = object::make_at(stack::push_slot(), ids + 2);
        category->data2 = static_cast<uint32_t>(object::new_class_id());
        *context::self_of(category->ctx()) = *category;
        Cell code = int_cell(static_cast<int32_t>(c * 100));
        put(category, "code", &code);
        const char* title = errors::title(c);
        Cell* text = string::load(reinterpret_cast<const uint8_t*>(title), static_cast<uint32_t>(std::strlen(title)), 0);
        put(category, "type", text);
        stack::pop(1);
        for (uint32_t p = 0; p < ids; ++p) {
            ErrorId id{c, p};
            const char* msg = errors::message(id);
            const uint8_t* bytes = reinterpret_cast<const uint8_t*>(msg);
            uint32_t size = static_cast<uint32_t>(std::strlen(msg));
            Cell* message = stack::push_slot();
            if (msg[0] == '[') {
                uint32_t consumed = 0;
                lexer::scan(message, bytes, size, true, false, false, &consumed);
            } else {
                string::load_at(bytes, size, message, 0);
            }
            put(category, errors::id_word(id), message);
            stack::pop(1);
        }
        put(catalog, errors::category_word(c), category);
        stack::pop(1);
    }
    result(*catalog);
}

// system/standard/error: the prototype of the error fields.
void r_error_prototype() { result(*error::make_prototype(stack::push_slot())); }

// ---- JSON string escapes --------------------------------------------------------------

namespace {

// The value of four hexadecimal digits from element i, or -1 when one is
// not a digit.
int32_t hex4(const Cell* str, uint32_t i) {
    int32_t v = 0;
    for (uint32_t k = 0; k < 4; ++k) {
        uint32_t c = string::rs_abs_at(str, i + k);
        int32_t d = c >= '0' && c <= '9'   ? static_cast<int32_t>(c - '0')
                    : c >= 'A' && c <= 'F' ? static_cast<int32_t>(c - 'A' + 10)
                    : c >= 'a' && c <= 'f' ? static_cast<int32_t>(c - 'a' + 10)
                                           : -1;
        if (d < 0) return -1;
        v = v * 16 + d;
    }
    return v;
}

}  // namespace

// unescape str: decodes the JSON backslash escapes of the string from its
// index on, in place (the text only shrinks; a wider code point widens the
// buffer, which keeps every element's index). A short or non-hexadecimal
// \u escape, or a high surrogate without a low one after it, raises
// invalid-data with the string.
void r_unescape() {
    Cell str = *arg(0);
    string::clamp_head(&str);
    uint32_t tail = series_of(&str)->count();
    uint32_t src = str.head();
    while (src < tail && string::rs_abs_at(&str, src) != '\\') ++src;
    if (src == tail) return result(str);
    auto bad = [&str]() {
        Cell v = str;
        fire(err::INVALID_DATA, &v);
    };
    uint32_t dst = src;
    SeriesBuffer* s = series_of(&str);
    while (src < tail) {
        uint32_t c = string::rs_abs_at(&str, src++);
        if (c == '\\' && src < tail) {
            uint32_t e = string::rs_abs_at(&str, src++);
            switch (e) {
                case 'b': c = 0x08; break;
                case 'f': c = 0x0C; break;
                case 'n': c = 0x0A; break;
                case 'r': c = 0x0D; break;
                case 't': c = 0x09; break;
                case 'u': {
                    if (tail - src < 4) bad();
                    int32_t v = hex4(&str, src);
                    if (v < 0) bad();
                    src += 4;
                    c = static_cast<uint32_t>(v);
                    if (c >= 0xD800 && c <= 0xDBFF) {
                        if (tail - src < 6 || string::rs_abs_at(&str, src) != '\\' ||
                            string::rs_abs_at(&str, src + 1) != 'u')
                            bad();
                        int32_t low = hex4(&str, src + 2);
                        if (low < 0xDC00 || low > 0xDFFF) bad();
                        src += 6;
                        c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<uint32_t>(low) - 0xDC00);
                    }
                    break;
                }
                default: c = e; break;  // the quote, the backslash and the solidus
            }
        }
        s = string::overwrite_char(s, dst++, c);
    }
    string::truncate_to(s, dst);
    result(str);
}

// ---- System values the datatypes read ------------------------------------------------

namespace {

// The value reached from the global word `system` through the fields named
// by the symbols, or null while the library has not built it. Nothing is
// added on the way. Symbols belong to one runtime, so the names are looked
// up on each call.
const Cell* system_value(std::initializer_list<const char*> names) {
    Node ctx = context::global;
    int32_t i = context::find_symbol(ctx, symbol::make("system"), true);
    if (i < 0) return nullptr;
    const Cell* v = context::value_at(ctx, static_cast<uint32_t>(i));
    for (const char* name : names) {
        if (v->type() != TYPE_OBJECT) return nullptr;
        ctx = v->ctx();
        i = context::find_symbol(ctx, symbol::make(name), true);
        if (i < 0) return nullptr;
        v = context::value_at(ctx, static_cast<uint32_t>(i));
    }
    return v;
}

void install_system_hooks() {
    money::currency_list_hook = [] {
        const Cell* v = system_value({"locale", "currencies", "list"});
        return v && v->type() == TYPE_BLOCK ? const_cast<Cell*>(v) : nullptr;
    };
    money::money_digits_hook = [] {
        const Cell* v = system_value({"options", "money-digits"});
        return v && v->type() == TYPE_INTEGER ? v->int_value() : 2;
    };
    date::months_hook = [] { return const_cast<Cell*>(system_value({"locale", "months"})); };
}

}  // namespace

// ---- Table ----------------------------------------------------------------------------

void init() {
    static bool done = false;
    if (done) return;
    done = true;
#define X(index, name, word) routine::register_body(index, r_##name);
    ZEM_LIBRARY_ROUTINES(X)
#undef X
    install_system_hooks();
}

}  // namespace routines
