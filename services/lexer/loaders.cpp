// Lexer scanners and loaders: what each token type accepts and the value it
// makes. Every handler checks its token; with `load` it also makes the value
// in a new output cell.
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "datatypes/block.h"
#include "evaluator/context.h"
#include "datatypes/datatype.h"
#include "datatypes/date.h"
#include "datatypes/float.h"
#include "datatypes/integer.h"
#include "datatypes/map.h"
#include "datatypes/money.h"
#include "datatypes/pair.h"
#include "datatypes/string.h"
#include "datatypes/percent.h"
#include "datatypes/point2d.h"
#include "datatypes/point3d.h"
#include "datatypes/time.h"
#include "datatypes/tuple.h"
#include "datatypes/url.h"
#include "runtime/dtoa.h"
#include "datatypes/word.h"
#include "evaluator/errors.h"
#include "evaluator/symbol.h"
#include "runtime/typesets.h"
#include "runtime/unicode.h"
#include "services/lexer/lexer_state.h"
#include "runtime/number_text.h"

namespace lexer {

Handler scanners[TOKEN_TYPES];
Handler loaders[TOKEN_TYPES];

namespace {

[[noreturn]] void invalid(State& st, const uint8_t* start, const uint8_t* end, uint32_t type) {
    throw_error(st, start, end, static_cast<int32_t>(type));
}

bool is_digit(uint8_t c) { return c >= '0' && c <= '9'; }
int hex_value(uint8_t c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}
bool same_text(const uint8_t* p, const uint8_t* e, const char* text) {
    size_t n = std::strlen(text);
    if (static_cast<size_t>(e - p) != n) return false;
    for (size_t i = 0; i < n; ++i) {
        uint8_t a = p[i], b = static_cast<uint8_t>(text[i]);
        if (a >= 'A' && a <= 'Z') a = static_cast<uint8_t>(a + 32);
        if (b >= 'A' && b <= 'Z') b = static_cast<uint8_t>(b + 32);
        if (a != b) return false;
    }
    return true;
}

bool unicode_blank(int32_t cp) {
    switch (cp) {
        case 0x85: case 0xA0: case 0x1680: case 0x2028: case 0x2029: case 0x202F: case 0x205F:
        case 0x3000: case 0x180E: case 0x200B: return true;
        default: return cp >= 0x2000 && cp <= 0x200A;
    }
}

// ---- Text with caret escapes --------------------------------------------------------

// The codepoint of the escape after a "^" at p (p moves past it); -1 when
// the escape is invalid.
int32_t decode_escape(const uint8_t*& p, const uint8_t* e) {
    if (p >= e) return -1;
    uint8_t c = *p;
    if (c == '(') {
        const uint8_t* q = p + 1;
        while (q < e && *q != ')') ++q;
        if (q >= e) return -1;
        const uint8_t* s = p + 1;
        p = q + 1;
        static const struct { const char* name; int32_t cp; } names[] = {
            {"null", 0}, {"back", 8}, {"tab", 9}, {"line", 10}, {"page", 12}, {"esc", 27}, {"del", 127}};
        for (auto& n : names)
            if (same_text(s, q, n.name)) return n.cp;
        if (q == s || q - s > 6) return -1;
        int32_t v = 0;
        for (const uint8_t* r = s; r < q; ++r) {
            int h = hex_value(*r);
            if (h < 0) return -1;
            v = v * 16 + h;
        }
        return v > 0x10FFFF ? -1 : v;
    }
    switch (c) {
        case '"': ++p; return '"';
        case '-': ++p; return 9;
        case '/': ++p; return 10;
        case '^': ++p; return '^';
        case '{': ++p; return '{';
        case '}': ++p; return '}';
        case '~': ++p; return 127;
        case '@': ++p; return 0;
        default: break;
    }
    if (c >= 'a' && c <= 'z') { ++p; return c - 'a' + 1; }
    if (c >= 'A' && c <= '_') { ++p; return c - 'A' + 1; }
    int32_t cp;
    p = unicode::fast_decode_utf8_char(p, e, &cp);
    return cp;
}

// Decodes UTF-8 text (with caret escapes when `escapes`) into codepoints;
// false when a sequence or an escape is invalid.
bool decode_text(const uint8_t* p, const uint8_t* e, bool escapes, std::u32string& cps);

bool valid_text(const uint8_t* p, const uint8_t* e) {
    while (p < e) {
        int32_t cp;
        p = unicode::fast_decode_utf8_char(p, e, &cp);
        if (cp < 0) return false;
    }
    return true;
}

bool decode_text(const uint8_t* p, const uint8_t* e, bool escapes, std::u32string& cps) {
    while (p < e) {
        int32_t cp;
        if (escapes && *p == '^') {
            ++p;
            cp = decode_escape(p, e);
        } else {
            p = unicode::fast_decode_utf8_char(p, e, &cp);
        }
        if (cp < 0) return false;
        cps.push_back(static_cast<char32_t>(cp));
    }
    return true;
}

Cell string_of(const std::u32string& cps, uint32_t type) {
    uint32_t widest = 0;
    for (char32_t c : cps)
        if (c > widest) widest = c;
    uint32_t unit = widest < 128 ? 1 : widest <= 0xFFFF ? 2 : 4;
    Node node = memory::alloc_codepoints(static_cast<uint32_t>(cps.size()), unit);
    SeriesBuffer* s = memory::buffer(node);
    for (uint32_t i = 0; i < cps.size(); ++i) unicode::set_char(s->offset_addr(), unit, i, cps[i]);
    s->tail = s->offset + static_cast<uint32_t>(cps.size()) * unit;
    return Cell{type, 0, node, 0};
}

// Checks (and with `load` makes) a value of the string family from text.
void load_text(State& st, const uint8_t* s, const uint8_t* e, bool escapes, uint32_t type, bool load,
               const uint8_t* start, const uint8_t* end, uint32_t error_type) {
    std::u32string cps;
    if (!decode_text(s, e, escapes, cps)) invalid(st, start, end, error_type);
    if (load) emit(st, string_of(cps, type));
}

// Text taken as it stands, percent-decoded (url!'s decoder) when it holds a
// "%"; an escape that decodes to invalid UTF-8 is invalid `type`.
void load_plain(State& st, const uint8_t* s, const uint8_t* e, uint32_t type, bool load, const uint8_t* start,
                const uint8_t* end) {
    if (!valid_text(s, e)) invalid(st, start, end, type);
    if (!load) return;
    Cell raw = text_value(s, e, TYPE_STRING);
    if (!std::memchr(s, '%', static_cast<size_t>(e - s))) {
        set_type(&raw, type);
        emit(st, raw);
        return;
    }
    Cell decoded{TYPE_UNSET, 0, 0, 0};
    string::rs_make_at(&decoded, static_cast<uint32_t>(e - s));
    // The decoder reports the bad escape instead of raising: an error
    // raised and caught here would already have cut the stacks back to the
    // caller's try frame.
    bool bad = false;
    url::percent_decode(&raw, &decoded, &bad);
    if (bad) invalid(st, start, end, type);
    set_type(&decoded, type);
    emit(st, decoded);
}

// ---- Structural scanners ------------------------------------------------------------------

void scan_eof(State& st, const uint8_t*, const uint8_t*, uint32_t, bool) { st.pos = st.input_end; }

void scan_error(State& st, const uint8_t* start, const uint8_t* end, uint32_t, bool) {
    int32_t prev = st.prev_state;
    if (prev == 21) throw_error(st, start, end, -2);
    int32_t type = prev >= 0 && prev < SCAN_STATES ? state_types[prev] : 0;
    if (st.entry_state == STATE_BRACED) start = st.brace_start;
    else if (is_path_kind(type)) start = nullptr;
    throw_error(st, start, end, type > 0 ? type : -1);
}

void scan_block_open(State& st, const uint8_t* start, const uint8_t* end, uint32_t, bool) {
    open_list(st, TYPE_BLOCK, start, end + 1);
    st.pos = end + 1;
}

void scan_block_close(State& st, const uint8_t* start, const uint8_t* end, uint32_t, bool) {
    close_list(st, start, end + 1, TYPE_BLOCK, false);
    st.pos = end + 1;
}

// A "(" that opens a point literal: at least four more bytes, the first one
// outside the number characters being a comma.
bool point_ahead(const State& st, const uint8_t* paren) {
    const uint8_t* p = paren + 1;
    if (st.input_end - p < 4) return false;
    static const char allowed[] = "\t 0123456789#+-.AEFINaefin";
    while (p < st.input_end && *p && std::strchr(allowed, *p)) ++p;
    return p < st.input_end && *p == ',';
}

void scan_paren_open(State& st, const uint8_t* start, const uint8_t* end, uint32_t, bool) {
    if (point_ahead(st, end)) {
        st.entry_state = STATE_POINT;
        st.saved_nl = st.nl_count;
    } else {
        open_list(st, TYPE_PAREN, start, end + 1);
    }
    st.pos = end + 1;
}

void scan_paren_close(State& st, const uint8_t* start, const uint8_t* end, uint32_t, bool) {
    close_list(st, start, end + 1, TYPE_PAREN, false);
    st.pos = end + 1;
}

void scan_brace_open(State& st, const uint8_t* start, const uint8_t* end, uint32_t flags, bool) {
    if (st.brace_depth == 0) {
        st.brace_start = end;
        st.brace_flags = 0;
        st.brace_nl = st.nl_count;
        fire_event(st, EVENT_OPEN, TYPE_STRING, nullptr, end, end + 1);
    }
    (void)start;
    ++st.brace_depth;
    st.brace_flags |= flags | (st.nl_count ? F_BRACE_NL : 0);
    st.entry_state = STATE_BRACED;
    st.pos = end + 1;
}

void scan_brace_close(State& st, const uint8_t*, const uint8_t* end, uint32_t flags, bool load) {
    st.brace_flags |= flags;
    st.pos = end + 1;
    if (--st.brace_depth > 0) {
        if (end + 1 >= st.input_end) throw_error(st, st.brace_start, st.input_end, TYPE_STRING);
        return;
    }
    st.entry_state = 0;
    const uint8_t* open = st.brace_start;
    st.type = TYPE_STRING;
    if (st.tracer) fire_event(st, EVENT_CLOSE, TYPE_STRING, nullptr, open, end + 1);
    std::u32string cps;
    if (!decode_text(open + 1, end, true, cps)) throw_error(st, open, end, TYPE_STRING);
    if (load) {
        if (st.tracer && !fire_event(st, EVENT_SCAN, TYPE_STRING, nullptr, open, end + 1)) return;
        int32_t nl = st.nl_count;
        st.nl_count = st.brace_nl;
        emit(st, string_of(cps, TYPE_STRING));
        st.nl_count = nl;
        if (st.tracer) {
            Cell made = *out_cell(st.tail - 1);
            if (!fire_event(st, EVENT_LOAD, TYPE_STRING, &made, open, end + 1)) --st.tail;
        }
    }
}

void scan_map_open(State& st, const uint8_t* start, const uint8_t* end, uint32_t, bool) {
    if (*start != '#') throw_error(st, start, end, TYPE_MAP);
    open_list(st, TYPE_MAP, start, end + 1);
    st.pos = end + 1;
}

void scan_path(State& st, const uint8_t* start, const uint8_t* end, uint32_t, bool load) {
    uint32_t kind = *start == '\'' ? TYPE_LIT_PATH : *start == ':' ? TYPE_GET_PATH : TYPE_PATH;
    open_list(st, kind, start, end);
    st.fallback_type = TYPE_WORD;
    if (load) {
        const uint8_t* s = (*start == '\'' || *start == ':') ? start + 1 : start;
        bool go = fire_event(st, EVENT_SCAN, TYPE_WORD, nullptr, s, end);
        if (go) {
            uint32_t before = st.tail;
            load_word_as(st, s, end, TYPE_WORD);
            if (st.tracer && st.tail > before) {
                Cell made = *out_cell(st.tail - 1);
                if (!fire_event(st, EVENT_LOAD, TYPE_WORD, &made, s, end)) st.tail = before;
            }
        }
    }
    st.entry_state = STATE_PATH;
    st.pos = end + 1;
    if (st.pos >= st.input_end) throw_error(st, start, st.input_end, TYPE_PATH);
}

void scan_construct(State& st, const uint8_t* start, const uint8_t* end, uint32_t, bool load) {
    st.pos = end + 1;
    const uint8_t* s = start + 2;
    Cell v{TYPE_NONE, 0, 0, 0};
    if (same_text(s, end, "true"))
        v = Cell{TYPE_LOGIC, 1, 0, 0};
    else if (same_text(s, end, "false"))
        v = Cell{TYPE_LOGIC, 0, 0, 0};
    else if (same_text(s, end, "none"))
        v = Cell{TYPE_NONE, 0, 0, 0};
    else if (same_text(s, end, "unset"))
        v = Cell{TYPE_UNSET, 0, 0, 0};
    else {
        uint32_t found = 0;
        for (uint32_t t = 1; t <= TYPE_COUNT && !found; ++t)
            if (same_text(s, end, datatype::name_of(t))) found = t;
        if (!found) throw_error(st, start, end + 1, -2);
        datatype::make_at(&v, found);
    }
    st.type = static_cast<int32_t>(v.type());
    if (load) emit(st, v);
}

void scan_comment(State& st, const uint8_t* start, const uint8_t* end, uint32_t, bool) {
    if (st.tracer) fire_event(st, EVENT_SCAN, -(T_COMMENT + 1), nullptr, start, end);
}

void scan_comma(State& st, const uint8_t* start, const uint8_t* end, uint32_t, bool) {
    throw_error(st, start, end + 1, TYPE_POINT2D);
}

// ---- Strings, words ------------------------------------------------------------------------

void load_string(State& st, const uint8_t* start, const uint8_t* end, uint32_t, bool load) {
    st.pos = end + 1;
    load_text(st, start + 1, end, true, TYPE_STRING, load, start, end, TYPE_STRING);
}

Cell word_cell(const uint8_t* s, const uint8_t* e, uint32_t type) {
    uint32_t sym = symbol::make_utf8(s, static_cast<uint32_t>(e - s));
    Cell w{TYPE_UNSET, 0, 0, 0};
    word::make_at(sym, &w);
    set_type(&w, type);
    return w;
}

bool valid_utf8(const uint8_t* p, const uint8_t* e) {
    while (p < e) {
        int32_t cp;
        p = unicode::fast_decode_utf8_char(p, e, &cp);
        if (cp < 0) return false;
    }
    return true;
}

void load_word(State& st, const uint8_t* start, const uint8_t* end, uint32_t, bool load) {
    const uint8_t* e = find_unicode_blank(start, end);
    if (e != end) st.pos = e;
    if (e <= start) invalid(st, start, end, TYPE_WORD);
    uint32_t type = TYPE_WORD;
    const uint8_t* s = start;
    bool lead = *s == ':';
    bool trail = e - s > 1 && e[-1] == ':';
    uint32_t colons = 0;
    for (const uint8_t* p = s; p < e; ++p) colons += *p == ':';
    if (colons) {
        if (lead && !trail && colons == 1) {
            type = TYPE_GET_WORD;
            ++s;
        } else if (trail && !lead && colons == 1) {
            if (*s == '\'') invalid(st, start, e, TYPE_LIT_WORD);
            type = TYPE_SET_WORD;
            --e;
        } else {
            invalid(st, start, e, TYPE_WORD);
        }
    } else if (*s == '\'') {
        type = TYPE_LIT_WORD;
        ++s;
    }
    if (e <= s || !valid_utf8(s, e)) invalid(st, start, e, type);
    if (load) emit(st, word_cell(s, e, type));
}

void load_issue(State& st, const uint8_t* start, const uint8_t* end, uint32_t, bool load) {
    if (end - start < 2 || *start != '#' || !valid_utf8(start + 1, end)) invalid(st, start, end, TYPE_ISSUE);
    if (load) {
        uint32_t sym = symbol::make_utf8(start + 1, static_cast<uint32_t>(end - start - 1));
        emit(st, Cell{TYPE_ISSUE, context::global, sym, static_cast<uint32_t>(-1)});
    }
}

void load_refinement(State& st, const uint8_t* start, const uint8_t* end, uint32_t, bool load) {
    if (*start != '/' || end - start < 2 || !valid_utf8(start + 1, end)) invalid(st, start, end, TYPE_REFINEMENT);
    if (load) emit(st, word_cell(start + 1, end, TYPE_REFINEMENT));
}

void load_raw_string(State& st, const uint8_t* start, const uint8_t* end, uint32_t, bool load) {
    const uint8_t* p = start;
    size_t n = 0;
    while (p < end && *p == '%') ++p, ++n;
    const uint8_t* body = p + 1;  // after "{"
    for (const uint8_t* q = body; q < st.input_end; ++q) {
        if (*q != '}') continue;
        size_t k = 0;
        while (q + 1 + k < st.input_end && q[1 + k] == '%') ++k;
        if (k < n) continue;
        if (k > n) invalid(st, start, end, TYPE_STRING);
        const uint8_t* after = q + 1 + k;
        if (after > end) {
            // The string goes on past the token: count its line feeds.
            for (const uint8_t* r = end; r < after; ++r) st.line += *r == '\n';
        }
        st.pos = after;
        if (!valid_utf8(body, q)) invalid(st, start, end, TYPE_STRING);
        if (load) emit(st, text_value(body, q, TYPE_STRING));
        return;
    }
    invalid(st, start, end, TYPE_STRING);
}

// ---- Loaders of the string family ------------------------------------------------------------

void load_file(State& st, const uint8_t* start, const uint8_t* end, uint32_t, bool load) {
    if (end - start >= 2 && start[1] == '"') {
        if (end >= st.input_end || *end != '"') invalid(st, start, end, TYPE_FILE);
        st.pos = end + 1;
        load_text(st, start + 2, end, true, TYPE_FILE, load, start, end, TYPE_FILE);
        return;
    }
    load_plain(st, start + 1, end, TYPE_FILE, load, start, end);
}

void load_tag(State& st, const uint8_t* start, const uint8_t* end, uint32_t, bool load) {
    if (*start != '<') invalid(st, start, end, TYPE_TAG);
    st.pos = end + 1;
    load_text(st, start + 1, end, false, TYPE_TAG, load, start, end, TYPE_TAG);
}

void load_url(State& st, const uint8_t* start, const uint8_t* end, uint32_t, bool load) {
    if (*start == ':') invalid(st, start, end, TYPE_GET_WORD);
    if (*start == '\'') invalid(st, start, end, TYPE_LIT_WORD);
    load_plain(st, start, end, TYPE_URL, load, start, end);
}

void load_email(State& st, const uint8_t* start, const uint8_t* end, uint32_t, bool load) {
    load_text(st, start, end, false, TYPE_EMAIL, load, start, end, TYPE_EMAIL);
}

void load_ref(State& st, const uint8_t* start, const uint8_t* end, uint32_t, bool load) {
    load_text(st, start + 1, end, false, TYPE_REF, load, start, end, TYPE_REF);
}

void load_char(State& st, const uint8_t* start, const uint8_t* end, uint32_t, bool load) {
    st.pos = end + 1;
    std::u32string cps;
    if (!decode_text(start + 2, end, true, cps) || cps.size() != 1 || cps[0] > 0x10FFFF)
        invalid(st, start, end + 1, TYPE_CHAR);
    if (load) emit(st, Cell{TYPE_CHAR, 0, static_cast<uint32_t>(cps[0]), 0});
}

// ---- Binaries -----------------------------------------------------------------------------

int base64_value(uint8_t c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

bool decode_binary(int base, const uint8_t* p, const uint8_t* e, std::string& bytes) {
    uint32_t acc = 0;
    int bits = 0;
    int count = 0;
    bool padding = false;
    while (p < e) {
        uint8_t c = *p++;
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') continue;
        if (c == ';') {
            while (p < e && *p != '\n') ++p;
            continue;
        }
        if (base == 16) {
            int v = hex_value(c);
            if (v < 0) return false;
            acc = acc << 4 | static_cast<uint32_t>(v);
            if (++count == 2) {
                bytes.push_back(static_cast<char>(acc & 0xFF));
                acc = 0;
                count = 0;
            }
        } else if (base == 2) {
            if (c != '0' && c != '1') return false;
            acc = acc << 1 | static_cast<uint32_t>(c - '0');
            if (++count == 8) {
                bytes.push_back(static_cast<char>(acc & 0xFF));
                acc = 0;
                count = 0;
            }
        } else {
            if (c == '=') {
                padding = true;
                continue;
            }
            int v = base64_value(c);
            if (v < 0 || padding) return false;
            acc = (acc << 6 | static_cast<uint32_t>(v)) & 0xFFFFFF;
            bits += 6;
            ++count;
            if (bits >= 8) {
                bits -= 8;
                bytes.push_back(static_cast<char>((acc >> bits) & 0xFF));
            }
        }
    }
    if (base == 64) return count % 4 != 1;
    return count == 0;
}

void load_binary(State& st, const uint8_t* start, const uint8_t* end, uint32_t, bool load) {
    st.pos = end + 1;
    int base = 0;
    const uint8_t* p = start;
    while (p < end && is_digit(*p)) {
        base = base * 10 + (*p - '0');
        if (base > 1000) break;
        ++p;
    }
    if (p == start) base = 16;
    if ((base != 16 && base != 64 && base != 2) || p + 2 > end || p[0] != '#' || p[1] != '{')
        invalid(st, start, end + 1, TYPE_BINARY);
    std::string bytes;
    if (!decode_binary(base, p + 2, end, bytes)) invalid(st, start, end + 1, TYPE_BINARY);
    if (load) {
        Node node = memory::alloc_bytes(static_cast<uint32_t>(bytes.size()));
        SeriesBuffer* s = memory::buffer(node);
        std::memcpy(s->offset_addr(), bytes.data(), bytes.size());
        s->tail = s->offset + static_cast<uint32_t>(bytes.size());
        emit(st, Cell{TYPE_BINARY, 0, node, 0});
    }
}

// ---- Numbers -----------------------------------------------------------------------------

Cell float_cell(uint32_t type, double d) {
    Cell c{TYPE_UNSET, 0, 0, 0};
    if (type == TYPE_FLOAT) return *float_::make_at(&c, d);
    if (type == TYPE_TIME) return *time_::make_at(d, &c);
    uint32_t halves[2];
    std::memcpy(halves, &d, 8);
    return *percent::make_at(&c, halves[1], halves[0]);
}

Cell integer_cell(int32_t v) {
    Cell c{TYPE_UNSET, 0, 0, 0};
    return *integer::make_at(&c, v);
}

// The double of a decimal text (with "'" separators), or false.
bool read_decimal(const uint8_t* s, const uint8_t* e, int adjust, double& d) {
    if (!number_text::number_syntax_q(s, e)) return false;
    std::string text;
    for (const uint8_t* p = s; p < e; ++p)
        if (*p != '\'') text.push_back(static_cast<char>(*p));
    int left = 0;
    auto* b = reinterpret_cast<const uint8_t*>(text.data());
    d = dtoa::strtod(b, b + text.size(), adjust, left);
    return left == 0;
}

void load_float(State& st, const uint8_t* start, const uint8_t* end, uint32_t, bool load) {
    double d;
    if (!read_decimal(start, end, 0, d)) invalid(st, start, end, TYPE_FLOAT);
    st.type = TYPE_FLOAT;
    if (load) emit(st, float_cell(TYPE_FLOAT, d));
}

// An integer token's value: false when it is not an integer (too long or
// out of range); raises invalid integer! for a malformed one.
bool read_integer(State& st, const uint8_t* s, const uint8_t* e, int32_t& value, uint32_t error_type) {
    const uint8_t* p = s;
    if (p < e && (*p == '+' || *p == '-')) ++p;
    int digits = 0;
    for (const uint8_t* q = p; q < e; ++q) {
        if (*q == '\'') {
            if (q + 1 < e && q[1] == '\'') invalid(st, s, e, error_type);
            continue;
        }
        if (!is_digit(*q)) invalid(st, s, e, error_type);
        ++digits;
    }
    if (digits == 0) invalid(st, s, e, error_type);
    if (digits > 10) return false;
    int error = 0;
    value = number_text::text_to_integer(s, static_cast<int32_t>(e - s), 1, error);
    if (error == -1) invalid(st, s, e, error_type);
    return error == 0;
}

void load_integer(State& st, const uint8_t* start, const uint8_t* end, uint32_t flags, bool load) {
    int32_t v;
    if (end - start == 1 && is_digit(*start)) {
        v = *start - '0';
    } else if (!read_integer(st, start, end, v, TYPE_INTEGER)) {
        load_float(st, start, end, flags, load);
        return;
    }
    if (load) emit(st, integer_cell(v));
}

void load_hex(State& st, const uint8_t* start, const uint8_t* end, uint32_t, bool load) {
    const uint8_t* e = end - 1;  // the "h"
    if (e - start == 1 && !is_digit(*start)) invalid(st, start, end, TYPE_WORD);
    if (e - start < 2 || e - start > 8 || *e != 'h') invalid(st, start, end, TYPE_INTEGER);
    uint32_t v = 0;
    for (const uint8_t* p = start; p < e; ++p) {
        int h = hex_value(*p);
        if (h < 0) invalid(st, start, end, TYPE_INTEGER);
        v = v << 4 | static_cast<uint32_t>(h);
    }
    if (load) emit(st, integer_cell(static_cast<int32_t>(v)));
}

void load_percent(State& st, const uint8_t* start, const uint8_t* end, uint32_t, bool load) {
    st.pos = end + 1;
    double d;
    if (!read_decimal(start, end, -2, d)) invalid(st, start, end + 1, TYPE_PERCENT);
    if (load) emit(st, float_cell(TYPE_PERCENT, d));
}

// "1.#INF", "-1.#inf", "1.#NaN": infinities and the quiet NaN; false otherwise.
bool read_special(const uint8_t* s, const uint8_t* e, double& d) {
    bool negative = false;
    if (s < e && (*s == '+' || *s == '-')) negative = *s++ == '-';
    if (e - s < 3 || s[0] != '1' || s[1] != '.' || s[2] != '#') return false;
    if (same_text(s + 3, e, "inf")) {
        d = negative ? -HUGE_VAL : HUGE_VAL;
        return true;
    }
    if (same_text(s + 3, e, "nan")) {
        uint64_t bits = 0x7FF8000000000000ull;
        std::memcpy(&d, &bits, 8);
        return true;
    }
    return false;
}

void load_special_float(State& st, const uint8_t* start, const uint8_t* end, uint32_t, bool load) {
    double d;
    if (!read_special(start, end, d)) invalid(st, start, end, TYPE_FLOAT);
    if (load) emit(st, float_cell(TYPE_FLOAT, d));
}

// ---- Scalars made in the cell ------------------------------------------------------------

void load_tuple(State& st, const uint8_t* start, const uint8_t* end, uint32_t, bool load) {
    uint8_t bytes[12] = {};
    int count = 0;
    const uint8_t* p = start;
    while (true) {
        if (count == 12) invalid(st, start, end, TYPE_TUPLE);
        uint32_t v = 0;
        const uint8_t* digits = p;
        while (p < end && is_digit(*p)) {
            v = v * 10 + static_cast<uint32_t>(*p - '0');
            if (v > 255) invalid(st, start, end, TYPE_TUPLE);
            ++p;
        }
        if (p == digits) invalid(st, start, end, TYPE_TUPLE);
        bytes[count++] = static_cast<uint8_t>(v);
        if (p >= end) break;
        if (*p != '.') invalid(st, start, end, TYPE_TUPLE);
        ++p;
        if (p >= end) break;  // a trailing dot ends the tuple
    }
    if (count < 3) invalid(st, start, end, TYPE_TUPLE);
    if (load) {
        Cell c{TYPE_UNSET, 0, 0, 0};
        emit(st, *tuple::make_at(&c, bytes, static_cast<uint32_t>(count)));
    }
}

void load_pair(State& st, const uint8_t* start, const uint8_t* end, uint32_t flags, bool load) {
    if (flags & F_DOT) invalid(st, start, end, TYPE_PAIR);
    const uint8_t* x = start;
    while (x < end && *x != 'x' && *x != 'X') ++x;
    if (x >= end) invalid(st, start, end, TYPE_PAIR);
    int32_t a, b;
    if (!read_integer(st, start, x, a, TYPE_PAIR) || !read_integer(st, x + 1, end, b, TYPE_PAIR))
        invalid(st, start, end, TYPE_PAIR);
    if (load) {
        Cell c{TYPE_UNSET, 0, 0, 0};
        emit(st, *pair::make_at(&c, a, b));
    }
}

void load_point(State& st, const uint8_t* start, const uint8_t* end, uint32_t, bool load) {
    st.pos = end + 1;
    st.entry_state = 0;
    st.nl_count = st.saved_nl;
    double v[3];
    int count = 0;
    const uint8_t* p = start;
    uint32_t type = TYPE_POINT2D;
    while (true) {
        while (p < end && (*p == ' ' || *p == '\t')) ++p;
        const uint8_t* s = p;
        while (p < end && *p != ',' && *p != ' ' && *p != '\t') ++p;
        const uint8_t* e = p;
        while (p < end && (*p == ' ' || *p == '\t')) ++p;
        if (count == 3) invalid(st, start, end + 1, TYPE_POINT3D);
        if (count == 2) type = TYPE_POINT3D;
        if (s == e) invalid(st, start, end + 1, type);
        double d;
        if (std::memchr(s, '#', static_cast<size_t>(e - s))) {
            if (!read_special(s, e, d)) invalid(st, start, end + 1, TYPE_FLOAT);
        } else if (!read_decimal(s, e, 0, d)) {
            invalid(st, start, end + 1, TYPE_FLOAT);
        }
        v[count++] = d;
        if (p >= end) break;
        if (*p != ',') invalid(st, start, end + 1, type);
        ++p;
    }
    if (count < 2) invalid(st, start, end + 1, TYPE_POINT2D);
    st.type = static_cast<int32_t>(type);
    if (load) {
        Cell c{TYPE_UNSET, 0, 0, 0};
        auto x = static_cast<float>(v[0]), y = static_cast<float>(v[1]);
        emit(st, count == 3 ? *point3d::make_at(&c, x, y, static_cast<float>(v[2])) : *point2d::make_at(&c, x, y));
    }
}

void load_time(State& st, const uint8_t* start, const uint8_t* end, uint32_t flags, bool load) {
    if (flags & F_EXP) invalid(st, start, end, TYPE_TIME);
    if (end[-1] == ':') invalid(st, start, end, TYPE_TIME);
    const uint8_t* p = start;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    // Up to three parts: integers separated by ":", the last may be decimal.
    const uint8_t* c1 = static_cast<const uint8_t*>(std::memchr(p, ':', static_cast<size_t>(end - p)));
    if (!c1) invalid(st, start, end, TYPE_TIME);
    int32_t hours, minutes;
    if (!read_integer(st, p, c1, hours, TYPE_TIME)) invalid(st, start, end, TYPE_TIME);
    const uint8_t* m = c1 + 1;
    const uint8_t* me = m;
    while (me < end && (is_digit(*me) || *me == '\'')) ++me;
    if (!read_integer(st, m, me, minutes, TYPE_TIME)) invalid(st, start, end, TYPE_TIME);
    double seconds = 0;
    double total;
    if (me < end && *me == ':') {
        if (!read_decimal(me + 1, end, 0, seconds) || std::memchr(me + 1, ':', static_cast<size_t>(end - me - 1)))
            invalid(st, start, end, TYPE_TIME);
        total = hours * 3600.0 + minutes * 60.0 + seconds;
    } else if (me < end && (*me == '.' || *me == ',')) {
        // minutes:seconds.fraction
        std::string text(reinterpret_cast<const char*>(m), static_cast<size_t>(end - m));
        text[static_cast<size_t>(me - m)] = '.';
        auto* b = reinterpret_cast<const uint8_t*>(text.data());
        if (!read_decimal(b, b + text.size(), 0, seconds)) invalid(st, start, end, TYPE_TIME);
        total = hours * 60.0 + seconds;
    } else if (me == end) {
        total = hours * 3600.0 + minutes * 60.0;
    } else {
        invalid(st, start, end, TYPE_TIME);
    }
    if (minutes < 0 || seconds < 0) invalid(st, start, end, TYPE_TIME);
    if (negative && total > 0) total = -total;
    if (load) emit(st, float_cell(TYPE_TIME, total));
}

// ---- Datatypes whose makers come with their own modules -------------------------------------
// Each checks its token as far as the lexer can; making the value raises
// invalid for the datatype until its maker is plugged in here.

// ---- Dates --------------------------------------------------------------------------------

int64_t day_number(int64_t year, int64_t month, int64_t day) {
    int64_t m = (month + 9) % 12;
    int64_t y = year - m / 10;
    auto fdiv = [](int64_t a, int64_t b) { return a >= 0 ? a / b : -((-a + b - 1) / b); };
    return 365 * y + fdiv(y, 4) - fdiv(y, 100) + fdiv(y, 400) + (306 * m + 5) / 10 + (day - 1);
}

void from_day_number(int64_t g, int32_t& year, int32_t& month, int32_t& day) {
    auto fdiv = [](int64_t a, int64_t b) { return a >= 0 ? a / b : -((-a + b - 1) / b); };
    int64_t y = fdiv(10000 * g + 14780, 3652425);
    int64_t ddd = g - (365 * y + fdiv(y, 4) - fdiv(y, 100) + fdiv(y, 400));
    if (ddd < 0) {
        --y;
        ddd = g - (365 * y + fdiv(y, 4) - fdiv(y, 100) + fdiv(y, 400));
    }
    int64_t mi = (100 * ddd + 52) / 3060;
    month = static_cast<int32_t>((mi + 2) % 12 + 1);
    year = static_cast<int32_t>(y + (mi + 2) / 12);
    day = static_cast<int32_t>(ddd - (306 * mi + 5) / 10 + 1);
}

bool leap_year(int32_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int32_t month_length(int32_t y, int32_t m) {
    static const int32_t days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && leap_year(y) ? 29 : days[m - 1];
}

// A reader over the bytes of a date token; every failure is invalid date!.
struct DateText {
    State& st;
    const uint8_t* start;
    const uint8_t* p;
    const uint8_t* end;
    [[noreturn]] void fail() { invalid(st, start, end, TYPE_DATE); }
    bool at(uint8_t c) const { return p < end && *p == c; }
    bool digit() const { return p < end && is_digit(*p); }
    // Decimal digits (at most `most`); their count goes to `count`.
    int32_t number(int& count, int most = 9) {
        int64_t v = 0;
        count = 0;
        while (digit() && count < most) {
            v = v * 10 + (*p++ - '0');
            ++count;
        }
        if (count == 0) fail();
        return static_cast<int32_t>(v);
    }
    int32_t fixed(int n) {
        int count;
        int32_t v = number(count, n);
        if (count != n) fail();
        return v;
    }
};

struct DateParts {
    int32_t year = 0, month = 0, day = 0;
    bool has_time = false;
    double time = 0;  // local seconds
    int32_t zone_hours = 0, zone_minutes = 0;
    bool zone_negative = false;
};

// "Z", or a signed zone of hours and optional minutes ("+01:00", "-0530").
void read_zone(DateText& t, DateParts& d) {
    if (t.at('Z')) {
        ++t.p;
        return;
    }
    if (!t.at('+') && !t.at('-')) return;
    d.zone_negative = *t.p++ == '-';
    int count;
    int32_t v = t.number(count, 4);
    if (count <= 2) {
        d.zone_hours = v;
        if (t.at(':')) {
            ++t.p;
            d.zone_minutes = t.fixed(2);
        }
    } else if (count == 4) {
        d.zone_hours = v / 100;
        d.zone_minutes = v % 100;
    } else {
        t.fail();
    }
    if (d.zone_hours > 15 || d.zone_minutes > 59) t.fail();
}

// Seconds with an optional fraction ("05", "05.25").
double read_seconds(DateText& t) {
    const uint8_t* s = t.p;
    int count;
    t.number(count, 2);
    if (t.at('.') || t.at(',')) {
        ++t.p;
        t.number(count);
    }
    std::string text(reinterpret_cast<const char*>(s), static_cast<size_t>(t.p - s));
    for (char& c : text)
        if (c == ',') c = '.';
    double v;
    auto* b = reinterpret_cast<const uint8_t*>(text.data());
    if (!read_decimal(b, b + text.size(), 0, v)) t.fail();
    return v;
}

// hh:mm[:ss[.frac]] then an optional zone.
void read_time(DateText& t, DateParts& d) {
    int count;
    int32_t h = t.number(count, 2);
    if (!t.at(':')) t.fail();
    ++t.p;
    int32_t m = t.fixed(2);
    double s = 0;
    if (t.at(':')) {
        ++t.p;
        s = read_seconds(t);
    }
    if (h > 23 || m > 59 || s >= 60) t.fail();
    d.has_time = true;
    d.time = h * 3600.0 + m * 60.0 + s;
    read_zone(t, d);
}

void optional_time(DateText& t, DateParts& d) {
    if (t.at('T') || t.at('/')) {
        ++t.p;
        read_time(t, d);
    }
}

void check_date(DateText& t, const DateParts& d) {
    if (d.month < 1 || d.month > 12 || d.year < -9999 || d.year > 9999) t.fail();
    if (d.day < 1 || d.day > month_length(d.year, d.month)) t.fail();
}

void parse_date(DateText& t, DateParts& d) {
    int len1;
    int32_t first = t.number(len1);
    if (len1 == 8 && t.at('T')) {
        // Compact ISO: yyyymmddThhmm then Z or seconds, then a zone.
        d.year = first / 10000;
        d.month = first / 100 % 100;
        d.day = first % 100;
        ++t.p;
        int32_t h = t.fixed(2), m = t.fixed(2);
        double s = 0;
        if (t.digit()) s = read_seconds(t);
        if (h > 23 || m > 59 || s >= 60) t.fail();
        d.has_time = true;
        d.time = h * 3600.0 + m * 60.0 + s;
        read_zone(t, d);
        check_date(t, d);
        return;
    }
    if (len1 == 4 && t.at('-') && t.p + 1 < t.end && t.p[1] == 'W') {
        // ISO week date: yyyy-Www[-d].
        t.p += 2;
        int32_t week = t.fixed(2);
        int32_t weekday = 1;
        if (t.at('-')) {
            ++t.p;
            weekday = t.fixed(1);
        }
        if (week < 1 || week > 53 || weekday < 1 || weekday > 7) t.fail();
        int64_t jan4 = day_number(first, 1, 4);
        int64_t monday = jan4 - (jan4 + 2) % 7;
        from_day_number(monday + (week - 1) * 7 + (weekday - 1), d.year, d.month, d.day);
        optional_time(t, d);
        if (first < -9999 || first > 9999) t.fail();
        check_date(t, d);
        return;
    }
    if (t.at('-') && t.end - t.p >= 4 && is_digit(t.p[1]) && is_digit(t.p[2]) && is_digit(t.p[3]) &&
        (t.end - t.p == 4 || !is_digit(t.p[4])) && (t.end - t.p == 4 || t.p[4] != '-')) {
        // Ordinal date: yyyy-ddd.
        ++t.p;
        int32_t yd = t.fixed(3);
        if (yd < 1 || yd > (leap_year(first) ? 366 : 365)) t.fail();
        from_day_number(day_number(first, 1, 1) + yd - 1, d.year, d.month, d.day);
        optional_time(t, d);
        check_date(t, d);
        return;
    }
    if (!t.at('-') && !t.at('/')) t.fail();
    uint8_t sep = *t.p++;
    int32_t month;
    if (t.digit()) {
        int count;
        month = t.number(count, 2);
    } else {
        static const char* const names[12] = {"january", "february", "march", "april", "may", "june", "july",
                                              "august", "september", "october", "november", "december"};
        const uint8_t* s = t.p;
        while (t.p < t.end && ((*t.p | 0x20) >= 'a' && (*t.p | 0x20) <= 'z')) ++t.p;
        size_t n = static_cast<size_t>(t.p - s);
        month = 0;
        if (n >= 3 && n <= 9)
            for (int i = 0; i < 12 && !month; ++i)
                if (n <= std::strlen(names[i]) && same_text(s, t.p, std::string(names[i], n).c_str())) month = i + 1;
        if (!month) t.fail();
    }
    if (!t.at(sep)) t.fail();
    ++t.p;
    bool negative_year = t.at('-');
    if (negative_year) ++t.p;
    int len3;
    int32_t third = t.number(len3);
    if (negative_year) third = -third;
    int32_t year, day, year_digits;
    if (third < 0 || third > 31 || first <= 99) {
        day = first;
        year = third;
        year_digits = len3;
    } else {
        year = first;
        day = third;
        year_digits = len1;
    }
    if (year >= 0 && year <= 99 && year_digits <= 2) year += year >= 50 ? 1900 : 2000;
    d.year = year;
    d.month = month;
    d.day = day;
    optional_time(t, d);
    check_date(t, d);
}

void load_date(State& st, const uint8_t* start, const uint8_t* end, uint32_t, bool load) {
    DateText t{st, start, start, end};
    DateParts d;
    parse_date(t, d);
    if (t.p != end) t.fail();
    if (load) {
        Cell c{TYPE_UNSET, 0, 0, 0};
        // The minutes carry the sign too: a zone of zero hours has no other.
        emit(st, *date::make_at(&c, d.year, d.month, d.day, d.time, d.zone_negative ? -d.zone_hours : d.zone_hours,
                                d.zone_negative ? -d.zone_minutes : d.zone_minutes, d.has_time));
    }
}

// Money: optional sign, optional three-letter currency code, "$", digits
// with "'" separators and an optional fraction of up to 5 digits.
void load_money(State& st, const uint8_t* start, const uint8_t* end, uint32_t, bool load) {
    const uint8_t* p = start;
    if (*p == '+' || *p == '-') ++p;
    const uint8_t* dollar = static_cast<const uint8_t*>(std::memchr(p, '$', static_cast<size_t>(end - p)));
    if (!dollar || (dollar - p != 0 && dollar - p != 3)) invalid(st, start, end, TYPE_MONEY);
    p = dollar + 1;
    if (p >= end || !is_digit(*p)) invalid(st, start, end, TYPE_MONEY);
    int integer_digits = 0, fraction = -1;
    bool leading = true;
    for (; p < end; ++p) {
        if (*p == '\'') {
            if (fraction >= 0 || p[-1] == '\'' || p + 1 >= end || !is_digit(p[1])) invalid(st, start, end, TYPE_MONEY);
        } else if (*p == '.' || *p == ',') {
            if (fraction >= 0 || p + 1 >= end) invalid(st, start, end, TYPE_MONEY);
            fraction = 0;
        } else if (is_digit(*p)) {
            if (fraction >= 0) {
                if (++fraction > 5) invalid(st, start, end, TYPE_MONEY);
            } else if (!(leading && *p == '0')) {
                leading = false;
                ++integer_digits;
            }
        } else {
            invalid(st, start, end, TYPE_MONEY);
        }
    }
    if (integer_digits > 17) invalid(st, start, end, TYPE_MONEY);
    if (load) {
        Cell money{TYPE_NONE, 0, 0, 0};
        bool negative = *start == '-';
        const uint8_t* currency = dollar - start - (*start == '+' || negative) == 3 ? dollar - 3 : nullptr;
        if (!make_money(negative, currency, dollar + 1, end, money)) invalid(st, start, end, TYPE_MONEY);
        emit(st, money);
    }
}

}  // namespace

// ---- Makers of the list datatypes -------------------------------------------------------------

// A map! of the pairs; a key map! does not accept is invalid map!.
Cell make_map(State& st, uint32_t from, uint32_t n, const uint8_t* end) {
    for (uint32_t i = 0; i < n; i += 2)
        if (!in(map::KEY_TYPES, out_cell(from + i)->type())) throw_error(st, nullptr, end, TYPE_MAP);
    Cell blk{TYPE_UNSET, 0, 0, 0};
    block::make_at(&blk, n ? n : 2);
    SeriesBuffer* s = series_of(&blk);
    Cell* cells = reinterpret_cast<Cell*>(s->offset_addr());
    for (uint32_t i = 0; i < n; ++i) {
        cells[i] = *out_cell(from + i);
        clear_new_line(&cells[i]);
    }
    s->tail = s->offset + n * static_cast<uint32_t>(sizeof(Cell));
    Cell m = blk;
    map::make_at(&m, &blk, n ? n : 2);
    return m;
}

// The money! of a checked literal through money!'s builder; false for an
// unknown currency code.
bool make_money(bool negative, const uint8_t* currency, const uint8_t* digits, const uint8_t* end, Cell& out) {
    char code[4] = {};
    if (currency) std::memcpy(code, currency, 3);
    const uint8_t* mark = digits;
    while (mark < end && *mark != '.' && *mark != ',') ++mark;
    const uint8_t* frac = mark < end ? mark + 1 : end;
    Cell slot{TYPE_UNSET, 0, 0, 0};
    if (!money::from_digits(&slot, negative, currency ? code : nullptr, digits, frac, end)) return false;
    out = slot;
    return true;
}

void load_word_as(State& st, const uint8_t* start, const uint8_t* end, uint32_t type) {
    if (end <= start || !valid_utf8(start, end)) invalid(st, start, end, type);
    emit(st, word_cell(start, end, type));
}

const uint8_t* find_unicode_blank(const uint8_t* start, const uint8_t* end) {
    const uint8_t* p = start;
    while (p < end) {
        if (*p < 0x80) {
            ++p;
            continue;
        }
        int32_t cp;
        const uint8_t* q = unicode::fast_decode_utf8_char(p, end, &cp);
        if (unicode_blank(cp)) return p;
        p = q;
    }
    return end;
}

const uint8_t* skip_unicode_blanks(State& st, const uint8_t* start, const uint8_t* end, int32_t type) {
    const uint8_t* p = start;
    while (p < end && *p >= 0x80) {
        int32_t cp;
        const uint8_t* q = unicode::fast_decode_utf8_char(p, end, &cp);
        if (cp < 0) throw_error(st, start, end, type);
        if (!unicode_blank(cp)) break;
        p = q;
    }
    return p;
}

void build_handlers() {
    for (int i = 0; i < TOKEN_TYPES; ++i) scanners[i] = loaders[i] = nullptr;
    scanners[T_EOF] = scan_eof;
    scanners[T_ERROR] = scan_error;
    scanners[T_BLOCK_OPEN] = scan_block_open;
    scanners[T_BLOCK_CLOSE] = scan_block_close;
    scanners[T_PAREN_OPEN] = scan_paren_open;
    scanners[T_PAREN_CLOSE] = scan_paren_close;
    scanners[T_BRACE_OPEN] = scan_brace_open;
    scanners[T_BRACE_CLOSE] = scan_brace_close;
    scanners[T_MAP_OPEN] = scan_map_open;
    scanners[T_PATH] = scan_path;
    scanners[T_CONSTRUCT] = scan_construct;
    scanners[T_COMMENT] = scan_comment;
    scanners[T_COMMA] = scan_comma;
    scanners[T_STRING] = load_string;
    scanners[T_WORD] = load_word;
    scanners[T_ISSUE] = load_issue;
    loaders[T_STRING] = load_string;
    loaders[T_WORD] = load_word;
    loaders[T_ISSUE] = load_issue;
    loaders[T_INTEGER] = load_integer;
    loaders[T_REFINEMENT] = load_refinement;
    loaders[T_CHAR] = load_char;
    loaders[T_FILE] = load_file;
    loaders[T_BINARY] = load_binary;
    loaders[T_PERCENT] = load_percent;
    loaders[T_FLOAT] = load_float;
    loaders[T_FLOAT_SP] = load_special_float;
    loaders[T_TUPLE] = load_tuple;
    loaders[T_DATE] = load_date;
    loaders[T_PAIR] = load_pair;
    loaders[T_POINT] = load_point;
    loaders[T_TIME] = load_time;
    loaders[T_MONEY] = load_money;
    loaders[T_TAG] = load_tag;
    loaders[T_URL] = load_url;
    loaders[T_EMAIL] = load_email;
    loaders[T_HEX] = load_hex;
    loaders[T_RAWSTRING] = load_raw_string;
    loaders[T_REF] = load_ref;
}

}  // namespace lexer
