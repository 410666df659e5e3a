// HTTP requests of url! values over the HTTP client: the request built from
// a method word, a header block and data, the answer shaped into a value.
#include "services/http.h"

#include <vector>

#include "datatypes/binary.h"
#include "datatypes/map.h"
#include "datatypes/string.h"
#include "datatypes/url.h"
#include "evaluator/block_storage.h"
#include "evaluator/stack.h"
#include "evaluator/symbol.h"
#include "evaluator/word_storage.h"
#include "evaluator/words.h"
#include "runtime/typesets.h"
#include "services/http_client.h"
#include "services/simple_io.h"

namespace http {

namespace {

std::string ascii_case(std::string text, bool upper) {
    for (char& c : text) {
        if (upper && c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (!upper && c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

// The text a header name or value is sent as: a word's own spelling, a
// string as it is, any other value formed; UTF-8.
std::string text_of(const Cell* value, bool name) {
    Cell v = *value;
    if (name && in(ANY_WORD, v.type())) {
        uint32_t n = 0;
        const char* t = symbol::text(v.symbol(), &n);
        return std::string(t, n);
    }
    std::vector<uint8_t> bytes;
    if (in(ANY_STRING, v.type()) || v.type() == TYPE_BINARY) {
        binary::collect_bytes(&v, false, 0, true, bytes);
    } else {
        Cell* text = string::rs_make_at(stack::push_slot(), 16);
        string::form_value(&v, text);
        binary::collect_bytes(text, false, 0, true, bytes);
        stack::pop(1);
    }
    return std::string(bytes.begin(), bytes.end());
}

std::string method_text(const Cell* method) {
    uint32_t s = symbol::resolve(method->symbol());
    if (s == symbol::resolve(words::sym::get)) return "GET";
    if (s == symbol::resolve(words::sym::head)) return "HEAD";
    if (s == symbol::resolve(words::sym::post)) return "POST";
    return ascii_case(text_of(method, true), true);
}

// The url's text from its index as UTF-8, with the bytes a request line
// cannot carry (controls, space, non-ASCII and " < > \ ^ ` { | }) escaped;
// escapes already in the text are left as they are.
std::string url_text(const Cell* url) {
    std::vector<uint8_t> bytes;
    Cell u = *url;
    u.header = TYPE_STRING;
    binary::collect_bytes(&u, false, 0, true, bytes);
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (uint8_t b : bytes) {
        bool escape = b <= 32 || b >= 127;
        for (const char* p = "\"<>\\^`{|}"; *p && !escape; ++p) escape = b == static_cast<uint8_t>(*p);
        if (escape) {
            out += '%';
            out += hex[b >> 4];
            out += hex[b & 15];
        } else {
            out += static_cast<char>(b);
        }
    }
    return out;
}

}  // namespace

Cell* parse_headers(const std::string& text, Cell* slot) {
    // Names in order of first appearance, each with its values; a repeated
    // name (in any letter case) gathers its values in the order received.
    struct Field {
        std::string name, lower;
        std::vector<std::string> values;
    };
    std::vector<Field> fields;
    size_t i = 0, n = text.size();
    while (i < n) {
        size_t end = text.find('\n', i);
        if (end == std::string::npos) end = n;
        size_t stop = end;
        if (stop > i && text[stop - 1] == '\r') --stop;
        size_t colon = text.find(':', i);
        if (colon != std::string::npos && colon < stop && colon > i) {
            std::string name = text.substr(i, colon - i);
            size_t v = colon + 1;
            while (v < stop && (text[v] == ' ' || text[v] == '\t')) ++v;
            std::string value = text.substr(v, stop - v);
            std::string lower = ascii_case(name, false);
            Field* f = nullptr;
            for (Field& e : fields)
                if (e.lower == lower) f = &e;
            if (!f) {
                fields.push_back({name, lower, {}});
                f = &fields.back();
            }
            f->values.push_back(value);
        }
        i = end + 1;
    }
    Cell* pairs = block::make_at(stack::push_slot(), static_cast<uint32_t>(fields.size() * 2 + 1));
    for (const Field& f : fields) {
        Cell w{TYPE_UNSET, 0, 0, 0};
        word::make_at(symbol::make_utf8(reinterpret_cast<const uint8_t*>(f.name.data()),
                                        static_cast<uint32_t>(f.name.size())),
                      &w);
        w.header = TYPE_SET_WORD;
        block::rs_append(pairs, &w);
        if (f.values.size() == 1) {
            string::load_in(reinterpret_cast<const uint8_t*>(f.values[0].data()),
                            static_cast<uint32_t>(f.values[0].size()), pairs, 0);
        } else {
            Cell* list = block::make_in(pairs, static_cast<int32_t>(f.values.size()));
            Cell held = *list;
            for (const std::string& v : f.values)
                string::load_in(reinterpret_cast<const uint8_t*>(v.data()), static_cast<uint32_t>(v.size()), &held,
                                0);
        }
    }
    Cell backing = *pairs;
    map::make_at(slot, &backing, 0);
    stack::pop(1);
    return slot;
}

Cell* request_http(Cell* method, Cell* url, Cell* headers, Cell* data, bool binary, bool lines, bool info) {
    http_client::Request request;
    request.method = method_text(method);
    request.url = url_text(url);
    if (headers && headers->type() == TYPE_BLOCK) {
        Cell h = *headers;
        uint32_t count = block::rs_length_q(&h);
        for (uint32_t k = 0; k + 1 < count; k += 2) {
            Cell name = *block::rs_abs_at(&h, h.head() + k);
            Cell value = *block::rs_abs_at(&h, h.head() + k + 1);
            request.headers.emplace_back(text_of(&name, true), text_of(&value, false));
        }
        // The caller's headers are all that is sent: libcurl's own form type
        // for a body is left out unless the block names one.
        bool typed = false;
        for (const auto& field : request.headers) typed = typed || ascii_case(field.first, false) == "content-type";
        if (!typed) request.left_out.push_back("Content-Type");
    } else {
        request.headers = {{"Content-Type", "application/x-www-form-urlencoded"},
                           {"Accept-Charset", "UTF-8"},
                           {"User-Agent", "Mozilla/5.0 (Windows NT 6.1; Win64; x64)"}};
    }
    // GET and HEAD send no body; a string goes as its UTF-8 text, a binary
    // as its bytes from its index.
    if (data && data->type() != TYPE_NONE && request.method != "GET" && request.method != "HEAD") {
        request.has_body = true;
        request.body = text_of(data, false);
    }

    http_client::Response response;
    if (!http_client::perform(request, &response)) return nullptr;

    Cell* result = stack::push_slot();
    *result = Cell{TYPE_NONE, 0, 0, 0};
    if (info) block::make_at(result, 3);
    Cell* body = stack::push_slot();
    const auto* bytes = reinterpret_cast<const uint8_t*>(response.body.data());
    auto size = static_cast<uint32_t>(response.body.size());
    if (binary) {
        binary::load_in(bytes, size, nullptr);
        *body = *(stack::top - 1);
        stack::pop(1);
    } else if (lines) {
        simple_io::split_lines(bytes, size, body);
    } else {
        simple_io::load_text(bytes, size, body);
    }
    if (info) {
        Cell status{TYPE_INTEGER, 0, static_cast<uint32_t>(response.status), 0};
        block::rs_append(result, &status);
        Cell* map = stack::push_slot();
        parse_headers(response.header_text, map);
        block::rs_append(result, map);
        stack::pop(1);
        block::rs_append(result, body);
    } else {
        *result = *body;
    }
    stack::pop(1);
    return result;
}

void init() { url::http_request = request_http; }

}  // namespace http
