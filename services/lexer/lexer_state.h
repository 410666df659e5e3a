// The lexer's internals shared by its front end, tokenizer and loaders: the
// scan state record, the character classes and the state machine's tables.
#pragma once
#include <cstdint>

#include "services/lexer/lexer.h"

namespace lexer {

// ---- Character classes ---------------------------------------------------------

enum CharClass : uint8_t {
    C_BLANK, C_LF, C_DIGIT, C_ZERO, C_BLOCK_OPEN, C_BLOCK_CLOSE, C_PAREN_OPEN, C_PAREN_CLOSE,
    C_BRACE_OPEN, C_BRACE_CLOSE, C_DQUOTE, C_SHARP, C_QUOTE, C_COLON, C_X, C_T, C_H, C_E_LOW,
    C_E_UP, C_HEX_LOW, C_HEX_UP, C_SLASH, C_BACKSLASH, C_LESS, C_GREATER, C_EQUAL, C_PERCENT,
    C_COMMA, C_SEMICOLON, C_AT, C_DOT, C_DOLLAR, C_PLUS, C_MINUS, C_CARET, C_CONTROL, C_ILLEGAL,
    C_WORD, C_BAD_LEAD, C_END,
    CLASS_COUNT
};

// Token flags: ORed over the bytes of a token (bits above the class byte).
constexpr uint32_t F_BRACE_NL = 0x00020000;  // a line feed came before a braced string
constexpr uint32_t F_PERCENT = 0x00040000;
constexpr uint32_t F_GREATER = 0x00080000;
constexpr uint32_t F_LESS = 0x00100000;
constexpr uint32_t F_SIGN = 0x00200000;
constexpr uint32_t F_END = 0x00400000;
constexpr uint32_t F_SHARP = 0x00800000;
constexpr uint32_t F_EXP = 0x01000000;
constexpr uint32_t F_QUOTE = 0x02000000;
constexpr uint32_t F_COLON = 0x04000000;
constexpr uint32_t F_COMMA = 0x08000000;
constexpr uint32_t F_DOT = 0x10000000;
constexpr uint32_t F_CARET = 0x20000000;
constexpr uint32_t F_UTF8_23 = 0x40000000;
constexpr uint32_t F_UTF8_4 = 0x80000000;

// ---- State machine ----------------------------------------------------------------

constexpr int SCAN_STATES = 65;   // 0-64 scan; 66-101 final
constexpr int FIRST_FINAL = 66;
constexpr int LAST_FINAL = 101;
constexpr int STATE_BRACED = 4;
constexpr int STATE_POINT = 35;
constexpr int STATE_PATH = 59;
constexpr int FINAL_ERROR = 67;
constexpr int FINAL_WORD = 80;
constexpr int FINAL_PATH_START = 75;
constexpr int TOKEN_TYPES = 36;

// Token types (final state - 66).
enum Token : int {
    T_EOF, T_ERROR, T_BLOCK_OPEN, T_BLOCK_CLOSE, T_PAREN_OPEN, T_PAREN_CLOSE, T_BRACE_OPEN,
    T_BRACE_CLOSE, T_MAP_OPEN, T_PATH, T_CONSTRUCT, T_COMMENT, T_COMMA, T_STRING, T_WORD,
    T_ISSUE, T_INTEGER, T_REFINEMENT, T_CHAR, T_FILE, T_BINARY, T_PERCENT, T_FLOAT, T_FLOAT_SP,
    T_TUPLE, T_DATE, T_PAIR, T_POINT, T_TIME, T_MONEY, T_TAG, T_URL, T_EMAIL, T_HEX, T_RAWSTRING,
    T_REF
};

extern uint32_t char_classes[256];                 // class | flags
extern uint8_t transitions[SCAN_STATES][CLASS_COUNT];
extern uint8_t state_types[LAST_FINAL + 1];        // datatype id per state (0 none)
void build_tables();

// Internal type of the list marker cells on the output stack.
constexpr uint32_t TYPE_MARKER = 31;

// ---- The scan record ----------------------------------------------------------------

struct State {
    State* next;
    State* prev;
    uint32_t head;       // output stack index of this scan's first cell
    uint32_t list_head;  // first cell of the innermost open list
    uint32_t tail;       // next free output cell
    const uint8_t* input;
    const uint8_t* input_end;
    const uint8_t* pos;
    const uint8_t* token_end;
    int32_t line;
    int32_t nl_count;
    int32_t fallback_type;
    int32_t type;
    int32_t entry_state;
    int32_t prev_state;
    int32_t open_kind;
    int32_t last_type;
    const uint8_t* brace_start;
    int32_t brace_depth;
    uint32_t brace_flags;
    int32_t brace_nl;
    int32_t saved_nl;
    const Tracer* tracer;
    uint32_t events;
    const Cell* source;
    Cell* into;         // where the values go instead of a new block, or null
    bool one;           // stop after the first value
    bool block_output;  // a block even for one value
    bool load;
    bool string_source;
    const uint8_t* count_pos;
    uint32_t count_chars;
};

// A quiet end of the scan (a callback's refusal, an error in scan modes).
struct Stop {};

// ---- Front end services (lexer.cpp) ---------------------------------------------------

// The output cell at index i (valid until the next alloc_slot).
Cell* out_cell(uint32_t i);
// A new output cell (unset!, new-line flag from nl_count); its index.
uint32_t alloc_slot(State& st);
// Stores a made value in a new output cell, keeping that cell's new-line flag.
void emit(State& st, const Cell& value);
[[noreturn]] void throw_error(State& st, const uint8_t* start, const uint8_t* end, int32_t type);
bool fire_event(State& st, uint32_t event, int32_t type, const Cell* value, const uint8_t* start,
                const uint8_t* end);
void open_list(State& st, uint32_t kind, const uint8_t* start, const uint8_t* end);
void close_list(State& st, const uint8_t* start, const uint8_t* end, int32_t kind, bool quiet);
bool is_path_kind(int32_t kind);
// A value of the string family (string! by default) from UTF-8 text, taken
// as it stands; bytes that do not decode become U+FFFD.
Cell text_value(const uint8_t* p, const uint8_t* e, uint32_t type = TYPE_STRING);

// ---- Scanners and loaders (loaders.cpp) ---------------------------------------------

using Handler = void (*)(State& st, const uint8_t* start, const uint8_t* end, uint32_t flags, bool load);
extern Handler scanners[TOKEN_TYPES];
extern Handler loaders[TOKEN_TYPES];
void build_handlers();
// The map! of the n output cells from `from` (keys and values alternating);
// a key of a datatype that map! does not accept is invalid map!.
Cell make_map(State& st, uint32_t from, uint32_t n, const uint8_t* end);
// The money! of a checked literal: sign, the three-letter currency code (or
// null), the digits from after the "$" to `end` ("'" separators and one "."
// or "," allowed); false when it cannot be made (an unknown currency), which
// the loader reports as invalid money!.
bool make_money(bool negative, const uint8_t* currency, const uint8_t* digits, const uint8_t* end, Cell& out);
// Loads a word token as a plain word (path heads).
void load_word_as(State& st, const uint8_t* start, const uint8_t* end, uint32_t type);
// Skips Unicode blanks; the first position that holds none.
const uint8_t* skip_unicode_blanks(State& st, const uint8_t* start, const uint8_t* end, int32_t type);
// Start of the first Unicode blank in [start, end), or end.
const uint8_t* find_unicode_blank(const uint8_t* start, const uint8_t* end);

}  // namespace lexer
