// Lexer tests: transcode of every literal kind, its refinements, the syntax
// errors and their arguments, line counting and the trace events.
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "booted.h"
#include "runtime/dtoa.h"
#include "runtime/collector.h"
#include "runtime/unicode.h"
#include "services/lexer/lexer.h"

namespace {

using booted::text_of;

// ---- A text form of values, for comparisons -----------------------------------------

std::string show(const Cell* c);

std::string chars_of(const Cell* str) {
    std::string s;
    uint32_t n = string::rs_length_q(str);
    for (uint32_t i = 0; i < n; ++i) {
        uint32_t cp = string::rs_abs_at(str, str->head() + i);
        if (cp >= 32 && cp < 127)
            s += static_cast<char>(cp);
        else
            s += "<" + std::to_string(cp) + ">";
    }
    return s;
}

std::string list_of(const Cell* b, const char* sep) {
    std::string s;
    uint32_t n = block::rs_length_q(b);
    for (uint32_t i = 0; i < n; ++i) {
        if (i) s += sep;
        s += show(block::rs_head(b) + i);
    }
    return s;
}

std::string number(double d) { return dtoa::form_float(d, 0, true); }

std::string show(const Cell* c) {
    auto sym = [&] { return std::string(symbol::text(c->symbol())); };
    switch (c->type()) {
        case TYPE_INTEGER: return std::to_string(c->int_value());
        case TYPE_FLOAT: return number(c->float_value());
        case TYPE_PERCENT: return number(c->float_value()) + "pct";
        case TYPE_TIME: return number(c->float_value()) + "sec";
        case TYPE_WORD: return sym();
        case TYPE_LIT_WORD: return "'" + sym();
        case TYPE_GET_WORD: return ":" + sym();
        case TYPE_SET_WORD: return sym() + ":";
        case TYPE_REFINEMENT: return "/" + sym();
        case TYPE_ISSUE: return "#" + sym();
        case TYPE_STRING: return "\"" + chars_of(c) + "\"";
        case TYPE_FILE: return "%" + chars_of(c);
        case TYPE_URL: return "url:" + chars_of(c);
        case TYPE_EMAIL: return "email:" + chars_of(c);
        case TYPE_TAG: return "<" + chars_of(c) + ">";
        case TYPE_REF: return "@" + chars_of(c);
        case TYPE_CHAR: return "#\"" + std::to_string(c->int_value()) + "\"";
        case TYPE_BLOCK: return "[" + list_of(c, " ") + "]";
        case TYPE_PAREN: return "(" + list_of(c, " ") + ")";
        case TYPE_PATH: return list_of(c, "/");
        case TYPE_LIT_PATH: return "'" + list_of(c, "/");
        case TYPE_GET_PATH: return ":" + list_of(c, "/");
        case TYPE_SET_PATH: return list_of(c, "/") + ":";
        case TYPE_LOGIC: return c->data1 ? "#(true)" : "#(false)";
        case TYPE_NONE: return "#(none)";
        case TYPE_UNSET: return "#(unset)";
        case TYPE_DATATYPE: return datatype::name_of(c->data1);
        case TYPE_PAIR: return std::to_string(static_cast<int32_t>(c->data2)) + "x" +
                               std::to_string(static_cast<int32_t>(c->data3));
        case TYPE_TUPLE: {
            uint32_t n = (c->header & TUPLE_SIZE_MASK) >> TUPLE_SIZE_SHIFT;
            const auto* bytes = reinterpret_cast<const uint8_t*>(&c->data1);
            std::string s;
            for (uint32_t i = 0; i < n; ++i) s += (i ? "." : "") + std::to_string(bytes[i]);
            return s;
        }
        case TYPE_POINT2D:
        case TYPE_POINT3D: {
            float f[3];
            std::memcpy(f, &c->data1, 12);
            std::string s = "(" + number(f[0]) + ", " + number(f[1]);
            if (c->type() == TYPE_POINT3D) s += ", " + number(f[2]);
            return s + ")";
        }
        case TYPE_MONEY: return test_eval::molded(*c);
        case TYPE_DATE: {
            int32_t packed = static_cast<int32_t>(c->data1);
            std::string r = std::to_string(packed >> 17) + "-" + std::to_string((packed >> 12) & 15) + "-" +
                            std::to_string((packed >> 7) & 31);
            if (packed & 0x10000) {
                r += "/" + number(c->float_value());
                if (packed & 0x7F) r += std::string(packed & 0x40 ? "-" : "+") + std::to_string((packed >> 2) & 15) +
                                        "q" + std::to_string(packed & 3);
            }
            return r;
        }
        case TYPE_BINARY: {
            SeriesBuffer* s = series_of(c);
            std::string r = "#{";
            static const char hex[] = "0123456789ABCDEF";
            for (uint32_t i = c->head(); i < s->count(); ++i) {
                uint8_t b = s->offset_addr()[i];
                r += hex[b >> 4];
                r += hex[b & 15];
            }
            return r + "}";
        }
        default: return "?" + std::to_string(c->type());
    }
}

// ---- Calling transcode ---------------------------------------------------------------------

Cell string_value(const std::string& text) {
    Cell s{};
    string::rs_make_at(&s, static_cast<uint32_t>(text.size()));
    // UTF-8 through the lexer's own decoding: load bytes as a string.
    Node node = unicode::load_utf8_new(reinterpret_cast<const uint8_t*>(text.data()),
                                       static_cast<uint32_t>(text.size()));
    s.data2 = node;
    return s;
}

Cell binary_value(const std::string& bytes) {
    Node node = memory::alloc_bytes(static_cast<uint32_t>(bytes.size()));
    SeriesBuffer* s = memory::buffer(node);
    std::memcpy(s->offset_addr(), bytes.data(), bytes.size());
    s->tail = s->offset + static_cast<uint32_t>(bytes.size());
    return Cell{TYPE_BINARY, 0, node, 0};
}

enum Ref { NEXT, ONE, PRESCAN, SCAN, PART, INTO, TRACE };

// transcode src with the refinements given (arguments for /part, /into and
// /trace in `extra`, keyed by refinement).
Cell transcode(const Cell& src, std::vector<Ref> refs = {}, std::vector<std::pair<Ref, Cell>> extra = {}) {
    int32_t positions[7] = {-1, -1, -1, -1, -1, -1, -1};
    stack::mark_native(nullptr);
    Cell* base = stack::push(&src);
    int32_t at = 1;
    Cell yes{TYPE_LOGIC, 1, 0, 0};
    for (Ref r : refs) {
        stack::push(&yes);
        positions[r] = at++;
    }
    for (auto& [r, v] : extra) {
        stack::push(&v);
        positions[r] = at++;
    }
    (void)lexer::transcode_native(true, positions);
    Cell result = *base;
    stack::unwind();
    return result;
}

Cell transcode(const char* text, std::vector<Ref> refs = {}) { return transcode(string_value(text), refs); }

std::string loads(const char* text) {
    Cell r = transcode(text);
    return show(&r);
}

class Lexer : public booted::Runtime {};

// ---- Done cases ---------------------------------------------------------------------------

TEST_F(Lexer, MoldsOfLoadedBlocks) {
    struct Case { const char* text; const char* molded; };
    const Case cases[] = {
        {"1 [2 3] 4", "[1 [2 3] 4]"},
        {"'a :b c: /d #e", "['a :b c: /d #e]"},
        {"%{a}b}%", "[\"a}b\"]"},
        {"a/b/c: 1.2.3 1x2 12:30 1.5 50%", "[a/b/c: 1.2.3 1x2 12:30:00 1.5 50%]"},
        {"x\ny", "[x\ny]"},
    };
    for (const Case& c : cases) {
        Cell r = transcode(c.text);
        EXPECT_EQ(test_eval::molded(r), c.molded) << c.text;
    }
}

TEST_F(Lexer, BlocksAndNext) {
    EXPECT_EQ(loads("1 [2 3] 4"), "[1 [2 3] 4]");
    EXPECT_EQ(loads(""), "[]");
    Cell r = transcode("1 [2 3] 4", {NEXT});
    ASSERT_EQ(r.type(), TYPE_BLOCK);
    ASSERT_EQ(block::rs_length_q(&r), 2u);
    Cell* two = block::rs_clamp_head(&r);
    EXPECT_EQ(show(&two[0]), "1");
    EXPECT_EQ(two[1].type(), TYPE_STRING);
    EXPECT_EQ(two[1].head(), 1u);
    EXPECT_EQ(show(&two[1]), "\" [2 3] 4\"");
    // On the rest, the block is one value.
    Cell again = transcode(two[1], {NEXT});
    EXPECT_EQ(show(&again), "[[2 3] \" 4\"]");
    Cell one = transcode("abc def", {ONE});
    EXPECT_EQ(show(&one), "abc");
}

// Every /next result is a block of its own, made by the allocator (so the
// collector owns it), never a shared or fixed buffer.
TEST_F(Lexer, NextGivesANewCollectableBlockEachCall) {
    Cell a = transcode("1 2", {NEXT});
    Cell b = transcode("3 4", {NEXT});
    ASSERT_NE(a.node(), b.node());
    EXPECT_EQ(show(&a), "[1 \" 2\"]");
    EXPECT_EQ(show(&b), "[3 \" 4\"]");
    EXPECT_EQ(series_of(&a)->flags & SERIES_FIXED, 0u);
    EXPECT_NE(series_of(&a)->flags & SERIES_MADE, 0u);
}

TEST_F(Lexer, ScanAndPrescanAnswerTypes) {
    struct Case { const char* text; Ref mode; const char* type; };
    const Case cases[] = {
        {"abc", SCAN, "word!"}, {"abc", PRESCAN, "word!"}, {"", SCAN, "#(none)"}, {"", PRESCAN, "#(none)"},
        {"12", SCAN, "integer!"}, {"[1 2]", SCAN, "block!"}, {"[1 2", PRESCAN, "error!"},
        {"1t", SCAN, "error!"}, {"\"abc", SCAN, "error!"}, {"{a", PRESCAN, "error!"},
        {"a/b c", SCAN, "path!"}, {"$1.50", SCAN, "money!"},
        // Tokens whose loaders do not run in prescan mode still end.
        {"[#{00} <a> (1, 2) %\"f\" 1% \"s\" #\"c\"]", PRESCAN, "block!"},
        {"[/b/1.2.3 x(12 2, 2)A$2:3 $$1.50", PRESCAN, "error!"},
    };
    for (const Case& c : cases) {
        Cell r = transcode(c.text, {c.mode});
        EXPECT_EQ(show(&r), c.type) << c.text;
    }
}

TEST_F(Lexer, ByteOrderMarkOfBinarySources) {
    Cell plain = transcode(binary_value("a 1 \"x\""));
    Cell marked = transcode(binary_value("\xEF\xBB\xBF" "a 1 \"x\""));
    EXPECT_EQ(show(&plain), "[a 1 \"x\"]");
    EXPECT_EQ(show(&marked), show(&plain));
    // Two bytes are never taken for a mark; a string source keeps it.
    EXPECT_FIRES(transcode(binary_value("\xEF\xBB")), err::INVALID);
    Cell rest = transcode(binary_value("\xEF\xBB\xBF" "1 2"), {NEXT});
    EXPECT_EQ(block::rs_clamp_head(&rest)[1].head(), 4u);
}

// The arguments of a raised syntax error: prefix, then datatype or missing
// character, then the excerpt.
struct Raised {
    std::string id, prefix, what, excerpt;
};
Raised raise(const char* text) {
    Cell* saved_top = stack::top;
    Cell* saved_args = stack::arguments;
    stack::Frame* saved_ctop = stack::ctop;
    Raised r{"none", "", "", ""};
    try {
        transcode(binary_value(text));
    } catch (const ErrorThrown& e) {
        stack::top = saved_top;
        stack::arguments = saved_args;
        stack::ctop = saved_ctop;
        EXPECT_EQ(e.category(), ERR_SYNTAX);
        static const char* names[] = {"invalid", "missing", "no-header", "no-rs-header", "bad-header",
                                      "malconstruct", "bad-char"};
        r.id = names[e.id.position];
        r.prefix = chars_of(&e.args[0]);
        if (e.arg_count == 3) {
            r.what = e.args[1].type() == TYPE_CHAR ? std::string(1, static_cast<char>(e.args[1].int_value()))
                                                   : show(&e.args[1]);
            r.excerpt = chars_of(&e.args[2]);
        } else {
            r.excerpt = chars_of(&e.args[1]);
        }
    }
    return r;
}

TEST_F(Lexer, SyntaxErrors) {
    struct Case { const char* text; const char* id; const char* prefix; const char* what; const char* excerpt; };
    const Case cases[] = {
        {"[1 2", "missing", "(line 1)", "]", "[1 2"},
        {"a\n1t", "invalid", "(line 2)", "integer!", "1t"},
        {"1 2]", "missing", "(line 1)", "[", "1 2]"},
        {"[1 2)", "missing", "(line 1)", "]", "[1 2)"},
        {"(1 2]", "missing", "(line 1)", ")", "(1 2]"},
        {"1''0", "invalid", "(line 1)", "integer!", "1''0"},
        {"256.0.0", "invalid", "(line 1)", "tuple!", "256.0.0"},
        {"1.2.3.4.5.6.7.8.9.10.11.12.13", "invalid", "(line 1)", "tuple!", "1.2.3.4.5.6.7.8.9.10.11.12.13"},
        {"1.5x2", "invalid", "(line 1)", "pair!", "1.5x2"},
        {"#(foo)", "malconstruct", "(line 1)", "", "#(foo)"},
        {"3#{}", "invalid", "(line 1)", "binary!", "3#{}"},
        {"#{123}", "invalid", "(line 1)", "binary!", "#{123}"},
        {"%%{x}%", "invalid", "(line 1)", "string!", "%%{x}%"},
        {"x {abc", "invalid", "(line 1)", "string!", "{abc"},
        {"x {", "invalid", "(line 1)", "string!", "{"},
        {"a/b:/c", "invalid", "(line 1)", "path!", "a/b:/c"},
        {"1.#FOO", "invalid", "(line 1)", "float!", "1.#FOO"},
        {"}", "bad-char", "(line 1)", "", "}"},
        {"a \x80", "bad-char", "(line 1)", "", "<65533>"},
        {"1, 2", "invalid", "(line 1)", "point2D!", ", 2"},
        {"#\"ab\"", "invalid", "(line 1)", "char!", "#\"ab\""},
        {"\"a\nb\"", "invalid", "(line 1)", "string!", "\"a"},
        {"'a:", "invalid", "(line 1)", "lit-word!", "'a:"},
        {"x: y #[[1] 2]", "invalid", "(line 1)", "map!", "#[[1] 2]"},
        {"XYZ$1", "invalid", "(line 1)", "money!", "XYZ$1"},
        {"$1.123456", "invalid", "(line 1)", "money!", "$1.123456"},
        {"$1''0", "invalid", "(line 1)", "money!", "$1''0"},
        {"2019-02-29", "invalid", "(line 1)", "date!", "2019-02-29"},
        {"1-Foo-2000", "invalid", "(line 1)", "date!", "1-Foo-2000"},
        {"2020-13-01", "invalid", "(line 1)", "date!", "2020-13-01"},
        {"2020-01-01/24:00", "invalid", "(line 1)", "date!", "2020-01-01/24:00"},
        {"2020-000", "invalid", "(line 1)", "date!", "2020-000"},
        {"2020-W01-8", "invalid", "(line 1)", "date!", "2020-W01-8"},
        {"\n\n[a\nb", "missing", "(line 4)", "]", "[a"},
        {"123456789012345678901234567890123456789t", "invalid", "(line 1)", "integer!",
         "123456789012345678901234567890"},
    };
    for (const Case& c : cases) {
        Raised r = raise(c.text);
        EXPECT_EQ(r.id, c.id) << c.text;
        EXPECT_EQ(r.prefix, c.prefix) << c.text;
        EXPECT_EQ(r.what, c.what) << c.text;
        EXPECT_EQ(r.excerpt, c.excerpt) << c.text;
    }
}

// ---- Literals -------------------------------------------------------------------------------

TEST_F(Lexer, Literals) {
    struct Case { const char* text; const char* loaded; };
    const Case cases[] = {
        {"'a :b c: /d #e", "['a :b c: /d #e]"},
        {"%{a}b}%", "[\"a}b\"]"},
        {"%%{x}%%", "[\"x\"]"},
        {"%%{x}% y}%%", "[\"x}% y\"]"},
        {"2147483647 2147483648 -2147483648 1'000'000 +5 -0", "[2147483647 2147483648.0 -2147483648 1000000 5 0]"},
        {"1.5 .5 -1.5e3 1E2 1.5% 50%", "[1.5 0.5 -1500.0 100.0 0.015pct 0.5pct]"},
        {"1.#INF -1.#inf 1.#NaN", "[1.#INF -1.#INF 1.#NaN]"},
        {"FFh 0Ah 7FFFFFFFh FFFFFFFFh", "[255 10 2147483647 -1]"},
        {"1.2.3 255.0.0.128 1.2.3.4.5.6.7.8.9.10.11.12", "[1.2.3 255.0.0.128 1.2.3.4.5.6.7.8.9.10.11.12]"},
        {"1x2 -3X4", "[1x2 -3x4]"},
        {"(1, 2) (1.5, -2, 3) (1 2)", "[(1.0, 2.0) (1.5, -2.0, 3.0) (1 2)]"},
        {"12:30 -1:30 12:30.5 1:02:03.5", "[45000.0sec -5400.0sec 750.5sec 3723.5sec]"},
        {"\"a^(41)b\" \"^(tab)\" \"^-^/^^^\"\" \"^a^@\"", "[\"aAb\" \"<9>\" \"<9><10>^\"\" \"<1><0>\"]"},
        {"\"^(1F600)\"", "[\"<128512>\"]"},
        {"{a{b}c} {x^}y}", "[\"a{b}c\" \"x}y\"]"},
        {"#\"a\" #\"^(tab)\" #\"^/\"", "[#\"97\" #\"9\" #\"10\"]"},
        {"2#{00000001} 64#{AQ==} #{01} 16#{0a0B} #{} #{0 1 ; note\n 2 3}", "[#{01} #{01} #{01} #{0A0B} #{} #{0123}]"},
        {"#(true) #(TRUE) #(false) #(none) #(integer!)", "[#(true) #(true) #(false) #(none) integer!]"},
        {"%a/b.txt %\"with space\" %a%20b", "[%a/b.txt %with space %a b]"},
        {"http://x.org/a%20b mailto:me a@b.c <a href=\"x\"> @ref", "[url:http://x.org/a b url:mailto:me email:a@b.c <a href=\"x\"> @ref]"},
        {"a/b/c 'a/b :a/b a/b: a/1/(c)", "[a/b/c 'a/b :a/b a/b: a/1/(c)]"},
        {"[a/b] (x/y)", "[[a/b] (x/y)]"},
        {"/ // '/ :/ /: + - < <= >", "[/ // '/ :/ /: + - < <= >]"},
        {"2020-01-15 15-Jan-2020 15/1/2020 1-jan-99 2020-1-5 29-Feb-2000", "[2020-1-15 2020-1-15 2020-1-15 1999-1-1 2020-1-5 2000-2-29]"},
        {"1-Jan-2000/10:00:00+01:00 2000-01-01T10:30 2000-01-01/10:00-05:30 20200102T1030Z",
         "[2000-1-1/32400.0+1q0 2000-1-1/37800.0 2000-1-1/55800.0-5q2 2020-1-2/37800.0]"},
        {"2020-W01 2020-W01-7 2021-032 2020-366", "[2019-12-30 2020-1-5 2021-2-1 2020-12-31]"},
        {"$1 -$2.50 USD$1'000.5 +EUR$0.25", "[$1.00 -$2.50 USD$1000.50 EUR$0.25]"},
        {"a ; comment\nb", "[a b]"},
        {"a\x01\x1F" "b", "[a b]"},
        {"a\xC2\xA0" "b", "[a b]"},
        {"caf\xC3\xA9 \xE2\x82\xAC", "[caf\xC3\xA9 \xE2\x82\xAC]"},
    };
    for (const Case& c : cases) EXPECT_EQ(loads(c.text), c.loaded) << c.text;
}

TEST_F(Lexer, NewLineMarkersAndLines) {
    Cell r = transcode("a\nb [c\n d] e");
    Cell* v = block::rs_clamp_head(&r);
    EXPECT_FALSE(v[0].new_line());
    EXPECT_TRUE(v[1].new_line());
    EXPECT_FALSE(v[2].new_line());
    EXPECT_TRUE(block::rs_clamp_head(&v[2])[1].new_line());
    EXPECT_FALSE(v[3].new_line());
    Raised e = raise("{a\nb}\n\"x\" 1t");
    EXPECT_EQ(e.prefix, "(line 3)");
}

TEST_F(Lexer, PartIntoAndStringPositions) {
    Cell src = string_value("1 2 3");
    Cell r = transcode(src, {}, {{PART, booted::integer(3)}});
    EXPECT_EQ(show(&r), "[1 2]");
    Cell dst{};
    block::make_at(&dst, 2);
    Cell x = booted::integer(0);
    block::rs_append(&dst, &x);
    r = transcode(src, {}, {{INTO, dst}});
    EXPECT_EQ(show(&r), "[0 1 2 3]");
    EXPECT_FIRES(transcode(src, {}, {{PART, binary_value("1")}}), err::NOT_SAME_TYPE);
    EXPECT_FIRES(transcode(booted::integer(1)), err::EXPECT_ARG);
    r = transcode(src, {}, {{PART, booted::integer(-4)}});
    EXPECT_EQ(show(&r), "[]");
    // Positions count characters of a string source.
    Cell wide = string_value("\xC3\xA9t\xC3\xA9 2");
    r = transcode(wide, {NEXT});
    EXPECT_EQ(block::rs_clamp_head(&r)[1].head(), 3u);
}

TEST_F(Lexer, WordsFromText) {
    Cell text = string_value("b c");
    Cell r = booted::call(actions::slot::to, {booted::dtype(TYPE_LIT_WORD), text});
    EXPECT_EQ(r.type(), TYPE_LIT_WORD);
    EXPECT_STREQ(symbol::text(r.symbol()), "b");
}

// Collecting (and moving every unpinned buffer) at every allocation while
// the lexer holds values on its output stack loses none of them. (Words stay
// out: interning symbols under stress fails in a booted runtime for reasons
// outside the lexer.)
TEST_F(Lexer, LoadsUnderCollectorStress) {
    std::string text;
    for (int i = 0; i < 40; ++i)
        text += "[\"s" + std::to_string(i) + "\" (" + std::to_string(i) + " 2) #{0102} %f 1.5 {x} 1.2.3]\n";
    std::string expected = loads(text.c_str());
    Cell bin = binary_value(text);
    stack::push(&bin);
    uint32_t cycles = collector::cycles;
    collector::stress = true;
    collector::active = 1;
    std::string stressed = loads(text.c_str());
    Cell r = transcode(bin);
    std::string from_binary = show(&r);
    collector::active = 0;
    collector::stress = false;
    EXPECT_GT(collector::cycles - cycles, 100u);
    EXPECT_EQ(stressed, expected);
    EXPECT_EQ(from_binary, expected);
}

// ---- Trace events -----------------------------------------------------------------------------

struct Seen {
    std::vector<std::string> events;
    bool refuse_error = false;
};

bool record(void* context, uint32_t event, Cell* input, const Cell* type, int32_t line, const Cell* token) {
    auto* seen = static_cast<Seen*>(context);
    std::string e = lexer::event_name(event);
    e += " " + show(type) + " " + std::to_string(line) + " " + std::to_string(input->head());
    if (token->type() == TYPE_PAIR) e += " " + show(token);
    seen->events.push_back(e);
    return !(event == lexer::EVENT_ERROR && seen->refuse_error);
}

TEST_F(Lexer, TraceEventsFollowTheMask) {
    Cell spec{};
    block::make_at(&spec, 2);
    block::append_word("open", &spec);
    block::append_word("close", &spec);
    Seen seen;
    lexer::Tracer tracer{record, &seen, lexer::event_mask(&spec)};
    EXPECT_EQ(tracer.events, lexer::EVENT_OPEN | lexer::EVENT_CLOSE);
    Cell src = string_value("a [b (c)] 1");
    Cell* slot = stack::push_slot();
    *slot = Cell{TYPE_UNSET, 0, 0, 0};
    uint32_t consumed = 0;
    lexer::scan_string(slot, &src, -1, false, false, false, &consumed, &tracer);
    EXPECT_EQ(show(slot), "[a [b (c)] 1]");
    std::vector<std::string> expected = {"open block! 1 2 3x4", "open paren! 1 5 6x7",
                                         "close paren! 1 8 6x9", "close block! 1 9 3x10"};
    EXPECT_EQ(seen.events, expected);
    stack::pop(1);
}

TEST_F(Lexer, TraceEveryEventAndQuietErrorStop) {
    Seen seen;
    seen.refuse_error = true;
    lexer::Tracer tracer{record, &seen, lexer::EVENT_ALL};
    Cell src = string_value("x 1t");
    Cell* slot = stack::push_slot();
    *slot = Cell{TYPE_UNSET, 0, 0, 0};
    uint32_t consumed = 0;
    lexer::scan_string(slot, &src, -1, false, false, false, &consumed, &tracer);
    // The error answer false keeps what was loaded before it.
    EXPECT_EQ(show(slot), "[x]");
    std::vector<std::string> expected = {"prescan word! 1 1 1x2", "scan word! 1 1 1x2", "load word! 1 1",
                                         "prescan error! 1 3 3x4", "error integer! 1 3 3x4"};
    EXPECT_EQ(seen.events, expected);
    stack::pop(1);
}

// A callback that refuses events must not keep the scan where it is: for
// every kind of token, NUL bytes and unfinished input, in every scan mode,
// each event refused in turn (and all of them), the callback is called a
// bounded number of times.
struct Refusing {
    uint32_t refused;
    uint32_t calls = 0;
    uint32_t limit = 0;
};
struct Runaway {};

bool refuse(void* context, uint32_t event, Cell*, const Cell*, int32_t, const Cell*) {
    auto* r = static_cast<Refusing*>(context);
    if (++r->calls > r->limit) throw Runaway{};
    return !(event & r->refused);
}

TEST_F(Lexer, RefusingCallbacksNeverStopTheScanMoving) {
    const std::string inputs[] = {
        std::string("a\0b", 3), std::string("\0", 1), std::string("[a\0]", 4), std::string("a/b\0c", 5),
        "a [b (c)] #[d e] #(f: 1) 1.5 2x3 $4 12:30 1-Jan-2000 3.4.5 50% #\"x\" {a{b}c} \"s\" <t> %f a@b.c http://x",
        "a/b/c: 'd/e :f/g /h #i :j k: (1, 2) (1,2,3)", "#{00FF} 2#{0101} 64#{AA==} ;c\n x",
        "[1 2", "(a", "#(a 1", "{open", "\"open", "a/", "1t", ")", "]", "#[none", "\xC2\xA0" "a" "\xE2\x80\x83",
        "%{a}b}% %%{x}%% a\n\n{\n}\n",
    };
    const uint32_t masks[] = {lexer::EVENT_PRESCAN, lexer::EVENT_SCAN, lexer::EVENT_LOAD, lexer::EVENT_OPEN,
                              lexer::EVENT_CLOSE, lexer::EVENT_ERROR, lexer::EVENT_ALL};
    for (const std::string& text : inputs) {
        for (uint32_t refused : masks) {
            for (int mode = 0; mode < 4; ++mode) {
                Refusing r{refused};
                r.limit = 8 * (static_cast<uint32_t>(text.size()) + 2);
                lexer::Tracer tracer{refuse, &r, lexer::EVENT_ALL};
                Cell src = string_value(text);
                Cell* slot = stack::push_slot();
                Cell* saved = stack::top;
                uint32_t consumed = 0;
                try {
                    lexer::scan_string(slot, &src, -1, mode == 1, mode == 2, mode == 3, &consumed, &tracer);
                } catch (const Runaway&) {
                    ADD_FAILURE() << "no progress on " << text << " refusing " << refused << " in mode " << mode;
                } catch (const ErrorThrown&) {
                    // A syntax error the callback let through.
                }
                stack::top = saved;
                stack::pop(1);
            }
        }
    }
}

// transcode/trace through the interpreter's hooks (stand-ins here): the
// callback receives the event word and the four other arguments, and a
// callback that moves its input's index moves the scan.
std::vector<std::string> hook_events;
bool hook_call(const Cell*, Cell args[5]) {
    std::string e = symbol::text(args[0].symbol());
    hook_events.push_back(e + " " + show(&args[2]) + " " + std::to_string(args[3].int_value()));
    // Skip the rest of the input once the word c is loaded.
    if (e == "load" && std::string(symbol::text(args[4].symbol())) == "c") args[1].data1 = series_of(&args[1])->count();
    return true;
}
uint32_t hook_events_mask(const Cell*) { return lexer::EVENT_OPEN | lexer::EVENT_CLOSE | lexer::EVENT_LOAD; }

TEST_F(Lexer, TraceThroughTheInterpreterHooks) {
    Cell callback{TYPE_FUNCTION, 0, 0, 0};
    auto saved_call = lexer::call_callback_hook;
    auto saved_events = lexer::callback_events_hook;
    lexer::call_callback_hook = hook_call;
    lexer::callback_events_hook = hook_events_mask;
    hook_events.clear();
    Cell r = transcode(string_value("[b] c d e"), {}, {{TRACE, callback}});
    EXPECT_EQ(show(&r), "[[b] c]");
    std::vector<std::string> expected = {"open block! 1", "load word! 1", "close block! 1", "load word! 1"};
    EXPECT_EQ(hook_events, expected);
    lexer::call_callback_hook = saved_call;
    lexer::callback_events_hook = saved_events;
}

}  // namespace
