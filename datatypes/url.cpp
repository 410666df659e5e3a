// url!: a uniform resource locator: building one from a block, its mold
// with percent-escapes, path evaluation that adds a segment, the percent
// codecs, and the hand-over of reads and writes to HTTP or a port.
#include "datatypes/url.h"

#include <climits>
#include <vector>

#include "evaluator/context.h"
#include "datatypes/datatype.h"
#include "datatypes/object.h"
#include "datatypes/port.h"
#include "datatypes/string.h"
#include "datatypes/word.h"
#include "evaluator/errors.h"
#include "evaluator/interpreter.h"
#include "evaluator/stack.h"
#include "evaluator/symbol.h"
#include "evaluator/words.h"
#include "runtime/typesets.h"
#include "runtime/unicode.h"

namespace url {

Cell* (*http_request)(Cell*, Cell*, Cell*, Cell*, bool, bool, bool) = nullptr;

namespace {

constexpr bool kept_url(uint32_t c) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
    for (const char* p = "!#$&'()*+,-./:=?@_~"; *p; ++p)
        if (static_cast<uint32_t>(*p) == c) return true;
    return false;
}

constexpr bool kept_unreserved(uint32_t c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~';
}

// The UTF-8 bytes of a string from its index.
std::vector<uint8_t> utf8_of(const Cell* str) {
    Cell s = *str;
    uint32_t n = string::rs_length_q(&s);
    std::vector<uint8_t> out;
    out.reserve(n);
    uint8_t buf[4];
    for (uint32_t i = 0; i < n; ++i) {
        uint32_t k = unicode::encode_utf8_char(string::rs_abs_at(&s, s.head() + i), buf);
        out.insert(out.end(), buf, buf + k);
    }
    return out;
}

int hex_value(uint8_t c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// The byte of the escape at bytes[i] ("%" and two hexadecimal digits), or -1.
int escape_at(const std::vector<uint8_t>& bytes, size_t i) {
    if (i + 2 >= bytes.size()) return -1;
    if (bytes[i] != '%') return -1;
    int h = hex_value(bytes[i + 1]), l = hex_value(bytes[i + 2]);
    return h < 0 || l < 0 ? -1 : h * 16 + l;
}

[[noreturn]] void fire_no_connect(const Cell* u) { fire(err::NO_CONNECT, u); }

bool http_q(const Cell* u) { return string::begins_with_literal_q(u, "http"); }

// The port of a url: the library's URL parser makes the port spec from its
// text, and port! make the port from that; opened with `open`.
Cell open_port(Cell* u, bool open, bool new_ = false, bool read = false, bool write = false, bool seek = false,
               Cell* allow = nullptr) {
    Cell parser = port::library_value("url-parser");
    Cell name{TYPE_UNSET, 0, 0, 0};
    word::make_at(symbol::make("parse-url"), &name);
    Cell fn = parser.type() == TYPE_OBJECT ? *object::select_word(&parser, &name) : Cell{TYPE_NONE, 0, 0, 0};
    if (fn.type() != TYPE_FUNCTION) fire(err::INVALID_ARG, u);
    Cell text = *u;
    Cell* spec = stack::push_slot();
    *spec = Cell{TYPE_NONE, 0, 0, 0};
    interpreter::call_with(&fn, &name, &text, 1, spec);
    if (spec->type() != TYPE_OBJECT) fire(err::INVALID_ARG, u);
    Cell* p = stack::push_slot();
    *p = Cell{TYPE_NONE, 0, 0, 0};
    port::make(p, spec, TYPE_PORT);
    if (open) port::open(p, new_, read, write, seek, allow);
    Cell r = *p;
    stack::pop(2);
    return r;
}

}  // namespace

bool url_char_q(uint32_t byte) { return byte < 128 && kept_url(byte); }

void percent_encode(const Cell* source, Cell* target, int32_t mode) {
    std::vector<uint8_t> bytes = utf8_of(source);
    SeriesBuffer* s = series_of(target);
    for (uint8_t b : bytes) {
        bool kept = b < 128 && (mode == MODE_UNRESERVED ? kept_unreserved(b) : kept_url(b));
        if (kept) {
            s = string::append_char(s, b);
        } else {
            const char* hex = string::byte_to_hex(b);
            s = string::append_char(s, '%');
            s = string::append_char(s, static_cast<uint8_t>(hex[0]));
            s = string::append_char(s, static_cast<uint8_t>(hex[1]));
        }
    }
}

void percent_decode(const Cell* source, Cell* target, bool* invalid) {
    std::vector<uint8_t> bytes = utf8_of(source);
    size_t i = 0;
    while (i < bytes.size()) {
        int b = escape_at(bytes, i);
        if (b >= 0) {
            uint32_t n = unicode::utf8_lead_size(static_cast<uint8_t>(b));
            if (n == 0) {
                string::append_char(series_of(target), static_cast<uint32_t>(b));
                i += 3;
                continue;
            }
            uint8_t seq[4] = {static_cast<uint8_t>(b), 0, 0, 0};
            bool whole = true;
            for (uint32_t k = 1; k < n; ++k) {
                int c = escape_at(bytes, i + 3 * k);
                if (c < 0) {
                    whole = false;
                    break;
                }
                seq[k] = static_cast<uint8_t>(c);
            }
            if (whole) {
                uint32_t used = n;
                int32_t cp = invalid ? unicode::decode_utf8_char_or_invalid(seq, &used)
                                     : unicode::decode_utf8_char_checked(seq, &used);
                if (cp == unicode::INVALID_SEQUENCE) {
                    *invalid = true;
                    return;
                }
                if (cp >= 0 && used == n) {
                    string::append_char(series_of(target), static_cast<uint32_t>(cp));
                    i += 3 * n;
                    continue;
                }
            }
        }
        // Anything else: one UTF-8 sequence of the source as it is.
        int32_t cp;
        const uint8_t* p = bytes.data() + i;
        const uint8_t* next = unicode::fast_decode_utf8_char(p, bytes.data() + bytes.size(), &cp);
        string::append_char(series_of(target), cp < 0 ? *p : static_cast<uint32_t>(cp));
        i += static_cast<size_t>(next - p);
    }
}

// ---- Actions -------------------------------------------------------------------------------

namespace {

// Forms the value into the url, a number sign before an issue!.
void form_part(Cell* target, Cell* value) {
    Cell v = *value;
    if (v.type() == TYPE_ISSUE) string::append_char(series_of(target), '#');
    string::form_value(&v, target);
}

Cell* build(Cell* proto, Cell* spec) {
    SeriesBuffer* b = series_of(spec);
    uint32_t n = b->count() > spec->head() ? b->count() - spec->head() : 0;
    if (n == 0) {
        Cell dt;
        datatype::make_at(&dt, TYPE_URL);
        fire(err::BAD_TO_ARG, &dt, spec);
    }
    Cell block = *spec;
    auto element = [&](uint32_t i) {
        return *(reinterpret_cast<Cell*>(series_of(&block)->offset_addr()) + block.head() + i);
    };
    Cell* u = string::rs_make_at(stack::push_slot(), 16);
    Cell e = element(0);
    form_part(u, &e);
    string::concatenate_literal(u, "://");
    uint32_t i = 1;
    if (i < n) {
        e = element(i++);
        form_part(u, &e);
        if (i < n && element(i).type() == TYPE_INTEGER) {
            e = element(i++);
            string::append_char(series_of(u), ':');
            form_part(u, &e);
        }
    }
    for (; i < n; ++i) {
        string::append_char(series_of(u), '/');
        e = element(i);
        form_part(u, &e);
    }
    Cell r = *u;
    r.header = TYPE_URL;
    stack::pop(1);
    return copy_cell(&r, proto);
}

}  // namespace

Cell* make(Cell* proto, Cell* spec, uint32_t type) {
    if (type == TYPE_URL && in(ANY_LIST, spec->type())) return build(proto, spec);
    return string::make(proto, spec, type);
}

Cell* to(Cell* proto, Cell* spec, uint32_t type) {
    if (type == TYPE_URL && in(ANY_LIST, spec->type())) return build(proto, spec);
    return string::to(proto, spec, type);
}

int32_t mold(Cell* value, Cell* buffer, bool, bool, bool, Cell* part, int32_t limit, int32_t) {
    std::vector<uint8_t> bytes = utf8_of(value);
    SeriesBuffer* s = series_of(buffer);
    int32_t written = 0;
    for (uint8_t b : bytes) {
        if (part && written >= limit) break;
        if (b < 128 && kept_url(b)) {
            s = string::append_char(s, b);
            written += 1;
        } else {
            const char* hex = string::byte_to_hex(b);
            s = string::append_char(s, '%');
            s = string::append_char(s, static_cast<uint8_t>(hex[0]));
            s = string::append_char(s, static_cast<uint8_t>(hex[1]));
            written += 3;
        }
    }
    return limit - written;
}

Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell*, Cell*, int32_t, bool,
                bool, bool) {
    Cell none{TYPE_NONE, 0, 0, 0};
    if (value) fire(err::BAD_PATH_SET, path ? path : &none, element);
    Cell p = *parent;
    SeriesBuffer* pb = series_of(&p);
    uint32_t plen = string::rs_length_q(&p);
    Cell* u = stack::push_slot();
    *u = Cell{TYPE_UNSET, 0, 0, 0};
    string::make_at(u, plen + 16, pb->unit());
    Cell e = *element;
    if (e.type() == TYPE_GET_WORD) e = *context::get(&e);
    string::form_value(&e, u);
    bool parent_slash = plen > 0 && string::rs_abs_at(&p, p.head() + plen - 1) == '/';
    bool element_slash = string::rs_length_q(u) > 0 && string::rs_abs_at(u, 0) == '/';
    if (parent_slash && element_slash) string::remove_char(u, 0);
    else if (!parent_slash && !element_slash) string::insert_char(series_of(u), 0, '/');
    string::concatenate(u, &p, -1, true);
    Cell r = *u;
    r.header = p.type();
    stack::pop(1);
    return copy_cell(&r, parent);
}

Cell* open(Cell* u, bool new_, bool read, bool write, bool seek, Cell* allow) {
    Cell p = open_port(u, true, new_, read, write, seek, allow);
    return copy_cell(&p, u);
}

Cell* read(Cell* source, Cell* part, Cell* seek, bool binary, bool lines, bool info, Cell* as) {
    if (!http_q(source)) {
        Cell made = open_port(source, false);
        Cell* p = stack::push(&made);
        port::read(p, part, seek, binary, lines, info, as);
        Cell r = *p;
        stack::pop(1);
        return copy_cell(&r, source);
    }
    if (part || seek || as) fire(err::NOT_DONE);
    if (!http_request) fire_no_connect(source);
    Cell method{TYPE_UNSET, 0, 0, 0};
    word::make_at(words::sym::get, &method);
    Cell none{TYPE_NONE, 0, 0, 0};
    Cell none2 = none;
    Cell* answer = http_request(&method, source, &none, &none2, binary, lines, info);
    if (!answer || answer->type() == TYPE_NONE) fire_no_connect(source);
    return copy_cell(answer, source);
}

Cell* write(Cell* destination, Cell* data, bool binary, bool lines, bool info, bool append, Cell* part, Cell* seek,
            Cell* allow, Cell* as) {
    if (!http_q(destination)) {
        Cell made = open_port(destination, false);
        Cell* p = stack::push(&made);
        port::write(p, data, binary, lines, info, append, part, seek, allow, as);
        Cell r = *p;
        stack::pop(1);
        return copy_cell(&r, destination);
    }
    if (seek || allow || as) fire(err::NOT_DONE);
    Cell none{TYPE_NONE, 0, 0, 0};
    Cell method{TYPE_UNSET, 0, 0, 0};
    word::make_at(words::sym::post, &method);
    Cell headers = none;
    Cell body = *data;
    if (data->type() == TYPE_BLOCK) {
        Cell block = *data;
        SeriesBuffer* b = series_of(&block);
        uint32_t n = b->count() > block.head() ? b->count() - block.head() : 0;
        auto element = [&](uint32_t i) {
            return *(reinterpret_cast<Cell*>(series_of(&block)->offset_addr()) + block.head() + i);
        };
        body = none;
        if (n == 0) {
            word::make_at(words::sym::get, &method);
        } else {
            method = element(0);
            if (method.type() != TYPE_WORD) fire(err::INVALID_ARG, &method);
            method.data2 = symbol::resolve(method.symbol());
            if (n > 1) {
                headers = element(1);
                if (headers.type() != TYPE_BLOCK) fire(err::INVALID_ARG, &headers);
            }
            if (n > 2) body = element(2);
        }
    }
    uint32_t t = body.type();
    if (t != TYPE_NONE && t != TYPE_BLOCK && t != TYPE_STRING && t != TYPE_BINARY)
        fire(err::INVALID_ARG, &body);
    (void)binary;
    (void)lines;
    if (!http_request) fire_no_connect(destination);
    Cell* answer = http_request(&method, destination, &headers, &body, false, false, info);
    if (!answer || answer->type() == TYPE_NONE) fire_no_connect(destination);
    return copy_cell(answer, destination);
}

}  // namespace url

// ---- Registration --------------------------------------------------------------

template <>
void datatype::init_type<TYPE_URL>() {
    register_type<TYPE_URL, "o--oioo-i --------------- iiiiiiiiiiiiiiii-iii-iiiii- ---io--o--o">(
        own<slot::make>(url::make), own<slot::to>(url::to), own<slot::mold>(url::mold),
        own<slot::eval_path>(url::eval_path), own<slot::open>(url::open),
        own<slot::read>(url::read), own<slot::write>(url::write));
}
