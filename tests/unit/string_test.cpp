// string!: storage and widening, comparison, make/to, form and mold with
// the escapes and the quote/brace rule, search, modification, path access.
#include <climits>

#include "booted.h"
#include "runtime/unicode.h"

namespace {

using booted::integer;
using booted::none;

class Strings : public booted::Runtime {
protected:
    // A string of the type holding the UTF-8 text, kept reachable on the
    // value stack for the test's duration.
    Cell str(const std::string& utf8, uint32_t type = TYPE_STRING) {
        Cell* s = string::rs_make_at(stack::push_slot(), 16);
        string::append_utf8(s, utf8.data(), static_cast<uint32_t>(utf8.size()));
        s->header = type;
        return *s;
    }
    // A string built from code points, in the smallest unit that holds them.
    Cell cps(std::initializer_list<uint32_t> points) {
        Cell* s = string::rs_make_at(stack::push_slot(), 16);
        for (uint32_t cp : points) string::overwrite_char(series_of(s), string::get_length(s), cp);
        return *s;
    }
    static Cell ch(uint32_t cp) { return Cell{TYPE_CHAR, 0, cp, 0}; }
    static Cell binary(std::initializer_list<uint8_t> bytes) {
        Cell* b = stack::push_slot();
        *b = Cell{TYPE_UNSET, 0, 0, 0};
        Node node = memory::alloc_bytes(static_cast<uint32_t>(bytes.size()));
        SeriesBuffer* s = memory::buffer(node);
        uint32_t i = 0;
        for (uint8_t x : bytes) s->offset_addr()[i++] = x;
        s->tail = s->offset + i;
        *b = Cell{TYPE_BINARY, 0, node, 0};
        return *b;
    }
    // The UTF-8 text of a string from its index.
    static std::string u8(const Cell& c) {
        Cell v = c;
        std::string out;
        uint32_t n = string::rs_length_q(&v);
        uint8_t buf[4];
        for (uint32_t i = 0; i < n; ++i) {
            uint32_t k = unicode::encode_utf8_char(string::rs_abs_at(&v, v.head() + i), buf);
            out.append(reinterpret_cast<char*>(buf), k);
        }
        return out;
    }
    static uint32_t unit(const Cell& c) { return series_of(&c)->unit(); }
    std::string mold(const Cell& v, bool all = false) {
        Cell value = v;
        Cell* buf = string::rs_make_at(stack::push_slot(), 16);
        actions::mold(&value, buf, false, all, false, nullptr, INT32_MAX, 0);
        return u8(*buf);
    }
    std::string form(const Cell& v) {
        Cell value = v;
        Cell* buf = string::rs_make_at(stack::push_slot(), 16);
        actions::form(&value, buf, nullptr, INT32_MAX);
        return u8(*buf);
    }
};

// ---- Storage and widening ----------------------------------------------------------

TEST_F(Strings, AppendWidensAtTheThresholdsOfEachUnit) {
    Cell s = str("");
    string::append_char(series_of(&s), 'a');
    EXPECT_EQ(unit(s), 1u);
    string::append_char(series_of(&s), 233);  // Latin-1 above 127 widens an append
    EXPECT_EQ(unit(s), 2u);
    string::append_char(series_of(&s), 0x1F600);
    EXPECT_EQ(unit(s), 4u);
    EXPECT_EQ(u8(s), "a\xC3\xA9\xF0\x9F\x98\x80");
    // Overwriting or inserting 233 keeps unit 1 (the threshold there is 255).
    Cell t = str("abc");
    string::overwrite_char(series_of(&t), 1, 233);
    string::insert_char(series_of(&t), 0, 233);
    EXPECT_EQ(unit(t), 1u);
    EXPECT_EQ(u8(t), "\xC3\xA9" "a\xC3\xA9" "c");
}

TEST_F(Strings, WideningKeepsEveryCodePointAtHeadMiddleAndTail) {
    struct Case {
        uint32_t wide;  // code point stored
        uint32_t want_unit;
    } widths[] = {{0x3A9, 2}, {0x1F600, 4}};
    for (const Case& w : widths) {
        for (uint32_t where : {0u, 50u, 100u}) {
            for (int op = 0; op < 2; ++op) {  // overwrite, insert
                Cell s = str(std::string(100, 'x'));
                string::overwrite_char(series_of(&s), 100, 255);  // 100 x, then 255
                ASSERT_EQ(unit(s), 1u);
                if (op == 0) string::overwrite_char(series_of(&s), where, w.wide);
                else string::insert_char(series_of(&s), where, w.wide);
                ASSERT_EQ(unit(s), w.want_unit);
                uint32_t n = string::get_length(&s);
                ASSERT_EQ(n, op == 0 ? (where == 100 ? 101u : 101u) : 102u);
                for (uint32_t i = 0; i < n; ++i) {
                    uint32_t want;
                    if (i == where) want = w.wide;
                    else {
                        uint32_t orig = op == 1 && i > where ? i - 1 : i;
                        want = orig == 100 ? 255 : 'x';
                    }
                    ASSERT_EQ(string::rs_abs_at(&s, i), want) << "at " << i << " where " << where;
                }
            }
        }
    }
    // 2 -> 4 through an append keeps the unit-2 text.
    Cell s = cps({0x3A9, 'a', 0x3A9});
    ASSERT_EQ(unit(s), 2u);
    string::append_char(series_of(&s), 0x10000);
    EXPECT_EQ(unit(s), 4u);
    EXPECT_EQ(u8(s), "\xCE\xA9" "a\xCE\xA9\xF0\x90\x80\x80");
    // Values that share the buffer stay valid.
    Cell shared = s;
    shared.data1 = 1;
    EXPECT_EQ(string::rs_abs_at(&shared, shared.head()), 'a');
}

TEST_F(Strings, StaleIndexIsClampedOnAccess) {
    Cell s = str("abcdef");
    Cell late = s;
    late.data1 = 5;
    string::remove_part(&s, 2, 3);  // abf
    EXPECT_EQ(string::rs_length_q(&late), 0u);
    string::rs_head(&late);
    EXPECT_EQ(late.head(), 3u);
    EXPECT_TRUE(string::rs_tail_q(&late));
}

TEST_F(Strings, RotateRangesBeyondTheScratchBuffer) {
    for (auto [first, second] : {std::pair<uint32_t, uint32_t>{100000, 7}, {9, 70000}, {70001, 80000}, {3, 5}}) {
        std::vector<uint8_t> data(first + second);
        for (uint32_t i = 0; i < first; ++i) data[i] = static_cast<uint8_t>(i * 7);
        for (uint32_t i = 0; i < second; ++i) data[first + i] = static_cast<uint8_t>(200 + i * 3);
        std::vector<uint8_t> want(data.begin() + first, data.end());
        want.insert(want.end(), data.begin(), data.begin() + first);
        string::rotate_ranges(data.data(), first, second);
        EXPECT_EQ(data, want) << first << "/" << second;
        EXPECT_EQ(string::scratch_size(), 65536u);
    }
}

TEST_F(Strings, ConcatenateWidensTargetOrSource) {
    Cell t = str("ab");
    Cell wide = str("\xCE\xA9z");
    string::concatenate(&t, &wide, -1, false);
    EXPECT_EQ(unit(t), 2u);
    EXPECT_EQ(u8(t), "ab\xCE\xA9z");
    EXPECT_EQ(unit(wide), 2u);
    // keep = false: a narrower source buffer is widened in place, text kept.
    Cell narrow = str("xy");
    Cell narrow_at1 = narrow;
    narrow_at1.data1 = 1;
    string::concatenate_ex(&t, &narrow_at1, -1, 0, false, true);
    EXPECT_EQ(unit(narrow), 2u);
    EXPECT_EQ(u8(narrow), "xy");
    EXPECT_EQ(u8(t), "yab\xCE\xA9z");
    // A string appended to itself, and a part.
    Cell self = str("abc");
    string::concatenate(&self, &self, 2, false);
    EXPECT_EQ(u8(self), "abcab");
}

TEST_F(Strings, HexDigits) {
    EXPECT_STREQ(string::to_hex(0, true), "00");
    EXPECT_STREQ(string::to_hex(255, true), "FF");
    EXPECT_STREQ(string::to_hex(255, false), "000000FF");
    EXPECT_STREQ(string::to_hex(0x1F600, true), "1F600");
    EXPECT_STREQ(string::to_hex(5, true), "05");
    EXPECT_STREQ(string::byte_to_hex(0xA5), "A5");
}

TEST_F(Strings, LoadingUtf8AndUtf16AndAnUnknownEncoding) {
    const uint8_t text[] = {'a', 0xC3, 0xA9};
    Cell* s = string::load(text, 3, 0);
    EXPECT_EQ(u8(*s), "a\xC3\xA9");
    const uint16_t wide[] = {'h', 0xD83D, 0xDE00};
    s = string::load(reinterpret_cast<const uint8_t*>(wide), 3, -1);
    EXPECT_EQ(u8(*s), "h\xF0\x9F\x98\x80");
    // An unknown encoding is an error, not an exit with status 0.
    EXPECT_FIRES(string::load(text, 3, 7), err::INVALID_ARG);
}

// ---- Comparison ------------------------------------------------------------------

TEST_F(Strings, CompareTextTable) {
    Cell abc = str("abc"), ABC = str("ABC"), ab = str("ab"), empty = str(""), abd = str("abd"),
         grk = str("\xCE\xB1\xCE\xB2"), GRK = str("\xCE\x91\xCE\x92"), bcx = str("bcx"), bc = str("bc");
    struct {
        Cell* a;
        Cell* b;
        int32_t op;
        bool match;
        int32_t want;
    } cases[] = {
        {&abc, &ABC, 0, false, 0},  {&abc, &ABC, 2, false, 1},  {&ab, &abc, 3, false, -1},
        {&ab, &abc, 0, false, 1},   {&abc, &abd, 3, false, -1}, {&abd, &abc, 5, false, 1},
        {&abc, &ABC, 8, false, 1},  {&ABC, &abc, 8, false, -1}, {&grk, &GRK, 0, false, 0},
        {&grk, &GRK, 2, false, 1},  {&abc, &empty, 0, true, 0}, {&abc, &empty, 12, true, 1},
        {&ab, &abc, 0, true, 1},    {&bcx, &bc, 0, true, 0},    {&abc, &abc, 9, false, 0},
        {&abc, &ABC, 9, false, -1}, {&empty, &empty, 0, false, 0},
    };
    for (auto& c : cases)
        EXPECT_EQ(string::compare_text(c.a, c.b, c.op, c.match), c.want)
            << u8(*c.a) << " op " << c.op << " " << u8(*c.b);
}

TEST_F(Strings, ComparisonAcrossTheFamily) {
    Cell s = str("abc"), f = str("ABC", TYPE_FILE), t = str("abc", TYPE_TAG), n = integer(1);
    EXPECT_EQ(string::compare(&s, &f, 0), 0);
    EXPECT_EQ(string::compare(&s, &t, 1), 0);
    EXPECT_EQ(string::compare(&s, &f, 2), actions::NOT_COMPARABLE);
    EXPECT_EQ(string::compare(&s, &f, 3), actions::NOT_COMPARABLE);
    EXPECT_EQ(string::compare(&s, &n, 0), actions::NOT_COMPARABLE);
    EXPECT_TRUE(actions::compare_star(&s, &f, 0));
    EXPECT_FALSE(actions::compare_star(&s, &f, 2));
}

TEST_F(Strings, MatchForParse) {
    Cell in = str("<ab>cd"), tag = str("ab", TYPE_TAG), c = ch('<'), s = str("<AB");
    EXPECT_TRUE(string::match_tag_q(&in, &tag));
    EXPECT_TRUE(string::match_q(&in, &tag, 0));
    EXPECT_TRUE(string::match_q(&in, &c, 2));
    EXPECT_TRUE(string::match_q(&in, &s, 0));
    EXPECT_FALSE(string::match_q(&in, &s, 2));
}

// ---- make, to, form, mold -------------------------------------------------------------

TEST_F(Strings, MakeAndTo) {
    Cell dt = booted::dtype(TYPE_STRING);
    Cell slot = dt, zero = integer(0);
    string::make(&slot, &zero, TYPE_STRING);
    EXPECT_EQ(slot.type(), TYPE_STRING);
    EXPECT_EQ(string::rs_length_q(&slot), 0u);
    Cell minus = integer(-1);
    EXPECT_FIRES(string::make(&slot, &minus, TYPE_STRING), err::OUT_OF_RANGE);
    // to string! of bytes: decoded, and a cut sequence reports its bytes.
    Cell ok = binary({'h', 0xC3, 0xA9});
    string::to(&slot, &ok, TYPE_STRING);
    EXPECT_EQ(u8(slot), "h\xC3\xA9");
    Cell bad = binary({0xE2});
    try {
        string::to(&slot, &bad, TYPE_STRING);
        ADD_FAILURE() << "no error";
    } catch (const ErrorThrown& e) {
        EXPECT_EQ(e.code(), err::INVALID_UTF8.category * 100 + err::INVALID_UTF8.position);
        // Raised by the decoder below the evaluator, built into an error! by
        // the hook the errors module installs.
        EXPECT_EQ(e.value.type(), TYPE_ERROR);
        ASSERT_EQ(e.args[0].type(), TYPE_BINARY);
        SeriesBuffer* b = series_of(&e.args[0]);
        ASSERT_EQ(b->count(), 1u);
        EXPECT_EQ(b->offset_addr()[0], 0xE2);
    }
    Cell nothing = none();
    EXPECT_FIRES(string::to(&slot, &nothing, TYPE_FILE), err::BAD_TO_ARG);
    // A copy from the index, retyped.
    Cell src = str("xabc");
    src.data1 = 1;
    string::to(&slot, &src, TYPE_FILE);
    EXPECT_EQ(slot.type(), TYPE_FILE);
    EXPECT_EQ(u8(slot), "abc");
    // A block: each element's form, nothing between.
    Cell* blk = block::make_at(stack::push_slot(), 4);
    Cell e1 = str("a"), e2 = str("b", TYPE_TAG), e3 = booted::word("w");
    block::rs_append(blk, &e1);
    block::rs_append(blk, &e2);
    block::rs_append(blk, &e3);
    Cell b = *blk;
    string::to(&slot, &b, TYPE_STRING);
    EXPECT_EQ(u8(slot), "a<b>w");
    // A refinement: its form for string!, its mold for the others.
    Cell ref = booted::word("r", TYPE_REFINEMENT);
    string::to(&slot, &ref, TYPE_STRING);
    EXPECT_EQ(u8(slot), "r");
    string::to(&slot, &ref, TYPE_FILE);
    EXPECT_EQ(u8(slot), "/r");
}

TEST_F(Strings, MoldEscapesAndTheQuoteOrBraceRule) {
    struct {
        const char* text;
        const char* want;
        bool all;
    } cases[] = {
        {"a\nb", "\"a^/b\"", false},
        {"a\nb\nc\nd", "{a^/b^/c^/d}", false},
        {"a\"b", "{a\"b}", false},
        {"\x7F", "\"^~\"", false},
        {"\xC3\xA9", "\"\xC3\xA9\"", false},
        {"\xC3\xA9", "\"^(E9)\"", true},
        {"\xC2\x96", "\"^(96)\"", false},
        {"\x1E", "\"^(1E)\"", false},
        {"\t^\r", "\"^-^^^M\"", false},
        {"\x00\x1B\x1C\x1D\x1F", "\"^@^[^\\^]^_\"", false},
        {"a{b}c", "\"a{b}c\"", false},
        {"\"{x}", "{\"{x}}", false},
        {"\"x{", "{\"x^{}", false},
        {"\"}x", "{\"^}x}", false},
        {"\"{a}{b", "{\"{a}^{b}", false},
        {"\"}{", "{\"^}^{}", false},
        {"\"^\t", "{\"^^^-}", false},
        {"", "\"\"", false},
    };
    for (auto& c : cases) {
        std::string text = c.text;
        if (text.empty() && c.want[1] == '^') text.assign("\0\x1B\x1C\x1D\x1F", 5);
        Cell s = str(text);
        EXPECT_EQ(mold(s, c.all), c.want) << c.want;
    }
    // 50 plain letters take braces, 49 quotes.
    EXPECT_EQ(mold(str(std::string(50, 'a'))), "{" + std::string(50, 'a') + "}");
    EXPECT_EQ(mold(str(std::string(49, 'a'))), "\"" + std::string(49, 'a') + "\"");
    // The budget: limit less the characters written less the delimiters.
    Cell s = str("a\nb");
    Cell* buf = string::rs_make_at(stack::push_slot(), 16);
    EXPECT_EQ(string::mold(&s, buf, false, false, false, nullptr, 100, 0), 100 - 4 - 2);
    // mold/part cuts the range to the budget.
    Cell part = integer(2);
    Cell* buf2 = string::rs_make_at(stack::push_slot(), 16);
    Cell long_s = str("abcdef");
    string::mold(&long_s, buf2, false, false, false, &part, 2, 0);
    EXPECT_EQ(u8(*buf2), "\"ab\"");
}

TEST_F(Strings, FormWithPartAndBudget) {
    Cell s = str("hello");
    Cell* buf = string::rs_make_at(stack::push_slot(), 16);
    Cell part = integer(3);
    EXPECT_EQ(string::form(&s, buf, &part, 3), -2);
    EXPECT_EQ(u8(*buf), "hel");
    EXPECT_EQ(form(s), "hello");
}

// ---- Path access ----------------------------------------------------------------------------

TEST_F(Strings, PathPickPokeAndSelect) {
    Cell s = str("abc");
    Cell two = integer(2), e = ch(0xE9);
    Cell target = s;
    string::eval_path(&target, &two, &e, nullptr, nullptr, nullptr, 0, false, false, true);
    EXPECT_EQ(u8(s), "a\xC3\xA9" "c");
    Cell big = ch(0x1F600), three = integer(3);
    string::eval_path(&target, &three, &big, nullptr, nullptr, nullptr, 0, false, false, true);
    EXPECT_EQ(unit(s), 4u);
    EXPECT_EQ(u8(s), "a\xC3\xA9\xF0\x9F\x98\x80");
    Cell read = s;
    string::eval_path(&read, &two, nullptr, nullptr, nullptr, nullptr, 0, false, false, true);
    EXPECT_EQ(read.type(), TYPE_CHAR);
    EXPECT_EQ(read.int_value(), 0xE9);
    Cell nine = integer(9);
    Cell p = s;
    EXPECT_FIRES(string::eval_path(&p, &nine, &e, nullptr, nullptr, nullptr, 0, false, false, true),
                 err::OUT_OF_RANGE);
    Cell w = booted::word("x");
    EXPECT_FIRES(string::eval_path(&p, &w, nullptr, nullptr, nullptr, nullptr, 0, false, false, true),
                 err::INVALID_PATH);
    // Another element selects what follows it; setting pokes after it.
    Cell t = str("key=v");
    Cell eq = ch('=');
    Cell r = t;
    string::eval_path(&r, &eq, nullptr, nullptr, nullptr, nullptr, 0, false, false, true);
    EXPECT_EQ(r.int_value(), 'v');
    Cell z = ch('z'), q = ch('?');
    Cell pt = t;
    string::eval_path(&pt, &eq, &z, nullptr, nullptr, nullptr, 0, false, false, true);
    EXPECT_EQ(u8(t), "key=z");
    EXPECT_FIRES(string::eval_path(&pt, &q, &z, nullptr, nullptr, nullptr, 0, false, false, true),
                 err::BAD_PATH_SET);
}

// ---- find and select ----------------------------------------------------------------------

TEST_F(Strings, FindRefinements) {
    Cell abcabc = str("abcabc"), bc = str("bc"), ABC = str("ABC"), b = ch('b'), c = ch('c'),
         abcdef = str("abcdef"), bcx = str("bcx"), xtag = str("x<a>y"), tag = str("a", TYPE_TAG),
         word = booted::word("ca"), two = integer(2), three = integer(3), one = integer(1);
    struct Case {
        Cell* series;
        Cell* value;
        bool case_, last, reverse, tail, match;
        Cell* skip;
        Cell* part;
        int32_t at;  // -1 = none
    } cases[] = {
        {&abcabc, &bc, false, false, false, false, false, nullptr, nullptr, 1},
        {&abcabc, &bc, false, true, false, false, false, nullptr, nullptr, 4},
        {&abcabc, &bc, false, false, false, true, false, nullptr, nullptr, 3},
        {&bcx, &bc, false, false, false, false, true, nullptr, nullptr, 0},
        {&abcabc, &bc, false, false, false, false, true, nullptr, nullptr, -1},
        {&ABC, &b, true, false, false, false, false, nullptr, nullptr, -1},
        {&ABC, &b, false, false, false, false, false, nullptr, nullptr, 1},
        {&abcdef, &c, false, false, false, false, false, &two, nullptr, 2},
        {&abcdef, &b, false, false, false, false, false, &two, nullptr, -1},
        {&xtag, &tag, false, false, false, false, false, nullptr, nullptr, 1},
        {&abcabc, &word, false, false, false, false, false, nullptr, nullptr, 2},
        {&abcabc, &c, false, false, false, false, false, nullptr, &two, -1},
        {&abcabc, &c, false, false, false, false, false, nullptr, &three, 2},
        {&abcabc, &c, false, true, false, true, false, nullptr, nullptr, 6},
        {&abcabc, &bc, false, false, false, false, false, nullptr, &one, -1},
    };
    for (auto& k : cases) {
        Cell s = *k.series;
        string::find(&s, k.value, k.part, false, k.case_, false, false, nullptr, k.skip, k.last,
                     k.reverse, k.tail, k.match);
        if (k.at < 0) {
            EXPECT_EQ(s.type(), TYPE_NONE) << u8(*k.series) << " / " << u8(*k.value);
        } else {
            ASSERT_EQ(s.type(), k.series->type()) << u8(*k.series) << " / " << u8(*k.value);
            EXPECT_EQ(s.head(), static_cast<uint32_t>(k.at)) << u8(*k.series) << " / " << u8(*k.value);
        }
    }
    // /reverse searches back from before the index.
    Cell from4 = abcabc;
    from4.data1 = 4;
    Cell s = from4;
    string::find(&s, &bc, nullptr, false, false, false, false, nullptr, nullptr, false, true, false, false);
    EXPECT_EQ(s.head(), 1u);
    s = from4;
    string::find(&s, &c, nullptr, false, false, false, false, nullptr, nullptr, false, true, true, false);
    EXPECT_EQ(s.head(), 3u);
    // A position in the same series as /part.
    Cell end3 = abcabc;
    end3.data1 = 3;
    s = abcabc;
    string::find(&s, &c, &end3, false, false, false, false, nullptr, nullptr, false, false, false, false);
    EXPECT_EQ(s.head(), 2u);
    // Errors.
    Cell zero = integer(0), other = str("zz");
    s = abcabc;
    EXPECT_FIRES(string::find(&s, &c, nullptr, false, false, false, false, nullptr, &zero, false, false,
                              false, false),
                 err::OUT_OF_RANGE);
    EXPECT_FIRES(string::find(&s, &c, &other, false, false, false, false, nullptr, nullptr, false, false,
                              false, false),
                 err::INVALID_REFINE_ARG);
    EXPECT_FIRES(string::find(&s, &c, nullptr, false, false, false, true, nullptr, nullptr, false, false,
                              false, false),
                 err::NOT_DONE);
    Cell bin = binary({1});
    EXPECT_FIRES(string::find(&s, &bin, nullptr, false, false, false, false, nullptr, nullptr, false,
                              false, false, false),
                 err::INVALID_ARG);
}

TEST_F(Strings, SelectGivesTheCharacterAfterTheMatch) {
    Cell xtag = str("x<a>y"), tag = str("a", TYPE_TAG), abc = str("abc"), c = ch('c');
    Cell s = xtag;
    string::select(&s, &tag, nullptr, false, false, false, false, nullptr, nullptr, false, false);
    ASSERT_EQ(s.type(), TYPE_CHAR);
    EXPECT_EQ(s.int_value(), 'y');
    s = abc;
    string::select(&s, &c, nullptr, false, false, false, false, nullptr, nullptr, false, false);
    EXPECT_EQ(s.type(), TYPE_NONE);
}

// ---- Modification ------------------------------------------------------------------------------

TEST_F(Strings, AppendInsertChangeWithPartAndDup) {
    Cell ab = str("ab"), cd = str("cd");
    Cell s = ab;
    string::insert(&s, &cd, -1, false, 1, true);
    EXPECT_EQ(u8(ab), "abcd");
    EXPECT_EQ(s.head(), 0u);

    Cell t = str("ab"), X = str("X");
    s = t;
    string::insert(&s, &X, -1, false, 1, false);
    EXPECT_EQ(u8(t), "Xab");
    EXPECT_EQ(s.head(), 1u);

    Cell e = str(""), abs = str("ab");
    s = e;
    string::insert(&s, &abs, -1, false, 3, true);
    EXPECT_EQ(u8(e), "ababab");
    s = e;
    string::insert(&s, &abs, 1, false, 2, true);  // /part 1 /dup 2
    EXPECT_EQ(u8(e), "abababaa");

    Cell f = str("abcdef"), XY = str("XY");
    s = f;
    string::change(&s, &XY, -1, false, 1);
    EXPECT_EQ(u8(f), "XYcdef");
    EXPECT_EQ(s.head(), 2u);
    Cell g = str("abcdef");
    s = g;
    string::change(&s, &X, 3, false, 1);
    EXPECT_EQ(u8(g), "Xdef");
    EXPECT_EQ(s.head(), 1u);
    // change /dup replaces as many as it writes; at the tail it appends.
    Cell h = str("abcdef");
    s = h;
    string::change(&s, &XY, -1, false, 2);
    EXPECT_EQ(u8(h), "XYXYef");
    s = h;
    s.data1 = 6;
    string::change(&s, &X, -1, false, 1);
    EXPECT_EQ(u8(h), "XYXYefX");
    EXPECT_EQ(s.head(), 7u);

    // A tag brings its brackets; a char beyond Latin-1 widens; a block is formed.
    Cell k = str("x"), tag = str("b", TYPE_TAG), wide = ch(0x3A9);
    s = k;
    string::insert(&s, &tag, -1, false, 1, true);
    string::insert(&s, &wide, -1, false, 1, true);
    EXPECT_EQ(u8(k), "x<b>\xCE\xA9");
    EXPECT_EQ(unit(k), 2u);
    Cell* blk = block::make_at(stack::push_slot(), 4);
    Cell e1 = booted::word("w"), e2 = str("a"), e3 = str("b", TYPE_FILE);
    block::rs_append(blk, &e1);
    block::rs_append(blk, &e2);
    block::rs_append(blk, &e3);
    Cell b = *blk, m = str("");
    s = m;
    string::insert(&s, &b, -1, false, 1, true);
    EXPECT_EQ(u8(m), "wab");
    s = m;
    string::insert(&s, &b, 2, false, 1, true);  // the block's text cut to 2
    EXPECT_EQ(u8(m), "wabwa");
    // Inserting a string into itself.
    Cell self = str("ab");
    s = self;
    s.data1 = 1;
    Cell src = self;
    string::insert(&s, &src, -1, false, 1, false);
    EXPECT_EQ(u8(self), "aabb");
}

TEST_F(Strings, OtherValuesGoInAsTheirForm) {
    Cell* blk = block::make_at(stack::push_slot(), 4);
    Cell one = integer(1), a = str("a"), b = ch('b');
    block::rs_append(blk, &one);
    block::rs_append(blk, &a);
    block::rs_append(blk, &b);
    Cell block_value = *blk, e = str("");
    Cell s = e;
    string::insert(&s, &block_value, -1, false, 1, true);
    EXPECT_EQ(u8(e), "1ab");
    Cell n = integer(42);
    s = e;
    string::insert(&s, &n, -1, false, 1, false);
    EXPECT_EQ(u8(e), "421ab");
    // find and select with an integer search its form.
    Cell a1b = str("a1b");
    s = a1b;
    string::find(&s, &one, nullptr, false, false, false, false, nullptr, nullptr, false, false, false,
                 false);
    EXPECT_EQ(s.head(), 1u);
    Cell proto = booted::dtype(TYPE_STRING);
    string::to(&proto, &n, TYPE_STRING);
    EXPECT_EQ(u8(proto), "42");
}

TEST_F(Strings, AppendThroughTheActionEntry) {
    Cell ab = str("ab"), cd = str("cd"), dup = integer(3);
    Cell r = booted::call(actions::slot::append, {ab, cd, dup}, {-1, -1, 2});
    EXPECT_EQ(u8(ab), "abcdcdcd");
    EXPECT_EQ(r.head(), 0u);
}

TEST_F(Strings, Trim) {
    struct {
        const char* text;
        int mode;  // 0 plain, 1 lines, 2 all, 3 head, 4 tail
        const char* want;
    } cases[] = {
        {"  a  b  ", 0, "a  b"},
        {"  a \n b  ", 1, "a b"},
        {" a b ", 2, "ab"},
        {"a \n", 0, "a\n"},
        {"  x\n   y  \n z", 0, "x\ny\nz"},
        {"  a  ", 3, "a  "},
        {"  a  ", 4, "  a"},
        {"\xC2\xA0" "a\xE3\x80\x80", 0, "a"},
    };
    for (auto& c : cases) {
        Cell s = str(c.text);
        string::trim(&s, c.mode == 3, c.mode == 4, false, c.mode == 1, c.mode == 2, nullptr);
        EXPECT_EQ(u8(s), c.want) << "[" << c.text << "] mode " << c.mode;
    }
    Cell s = str("a-b-c"), dash = ch('-'), set = str("ac"), empty = str("");
    string::trim(&s, false, false, false, false, false, &dash);
    EXPECT_EQ(u8(s), "abc");
    string::trim(&s, false, false, false, false, false, &set);
    EXPECT_EQ(u8(s), "b");
    string::trim(&s, false, false, false, false, false, &empty);
    EXPECT_EQ(u8(s), "b");
    EXPECT_FIRES(string::trim(&s, false, false, true, false, false, nullptr), err::NOT_DONE);
}

TEST_F(Strings, Sort) {
    Cell s = str("cBa");
    string::sort(&s, false, nullptr, nullptr, nullptr, false, false, false);
    EXPECT_EQ(u8(s), "aBc");
    s = str("cBa");
    string::sort(&s, true, nullptr, nullptr, nullptr, false, false, false);
    EXPECT_EQ(u8(s), "Bac");
    s = str("abc");
    string::sort(&s, false, nullptr, nullptr, nullptr, false, true, false);
    EXPECT_EQ(u8(s), "cba");
    // Records of two, by their second code point.
    Cell two = integer(2), second = integer(2);
    s = str("a3b1c2");
    string::sort(&s, false, &two, &second, nullptr, false, false, true);
    EXPECT_EQ(u8(s), "b1c2a3");
    s = str("b2a2a1");
    string::sort(&s, false, &two, nullptr, nullptr, true, false, false);
    EXPECT_EQ(u8(s), "a1a2b2");
    // Beyond Latin-1 the case folding is Unicode's.
    s = str("\xCE\xB2\xCE\x91");  // beta, Alpha
    string::sort(&s, false, nullptr, nullptr, nullptr, false, false, false);
    EXPECT_EQ(u8(s), "\xCE\x91\xCE\xB2");
    Cell three = integer(3);
    s = str("abcd");
    EXPECT_FIRES(string::sort(&s, false, &three, nullptr, nullptr, false, false, false),
                 err::INVALID_REFINE_ARG);
    EXPECT_FIRES(string::sort(&s, false, nullptr, nullptr, nullptr, true, false, false), err::BAD_REFINES);
    Cell part = integer(2);
    s = str("dcba");
    string::sort(&s, false, nullptr, nullptr, &part, false, false, false);
    EXPECT_EQ(u8(s), "cdba");
}

TEST_F(Strings, SetOperations) {
    struct {
        const char* a;
        const char* b;
        int32_t op;
        bool case_;
        const char* want;
    } cases[] = {
        {"aAbB", "", 8, false, "ab"}, {"aAbB", "", 8, true, "aAbB"}, {"ab", "bc", 9, false, "abc"},
        {"abc", "bcd", 10, false, "bc"}, {"abc", "b", 11, false, "ac"}, {"abc", "bcd", 12, false, "ad"},
    };
    for (auto& c : cases) {
        Cell a = str(c.a), b = str(c.b);
        string::do_set_op(&a, &b, c.case_, nullptr, c.op);
        EXPECT_EQ(u8(a), c.want);
    }
}

TEST_F(Strings, TakeAndSwap) {
    Cell s = str("abc");
    Cell r = s;
    string::take(&r, nullptr, false, false);
    EXPECT_EQ(r.type(), TYPE_CHAR);
    EXPECT_EQ(r.int_value(), 'a');
    EXPECT_EQ(u8(s), "bc");
    Cell two = integer(2);
    r = s;
    string::take(&r, &two, false, true);
    EXPECT_EQ(u8(r), "bc");
    EXPECT_EQ(u8(s), "");
    r = s;
    string::take(&r, nullptr, false, false);
    EXPECT_EQ(r.type(), TYPE_NONE);

    Cell a = str("xy"), b = str("\xCE\xA9");
    string::swap(&a, &b);
    EXPECT_EQ(u8(a), "\xCE\xA9y");
    EXPECT_EQ(u8(b), "x");
    Cell n = integer(1);
    EXPECT_FIRES(string::swap(&a, &n), err::INVALID_ARG);
    // A code point above 255 never goes into a binary!, which stays as it was.
    Cell bin = binary({7});
    EXPECT_FIRES(string::swap(&a, &bin), err::INVALID_ARG);
    EXPECT_EQ(series_of(&bin)->unit(), 1u);
    EXPECT_EQ(series_of(&bin)->offset_addr()[0], 7);
    EXPECT_EQ(u8(a), "\xCE\xA9y");
}

TEST_F(Strings, CaseChanges) {
    Cell s = str("abc\xC3\xA9");
    string::uppercase(&s, nullptr);
    EXPECT_EQ(u8(s), "ABC\xC3\x89");
    string::lowercase(&s, nullptr);
    EXPECT_EQ(u8(s), "abc\xC3\xA9");
}

}  // namespace
