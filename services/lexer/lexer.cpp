// Lexer front end: the scan records and their shared output stack, nesting
// of lists, the token loop of the state machine, syntax errors, trace
// events, and the scans of bytes and strings.
#include "services/lexer/lexer.h"

#include <strings.h>

#include <cstring>
#include <string>

#include "datatypes/block.h"
#include "evaluator/context.h"
#include "datatypes/datatype.h"
#include "datatypes/object.h"
#include "datatypes/string.h"
#include "datatypes/word.h"
#include "evaluator/errors.h"
#include "evaluator/interpreter.h"
#include "evaluator/symbol.h"
#include "runtime/collector.h"
#include "runtime/sys.h"
#include "runtime/unicode.h"
#include "services/lexer/lexer_state.h"

namespace lexer {

namespace {

// ---- Shared buffers ---------------------------------------------------------------

constexpr uint32_t OUTPUT_CELLS = 1000;
constexpr uint32_t CONVERSION_BYTES = 100000;

Cell* out = nullptr;  // the output stack (tracked heap; grows by doubling)
uint32_t out_capacity = 0;
uint8_t* conversion = nullptr;  // UTF-8 of string sources, used as a stack
uint32_t conversion_top = 0;
State* chain_first = nullptr;
State* chain_last = nullptr;

void grow_output() {
    uint64_t cells = uint64_t{out_capacity} * 2;
    if (cells > 0x0FFFFFFF) fire(err::NO_MEMORY);
    auto* bigger = static_cast<Cell*>(sys::try_allocate(cells * sizeof(Cell)));
    if (!bigger) fire(err::NO_MEMORY);  // the stack stays as it was
    std::memcpy(bigger, out, uint64_t{out_capacity} * sizeof(Cell));
    sys::free(out);
    out = bigger;
    out_capacity = static_cast<uint32_t>(cells);
}

bool is_marker(const Cell& c) { return c.type() == TYPE_MARKER; }

// Kind and opening delimiter of the innermost open list.
bool has_open(const State& st) { return st.list_head > st.head; }
uint32_t open_kind_of(const State& st) { return out[st.list_head - 1].data2 & 0xFFFF; }
const uint8_t* open_start_of(const State& st) { return st.input + out[st.list_head - 1].data3; }

// A new block (or paren, path...) of the output cells [from, from + n).
Cell make_list(uint32_t from, uint32_t n, uint32_t kind) {
    Cell blk{TYPE_UNSET, 0, 0, 0};
    block::make_at(&blk, n ? n : 1);
    SeriesBuffer* s = series_of(&blk);
    if (n) std::memcpy(s->offset_addr(), out + from, uint64_t{n} * sizeof(Cell));
    s->tail = s->offset + n * static_cast<uint32_t>(sizeof(Cell));
    set_type(&blk, kind);
    return blk;
}

}  // namespace

Cell text_value(const uint8_t* p, const uint8_t* e, uint32_t type) {
    std::u32string cps;
    uint32_t widest = 0;
    while (p < e) {
        int32_t cp;
        p = unicode::fast_decode_utf8_char(p, e, &cp);
        uint32_t c = cp < 0 ? 0xFFFD : static_cast<uint32_t>(cp);
        cps.push_back(c);
        if (c > widest) widest = c;
    }
    uint32_t unit = widest < 128 ? 1 : widest <= 0xFFFF ? 2 : 4;
    Cell str{TYPE_UNSET, 0, 0, 0};
    Node node = memory::alloc_codepoints(static_cast<uint32_t>(cps.size()), unit);
    SeriesBuffer* s = memory::buffer(node);
    for (uint32_t i = 0; i < cps.size(); ++i) unicode::set_char(s->offset_addr(), unit, i, cps[i]);
    s->tail = s->offset + static_cast<uint32_t>(cps.size()) * unit;
    str = Cell{type, 0, node, 0};
    return str;
}

namespace {

// ---- Positions for callbacks ----------------------------------------------------------

// Index in the source value of the byte position p (characters for a string).
uint32_t source_index(State& st, const uint8_t* p) {
    uint32_t base = st.source->head();
    if (!st.string_source) return base + static_cast<uint32_t>(p - st.input);
    if (p >= st.count_pos)
        st.count_chars += unicode::count_utf8_chars(st.count_pos, p);
    else
        st.count_chars -= unicode::count_utf8_chars(p, st.count_pos);
    st.count_pos = p;
    return base + st.count_chars;
}

const uint8_t* source_position(State& st, uint32_t index) {
    uint32_t base = st.source->head();
    if (index <= base) return st.input;
    uint32_t n = index - base;
    if (!st.string_source) return n >= st.input_end - st.input ? st.input_end : st.input + n;
    return unicode::skip_utf8_chars(st.input, st.input_end, n);
}

// ---- The token loop ---------------------------------------------------------------------

// After a path element: the path goes on at a "/", else it closes (as a
// set-path! at a ":").
void end_path_element(State& st) {
    const uint8_t* p = st.pos;
    if (p >= st.input_end) {
        close_list(st, p, p, -1, false);
        return;
    }
    uint32_t c = char_classes[*p] & 0xFF;
    if (c == C_SLASH) {
        st.pos = ++p;
        if (p >= st.input_end || *p == ':') throw_error(st, nullptr, p, TYPE_PATH);
        return;
    }
    if (c == C_COLON) {
        if (p + 1 < st.input_end && p[1] == '/') throw_error(st, nullptr, p + 1, TYPE_PATH);
        close_list(st, p, p + 1, TYPE_SET_PATH, false);
        st.pos = p + 1;
        return;
    }
    close_list(st, p, p, -1, false);
}

constexpr int FINAL_POINT = 93;

// The final states whose token ends at a delimiter the machine leaves unread
// for the token's handler to consume.
bool ends_on_delimiter(int final_state, uint8_t byte) {
    switch (final_state) {
        case 68: case 69: case 70: case 71: case 72: case 73: case 74: case 76: case 78: return true;
        case 79: case 84: case 85: return byte == '"';
        case 86: return byte == '}';
        case 87: return byte == '%';
        case 93: return byte == ')';
        case 96: return byte == '>';
        default: return false;
    }
}

void scan_tokens(State& st, bool one_value, bool prescan) {
    const uint8_t* end = st.input_end;
    while (st.pos < end) {
        const uint8_t* from = st.pos;
        int state = st.entry_state;
        int started_in = state;
        uint32_t flags = 0;
        uint32_t skipped = 0;
        int32_t lines = 0;
        const uint8_t* p = st.pos;
        int next;
        int prev = state;
        for (;;) {
            uint32_t cls;
            if (p >= end) {
                cls = C_END;
            } else {
                uint32_t entry = char_classes[*p];
                flags |= entry & 0xFFFFFF00u;
                cls = entry & 0xFF;
            }
            next = transitions[state][cls];
            if (next == 0) ++skipped;
            if (next >= FIRST_FINAL || p >= end) {
                prev = state;
                if (next < FIRST_FINAL) next = FINAL_ERROR;
                break;
            }
            if (cls == C_LF) ++lines;
            ++p;
            state = next;
        }
        const uint8_t* start = st.pos + skipped;
        st.pos = st.token_end = p;
        st.line += lines;
        st.nl_count = lines;
        st.prev_state = prev;
        st.type = state_types[next];
        st.fallback_type = -1;
        int token = next - FIRST_FINAL;

        if (prescan && next <= 79 && scanners[token]) scanners[token](st, start, p, flags, false);

        if (next == FINAL_WORD) {
            start = skip_unicode_blanks(st, start, p, TYPE_WORD);
            if (start >= p) {
                if (p < end) {
                    if (st.pos == from) ++st.pos;
                    continue;
                }
                token = T_EOF;
                next = FIRST_FINAL;
                st.type = 0;
                st.pos = end;
            }
        }

        bool go_on;
        if (st.tracer) {
            if (started_in == STATE_BRACED)
                go_on = true;
            else
                go_on = fire_event(st, EVENT_PRESCAN, st.type ? st.type : -(token + 1), nullptr, start, p);
        } else {
            go_on = !prescan;
        }

        if (go_on) {
            bool load = !one_value || st.load;
            if (next >= 79) {
                if (!st.load || scanners[token] || (st.events & EVENT_SCAN)) {
                    Handler h = scanners[token] ? scanners[token] : loaders[token];
                    h(st, start, p, flags, false);
                    if (st.tracer) load = fire_event(st, EVENT_SCAN, st.type, nullptr, start, st.pos);
                }
            } else if (!prescan && scanners[token]) {
                scanners[token](st, start, p, flags, load && st.load);
            }
            if (load && st.load && loaders[token]) {
                uint32_t before = st.tail;
                loaders[token](st, start, p, flags, true);
                if (st.tracer && st.tail > before) {
                    Cell made = *out_cell(st.tail - 1);
                    if (!fire_event(st, EVENT_LOAD, st.type, &made, start, st.pos)) st.tail = before;
                }
            }
        }

        // A token whose handler did not run (prescan mode, or a callback's
        // refusal) still moves past its closing delimiter, and a point
        // literal still ends, so that the machine always makes progress.
        // The end of the input (a NUL byte before the last one) ends the
        // scan whatever the callback answered.
        if (st.pos == p && p < end && ends_on_delimiter(next, *p)) {
            st.pos = p + 1;
            if (next == FINAL_POINT && st.entry_state == STATE_POINT) {
                st.entry_state = 0;
                st.nl_count = st.saved_nl;
            }
        }
        if (token == T_EOF) st.pos = end;
        else if (st.pos == from) ++st.pos;

        if (st.entry_state == STATE_PATH && next != FINAL_PATH_START && next != FINAL_ERROR)
            end_path_element(st);

        if ((one_value || prescan) && st.type > 0 && st.entry_state != STATE_PATH &&
            st.entry_state != STATE_BRACED && next != FINAL_PATH_START) {
            uint32_t n = st.tail - st.head;
            if (n == 0 || (n == 1 && !is_marker(out[st.head]))) return;
        }
        st.last_type = st.type;
    }
    if (st.entry_state == STATE_BRACED && st.last_type == 0)
        throw_error(st, st.brace_start, st.input_end, TYPE_STRING);
}

// Closes every open list quietly (paths and maps become blocks of their
// kind or plain blocks), so that a stopped scan keeps what it made.
void close_all(State& st) {
    while (has_open(st)) {
        uint32_t kind = open_kind_of(st);
        uint32_t m = st.list_head - 1;
        uint32_t n = st.tail - st.list_head;
        Cell blk = make_list(st.list_head, n, kind == TYPE_MAP ? TYPE_BLOCK : kind);
        blk.header |= out[m].header & FLAG_NEW_LINE;
        st.list_head = out[m].data1;
        out[m] = blk;
        st.tail = m + 1;
    }
}

// Unlinks a scan record and gives its output cells back, on every exit.
struct Link {
    State& st;
    explicit Link(State& s) : st(s) {
        st.prev = chain_last;
        st.next = nullptr;
        if (chain_last)
            chain_last->next = &st;
        else
            chain_first = &st;
        chain_last = &st;
        st.head = st.list_head = st.tail = st.prev ? st.prev->tail : 0;
    }
    ~Link() {
        if (st.prev)
            st.prev->next = nullptr;
        else
            chain_first = nullptr;
        chain_last = st.prev;
    }
};

struct ConversionMark {
    uint32_t saved = conversion_top;
    uint8_t* own = nullptr;
    ~ConversionMark() {
        conversion_top = saved;
        if (own) sys::free(own);
    }
};

}  // namespace

// ---- Output stack ---------------------------------------------------------------------

Cell* out_cell(uint32_t i) { return out + i; }

uint32_t alloc_slot(State& st) {
    if (st.tail >= out_capacity) grow_output();
    uint32_t i = st.tail++;
    out[i] = Cell{TYPE_UNSET | (st.nl_count >= 1 ? FLAG_NEW_LINE : 0u), 0, 0, 0};
    return i;
}

void emit(State& st, const Cell& value) {
    uint32_t i = alloc_slot(st);
    Cell v = value;
    v.header = (v.header & ~FLAG_NEW_LINE) | (out[i].header & FLAG_NEW_LINE);
    out[i] = v;
}

bool is_path_kind(int32_t kind) { return kind >= static_cast<int32_t>(TYPE_PATH) && kind <= static_cast<int32_t>(TYPE_GET_PATH); }

// ---- Nesting ----------------------------------------------------------------------------

void open_list(State& st, uint32_t kind, const uint8_t* start, const uint8_t* end) {
    if (!fire_event(st, EVENT_OPEN, static_cast<int32_t>(kind), nullptr, start, end)) return;
    uint32_t i = alloc_slot(st);
    out[i].header = (out[i].header & FLAG_NEW_LINE) | TYPE_MARKER;
    out[i].data1 = st.list_head;
    out[i].data2 = kind;
    out[i].data3 = static_cast<uint32_t>(start - st.input);
    st.list_head = i + 1;
    st.entry_state = 0;
}

void close_list(State& st, const uint8_t* start, const uint8_t* end, int32_t kind, bool quiet) {
    bool open = has_open(st);
    int32_t open_kind = open ? static_cast<int32_t>(open_kind_of(st)) : kind;
    if (!quiet && st.tracer) {
        const uint8_t* from = open ? open_start_of(st) : start;
        if (!fire_event(st, EVENT_CLOSE, open_kind, nullptr, from, end)) {
            st.entry_state = 0;
            return;
        }
    }
    if (!open) {
        st.open_kind = kind;
        throw_error(st, nullptr, end, -3);
    }
    int32_t result = open_kind;
    if (kind != -1 && kind != open_kind) {
        if (kind == TYPE_BLOCK && open_kind == TYPE_MAP) {
            result = TYPE_MAP;
        } else if (kind == TYPE_SET_PATH && is_path_kind(open_kind)) {
            if (open_kind != TYPE_PATH) {
                st.open_kind = open_kind;
                throw_error(st, nullptr, end, TYPE_PATH);
            }
            result = TYPE_SET_PATH;
        } else {
            st.open_kind = open_kind;
            throw_error(st, nullptr, end, -3);
        }
    }
    uint32_t m = st.list_head - 1;
    uint32_t n = st.tail - st.list_head;
    Cell value;
    if (result == TYPE_MAP) {
        if (st.load) {
            if (n % 2) throw_error(st, nullptr, end, TYPE_MAP);
            value = make_map(st, st.list_head, n, end);
        } else {
            value = Cell{TYPE_NONE, 0, 0, 0};
        }
    } else {
        value = make_list(st.list_head, n, static_cast<uint32_t>(result));
    }
    value.header = (value.header & ~FLAG_NEW_LINE) | (out[m].header & FLAG_NEW_LINE);
    st.list_head = out[m].data1;
    out[m] = value;
    st.tail = m + 1;
    st.type = result;
    st.entry_state = has_open(st) && is_path_kind(static_cast<int32_t>(open_kind_of(st))) ? STATE_PATH : 0;
}

// ---- Errors ------------------------------------------------------------------------------

// Hands the scan's top-level values to `st.into` (appended at its tail) or
// to the slot: the first value alone for a one-value scan, else a new block.
void deliver(State& st, Cell* slot) {
    uint32_t n = st.tail - st.head;
    if (st.one && !st.block_output && n >= 1) {
        Cell v = out[st.head];
        if (st.into)
            block::rs_append(st.into, &v);
        else
            *slot = v;
    } else if (st.into) {
        for (uint32_t i = 0; i < n; ++i) {
            Cell v = out[st.head + i];
            block::rs_append(st.into, &v);
        }
    } else {
        *slot = make_list(st.head, n, TYPE_BLOCK);
    }
}

void throw_error(State& st, const uint8_t* start, const uint8_t* end, int32_t type) {
    if (!st.load) {
        st.type = TYPE_ERROR;
        throw Stop{};
    }
    if (!start) start = has_open(st) ? open_start_of(st) : st.input;
    if (st.tracer) {
        if (st.entry_state == STATE_PATH && has_open(st) && is_path_kind(static_cast<int32_t>(open_kind_of(st))))
            close_list(st, st.pos, st.pos, -1, true);
        int32_t t = type > 0 ? type
                    : st.open_kind ? st.open_kind
                    : st.type      ? st.type
                    : st.fallback_type > 0 ? st.fallback_type
                                           : static_cast<int32_t>(TYPE_ERROR);
        if (!fire_event(st, EVENT_ERROR, t, nullptr, start, end)) throw Stop{};
    }
    // The excerpt: from start to a line feed, the input end or past 30 bytes.
    const uint8_t* p = start;
    while (p < st.input_end && *p != '\n' && p - start < 30) {
        uint32_t n = unicode::utf8_lead_size(*p);
        p += n ? n : 1;
        if (p > st.input_end) p = st.input_end;
    }
    Cell excerpt = text_value(start, p);
    std::string line = "(line " + std::to_string(st.line) + ")";
    Cell prefix = text_value(reinterpret_cast<const uint8_t*>(line.data()),
                             reinterpret_cast<const uint8_t*>(line.data()) + line.size());
    int32_t open_kind = st.open_kind;
    st.open_kind = 0;
    if (is_path_kind(open_kind)) type = -1;
    close_all(st);
    // A target block keeps the values made before the error, as a quiet
    // stop would (load/trap hands them back with the error).
    if (st.into) deliver(st, nullptr);
    switch (type) {
        case -1: fire(err::BAD_CHAR, &prefix, &excerpt);
        case -2: fire(err::MALCONSTRUCT, &prefix, &excerpt);
        case -3:
        case -4: {
            uint32_t examined = '_';
            if (type == -3) {
                if (st.pos < st.input_end)
                    examined = *st.pos;
                else if (st.pos > st.input)
                    examined = st.pos[-1];
            }
            uint32_t missing = 0;
            if (open_kind == TYPE_BLOCK || open_kind == TYPE_MAP)
                missing = examined == ']' ? '[' : ']';
            else if (open_kind == TYPE_PAREN || open_kind == TYPE_POINT2D)
                missing = examined == ')' ? '(' : ')';
            Cell ch{TYPE_CHAR, 0, missing, 0};
            fire(err::MISSING, &prefix, &ch, &excerpt);
        }
        default: {
            Cell dt;
            datatype::make_at(&dt, type > 0 ? static_cast<uint32_t>(type) : TYPE_ERROR);
            fire(err::INVALID, &prefix, &dt, &excerpt);
        }
    }
}

// ---- Trace events --------------------------------------------------------------------------

const char* event_name(uint32_t event) {
    switch (event) {
        case EVENT_PRESCAN: return "prescan";
        case EVENT_SCAN: return "scan";
        case EVENT_LOAD: return "load";
        case EVENT_OPEN: return "open";
        case EVENT_CLOSE: return "close";
        case EVENT_ERROR: return "error";
        default: return nullptr;
    }
}

uint32_t event_mask(const Cell* spec) {
    if (!spec || spec->type() != TYPE_BLOCK) return EVENT_ALL;
    uint32_t mask = 0;
    uint32_t n = block::rs_length_q(spec);
    for (uint32_t i = 0; i < n; ++i) {
        const Cell* c = block::rs_head(spec) + i;
        if (c->type() != TYPE_WORD) continue;
        const char* name = symbol::text(symbol::resolve(c->symbol()));
        for (uint32_t bit = 1; bit < EVENT_ALL; bit <<= 1)
            if (strcasecmp(name, event_name(bit)) == 0) mask |= bit;
    }
    return mask;
}

// system/lexer/exit-states as it is now; none when there is no such field.
Cell exit_states() {
    const Cell* sys = context::get(word::load("system"));
    if (sys->type() != TYPE_OBJECT) return Cell{TYPE_NONE, 0, 0, 0};
    const Cell* lex = object::select_word(sys, word::load("lexer"));
    if (!lex || lex->type() != TYPE_OBJECT) return Cell{TYPE_NONE, 0, 0, 0};
    const Cell* kinds = object::select_word(lex, word::load("exit-states"));
    return kinds ? *kinds : Cell{TYPE_NONE, 0, 0, 0};
}

bool fire_event(State& st, uint32_t event, int32_t type, const Cell* value, const uint8_t* start,
                const uint8_t* end) {
    if (!st.tracer) return true;
    if (event == EVENT_SCAN && type == -2) {
        event = EVENT_ERROR;
        type = TYPE_ERROR;
    }
    if (!(st.events & event)) return true;
    if ((type == TYPE_POINT2D || type == TYPE_POINT3D) && start > st.input) --start;
    const uint8_t* at = (event == EVENT_OPEN || (event == EVENT_PRESCAN && type < 0)) ? start : end;
    Cell input{TYPE_NONE, 0, 0, 0};
    uint32_t index = 0;
    if (st.source) {
        input = *st.source;
        index = source_index(st, at);
        input.data1 = index;
    }
    Cell type_cell{TYPE_NONE, 0, 0, 0};
    if (type > 0) {
        datatype::make_at(&type_cell, static_cast<uint32_t>(type));
    } else if (type < 0) {
        // A structural token: its word in the block of token kinds
        // (system/lexer/exit-states), found by token type + 1.
        Cell kinds = exit_states();
        uint32_t t = static_cast<uint32_t>(-type);
        if (kinds.type() == TYPE_BLOCK && t <= block::rs_length_q(&kinds)) type_cell = block::rs_clamp_head(&kinds)[t - 1];
    }
    Cell token;
    if (value) {
        token = *value;
    } else {
        uint32_t from = st.source ? source_index(st, start) : static_cast<uint32_t>(start - st.input);
        uint32_t to = st.source ? source_index(st, end) : static_cast<uint32_t>(end - st.input);
        token = Cell{TYPE_PAIR, 0, from + 1, to + 1};
    }
    bool answer = st.tracer->call(st.tracer->context, event, &input, &type_cell, st.line, &token);
    if (st.source && input.data1 != index) st.pos = source_position(st, input.data1);
    return answer;
}

// ---- Scans ---------------------------------------------------------------------------------

int32_t scan(Cell* slot, const uint8_t* src, uint32_t size, bool one_value, bool scan_only, bool prescan,
             uint32_t* consumed, const Tracer* tracer, const Cell* source, Cell* into, bool block_output) {
    State st{};
    Link link(st);
    st.input = st.pos = st.token_end = src;
    st.input_end = src + size;
    st.line = 1;
    st.fallback_type = -1;
    st.tracer = tracer;
    st.events = tracer ? tracer->events : 0;
    st.source = source;
    st.into = into;
    st.one = one_value || scan_only;
    st.block_output = block_output;
    st.string_source = source && source->type() != TYPE_BINARY;
    st.count_pos = src;
    st.load = !prescan && !scan_only;
    bool one = st.one;
    try {
        scan_tokens(st, one, prescan && !scan_only);
        if (has_open(st)) {
            if (!st.load) {
                st.type = TYPE_ERROR;
            } else {
                int32_t kind = static_cast<int32_t>(open_kind_of(st));
                if (is_path_kind(kind)) throw_error(st, st.pos, st.pos, TYPE_PATH);
                st.open_kind = kind;
                throw_error(st, open_start_of(st), st.input_end, -4);
            }
        }
    } catch (const Stop&) {
        close_all(st);
    }
    if (st.load) deliver(st, slot);
    if (consumed) {
        const uint8_t* stop = st.pos > st.input_end ? st.input_end : st.pos;
        *consumed = st.string_source ? unicode::count_utf8_chars(st.input, stop)
                                     : static_cast<uint32_t>(stop - st.input);
    }
    return st.type;
}

int32_t scan_string(Cell* slot, Cell* str, int32_t length, bool one_value, bool scan_only, bool prescan,
                    uint32_t* consumed, const Tracer* tracer, Cell* into, bool block_output) {
    uint32_t available = string::rs_length_q(str);
    uint32_t n = length < 0 || static_cast<uint32_t>(length) > available ? available : static_cast<uint32_t>(length);
    uint32_t unit = series_of(str)->unit();
    uint64_t room = uint64_t{n} * (unit == 4 ? 4 : unit + 1) + 1;
    ConversionMark mark;
    uint8_t* dst;
    if (conversion_top + room <= CONVERSION_BYTES) {
        dst = conversion + conversion_top;
        conversion_top += static_cast<uint32_t>(room);
    } else {
        mark.own = static_cast<uint8_t*>(sys::try_allocate(room));
        if (!mark.own) fire(err::NO_MEMORY);
        dst = mark.own;
    }
    uint32_t bytes = unicode::to_utf8_buffer(str, dst, static_cast<int32_t>(n), false);
    Cell source = *str;
    return scan(slot, dst, bytes, one_value, scan_only, prescan, consumed, tracer, &source, into, block_output);
}

Cell* load_value(Cell* text, Cell* slot) {
    uint32_t consumed = 0;
    uint32_t length = string::rs_length_q(text);
    *slot = Cell{TYPE_UNSET, 0, 0, 0};
    scan_string(slot, text, -1, false, false, false, &consumed, nullptr, nullptr, true);
    if (consumed < length) {
        *slot = Cell{TYPE_NONE, 0, 0, 0};
    } else if (block::rs_length_q(slot) == 0) {
        *slot = Cell{TYPE_UNSET, 0, 0, 0};
    } else {
        *slot = *block::rs_clamp_head(slot);
        clear_new_line(slot);
    }
    return slot;
}

// ---- Runtime ----------------------------------------------------------------------------

// The whole text of a string loaded into a new block in `out` (what `do`
// evaluates for a string). Installed as interpreter::load_hook.
static Cell* load_block(const Cell* text, Cell* out) {
    Cell source = *text;
    uint32_t consumed = 0;
    scan_string(out, &source, -1, false, false, false, &consumed);
    return out;
}

void init() {
    build_tables();
    build_handlers();
    out = static_cast<Cell*>(sys::allocate(OUTPUT_CELLS * sizeof(Cell)));
    out_capacity = OUTPUT_CELLS;
    conversion = static_cast<uint8_t*>(sys::allocate(CONVERSION_BYTES));
    conversion_top = 0;
    chain_first = chain_last = nullptr;
    word::load_value_hook = load_value;
    interpreter::load_hook = load_block;
    block::scan_hook = [](Cell* text, Cell* slot) {
        uint32_t consumed = 0;
        scan_string(slot, text, -1, false, false, false, &consumed);
        return slot;
    };
    collector::register_mark_callback([] { mark_buffers(collector::mark_block); });
}

void mark_buffers(void (*mark_cells)(Cell* first, Cell* end)) {
    if (!chain_last || !out) return;
    uint32_t end = chain_last->tail;
    uint32_t i = 0;
    while (i < end) {
        while (i < end && is_marker(out[i])) ++i;
        uint32_t j = i;
        while (j < end && !is_marker(out[j])) ++j;
        if (j > i) mark_cells(out + i, out + j);
        i = j;
    }
}

}  // namespace lexer
