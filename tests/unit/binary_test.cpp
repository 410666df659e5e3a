// binary!: molding and its line layout, base encodings against python3's
// base64 and binascii, conversion of values into bytes, comparison and
// matching, append/insert/change with /part and /dup, trim and the bitwise
// actions.
#include "booted.h"
#include "python_peer.h"

#include "datatypes/binary.h"
#include "datatypes/bitset.h"
#include "datatypes/issue.h"
#include "runtime/collector.h"
#include "runtime/unicode.h"

namespace {

using actions::slot::append;
using actions::slot::change;
using actions::slot::insert;
using booted::call;
using booted::dtype;
using booted::integer;
using booted::text_of;

class Binaries : public booted::Runtime {
protected:
    static Cell bin(const std::string& bytes) {
        return *binary::load(python_peer::bytes(bytes), python_peer::size(bytes));
    }
    static std::string bytes_of(const Cell& b) {
        return std::string(reinterpret_cast<const char*>(binary::rs_head(&b)), binary::rs_length_q(&b));
    }
    static Cell chr(uint32_t cp) { return Cell{TYPE_CHAR, 0, cp, 0}; }
    static Cell str(const std::vector<uint32_t>& cps) {
        Cell s = *string::rs_make_at(stack::push_slot(), 16);
        for (uint32_t cp : cps) string::append_char(series_of(&s), cp);
        return s;
    }
    static Cell str(const char* text) {
        Cell s = *string::rs_make_at(stack::push_slot(), 16);
        string::concatenate_literal(&s, text);
        return s;
    }
    static Cell block_of(std::initializer_list<Cell> cells) {
        Cell blk = *block::make_at(stack::push_slot(), 4);
        for (const Cell& c : cells) block::rs_append(&blk, &c);
        return blk;
    }
    static std::string mold(const Cell& b, int32_t indent = 0, bool flat = false, bool only = false) {
        Cell buffer = *string::rs_make_at(stack::push_slot(), 64);
        binary::mold_bytes(&b, &buffer, only, flat, false, INT32_MAX, indent);
        return text_of(&buffer);
    }
    static std::string hex(uint32_t n, uint8_t start = 0) {
        std::string s;
        static const char d[] = "0123456789ABCDEF";
        for (uint32_t i = 0; i < n; ++i) {
            uint8_t b = static_cast<uint8_t>(start + i);
            s += d[b >> 4];
            s += d[b & 15];
        }
        return s;
    }
    static Cell* ptr(const Cell& c) { return stack::push(&c); }
    static std::string seq(uint32_t n) {
        std::string s;
        for (uint32_t i = 0; i < n; ++i) s += static_cast<char>(i);
        return s;
    }
};

// ---- Molding ------------------------------------------------------------------------------

TEST_F(Binaries, MoldLaysOutMoreThanThirtyBytesOnLinesOfThirtyTwo) {
    struct Case {
        uint32_t n;
        int32_t indent;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {0, 0, "#{}"},
        {2, 0, "#{0001}"},
        {30, 0, "#{" + hex(30) + "}"},
        {31, 0, "#{\n" + hex(31) + "\n}"},
        {32, 0, "#{\n" + hex(32) + "\n}"},
        {33, 0, "#{\n" + hex(32) + "\n" + hex(1, 32) + "\n}"},
        {64, 0, "#{\n" + hex(32) + "\n" + hex(32, 32) + "\n}"},
        // Nested one level: lines indented, the closing brace one level out
        // (after a full last line it keeps the inner indentation).
        {31, 1, "#{\n    " + hex(31) + "\n}"},
        {32, 1, "#{\n    " + hex(32) + "\n    }"},
        {40, 2, "#{\n        " + hex(32) + "\n        " + hex(8, 32) + "\n    }"},
    };
    for (const Case& c : cases) EXPECT_EQ(mold(bin(seq(c.n)), c.indent), c.expected) << c.n << "/" << c.indent;
    EXPECT_EQ(mold(bin(seq(40)), 0, true), "#{" + hex(40) + "}");
    EXPECT_EQ(mold(bin(seq(3)), 0, false, true), "000102");
    Cell m = call(actions::slot::mold, {bin("\x0A\x0B")});
    EXPECT_EQ(text_of(&m), "#{0A0B}");
    Cell f = call(actions::slot::form, {bin("\xFF")});
    EXPECT_EQ(text_of(&f), "#{FF}");
    // /part cuts the text; the brace is not written once the limit is used.
    Cell p = call(actions::slot::mold, {bin(seq(10)), integer(7)}, {-1, -1, -1, 1});
    EXPECT_EQ(text_of(&p), "#{00010");
    // A binary at an index molds from it; one past the tail molds empty.
    Cell b = bin("\x01\x02\x03");
    b.data1 = 2;
    EXPECT_EQ(mold(b), "#{03}");
    b.data1 = 9;
    EXPECT_EQ(mold(b), "#{}");
}

// ---- Base encodings against python3 -----------------------------------------------------

TEST_F(Binaries, EncodersAgreeWithPython) {
    std::vector<std::string> inputs;
    for (uint32_t n = 0; n < 40; ++n) inputs.push_back(python_peer::noise(n, n * 7 + 1));
    inputs.push_back(python_peer::noise(1000, 99));
    auto out = python_peer::run(
        "import base64, binascii\n"
        "for r in records():\n"
        "    emit(base64.b64encode(r))\n"
        "    emit(binascii.hexlify(r).upper())\n"
        "    emit(''.join(format(b, '08b') for b in r).encode())\n",
        inputs);
    ASSERT_TRUE(out.has_value());
    auto expected = python_peer::unpack(*out);
    ASSERT_EQ(expected.size(), inputs.size() * 3);
    for (size_t i = 0; i < inputs.size(); ++i) {
        const std::string& in = inputs[i];
        int bases[] = {64, 16, 2};
        for (int k = 0; k < 3; ++k) {
            std::string text(binary::encoded_size(bases[k], python_peer::size(in)), '\0');
            auto* start = reinterpret_cast<uint8_t*>(text.data());
            uint8_t* end = nullptr;
            switch (bases[k]) {
                case 64: end = binary::encode_64(start, python_peer::bytes(in), python_peer::size(in)); break;
                case 16: end = binary::encode_16(start, python_peer::bytes(in), python_peer::size(in)); break;
                default: end = binary::encode_2(start, python_peer::bytes(in), python_peer::size(in)); break;
            }
            text.resize(static_cast<size_t>(end - start));
            EXPECT_EQ(text, expected[3 * i + k]) << "base " << bases[k] << ", " << in.size() << " bytes";
        }
    }
}

TEST_F(Binaries, DecodersReadPythonsTextsWithLinesAndComments) {
    std::vector<std::string> inputs;
    for (uint32_t n = 0; n < 70; n += 3) inputs.push_back(python_peer::noise(n, n + 5));
    auto out = python_peer::run(
        "import base64, binascii\n"
        "for r in records():\n"
        "    emit(base64.encodebytes(r))\n"  // lines of 76 characters
        "    emit(b' ' + binascii.hexlify(r) + b'\\n')\n",
        inputs);
    ASSERT_TRUE(out.has_value());
    auto texts = python_peer::unpack(*out);
    ASSERT_EQ(texts.size(), inputs.size() * 2);
    for (size_t i = 0; i < inputs.size(); ++i) {
        std::vector<uint8_t> d64, d16;
        const std::string& t64 = texts[2 * i];
        const std::string& t16 = texts[2 * i + 1];
        ASSERT_TRUE(binary::decode_64_bytes(python_peer::bytes(t64), python_peer::size(t64), 1, d64));
        ASSERT_TRUE(binary::decode_16_bytes(python_peer::bytes(t16), python_peer::size(t16), 1, d16));
        EXPECT_EQ(std::string(d64.begin(), d64.end()), inputs[i]);
        EXPECT_EQ(std::string(d16.begin(), d16.end()), inputs[i]);
    }
    // The same texts read from wider units (a string of unit 2 or 4).
    std::vector<uint32_t> wide = {'Y', 'W', 'J', 'j', '\n', 'Z', 'A', '=', '='};
    std::vector<uint8_t> out4;
    ASSERT_TRUE(binary::decode_64_bytes(reinterpret_cast<const uint8_t*>(wide.data()), 9, 4, out4));
    EXPECT_EQ(std::string(out4.begin(), out4.end()), "abcd");
}

TEST_F(Binaries, DecodingRulesAndRejections) {
    struct Case {
        int base;
        std::string text;
        bool ok;
        std::string bytes;
    };
    const std::vector<Case> cases = {
        {64, "YWJj", true, "abc"},
        {64, "YWI=", true, "ab"},
        {64, "YQ==", true, "a"},
        {64, "YQ", true, ""},            // an incomplete group without "=" is dropped
        {64, "YWJjZA", true, "abc"},
        {64, "Y===", false, ""},         // "=" after one character of a group
        {64, "YW Jj'\t", true, "abc"},   // the seven skipped characters
        {64, "YW;comment\nJj", true, "abc"},
        {64, "YW\x01Jj", false, ""},     // other control characters are invalid
        {64, "YW*j", false, ""},
        {64, "YQ==garbage*", true, "a"},  // "=" ends decoding
        {16, "0a0B", true, "\x0A\x0B"},
        {16, "0a 0b\n0", true, "\x0A\x0B"},  // an odd last digit is dropped
        {16, "", true, ""},
        {16, "0g", false, ""},
        {16, "01 ; 02\n03", true, "\x01\x03"},
        {2, "00000001 11111111", true, "\x01\xFF"},
        {2, "0000000", false, ""},        // not on a byte boundary
        {2, "00000002", false, ""},
        {58, "2NEpo7TZRRrLZSi2U", true, "Hello World!"},
        {58, "11233QC4", true, std::string("\x00\x00\x28\x7F\xB4\xCD", 6)},
        {58, "1", true, std::string("\x00", 1)},
        {58, "0", false, ""},             // not in the alphabet
        {58, "3y\xC3\xA9", true, "\xAC"},  // a character above 127 ends the text (here, UTF-8 bytes as units)
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> out;
        const uint8_t* t = python_peer::bytes(c.text);
        uint32_t n = python_peer::size(c.text);
        bool ok = c.base == 64 ? binary::decode_64_bytes(t, n, 1, out)
                : c.base == 16 ? binary::decode_16_bytes(t, n, 1, out)
                : c.base == 2  ? binary::decode_2_bytes(t, n, 1, out)
                               : binary::decode_58_bytes(t, n, 1, out);
        EXPECT_EQ(ok, c.ok) << c.base << " " << c.text;
        if (ok && c.ok) {
            EXPECT_EQ(std::string(out.begin(), out.end()), c.bytes) << c.base << " " << c.text;
        }
    }
    // Base 58 round trip.
    std::string in = std::string("\x00\x00", 2) + python_peer::noise(50, 3);
    std::string text(binary::encoded_size(58, python_peer::size(in)), '\0');
    auto* start = reinterpret_cast<uint8_t*>(text.data());
    text.resize(static_cast<size_t>(binary::encode_58(start, python_peer::bytes(in), python_peer::size(in)) - start));
    EXPECT_EQ(text.substr(0, 2), "11");
    std::vector<uint8_t> back;
    ASSERT_TRUE(binary::decode_58_bytes(python_peer::bytes(text), python_peer::size(text), 1, back));
    EXPECT_EQ(std::string(back.begin(), back.end()), in);
}

TEST_F(Binaries, Base16And64RejectCodePointsAbove127) {
    // Reduced to seven bits, U+00B0 would read as "0" and U+00E1 as "a"
    // (and U+00A0 as a space): every one of them must be refused instead.
    for (uint32_t unit : {1u, 2u, 4u}) {
        for (uint32_t bad : {0xB0u, 0xE1u, 0xA0u, 0x130u, 0x1F600u}) {
            if ((unit == 1 && bad > 0xFF) || (unit == 2 && bad > 0xFFFF)) continue;
            std::vector<uint32_t> cps16 = {'0', bad, '1', '2'};
            std::vector<uint32_t> cps64 = {'Y', 'W', bad, 'J', 'j'};
            auto pack = [&](const std::vector<uint32_t>& cps) {
                std::string s(cps.size() * unit, '\0');
                for (size_t i = 0; i < cps.size(); ++i) unicode::set_char(reinterpret_cast<uint8_t*>(s.data()), unit, static_cast<uint32_t>(i), cps[i]);
                return s;
            };
            std::string t16 = pack(cps16), t64 = pack(cps64);
            std::vector<uint8_t> out;
            EXPECT_FALSE(binary::decode_16_bytes(python_peer::bytes(t16), 4, unit, out)) << unit << " " << bad;
            EXPECT_FALSE(binary::decode_64_bytes(python_peer::bytes(t64), 5, unit, out)) << unit << " " << bad;
            EXPECT_EQ(binary::decode_16(python_peer::bytes(t16), 4, unit), 0u);
            EXPECT_EQ(binary::decode_64(python_peer::bytes(t64), 5, unit), 0u);
        }
    }
    // A valid text gives a series holding the bytes.
    std::string ok = "YWJj";
    Node n = binary::decode_64(python_peer::bytes(ok), 4, 1);
    ASSERT_NE(n, 0u);
    Cell b{TYPE_BINARY, 0, n, 0};
    EXPECT_EQ(bytes_of(b), "abc");
}

// ---- Conversion ------------------------------------------------------------------------------

TEST_F(Binaries, ToBinaryOfEachSourceType) {
    Cell one_float{TYPE_FLOAT, 0, 0, 0};
    one_float.set_float(1.0);
    Cell half{TYPE_PERCENT, 0, 0, 0};
    half.set_float(0.5);
    Cell tuple{TYPE_TUPLE | (4u << TUPLE_SIZE_SHIFT), 0x04030201, 0, 0};
    Cell issue{};
    issue::make_at(&issue, "0a0B");
    Cell blk = block_of({integer(1), chr('a'), str("bc"), bin("\xFF"), block_of({integer(2)})});
    Cell bits = *bitset::make_from(ptr(block_of({integer(0), integer(9)})), false, stack::push_slot());
    struct Case {
        Cell value;
        std::string bytes;
    };
    const std::vector<Case> cases = {
        {integer(1), std::string("\x00\x00\x00\x01", 4)},
        {integer(-1), "\xFF\xFF\xFF\xFF"},
        {one_float, std::string("\x3F\xF0\x00\x00\x00\x00\x00\x00", 8)},
        {half, std::string("\x3F\xE0\x00\x00\x00\x00\x00\x00", 8)},
        {chr(0xE9), "\xC3\xA9"},
        {chr(0x1F600), "\xF0\x9F\x98\x80"},
        {str({'h', 0xE9}), "h\xC3\xA9"},
        {tuple, "\x01\x02\x03\x04"},
        {issue, "\x0A\x0B"},
        {blk, "\x01" "abc\xFF\x02"},
        {bits, "\x80\x40"},
        {bin("xyz"), "xyz"},
    };
    for (const Case& c : cases) {
        Cell r = call(actions::slot::to, {dtype(TYPE_BINARY), c.value});
        ASSERT_EQ(r.type(), static_cast<uint32_t>(TYPE_BINARY)) << c.value.type();
        EXPECT_EQ(bytes_of(r), c.bytes) << "type " << c.value.type();
    }
    // make binary! takes the same road for every other spec.
    Cell made = call(actions::slot::make, {dtype(TYPE_BINARY), str("ab")});
    EXPECT_EQ(bytes_of(made), "ab");
    EXPECT_FIRES(call(actions::slot::to, {dtype(TYPE_BINARY), booted::none()}), err::BAD_TO_ARG);
    EXPECT_FIRES(call(actions::slot::to, {dtype(TYPE_BINARY), block_of({booted::none()})}), err::BAD_TO_ARG);
    Cell bad_issue{};
    issue::make_at(&bad_issue, "xyz");
    EXPECT_FIRES(call(actions::slot::to, {dtype(TYPE_BINARY), bad_issue}), err::INVALID_DATA);
}

TEST_F(Binaries, MakeWithASizeGivesAnEmptyBinaryWithThatRoom) {
    for (int32_t n : {0, 1, 10, 100}) {
        Cell made = call(actions::slot::make, {dtype(TYPE_BINARY), integer(n)});
        ASSERT_EQ(made.type(), static_cast<uint32_t>(TYPE_BINARY));
        EXPECT_EQ(binary::rs_length_q(&made), 0u) << n;
        EXPECT_GE(series_of(&made)->size, static_cast<uint32_t>(n ? n : 16)) << n;
    }
    Cell ten_and_half{TYPE_FLOAT, 0, 0, 0};
    ten_and_half.set_float(10.5);
    Cell from_float = call(actions::slot::make, {dtype(TYPE_BINARY), ten_and_half});
    EXPECT_EQ(binary::rs_length_q(&from_float), 0u);
    EXPECT_FIRES(call(actions::slot::make, {dtype(TYPE_BINARY), integer(-1)}), err::OUT_OF_RANGE);
}

// ---- Comparison and matching ----------------------------------------------------------------

TEST_F(Binaries, CompareBytesUnderEachOperation) {
    using namespace actions;
    struct Case {
        std::string a, b;
        int32_t op;
        bool match;
        int32_t expected;
    };
    const std::vector<Case> cases = {
        {"\x01\x02", "\x01\x02\x03", COMP_LESSER, false, -1},
        {"\x01\x02", "\x01\x02\x03", COMP_EQUAL, false, 1},  // lengths differ: unequal at once
        {"\x01\x03", "\x01\x02\x03", COMP_LESSER, false, 1},
        {"\x01\x02", "\x01\x02", COMP_EQUAL, false, 0},
        {"", "", COMP_EQUAL, false, 0},
        {"\xFF", "\x01", COMP_SORT, false, 1},               // unsigned bytes
        {"", "\x01", COMP_SORT, false, -1},
        {"\x01\x02", "\x01\x02", COMP_SAME, false, -1},      // equal bytes, not the same value
        // Match mode: only the pattern's bytes count.
        {"\x01\x02\x03", "\x01\x02", COMP_EQUAL, true, 0},
        {"\x01\x02\x03", "\x01\x03", COMP_EQUAL, true, -1},
        {"\x01", "\x01\x02", COMP_EQUAL, true, 1},
        {"\x01", "", COMP_EQUAL, true, 0},
        {"\x01", "", COMP_LESSER, true, 1},
    };
    for (const Case& c : cases) {
        Cell a = bin(c.a), b = bin(c.b);
        EXPECT_EQ(binary::compare_bytes(&a, &b, c.op, c.match), c.expected)
            << "op " << c.op << " match " << c.match << " sizes " << c.a.size() << "/" << c.b.size();
    }
    Cell a = bin("\x01\x02");
    Cell same = a;
    EXPECT_EQ(binary::compare_bytes(&a, &same, COMP_SAME, false), 0);
    EXPECT_TRUE(compare_star(&a, &same, COMP_EQUAL));
    Cell longer = bin("\x01\x02\x03");
    EXPECT_TRUE(compare_star(&a, &longer, COMP_LESSER));
    EXPECT_FALSE(compare_star(&a, &longer, COMP_EQUAL));
    // The compare slot takes only binaries; compare-bytes also reads text as UTF-8.
    Cell text = str({'h', 0xE9});
    EXPECT_EQ(binary::compare(&a, &text, COMP_EQUAL), NOT_COMPARABLE);
    Cell utf8 = bin("h\xC3\xA9!");
    EXPECT_EQ(binary::compare_bytes(&utf8, &text, COMP_EQUAL, true), 0);
    Cell n = integer(1);
    EXPECT_EQ(binary::compare_bytes(&utf8, &n, COMP_EQUAL, false), NOT_COMPARABLE);
}

TEST_F(Binaries, MatchValueAndBitset) {
    Cell input = bin("ab\xC3\xA9");
    EXPECT_TRUE(binary::match_value_q(&input, ptr(chr('a')), actions::COMP_EQUAL));
    EXPECT_FALSE(binary::match_value_q(&input, ptr(chr('b')), actions::COMP_EQUAL));
    EXPECT_TRUE(binary::match_value_q(&input, ptr(str("ab")), actions::COMP_EQUAL));
    EXPECT_TRUE(binary::match_value_q(&input, ptr(bin("a")), actions::COMP_EQUAL));
    EXPECT_FALSE(binary::match_value_q(&input, ptr(integer(97)), actions::COMP_EQUAL));
    Cell at_tail = input;
    at_tail.data1 = 4;
    EXPECT_FALSE(binary::match_value_q(&at_tail, ptr(chr('a')), actions::COMP_EQUAL));

    Cell spec = str("a");
    Cell plain = *bitset::make_from(&spec, false, stack::push_slot());
    Cell comp = call(actions::slot::complement, {plain});
    EXPECT_TRUE(binary::match_bitset_q(&input, &plain));
    EXPECT_FALSE(binary::match_bitset_q(&input, &comp));
    Cell high = input;
    high.data1 = 2;  // byte C3 lies beyond the stored bits
    EXPECT_FALSE(binary::match_bitset_q(&high, &plain));
    EXPECT_TRUE(binary::match_bitset_q(&high, &comp));
    EXPECT_FALSE(binary::match_bitset_q(&at_tail, &comp));
}

// ---- Modification -----------------------------------------------------------------------------

TEST_F(Binaries, AppendAndInsertTakeEachValuesBytes) {
    struct Case {
        std::string series;
        Cell value;
        std::string bytes;
    };
    const std::vector<Case> cases = {
        {"", integer(255), "\xFF"},
        {"", integer(-1), "\xFF"},
        {"", integer(-128), "\x80"},
        {"\x01", chr(0xE9), "\x01\xC3\xA9"},
        {"", str({0xE9}), "\xC3\xA9"},
        {"x", bin("yz"), "xyz"},
        {"", block_of({integer(1), block_of({str("ab")}), bin("\x02")}), "\x01" "ab\x02"},
    };
    for (const Case& c : cases) {
        Cell r = call(append, {bin(c.series), c.value});
        EXPECT_EQ(bytes_of(r), c.bytes);
        EXPECT_EQ(r.head(), 0u);
    }
    // insert answers the position after the inserted bytes.
    Cell s = bin("\x01\x04");
    s.data1 = 1;
    Cell r = call(insert, {s, bin("\x02\x03")});
    EXPECT_EQ(r.head(), 3u);
    r.data1 = 0;
    EXPECT_EQ(bytes_of(r), "\x01\x02\x03\x04");
    // /dup repeats the bytes; /part limits them (bytes of a binary, code
    // points of a text, values of a block).
    Cell d = call(append, {bin(""), bin("\x01\x02"), integer(3)}, {-1, -1, 2});
    EXPECT_EQ(bytes_of(d), std::string("\x01\x02\x01\x02\x01\x02"));
    Cell p = call(append, {bin(""), bin("\x01\x02\x03"), integer(2)}, {2, -1, -1});
    EXPECT_EQ(bytes_of(p), "\x01\x02");
    Cell pt = call(append, {bin(""), str({0xE9, 'a', 'b'}), integer(2)}, {2, -1, -1});
    EXPECT_EQ(bytes_of(pt), "\xC3\xA9" "a");
    Cell pb = call(append, {bin(""), block_of({str("ab"), integer(1), integer(2)}), integer(2)}, {2, -1, -1});
    EXPECT_EQ(bytes_of(pb), "ab\x01");
    Cell pbo = call(append, {bin(""), block_of({str("ab"), integer(1), integer(2)}), integer(2)}, {2, 3, -1});
    EXPECT_EQ(bytes_of(pbo), "ab");
    // A binary appended to itself.
    Cell self = bin("ab");
    Cell twice = call(append, {self, self});
    EXPECT_EQ(bytes_of(twice), "abab");
    // Growth past the first buffer keeps the bytes.
    Cell big = bin("");
    for (int i = 0; i < 100; ++i) big = call(append, {big, bin(seq(7))});
    EXPECT_EQ(binary::rs_length_q(&big), 700u);
    EXPECT_EQ(bytes_of(big).substr(693), seq(7));
}

TEST_F(Binaries, RefusedValuesLeaveTheSeriesUnchanged) {
    Cell s = bin("\x01");
    EXPECT_FIRES(call(append, {s, integer(256)}), err::INVALID_ARG);
    EXPECT_FIRES(call(append, {s, integer(-129)}), err::INVALID_ARG);
    Cell f{TYPE_FLOAT, 0, 0, 0};
    f.set_float(1.5);
    EXPECT_FIRES(call(append, {s, f}), err::BAD_TO_ARG);
    EXPECT_FIRES(call(insert, {s, block_of({integer(1), integer(300)})}), err::INVALID_ARG);
    EXPECT_FIRES(call(change, {s, integer(1000)}), err::INVALID_ARG);
    EXPECT_EQ(bytes_of(s), "\x01");
    // A /dup total beyond what a series can hold.
    EXPECT_FIRES(call(append, {s, bin(seq(16)), integer(0x10000000)}, {-1, -1, 2}), err::NO_MEMORY);
    EXPECT_EQ(bytes_of(s), "\x01");
}

TEST_F(Binaries, ChangeReplacesBytesWithPartAndDup) {
    struct Case {
        std::string series;
        uint32_t index;
        Cell value;
        int32_t part;  // -1: no /part
        int32_t dup;   // 0: no /dup
        std::string bytes;
        uint32_t head;
    };
    const std::vector<Case> cases = {
        {"\x01\x02\x03", 0, bin("\xAA"), -1, 0, "\xAA\x02\x03", 1},
        {"\x01\x02\x03", 1, bin("\xAA\xBB\xCC"), -1, 0, "\x01\xAA\xBB\xCC", 4},  // past the tail: grows
        {"\x01\x02\x03", 0, bin("\xAA"), 2, 0, "\xAA\x03", 1},
        {"\x01\x02\x03", 0, bin("\xAA\xBB"), 0, 0, "\xAA\xBB\x01\x02\x03", 2},  // /part 0 inserts
        {"\x01\x02\x03", 0, bin("\xAA"), -1, 2, "\xAA\xAA\x03", 2},
        {"\x01\x02\x03", 0, bin("\xAA"), 1, 3, "\xAA\xAA\xAA\x02\x03", 3},
        {"\x01\x02", 2, bin("\xAA"), -1, 0, "\x01\x02\xAA", 3},  // at the tail: appends
        {std::string("\x00", 1), 0, booted::word("abc"), -1, 0, "abc", 3},       // any value: its formed text
    };
    for (const Case& c : cases) {
        Cell s = bin(c.series);
        s.data1 = c.index;
        std::vector<Cell> args = {s, c.value};
        std::vector<int32_t> refs = {-1, -1, -1};
        if (c.part >= 0) {
            refs[0] = static_cast<int32_t>(args.size());
            args.push_back(integer(c.part));
        }
        if (c.dup > 0) {
            refs[2] = static_cast<int32_t>(args.size());
            args.push_back(integer(c.dup));
        }
        Cell r = c.part >= 0 && c.dup > 0 ? call(change, {args[0], args[1], args[2], args[3]}, refs)
                 : args.size() == 3       ? call(change, {args[0], args[1], args[2]}, refs)
                                          : call(change, {args[0], args[1]}, refs);
        EXPECT_EQ(r.head(), c.head) << c.series.size() << "/" << c.index;
        r.data1 = 0;
        EXPECT_EQ(bytes_of(r), c.bytes) << c.series.size() << "/" << c.index;
    }
    // A binary changed with its own bytes.
    Cell s = bin("abcd");
    Cell tail_part = s;
    tail_part.data1 = 2;
    Cell r = call(change, {s, tail_part});
    r.data1 = 0;
    EXPECT_EQ(bytes_of(r), "cdcd");
}

TEST_F(Binaries, TrimRemovesZeroOrGivenBytes) {
    struct Case {
        std::string bytes;
        bool head, tail, all;
        std::string expected;
    };
    const std::string z = std::string("\x00\x00\x01\x02\x00", 5);
    const std::vector<Case> cases = {
        {z, false, false, false, "\x01\x02"},
        {z, true, false, false, std::string("\x01\x02\x00", 3)},
        {z, false, true, false, std::string("\x00\x00\x01\x02", 4)},
        {z, true, true, false, "\x01\x02"},
        {std::string("\x00\x01\x00\x02\x00", 5), false, false, true, "\x01\x02"},
        {std::string("\x00\x00", 2), false, false, false, ""},
    };
    for (const Case& c : cases) {
        Cell r = *binary::trim(ptr(bin(c.bytes)), c.head, c.tail, false, false, c.all, nullptr);
        EXPECT_EQ(bytes_of(r), c.expected);
    }
    Cell with = bin("\x01\x03");
    Cell r = *binary::trim(ptr(bin("\x01\x02\x03\x01")), false, false, false, false, false, &with);
    EXPECT_EQ(bytes_of(r), "\x02");
    Cell ch = chr(2);
    r = *binary::trim(ptr(bin("\x01\x02\x03")), false, false, false, false, true, &ch);
    EXPECT_EQ(bytes_of(r), "\x01\x03");
    // Trimming starts at the index.
    Cell at = bin(std::string("\x00\x00\x01\x00", 4));
    at.data1 = 1;
    r = *binary::trim(&at, false, false, false, false, false, nullptr);
    r.data1 = 0;
    EXPECT_EQ(bytes_of(r), std::string("\x00\x01", 2));
    EXPECT_FIRES(binary::trim(ptr(bin("\x01")), false, false, true, false, false, nullptr), err::NOT_DONE);
    EXPECT_FIRES(binary::trim(ptr(bin("\x01")), false, false, false, true, false, nullptr), err::NOT_DONE);
}

TEST_F(Binaries, BitwiseActionsAndComplement) {
    struct Case {
        uint32_t slot;
        std::string a, b, expected;
    };
    const std::vector<Case> cases = {
        {actions::slot::and_, std::string("\xFF\x00\xFF", 3), "\x0F", std::string("\x0F\x00\x00", 3)},
        {actions::slot::or_, std::string("\xFF\x00\xFF", 3), "\x0F", std::string("\xFF\x00\xFF", 3)},
        {actions::slot::xor_, "\x0F", std::string("\xFF\x00\xFF", 3), std::string("\xF0\x00\xFF", 3)},
        {actions::slot::and_, "", "\x01", std::string("\x00", 1)},
    };
    for (const Case& c : cases) {
        Cell r = call(c.slot, {bin(c.a), bin(c.b)});
        EXPECT_EQ(bytes_of(r), c.expected) << c.slot;
        EXPECT_EQ(r.head(), 0u);
    }
    EXPECT_FIRES(call(actions::slot::or_, {bin("\x01"), integer(1)}), err::INVALID_ARG);
    Cell s = bin(std::string("\x0F\xF0\x00", 3));
    s.data1 = 1;
    Cell r = call(actions::slot::complement, {s});
    EXPECT_EQ(r.node(), s.node());  // in place
    r.data1 = 0;
    EXPECT_EQ(bytes_of(r), "\x0F\x0F\xFF");
}

TEST_F(Binaries, RawHelpers) {
    Cell b = *binary::make_at(stack::push_slot(), 0);
    EXPECT_GE(series_of(&b)->size, 16u);
    binary::rs_append(&b, python_peer::bytes("ad"), 2);
    binary::rs_insert(&b, 1, python_peer::bytes("bc"), 2);
    EXPECT_EQ(bytes_of(b), "abcd");
    binary::rs_overwrite(&b, 3, python_peer::bytes(seq(40)), 40);
    EXPECT_EQ(binary::rs_length_q(&b), 43u);
    EXPECT_EQ(bytes_of(b).substr(0, 3), "abc");
    EXPECT_EQ(bytes_of(b).substr(3), seq(40));
    binary::rs_overwrite(&b, 0, python_peer::bytes("X"), 1);
    EXPECT_EQ(binary::rs_length_q(&b), 43u);
    binary::rs_skip(&b, 2);
    EXPECT_EQ(binary::rs_abs_at(&b), 'c');
    binary::rs_skip(&b, 100);  // would leave the series: ignored
    EXPECT_EQ(b.head(), 2u);
    binary::rs_clear(&b);
    EXPECT_EQ(bytes_of(b), "");
    b.data1 = 0;
    EXPECT_EQ(bytes_of(b), "Xb");
    series_of(&b)->tail = series_of(&b)->offset;
    binary::rs_append_be32(0x01020304, &b);
    EXPECT_EQ(bytes_of(b), "\x01\x02\x03\x04");
    EXPECT_EQ(binary::byte_of(ptr(integer(0x1FF))), 0xFF);
    EXPECT_EQ(binary::byte_of(ptr(chr(0x141))), 0x41);
    EXPECT_FIRES(binary::byte_of(ptr(str("a"))), err::INVALID_ARG);
    uint8_t out[8] = {};
    Cell blk = block_of({integer(1), str("xy")});
    EXPECT_EQ(binary::value_to_bytes(0, false, 0, &blk, nullptr), 3u);
    EXPECT_EQ(binary::value_to_bytes(1, false, 0, &blk, out), 3u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(out), 3), "\x01xy");
    EXPECT_EQ(binary::value_to_bytes(2, false, 0, ptr(booted::word("w")), nullptr), 1u);
}

}  // namespace

// ---- Under the collector's stress switch -----------------------------------------------------

namespace {

// Every allocation collects and moves every unpinned buffer and node.
class BinariesUnderStress : public Binaries {
protected:
    void SetUp() override {
        Binaries::SetUp();
        collector::stress = true;
        collector::active = 1;
    }
    void TearDown() override {
        collector::active = 0;
        collector::stress = false;
        Binaries::TearDown();
    }
};

TEST_F(BinariesUnderStress, BytesAndBitsSurviveMovingCollections) {
    uint32_t cycles = collector::cycles;
    Cell big = bin("");
    for (int i = 0; i < 20; ++i) big = call(append, {big, block_of({bin(seq(5)), str("xy"), integer(i)})});
    EXPECT_EQ(binary::rs_length_q(&big), 160u);
    EXPECT_EQ(bytes_of(big).substr(152), seq(5) + "xy" + std::string(1, '\x13'));
    Cell changed = call(change, {big, str("abc"), integer(3)}, {-1, -1, 2});
    changed.data1 = 0;
    EXPECT_EQ(bytes_of(changed).substr(0, 10), "abcabcabc\x01");
    Cell m = call(actions::slot::mold, {bin(seq(40))});
    EXPECT_EQ(text_of(&m), "#{\n" + hex(32) + "\n" + hex(8, 32) + "\n}");
    Cell x = call(actions::slot::xor_, {bin("\x0F\x0F"), bin("\xFF")});
    EXPECT_EQ(bytes_of(x), "\xF0\x0F");
    Cell text = str("YWJjZA==");
    SeriesBuffer* s = series_of(&text);
    Node decoded = binary::decode_64(s->offset_addr(), 8, 1);
    Cell d{TYPE_BINARY, 0, decoded, 0};
    EXPECT_EQ(bytes_of(d), "abcd");

    Cell spec = block_of({str("abc"), integer(300)});
    Cell bits = call(actions::slot::make, {dtype(TYPE_BITSET), spec});
    Cell comp = call(actions::slot::complement, {bits});
    call(append, {comp, str("a")});
    Cell far = block_of({integer(5000)});
    call(actions::slot::remove, {comp, far}, {1, -1});
    Cell u = call(actions::slot::or_, {comp, bits});
    EXPECT_TRUE(bitset::member_q(&u, 'b'));
    EXPECT_FALSE(bitset::member_q(&u, 5000));
    EXPECT_TRUE(bitset::member_q(&u, 4999));
    EXPECT_TRUE(bitset::member_q(&u, 100000));
    Cell bm = call(actions::slot::mold, {bits});
    EXPECT_EQ(text_of(&bm).substr(0, 15), "make bitset! #{");
    EXPECT_GT(collector::cycles - cycles, 20u);
}

}  // namespace
