// Lexer tables: the byte classes and the tokenizer's state machine, built
// once at start-up from the rows below (one per scanning state: the target
// of most classes, then the exceptions as "classes -> target" groups).
#include <cstring>
#include <string>

#include "services/lexer/lexer_state.h"
#include "runtime/sys.h"

namespace lexer {

uint32_t char_classes[256];
uint8_t transitions[SCAN_STATES][CLASS_COUNT];
uint8_t state_types[LAST_FINAL + 1];

namespace {

struct Row {
    int state;
    int other;
    const char* exceptions;
};

// clang-format off
const Row rows[SCAN_STATES] = {
    {0, 52, "blank lf control -> 0 | ; -> 1 | \" -> 2 | % -> 6 | / -> 13 | # -> 16 | digit zero -> 23 | $ -> 36 |"
            " E hex-upper -> 40 | < -> 43 | + - -> 47 | . -> 49 | ' : -> 51 | @ -> 57 | = -> 58 | end -> 66 |"
            " } backslash illegal bad-lead -> 67 | [ -> 68 | ] -> 69 | ( -> 70 | ) -> 71 | { -> 72 | , -> 78"},
    {1, 1, "bad-lead -> 67 | lf end -> 77"},
    {2, 2, "^ -> 3 | lf bad-lead end -> 67 | \" -> 79"},
    {3, 2, "bad-lead end -> 67"},
    {4, 4, "^ -> 5 | bad-lead end -> 67 | { -> 72 | } -> 73"},
    {5, 4, "bad-lead end -> 67"},
    {6, 7, "\" -> 8 | % -> 9 | { -> 10 | : -> 54 | bad-lead -> 67 | blank lf [ ] ( ) } ; @ control end -> 80"},
    {7, 7, "\" bad-lead -> 67 | blank lf [ ] ( ) { } : ; @ end -> 85"},
    {8, 8, "lf bad-lead end -> 67 | \" -> 85"},
    {9, 7, "% -> 9 | { -> 10 | bad-lead -> 67 | blank lf [ ] ( ) } \" backslash ; control end -> 80"},
    {10, 10, "} -> 11 | bad-lead end -> 67"},
    {11, 10, "} -> 11 | % -> 12 | bad-lead end -> 67"},
    {12, 67, "% -> 12 | blank lf [ ] ( ) { \" < ; control end -> 100"},
    {13, 14, "/ -> 15 | : -> 53 | , bad-lead -> 67 | blank lf [ ] ( ) { } \" # ; @ control end -> 80"},
    {14, 14, ": , bad-lead -> 67 | blank lf [ ] ( ) { } \" / ; @ control end -> 83"},
    {15, 52, "/ -> 15 | % , $ bad-lead -> 67 | blank lf [ ] ( ) { } \" # ; @ control end -> 80"},
    {16, 22, "{ -> 17 | \" -> 19 | ( -> 21 | blank lf ] ) } : < > , bad-lead -> 67 | [ -> 74 | ; @ control end -> 81"},
    {17, 67, "blank lf digit zero x T h e E hex-lower hex-upper / = + word -> 17 | ; -> 18 | } -> 86"},
    {18, 18, "lf -> 17 | bad-lead end -> 67"},
    {19, 19, "^ -> 20 | bad-lead end -> 67 | \" -> 84"},
    {20, 19, "bad-lead end -> 67"},
    {21, 21, "bad-lead end -> 67 | ) -> 76"},
    {22, 22, ": / bad-lead -> 67 | blank lf [ ] ( ) { } \" ; @ control end -> 81"},
    {23, 82, "# -> 16 | digit zero ' -> 23 | . -> 24 | e -> 26 | E -> 27 | T / - -> 30 | : -> 31 | x -> 33 |"
             " hex-upper -> 39 | h -> 42 | @ -> 56 | hex-lower backslash > = $ + ^ illegal word bad-lead -> 67 | % -> 87"},
    {24, 67, "digit zero ' -> 25 | e E -> 26 | # -> 28 | x -> 33 | % -> 87 |"
             " blank lf [ ] ( ) { } \" / < , ; control end -> 88"},
    {25, 88, "digit zero ' -> 25 | e E -> 26 | . -> 29 | x -> 33 | @ -> 56 |"
             " # T h hex-lower hex-upper backslash > = $ + - ^ illegal word bad-lead -> 67 | % -> 87"},
    {26, 67, "digit zero + - -> 26 | @ -> 56 | blank lf [ ] ( ) { } \" : / < , ; control end -> 88"},
    {27, 88, "+ - -> 26 | digit zero -> 27 | . -> 29 | E hex-upper -> 40 | h -> 42 | @ -> 56 |"
             " # ' x T e hex-lower backslash > = ; $ ^ illegal word bad-lead -> 67 | % -> 87"},
    {28, 89, "x T h e E hex-lower hex-upper > = . + - illegal word -> 28 | # ' : % @ $ ^ bad-lead -> 67 | digit -> 88"},
    {29, 67, "digit zero . -> 29 | blank lf [ ] ( ) { } \" : / < ; control end -> 90"},
    {30, 30, "% , @ ^ illegal bad-lead -> 67 | blank lf [ ] ( ) { } \" < ; $ control end -> 91"},
    {31, 67, "digit zero -> 32"},
    {32, 67, "digit zero : . -> 32 | blank lf [ ] ( ) { } \" / < ; control end -> 94"},
    {33, 67, "digit zero + - -> 34 | @ -> 56"},
    {34, 67, "digit zero e E . -> 34 | @ -> 56 | blank lf [ ] ( ) { } \" : / < ; control end -> 92"},
    {35, 67, "blank digit zero ] # e E hex-lower hex-upper , . + - word -> 35 | ) -> 93"},
    {36, 67, "digit zero -> 37"},
    {37, 67, "digit zero ' -> 37 | . -> 38 | blank lf [ ] ( ) { } \" # : / < ; control end -> 95"},
    {38, 67, "digit zero ' -> 38 | blank lf [ ] ( ) { } \" # : / < ; control end -> 95"},
    {39, 67, "digit zero E hex-upper -> 39 | h -> 41 | @ -> 56"},
    {40, 80, "$ -> 37 | digit zero E hex-upper -> 40 | h -> 41 | ' x T e hex-lower < > = . + - ^ illegal word -> 52 |"
             " : -> 53 | @ -> 56 | % , bad-lead -> 67 | / -> 75"},
    {41, 52, "$ -> 37 | : -> 53 | @ -> 56 | # % , bad-lead -> 67 | / -> 75 |"
             " blank lf [ ] ( ) { } \" backslash ; control end -> 99"},
    {42, 67, "$ -> 37 | @ -> 56 | / -> 75 | blank lf [ ] ( ) { } \" backslash < ; control end -> 99"},
    {43, 44, "< -> 43 | ' -> 46 | > = - -> 52 | : -> 53 | bad-lead -> 67 | blank lf [ ] ( ) { } \" ; control end -> 80"},
    {44, 44, "\" -> 45 | ' -> 46 | bad-lead end -> 67 | > -> 96"},
    {45, 45, "\" -> 44 | bad-lead end -> 67"},
    {46, 46, "' -> 44 | bad-lead end -> 67"},
    {47, 52, "digit zero -> 23 | $ -> 37 | . -> 49 | ' % ^ bad-lead -> 67 | / -> 75 |"
             " blank lf [ ] ( ) { } \" # backslash ; control end -> 80"},
    {48, 52, "' % $ ^ bad-lead -> 67 | / -> 75 | blank lf [ ] ( ) { } \" # backslash ; control end -> 80"},
    {49, 52, "digit zero + - -> 50 | : -> 53 | @ -> 56 | % , $ bad-lead -> 67 | / -> 75 |"
             " blank lf [ ] ( ) { } \" # backslash ; control end -> 80"},
    {50, 67, "x -> 33 | digit zero e E + - -> 50 | @ -> 56 | % -> 87 | blank lf [ ] ( ) { } \" : / < control end -> 88"},
    {51, 67, "/ -> 13 | < -> 43 | + - -> 48 | x T h e E hex-lower hex-upper > . ^ illegal word -> 52 | % -> 54 | = -> 58"},
    {52, 52, "$ -> 36 | : -> 53 | @ -> 56 | % , bad-lead -> 67 | / -> 75 |"
             " blank lf [ ] ( ) { } \" # backslash < ; control end -> 80"},
    {53, 55, "< bad-lead -> 67 | blank lf [ ] ( ) { } \" backslash ; control end -> 80"},
    {54, 67, "% -> 54 | blank lf [ ] ( ) { } backslash ; control end -> 80"},
    {55, 55, "> ^ bad-lead -> 67 | blank lf [ ] ( ) { } \" backslash < ; control end -> 97"},
    {56, 98, "digit zero x T h e E hex-lower hex-upper % . + - illegal word -> 56 | # ' : > = , @ $ ^ bad-lead -> 67"},
    {57, 57, "# ' backslash > = , @ $ ^ bad-lead -> 67 | blank lf [ ] ( ) { } \" < ; control end -> 101"},
    {58, 52, "# % , @ $ bad-lead -> 67 | / -> 75 | blank lf [ ] ( ) { } \" : backslash ; control end -> 80"},
    {59, 67, "\" -> 2 | $ -> 36 | < -> 43 | @ -> 57 | digit zero -> 60 | ' : -> 61 |"
             " x T h e E hex-lower hex-upper > = . illegal word -> 62 | # -> 63 | + - -> 64 | ( -> 70 | ) -> 71"},
    {60, 67, ". -> 24 | e E -> 26 | x -> 33 | @ -> 56 | digit zero ' -> 60 |"
             " blank lf [ ] ( ) { } \" : / < ; control end -> 82 | % -> 87"},
    {61, 67, "x T h e E hex-lower hex-upper < > = . + - illegal word -> 62"},
    {62, 62, "$ -> 36 | @ -> 56 | # % , bad-lead -> 67 | blank lf [ ] ( ) { } \" : / backslash ; control end -> 80"},
    {63, 22, "\" -> 19 | [ -> 21 | blank lf ] ( ) { } : / < > = , ; @ control bad-lead end -> 67"},
    {64, 80, "$ -> 36 | @ -> 56 | digit zero -> 60 | x T h e E hex-lower hex-upper > = . illegal word -> 62 |"
             " + - -> 64 | # ' < % , ^ bad-lead -> 67"},
};

// Datatype of each state (0 when it stands for none).
const uint8_t types_of_states[LAST_FINAL + 1] = {
    /*  0 */ 0, 0, TYPE_STRING, TYPE_STRING, TYPE_STRING, TYPE_STRING, TYPE_FILE, TYPE_FILE, TYPE_FILE, TYPE_FILE,
    /* 10 */ TYPE_STRING, TYPE_STRING, TYPE_STRING, TYPE_REFINEMENT, TYPE_REFINEMENT, TYPE_WORD, TYPE_ISSUE,
    /* 17 */ TYPE_BINARY, TYPE_BINARY, TYPE_CHAR, TYPE_CHAR, 0, TYPE_ISSUE, TYPE_INTEGER, TYPE_FLOAT, TYPE_FLOAT,
    /* 26 */ TYPE_FLOAT, TYPE_FLOAT, TYPE_FLOAT, TYPE_TUPLE, TYPE_DATE, TYPE_TIME, TYPE_TIME, TYPE_PAIR, TYPE_PAIR,
    /* 35 */ TYPE_POINT2D, TYPE_MONEY, TYPE_MONEY, TYPE_MONEY, 0, TYPE_INTEGER, TYPE_WORD, TYPE_INTEGER, TYPE_TAG,
    /* 44 */ TYPE_TAG, TYPE_TAG, TYPE_TAG, TYPE_WORD, TYPE_WORD, TYPE_WORD, TYPE_FLOAT, TYPE_WORD, TYPE_WORD,
    /* 53 */ TYPE_SET_WORD, TYPE_WORD, TYPE_URL, TYPE_EMAIL, TYPE_REF, TYPE_WORD, TYPE_PATH, TYPE_INTEGER, TYPE_WORD,
    /* 62 */ TYPE_WORD, TYPE_ISSUE, TYPE_WORD, 0,
    /* 66 end .. 78 , */ 0, TYPE_ERROR, 0, 0, 0, 0, 0, TYPE_STRING, 0, 0, 0, 0, 0,
    /* 79 */ TYPE_STRING, TYPE_WORD, TYPE_ISSUE, TYPE_INTEGER, TYPE_REFINEMENT, TYPE_CHAR, TYPE_FILE, TYPE_BINARY,
    /* 87 */ TYPE_PERCENT, TYPE_FLOAT, TYPE_FLOAT, TYPE_TUPLE, TYPE_DATE, TYPE_PAIR, TYPE_POINT2D, TYPE_TIME,
    /* 95 */ TYPE_MONEY, TYPE_TAG, TYPE_URL, TYPE_EMAIL, TYPE_INTEGER, TYPE_STRING, TYPE_REF,
};
// clang-format on

int class_named(const std::string& name) {
    static const char* const names[CLASS_COUNT] = {
        "blank", "lf", "digit", "zero", "[", "]", "(", ")", "{", "}", "\"", "#", "'", ":",
        "x", "T", "h", "e", "E", "hex-lower", "hex-upper", "/", "backslash", "<", ">", "=", "%",
        ",", ";", "@", ".", "$", "+", "-", "^", "control", "illegal", "word", "bad-lead", "end"};
    for (int i = 0; i < CLASS_COUNT; ++i)
        if (name == names[i]) return i;
    return -1;
}

void build_classes() {
    for (int b = 0; b < 256; ++b) {
        uint32_t c = C_WORD;
        if (b == '\t' || b == '\r' || b == ' ') c = C_BLANK;
        else if (b == '\n') c = C_LF;
        else if (b >= '1' && b <= '9') c = C_DIGIT;
        else if (b == '0') c = C_ZERO;
        else if (b == 0) c = C_END | F_END;
        else if (b < 32) c = C_CONTROL;
        else if (b >= 127 && b <= 191) c = C_ILLEGAL;
        else if (b == 192 || b == 193 || b >= 248) c = C_BAD_LEAD;
        else if (b >= 194 && b <= 239) c = C_WORD | F_UTF8_23;
        else if (b >= 240) c = C_WORD | F_UTF8_4;
        else if ((b >= 'a' && b <= 'd') || b == 'f') c = C_HEX_LOW;
        else if ((b >= 'A' && b <= 'D') || b == 'F') c = C_HEX_UP;
        else {
            switch (b) {
                case '[': c = C_BLOCK_OPEN; break;
                case ']': c = C_BLOCK_CLOSE; break;
                case '(': c = C_PAREN_OPEN; break;
                case ')': c = C_PAREN_CLOSE; break;
                case '{': c = C_BRACE_OPEN; break;
                case '}': c = C_BRACE_CLOSE; break;
                case '"': c = C_DQUOTE; break;
                case '#': c = C_SHARP | F_SHARP; break;
                case '\'': c = C_QUOTE | F_QUOTE; break;
                case ':': c = C_COLON | F_COLON; break;
                case 'x': case 'X': c = C_X; break;
                case 'T': c = C_T; break;
                case 'h': c = C_H; break;
                case 'e': c = C_E_LOW | F_EXP; break;
                case 'E': c = C_E_UP | F_EXP; break;
                case '/': c = C_SLASH; break;
                case '\\': c = C_BACKSLASH; break;
                case '<': c = C_LESS | F_LESS; break;
                case '>': c = C_GREATER | F_GREATER; break;
                case '=': c = C_EQUAL; break;
                case '%': c = C_PERCENT | F_PERCENT; break;
                case ',': c = C_COMMA | F_COMMA; break;
                case ';': c = C_SEMICOLON; break;
                case '@': c = C_AT; break;
                case '.': c = C_DOT | F_DOT; break;
                case '$': c = C_DOLLAR; break;
                case '+': c = C_PLUS | F_SIGN; break;
                case '-': c = C_MINUS | F_SIGN; break;
                case '^': c = C_CARET | F_CARET; break;
                default: c = C_WORD; break;
            }
        }
        char_classes[b] = c;
    }
}

}  // namespace

void build_tables() {
    build_classes();
    for (const Row& r : rows) {
        for (int c = 0; c < CLASS_COUNT; ++c) transitions[r.state][c] = static_cast<uint8_t>(r.other);
        std::string groups = r.exceptions;
        size_t at = 0;
        while (at < groups.size()) {
            size_t bar = groups.find('|', at);
            if (bar == std::string::npos) bar = groups.size();
            std::string group = groups.substr(at, bar - at);
            at = bar + 1;
            size_t arrow = group.find("->");
            if (arrow == std::string::npos) sys::no_switch_matched();
            int target = std::stoi(group.substr(arrow + 2));
            std::string names = group.substr(0, arrow);
            size_t i = 0;
            while (i < names.size()) {
                while (i < names.size() && names[i] == ' ') ++i;
                size_t j = i;
                while (j < names.size() && names[j] != ' ') ++j;
                if (j > i) {
                    int c = class_named(names.substr(i, j - i));
                    if (c < 0) sys::no_switch_matched();
                    transitions[r.state][c] = static_cast<uint8_t>(target);
                }
                i = j;
            }
        }
    }
    std::memcpy(state_types, types_of_states, sizeof state_types);
}

}  // namespace lexer
