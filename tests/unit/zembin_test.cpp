// The ZEMBIN codec: hand-built images decode as the format lays them out,
// the encoder writes the expected bytes, every datatype it carries makes a
// round trip (plain and compact), sharing and cycles survive, and damaged
// input is refused with a clear error.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "booted.h"
#include "child.h"
#include "datatypes/binary.h"
#include "datatypes/bitset.h"
#include "datatypes/error.h"
#include "datatypes/function.h"
#include "datatypes/hash.h"
#include "datatypes/map.h"
#include "datatypes/native.h"
#include "datatypes/typeset.h"
#include "datatypes/vector.h"
#include "evaluator/natives.h"
#include "library/boot.h"
#include "runtime/collector.h"
#include "services/zembin/lz77.h"
#include "services/zembin/zembin.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Bytes from hex digits; anything else (spaces) is skipped.
Bytes hex(const std::string& text) {
    Bytes out;
    int nibble = -1;
    for (char ch : text) {
        int v = ch >= '0' && ch <= '9' ? ch - '0' : ch >= 'A' && ch <= 'F' ? ch - 'A' + 10 : ch >= 'a' && ch <= 'f' ? ch - 'a' + 10 : -1;
        if (v < 0) continue;
        if (nibble < 0) {
            nibble = v;
        } else {
            out.push_back(static_cast<uint8_t>(nibble << 4 | v));
            nibble = -1;
        }
    }
    return out;
}

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// A compact image without symbols around a record area.
Bytes compact(const Bytes& records) {
    Bytes img = hex("5A454D42494E 02 01 01");
    img.push_back(static_cast<uint8_t>(records.size()));  // short payloads only
    return img + records;
}

// A compact image with one symbol table.
Bytes compact_with_symbols(const std::vector<std::string>& names, const Bytes& records) {
    Bytes img = hex("5A454D42494E 02 05 01");
    img.push_back(static_cast<uint8_t>(records.size()));
    Bytes buffer, offsets;
    for (const std::string& n : names) {
        uint32_t o = static_cast<uint32_t>(buffer.size());
        for (int i = 0; i < 4; ++i) offsets.push_back(static_cast<uint8_t>(o >> (8 * i)));
        buffer.insert(buffer.end(), n.begin(), n.end());
        buffer.push_back(0);
    }
    img.push_back(static_cast<uint8_t>(names.size()));
    img.push_back(static_cast<uint8_t>(buffer.size()));
    return img + offsets + buffer + records;
}

Bytes le32(uint32_t v) { return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)}; }

class Zembin : public booted::Runtime {
protected:
    void SetUp() override {
        booted::Runtime::SetUp();
        zembin::codec_mode = true;
    }

    // The image as a binary! on the value stack.
    static Cell binary_of(const Bytes& b) { return *binary::load(b.data(), static_cast<uint32_t>(b.size())); }

    static Bytes bytes_of(const Cell& bin) {
        SeriesBuffer* s = series_of(&bin);
        return Bytes(s->data_at(bin.head()), s->data_at(0) + s->count());
    }

    // Decodes through the codec entry: one value, or a block of them.
    static Cell decode(const Bytes& b) {
        Cell bin = binary_of(b);
        Cell out;
        zembin::decode_value(&bin, &out);
        return *stack::push(&out);
    }

    // The error a decode raises and its first argument.
    static ErrorThrown decode_error(const Bytes& b) {
        Cell* top = stack::top;
        Cell* arguments = stack::arguments;
        stack::Frame* ctop = stack::ctop;
        try {
            decode(b);
        } catch (const ErrorThrown& e) {
            stack::top = top;
            stack::arguments = arguments;
            stack::ctop = ctop;
            return e;
        }
        ADD_FAILURE() << "no error raised";
        return ErrorThrown{};
    }
    static void expect_invalid(const Bytes& b, int32_t position = 0) {
        ErrorThrown e = decode_error(b);
        EXPECT_EQ(e.id.category, err::RB_INVALID_RECORD.category);
        EXPECT_EQ(e.id.position, err::RB_INVALID_RECORD.position);
        if (position) {
            EXPECT_EQ(e.args[0].type(), TYPE_INTEGER);
            EXPECT_EQ(e.args[0].int_value(), position);
        }
    }

    static Cell encoded(const Cell& v, bool plain = false) {
        Cell out;
        plain ? zembin::encode(&v, &out) : zembin::encode_cp(&v, &out);
        return *stack::push(&out);
    }
    // The record area of a compact image written without symbols.
    static Bytes records_of(const Cell& v) {
        Bytes img = bytes_of(encoded(v));
        EXPECT_EQ(img[7], 1);
        return Bytes(img.begin() + 10, img.end());  // magic, version, flags, root count, payload size
    }

    // Loads Zem source into a block on the value stack.
    static Cell load(const std::string& text) { return test_eval::read(text); }

    static std::string mold(const Cell& v) {
        Cell buffer{};
        string::rs_make_at(&buffer, 16);
        stack::push(&buffer);
        Cell c = v;
        actions::mold(&c, &buffer, false, true, false, nullptr, 0, 0);
        std::string s;
        uint32_t n = string::rs_length_q(&buffer);
        for (uint32_t i = 0; i < n; ++i) {
            uint32_t cp = string::rs_abs_at(&buffer, i);
            if (cp < 0x80) {
                s += static_cast<char>(cp);
            } else {
                s += "\\u" + std::to_string(cp);
            }
        }
        return s;
    }

    static Cell at(const Cell& block, uint32_t i) { return block::rs_head(&block)[i]; }
};

// Runs the body; a script error fails the test with its id and argument.
#define REPORT_ERRORS(...)                                                                       \
    try {                                                                                      \
        __VA_ARGS__ \
    } catch (const ErrorThrown& e) {                                                           \
        ADD_FAILURE() << errors::id_word(e.id) << " " << (e.arg_count ? mold(e.args[0]) : ""); \
    }

// ---- Hand-built images ---------------------------------------------------------------

TEST_F(Zembin, SmallIntegerTrueAndNewLine) {
    Cell five = decode(hex("5A454D42494E 02 01 01 01 85"));
    EXPECT_EQ(five.type(), TYPE_INTEGER);
    EXPECT_EQ(five.int_value(), 5);
    EXPECT_FALSE(five.new_line());
    Cell t = decode(compact(hex("C2")));
    EXPECT_EQ(t.type(), TYPE_LOGIC);
    EXPECT_EQ(t.data1, 1u);
    Cell nl = decode(compact(hex("C0 85")));
    EXPECT_EQ(nl.int_value(), 5);
    EXPECT_TRUE(nl.new_line());
    // Two top-level values come back as a block of both.
    Cell two = decode(compact(hex("85 C3")));
    ASSERT_EQ(two.type(), TYPE_BLOCK);
    EXPECT_EQ(mold(two), "[5 #(false)]");
}

TEST_F(Zembin, VarintLimits) {
    // An integer! record with the zigzag varint FF FF FF FF 0F: 0xFFFFFFFF.
    Cell v = decode(compact(hex("0B FFFFFFFF0F")));
    EXPECT_EQ(v.int_value(), INT32_MIN);
    // A fifth byte with any of its upper four bits set is too long: the
    // position is that of the fifth byte (magic 6, version, flags, root,
    // payload size, type byte, four bytes).
    expect_invalid(compact(hex("0B FFFFFFFF1F")), 16);
}

TEST_F(Zembin, PlainAndCompactBlocksDecodeEqual) {
    Bytes plain = hex("5A454D42494E 02 00") + le32(1) + le32(28) + le32(TYPE_BLOCK) + le32(0) + le32(2) +
                  le32(TYPE_INTEGER) + le32(1) + le32(TYPE_INTEGER) + le32(2);
    Bytes cp = compact(hex("05 02 81 82"));
    EXPECT_EQ(mold(decode(plain)), "[1 2]");
    EXPECT_EQ(mold(decode(cp)), "[1 2]");
}

TEST_F(Zembin, CompressedImageDecodesAsItsUncompressedForm) {
    std::string text = "[";
    for (int i = 0; i < 60; ++i) text += "alpha \"beta\" " + std::to_string(i * 1000) + " ";
    text += "]";
    Cell v = at(load(text), 0);
    Bytes img = bytes_of(encoded(v));
    ASSERT_EQ(img[7] & zembin::FLAG_COMPRESSED, 0);
    Bytes rest(img.begin() + 8, img.end());
    Bytes packed(rest.size());
    int32_t n = lz77::compress(rest, packed.data());
    ASSERT_GT(n, 0);
    packed.resize(static_cast<size_t>(n));
    Bytes zipped = Bytes(img.begin(), img.begin() + 8) + packed;
    zipped[7] |= zembin::FLAG_COMPRESSED;
    EXPECT_EQ(mold(decode(zipped)), mold(decode(img)));
    EXPECT_EQ(mold(decode(zipped)), mold(v));
    // A damaged stream is refused as data in the wrong format.
    zipped[12] ^= 0xFF;  // the uncompressed size
    EXPECT_FIRES(decode(zipped), err::INVALID_DATA);
}

TEST_F(Zembin, WordsAndIssuesThroughTheSymbolTable) {
    Cell v = decode(compact_with_symbols({"alpha", "beta"}, hex("05 05 0F 00 10 01 11 00 12 01 14 00")));
    EXPECT_EQ(mold(v), "[alpha beta: 'alpha :beta #alpha]");
    // Two indexes with the same text give the same symbol.
    Cell w = decode(compact_with_symbols({"same", "same"}, hex("05 02 0F 00 0F 01")));
    EXPECT_EQ(at(w, 0).symbol(), at(w, 1).symbol());
}

// ---- Refusals --------------------------------------------------------------------------

TEST_F(Zembin, MalformedRecordsAreInvalid) {
    struct Case {
        const char* what;
        Bytes image;
        int32_t position;  // 0: not checked
    } cases[] = {
        {"string unit code 3", compact(hex("07 07 41")), 0},
        {"date form flag against its time bit", compact(hex("6F 00 10 00 00")), 0},
        {"date without time but the form flag", compact(hex("2F") + le32(2026 << 17 | 12 << 12 | 10 << 7 | 0x10000) + hex("0000000000000000")), 0},
        {"tuple length 0", compact(hex("67 00")), 0},
        {"tuple length 13", compact(hex("67 0D 0102030405060708090A0B0C0D")), 0},
        {"context word count beyond the input", compact(hex("0E 00 05 00")), 0},
        {"string longer than the input", compact(hex("07 14 41 42")), 13},
        {"path whose last index is the series length", compact(hex("05 02 81 FF 02 00 02")), 0},
        {"path into nothing", compact(hex("FF 01 00")), 0},
        {"path length 0", compact(hex("85 FF 00")), 0},
        {"assignment in codec mode", compact_with_symbols({"a"}, hex("C4 0F 00 85")), 0},
        {"type id 0", compact(hex("00")), 0},
        {"symbol! record", compact(hex("0D")), 0},
        {"logic! type byte", compact(hex("04")), 0},
        {"unused lead byte", compact(hex("C5")), 0},
        {"datatype id 0", compact(hex("01 00")), 0},
        {"datatype id 99", compact(hex("01 63")), 0},
        {"char beyond Unicode", compact(hex("0A 80808044")), 0},
        {"symbol index without a table", compact(hex("0F 00")), 0},
        {"symbol index beyond the table", compact_with_symbols({"a"}, hex("0F 01")), 0},
        {"block count beyond the input", compact(hex("05 7F 81")), 0},
        {"record cut short", compact(hex("0C 00 00")), 0},
        {"payload size beyond the input", hex("5A454D42494E 02 01 01 09 85"), 0},
        {"symbol count beyond the input", hex("5A454D42494E 02 05 01 01 40 02 85"), 0},
        {"string buffer not ending in 0", hex("5A454D42494E 02 05 01 02 01 02 00000000 6162 0F00"), 0},
        {"native index 0", compact(hex("15 00 05 00")), 0},
        {"native beyond the table", compact(hex("15 7F 05 00")), 0},
        {"action index 63", compact(hex("16 3F 05 00")), 0},
        {"native spec not a block", compact(hex("15 01 85")), 0},
        {"op of an integer", compact(hex("17 85")), 0},
        {"error code out of the catalogue", compact(hex("22 E707")), 0},
        {"by-reference integer", compact(hex("C1 85")), 0},
        {"money digit above 9", compact(hex("31 00 0A000000000000000000 00")), 0},
        {"plain type 13", hex("5A454D42494E 02 00") + le32(1) + le32(4) + le32(13), 0},
        {"plain string unit 3", hex("5A454D42494E 02 00") + le32(1) + le32(16) + le32(TYPE_STRING | 3 << 8) + le32(0) + le32(1) + le32(65), 0},
        {"plain block count beyond", hex("5A454D42494E 02 00") + le32(1) + le32(12) + le32(TYPE_BLOCK) + le32(0) + le32(1000), 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        expect_invalid(c.image, c.position);
    }
}

TEST_F(Zembin, WrongInputIsInvalidData) {
    struct Case {
        const char* what;
        Bytes image;
    } cases[] = {
        {"wrong magic", hex("5A454D42494F 02 01 01 01 85")},
        {"ten bytes", hex("5A454D42494E 02 01 01 01")},
        {"plain image shorter than 8 bytes after its flags", hex("5A454D42494E 02 00 010000")},
        {"compressed stream that is not one", hex("5A454D42494E 02 03 0100000001000000")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ErrorThrown e = decode_error(c.image);
        EXPECT_EQ(e.id.category, err::INVALID_DATA.category);
        EXPECT_EQ(e.id.position, err::INVALID_DATA.position);
    }
    Cell text = *string::rs_make_at(stack::push_slot(), 4);
    Cell out;
    EXPECT_FIRES(zembin::decode_value(&text, &out), err::INVALID_DATA);
}

TEST_F(Zembin, TypesWithoutARecordHaveNoCodec) {
    for (uint32_t t : {TYPE_ROUTINE, TYPE_TRIPLE, TYPE_HANDLE, TYPE_PORT, TYPE_EVENT}) {
        SCOPED_TRACE(t);
        Bytes rec{static_cast<uint8_t>(t)};
        EXPECT_FIRES(decode(compact(rec)), err::NO_CODEC);
        Cell v{t, 0, 0, 0};
        Cell out;
        EXPECT_FIRES(zembin::encode_cp(&v, &out), err::NO_CODEC);
        EXPECT_FIRES(zembin::encode(&v, &out), err::NO_CODEC);
    }
}

// ---- Bytes the encoder writes ------------------------------------------------------------

TEST_F(Zembin, ScalarLayouts) {
    auto flt = [](double d, uint32_t type = TYPE_FLOAT) {
        Cell c{type, 0, 0, 0};
        c.set_float(d);
        return c;
    };
    EXPECT_EQ(records_of(booted::integer(63)), hex("BF"));
    EXPECT_EQ(records_of(booted::integer(64)), hex("0B 8001"));
    EXPECT_EQ(records_of(booted::integer(-1)), hex("0B 01"));
    EXPECT_EQ(records_of(flt(3.0)), hex("4C 06"));
    EXPECT_EQ(records_of(flt(-0.0)), hex("0C 0000000000000080"));
    EXPECT_EQ(records_of(flt(2147483001.0)).size(), 9u);
    EXPECT_EQ(records_of(flt(2147483001.0))[0], 0x0C);
    EXPECT_EQ(records_of(flt(0.5, TYPE_PERCENT)), hex("66 64"));
    EXPECT_EQ(records_of(flt(90.0, TYPE_TIME)), hex("6B B401"));
    Cell t3 = at(load("1.2.3 1.2.3.4"), 0), t4 = at(load("1.2.3 1.2.3.4"), 1);
    EXPECT_EQ(records_of(t3), hex("27 010203"));
    EXPECT_EQ(records_of(t4), hex("67 04 01020304"));
    EXPECT_EQ(records_of(booted::logic(true)), hex("C2"));
    EXPECT_EQ(records_of(booted::none()), hex("03"));
    EXPECT_EQ(records_of(booted::dtype(TYPE_BLOCK)), hex("01 05"));
    Cell pair{TYPE_PAIR, 0, static_cast<uint32_t>(-2), 3};
    EXPECT_EQ(records_of(pair), hex("25 03 06"));
}

TEST_F(Zembin, SelfContainingBlockLayout) {
    Cell b = *block::make_at(stack::push_slot(), 2);
    block::rs_append(&b, &b);
    EXPECT_EQ(records_of(b), hex("05 01 C1 05 01 00"));
    Cell d = decode(bytes_of(encoded(b)));
    ASSERT_EQ(d.type(), TYPE_BLOCK);
    Cell inner = at(d, 0);
    EXPECT_EQ(inner.type(), TYPE_BLOCK);
    EXPECT_EQ(inner.node(), d.node());
    Cell p = decode(bytes_of(encoded(b, true)));
    EXPECT_EQ(at(p, 0).node(), p.node());
}

TEST_F(Zembin, SharedStringLayout) {
    Cell s = at(load("\"abc\""), 0);
    Cell s2 = s;
    s2.data1 = 1;
    Cell b = *block::make_at(stack::push_slot(), 2);
    block::rs_append(&b, &s);
    block::rs_append(&b, &s2);
    EXPECT_EQ(records_of(b), hex("05 02 07 0C 616263 C1 47 01 02 00 00"));
    for (bool plain : {false, true}) {
        Cell d = decode(bytes_of(encoded(b, plain)));
        EXPECT_EQ(at(d, 0).node(), at(d, 1).node());
        EXPECT_EQ(at(d, 1).head(), 1u);
        EXPECT_EQ(mold(d), "[\"abc\" \"bc\"]");
    }
}

TEST_F(Zembin, HeaderAndSymbolTableLayouts) {
    Cell w = booted::word("hello");
    Bytes cp = bytes_of(encoded(w));
    EXPECT_EQ(cp, hex("5A454D42494E 02 05 01 02 01 06 00000000 68656C6C6F00 0F 00"));
    Bytes plain = bytes_of(encoded(w, true));
    Bytes expect = hex("5A454D42494E 02 04") + le32(1) + le32(12) + le32(1) + le32(8) + le32(0) +
                   hex("68656C6C6F000000") + le32(TYPE_WORD | zembin::P_GLOBAL) + le32(0) + le32(w.data3);
    EXPECT_EQ(plain, expect);
}

// ---- Round trips ----------------------------------------------------------------------------

TEST_F(Zembin, EveryLiteralDatatypeRoundTrips) {
    REPORT_ERRORS({
    const char* source =
        "[1 -7 2147483647 -2147483648 0 63 64 1.5 -0.0 1e300 3.0 2147483001.0 50% 12.5% 0.001% 1:30:00 -0:00:01.5 "
        "#\"a\" #\"^(3B1)\" \"text\" \"gr\xCE\xB1\" {long^/text} %file.txt http://example.com/a <tag a=1> "
        "me@example.com @ref #{DEADBEEF} #{} #issue word set: :get 'lit /ref a/b/c :a/b 'a/b a/b: (1 + 2) "
        "[nested [deeper] ()] 10x20 -1x-2 1.2.3 255.255.255.0 1.2.3.4.5.6.7.8.9.10.11.12 $12.34 -$0.01 EUR$100 "
        "10-Dec-2026 10-Dec-2026/12:30:00+1:00 1-Jan-1900/0:00 none]";
    Cell src = at(load(source), 0);
    // A few values the lexer does not make.
    Cell more[] = {
        booted::logic(true), booted::logic(false), booted::none(), Cell{TYPE_UNSET, 0, 0, 0},
        booted::dtype(TYPE_EVENT), booted::dtype(TYPE_INTEGER),
    };
    for (const Cell& c : more) block::rs_append(&src, &c);
    Cell bits{};
    Cell spec = at(load("\"abcxyz\""), 0);
    bitset::make_from(&spec, false, &bits);
    block::rs_append(&src, &bits);
    Cell not_bits = bits;
    bitset::make_at(&not_bits, 2, true);
    block::rs_append(&src, &not_bits);
    Cell ts{TYPE_TYPESET, 0, 0, 0};
    typeset::set_bit(&ts, TYPE_INTEGER);
    typeset::set_bit(&ts, TYPE_EVENT);
    block::rs_append(&src, &ts);
    Cell p2{TYPE_POINT2D, 0x3FC00000, 0xC0200000, 0};
    Cell p3{TYPE_POINT3D, 0x3F800000, 0x40000000, 0x40400000};
    block::rs_append(&src, &p2);
    block::rs_append(&src, &p3);
    std::string expected = mold(src);
    for (bool plain : {false, true}) {
        SCOPED_TRACE(plain ? "plain" : "compact");
        Cell d = decode(bytes_of(encoded(src, plain)));
        EXPECT_EQ(mold(d), expected);
        // Cell for cell: the payloads are the same (series by their text).
        uint32_t n = block::rs_length_q(&src);
        ASSERT_EQ(block::rs_length_q(&d), n);
        for (uint32_t i = 0; i < n; ++i) {
            Cell a = at(src, i), b = at(d, i);
            EXPECT_EQ(a.header, b.header) << i << " " << mold(a);
        }
    }
    })
}

TEST_F(Zembin, StringUnitsAndNewLinesSurvive) {
    Cell src = at(load("[\"a\" \"\xC3\xA9\" \"\xCE\xB1\" \"\xF0\x9F\x98\x80\"\n x\n [y\n z]]"), 0);
    for (bool plain : {false, true}) {
        Cell d = decode(bytes_of(encoded(src, plain)));
        EXPECT_EQ(mold(d), mold(src));
        for (uint32_t i = 0; i < 4; ++i) {
            Cell a = at(d, i), b = at(src, i);
            EXPECT_EQ(series_of(&a)->unit(), series_of(&b)->unit());
        }
    }
}

TEST_F(Zembin, CallablesObjectsAndErrorsRoundTrip) {
    REPORT_ERRORS({
    // A function whose body refers to its argument, an op! made from it,
    // a native, an action, an object with a word bound to it, an error.
    Cell spec = at(load("[a b]"), 0);
    Cell body = at(load("[a b]"), 0);
    function::push(&spec, &body, 0, 0, 0, 0);
    Cell fn = *stack::top_cell();
    Cell op_cell = fn;
    op_cell.header = TYPE_OP | TYPE_FUNCTION << OP_SOURCE_SHIFT;
    Cell nat_spec = at(load("[value]"), 0);
    Cell nat{};
    Cell args = *block::make_at(stack::push_slot(), 2);
    block::rs_append(&args, &nat_spec);
    Cell one = booted::integer(1);
    block::rs_append(&args, &one);
    Cell proto{TYPE_NATIVE, 0, 0, 0};
    nat = *native::make(&proto, &args, TYPE_NATIVE);
    stack::push(&nat);
    Node ctx = context::create(2, false, true, 0, context::KIND_OBJECT);
    Cell fx = booted::word("fx"), fy = booted::word("fy");
    context::add_word(ctx, &fx);
    context::add_word(ctx, &fy);
    Cell obj{TYPE_OBJECT, ctx, 7, 0};
    *context::self_of(ctx) = obj;
    *context::value_at(ctx, 0) = booted::integer(100);
    Cell bound = fx;
    bound.data1 = ctx;
    bound.data3 = 0;
    *context::value_at(ctx, 1) = bound;  // a field holding a word of its own object
    stack::push(&obj);
    Cell arg = booted::integer(42);
    Cell e{};
    error::create(err::NO_VALUE, &arg, nullptr, nullptr, &e);
    stack::push(&e);

    Cell src = *block::make_at(stack::push_slot(), 8);
    for (const Cell& c : {fn, op_cell, nat, obj, bound, e}) block::rs_append(&src, &c);
    for (bool plain : {false, true}) {
        SCOPED_TRACE(plain ? "plain" : "compact");
        Cell d = decode(bytes_of(encoded(src, plain)));
        ASSERT_EQ(block::rs_length_q(&d), 6u);
        // The function: its spec, its body bound to its own context.
        Cell f = at(d, 0);
        ASSERT_EQ(f.type(), TYPE_FUNCTION);
        EXPECT_EQ(mold(function::spec_of(&f)), "[a b]");
        Cell fbody = *function::more(&f, function::MORE_BODY);
        EXPECT_EQ(mold(fbody), "[a b]");
        EXPECT_EQ(block::rs_clamp_head(&fbody)[0].ctx(), f.ctx());
        EXPECT_EQ(context::self_of(f.ctx())->data2, f.data2);
        // The op! is the same function.
        Cell o = at(d, 1);
        EXPECT_EQ(o.type(), TYPE_OP);
        EXPECT_EQ(native::source_type(&o), static_cast<uint32_t>(TYPE_FUNCTION));
        EXPECT_EQ(o.ctx(), f.ctx());
        // The native keeps its index and spec.
        Cell n = at(d, 2);
        EXPECT_EQ(n.type(), TYPE_NATIVE);
        EXPECT_EQ(n.data1, 1u);
        EXPECT_EQ(mold(Cell{TYPE_BLOCK, 0, n.data2, 0}), "[value]");
        // The object, its field values, and the words bound to it.
        Cell ob = at(d, 3);
        ASSERT_EQ(ob.type(), TYPE_OBJECT);
        EXPECT_EQ(context::word_count(ob.ctx()), 2u);
        EXPECT_EQ(context::value_at(ob.ctx(), 0)->int_value(), 100);
        EXPECT_EQ(context::value_at(ob.ctx(), 1)->ctx(), ob.ctx());
        EXPECT_EQ(context::self_of(ob.ctx())->ctx(), ob.ctx());
        Cell w = at(d, 4);
        EXPECT_EQ(w.ctx(), ob.ctx());
        EXPECT_EQ(w.index(), 0);
        // The error keeps its code and arguments.
        Cell er = at(d, 5);
        ASSERT_EQ(er.type(), TYPE_ERROR);
        EXPECT_EQ(mold(er), mold(e));
        EXPECT_EQ(error::field(&er, error::ARG1)->int_value(), 42);
    }
    })
}

TEST_F(Zembin, WordOfAnObjectMetFirstCarriesItsOwner) {
    Node ctx = context::create(1, false, true, 0, context::KIND_OBJECT);
    Cell fx = booted::word("only");
    context::add_word(ctx, &fx);
    Cell obj{TYPE_OBJECT, ctx, 3, 0};
    *context::self_of(ctx) = obj;
    Cell bound = fx;
    bound.data1 = ctx;
    bound.data3 = 0;
    *context::value_at(ctx, 0) = bound;
    stack::push(&obj);
    Cell src = *block::make_at(stack::push_slot(), 4);
    block::rs_append(&src, &bound);
    block::rs_append(&src, &obj);
    for (bool plain : {false, true}) {
        Cell d = decode(bytes_of(encoded(src, plain)));
        Cell w = at(d, 0), o = at(d, 1);
        ASSERT_EQ(o.type(), TYPE_OBJECT);
        EXPECT_EQ(w.ctx(), o.ctx());
        EXPECT_EQ(context::value_at(o.ctx(), 0)->ctx(), o.ctx());
    }
}

TEST_F(Zembin, WordsOfAnErrorContextStayReadable) {
    Cell e{};
    error::create(err::NO_VALUE, nullptr, nullptr, nullptr, &e);
    stack::push(&e);
    Cell w = booted::word("arg1");
    w.data1 = e.ctx();
    w.data3 = error::ARG1;
    Cell src = *block::make_at(stack::push_slot(), 4);
    block::rs_append(&src, &w);  // before the error: the global form
    block::rs_append(&src, &e);
    block::rs_append(&src, &w);  // after it: bound through the error
    for (bool plain : {false, true}) {
        Cell d = decode(bytes_of(encoded(src, plain)));
        EXPECT_EQ(at(d, 0).ctx(), context::global);
        EXPECT_EQ(at(d, 2).ctx(), at(d, 1).ctx());
    }
    // An error that holds itself has no record form.
    *error::field(&e, error::ARG2) = e;
    Cell out;
    EXPECT_FIRES(zembin::encode_cp(&e, &out), err::NO_CODEC);
}

TEST_F(Zembin, HashAndMapRecords) {
    REPORT_ERRORS({
    Cell h = at(load("[a 1]"), 0);
    hash::make_table_at(&h, 2);
    stack::push(&h);
    Cell backing = at(load("[a 1 \"k\" [x] b 2]"), 0);
    Cell m;
    map::make_at(&m, &backing, 3);
    stack::push(&m);
    Cell b = at(load("b"), 0);
    map::remove(&m, nullptr, &b);  // a removed pair is not written
    // hash! as a block record; map! as its live pairs, keys as the map keeps them.
    EXPECT_EQ(bytes_of(encoded(h)), compact_with_symbols({"a"}, hex("24 02 0F 00 81")));
    EXPECT_EQ(bytes_of(encoded(m)), compact_with_symbols({"a", "x"}, hex("28 04 10 00 81 07 04 6B 05 01 0F 01")));
    Bytes plain = bytes_of(encoded(h, true));
    Bytes expect = hex("5A454D42494E 02 04") + le32(1) + le32(32) + le32(1) + le32(8) + le32(0) +
                   hex("6100000000000000") + le32(TYPE_HASH) + le32(0) + le32(2) +
                   le32(TYPE_WORD | zembin::P_GLOBAL) + le32(0) + le32(at(h, 0).data3) + le32(TYPE_INTEGER) + le32(1);
    EXPECT_EQ(plain, expect);
    // The same map twice, and a hash! that holds itself: one buffer each.
    Cell src = *block::make_at(stack::push_slot(), 4);
    for (const Cell& c : {h, m, m}) block::rs_append(&src, &c);
    block::rs_append(&h, &h);
    for (bool cp : {true, false}) {
        SCOPED_TRACE(cp ? "compact" : "plain");
        Cell d = decode(bytes_of(encoded(src, !cp)));
        Cell dh = at(d, 0), dm = at(d, 1);
        ASSERT_EQ(dh.type(), TYPE_HASH);
        ASSERT_EQ(dm.type(), TYPE_MAP);
        EXPECT_EQ(mold(d), mold(src));
        EXPECT_EQ(at(dh, 2).node(), dh.node());
        EXPECT_EQ(at(d, 2).node(), dm.node());
        EXPECT_EQ(at(d, 2).data3, dm.data3);
        // The tables index what was decoded (select answers in its first argument).
        Cell key = at(load("a"), 0), text = at(load("\"k\""), 0);
        Cell hh = dh, mm = dm;
        EXPECT_EQ(mold(*actions::select(&hh, &key, nullptr, false, false, false, false, nullptr, nullptr, false, false)), "1");
        EXPECT_EQ(mold(*actions::select(&mm, &text, nullptr, false, false, false, false, nullptr, nullptr, false, false)), "[x]");
        EXPECT_EQ(map::rs_length_q(&dm), 2u);
    }
    })
    // A map key that a map! cannot hold, and a map with an odd count.
    expect_invalid(compact(hex("28 02 05 00 81")), 13);
    expect_invalid(compact(hex("28 01 81")), 12);
    // A hash! by reference must lead to a hash!.
    expect_invalid(compact(hex("05 02 05 00 C1 24 01 00")), 0);
}

// A vector from its spec, on the value stack.
Cell make_vector(const std::string& spec) {
    Cell block = test_eval::read("[" + spec + "]");
    Cell s = block::rs_head(&block)[0];
    Cell* slot = stack::push_slot();
    return *vector::make(slot, &s, TYPE_VECTOR);
}

TEST_F(Zembin, VectorRecords) {
    REPORT_ERRORS({
    // The element type and unit code in one byte, the count, the elements
    // little-endian at their width.
    EXPECT_EQ(records_of(make_vector("integer! 16 [1 -2 3]")), hex("23 2D 03 0100 FEFF 0300"));
    Cell at1 = make_vector("integer! 8 [200 1]");
    at1.data1 = 1;
    EXPECT_EQ(records_of(at1), hex("63 01 2C 02 C8 01"));
    EXPECT_EQ(records_of(make_vector("float! 32 [0.1]")), hex("23 32 01 CDCCCC3D"));
    EXPECT_EQ(records_of(make_vector("1.5")), hex("23 33 01 000000000000F83F"));
    EXPECT_EQ(records_of(make_vector("50%")), hex("23 9B 01 000000000000E03F"));
    EXPECT_EQ(records_of(make_vector("char! 8 [#\"a\"]")), hex("23 28 01 61"));
    // Plain: the unit in the header, head, count, element type, the
    // elements padded to 32 bits.
    Bytes plain = bytes_of(encoded(make_vector("integer! 16 [1 -2 3]"), true));
    Bytes expect = hex("5A454D42494E 02 00") + le32(1) + le32(24) + le32(TYPE_VECTOR | 2 << 8) + le32(0) + le32(3) +
                   le32(TYPE_INTEGER) + hex("0100 FEFF 0300 0000");
    EXPECT_EQ(plain, expect);

    // Every width and type, an index, an empty vector and one buffer met
    // twice survive both encodings.
    Cell src = *block::make_at(stack::push_slot(), 12);
    for (const char* spec : {"integer! 8 [-1 127]", "integer! 16 [-32768 7]", "1 -2147483648", "char! 8 [#\"z\"]",
                             "char! 16 [#\"^(3B1)\"]", "#\"^(10FFFF)\"", "float! 32 [1.5 -0.0]", "2.5 1e300", "12.5% 1%",
                             "integer! 32 []"}) {
        Cell v = make_vector(spec);
        block::rs_append(&src, &v);
    }
    Cell shared = at(src, 1);
    shared.data1 = 1;
    block::rs_append(&src, &shared);
    for (bool cp : {true, false}) {
        SCOPED_TRACE(cp ? "compact" : "plain");
        Cell d = decode(bytes_of(encoded(src, !cp)));
        EXPECT_EQ(mold(d), mold(src));
        for (uint32_t i = 0; i < block::rs_length_q(&src); ++i) {
            Cell a = at(src, i), b = at(d, i);
            EXPECT_EQ(b.data3, a.data3) << i;
            EXPECT_EQ(series_of(&b)->unit(), series_of(&a)->unit()) << i;
        }
        EXPECT_EQ(at(d, 10).node(), at(d, 1).node());
        EXPECT_EQ(at(d, 10).head(), 1u);
    }
    })
    // An element type or unit a vector cannot have, elements beyond the
    // input, a char beyond Unicode, a reference to another series type.
    expect_invalid(compact(hex("23 2F 01 0000000000000000")), 12);
    expect_invalid(compact(hex("23 1C 01 00")), 12);
    expect_invalid(compact(hex("23 9A 01 00000000")), 12);
    expect_invalid(compact(hex("23 2E 02 00000000")), 13);
    expect_invalid(compact(hex("23 2A 01 00001100")), 14);
    expect_invalid(compact(hex("05 02 07 00 C1 23 01 00")), 0);
    expect_invalid(hex("5A454D42494E 02 00") + le32(1) + le32(20) + le32(TYPE_VECTOR | 3 << 8) + le32(0) + le32(1) +
                       le32(TYPE_INTEGER) + le32(0), 0);
}

// A word whose context belongs to an owner with no record form (it holds a
// routine!, as the console's objects do) is written in the global form, as
// if the attempt to write the owner had never been made.
TEST_F(Zembin, WordOfAnOwnerWithoutARecordGoesGlobal) {
    // An object of one field `zb-field` holding `value`, on the value stack,
    // and the word of that field bound to it.
    auto object_with = [](const Cell& value, Cell* word) {
        Node ctx = context::create(1, false, true, 0, context::KIND_OBJECT);
        Cell f = booted::word("zb-field");
        context::add_word(ctx, &f);
        Cell obj{TYPE_OBJECT, ctx, 3, 0};
        *context::self_of(ctx) = obj;
        *context::value_at(ctx, 0) = value;
        stack::push(&obj);
        *word = Cell{TYPE_WORD, ctx, f.symbol(), 0};
        return obj;
    };
    REPORT_ERRORS({
    Cell bound, kept;
    Cell held = object_with(Cell{TYPE_ROUTINE, 0, 0, 0}, &bound);
    Cell global = booted::word("zb-field");
    EXPECT_EQ(bytes_of(encoded(bound)), bytes_of(encoded(global)));
    Cell unbound = global;  // plain words out of the global context carry no index
    unbound.data1 = 0;
    EXPECT_EQ(bytes_of(encoded(bound, true)), bytes_of(encoded(unbound, true)));
    // In an error's stack, next to a word of an object that has a record.
    object_with(booted::integer(9), &kept);
    Cell words = *block::make_at(stack::push_slot(), 4);
    for (const Cell& c : {bound, kept, bound}) block::rs_append(&words, &c);
    Cell e{};
    error::create(err::NO_VALUE, nullptr, nullptr, nullptr, &e);
    stack::push(&e);
    *error::field(&e, error::STACK) = words;
    for (bool plain : {false, true}) {
        SCOPED_TRACE(plain ? "plain" : "compact");
        Cell d = decode(bytes_of(encoded(e, plain)));
        ASSERT_EQ(d.type(), TYPE_ERROR);
        Cell st = *error::field(&d, error::STACK);
        EXPECT_EQ(mold(st), "[zb-field zb-field zb-field]");
        EXPECT_EQ(at(st, 0).ctx(), context::global);
        EXPECT_EQ(at(st, 2).ctx(), context::global);
        Node dctx = at(st, 1).ctx();
        ASSERT_NE(dctx, context::global);
        EXPECT_EQ(context::value_at(dctx, 0)->int_value(), 9);
    }
    // The owner itself still has no record.
    Cell out;
    EXPECT_FIRES(zembin::encode_cp(&held, &out), err::NO_CODEC);
    })
}

// ---- Boot images ------------------------------------------------------------------------------

TEST_F(Zembin, BootAssignmentsAndBoundWords) {
    zembin::codec_mode = false;
    Cell target = *block::make_at(stack::push_slot(), 4);
    // zb-first: 5 (consumed), then an object record, then a word of the
    // object's context by root index 0 with index -1 (looked up) and 0.
    Bytes img = compact_with_symbols({"zb-first", "f"},
                                     hex("C4 0F 00 85") + hex("20 00 0E 1A 01 01 86") + hex("4F 01 00 01 4F 01 00 00"));
    Bytes full = img;
    uint32_t first = zembin::decode(full.data(), full.size(), &target, false, nullptr);
    EXPECT_EQ(first, 0u);
    ASSERT_EQ(block::rs_length_q(&target), 3u);
    Cell zb = booted::word("zb-first");
    EXPECT_EQ(context::get(&zb)->int_value(), 5);
    Cell obj = at(target, 0);
    ASSERT_EQ(obj.type(), TYPE_OBJECT);
    EXPECT_EQ(obj.data2, 0u);  // the class id as written
    for (uint32_t i = 1; i < 3; ++i) {
        Cell w = at(target, i);
        EXPECT_EQ(w.ctx(), obj.ctx());
        EXPECT_EQ(w.index(), 0);
        EXPECT_EQ(context::get(&w)->int_value(), 6);
    }
}

TEST_F(Zembin, BootImageReencodesToTheSameBytes) {
    std::string text = "Zem [Title: \"x\"]\n";
    for (int i = 0; i < 40; ++i) text += "f" + std::to_string(i) + ": func [a /local b] [b: a + " + std::to_string(i) + " print [\"x\" b]]\n";
    Cell src = load(text);
    Cell img1;
    zembin::encode_boot(&src, &img1);
    stack::push(&img1);
    Bytes b1 = bytes_of(img1);
    EXPECT_EQ(b1[6], zembin::BOOT_VERSION);
    EXPECT_EQ(b1[7], zembin::FLAG_COMPACT | zembin::FLAG_SYMBOLS | zembin::FLAG_COMPRESSED);
    zembin::codec_mode = false;
    Cell target = *block::make_at(stack::push_slot(), 4);
    zembin::decode(b1.data(), b1.size(), &target, false, nullptr);
    EXPECT_EQ(mold(target), mold(src));
    Cell img2;
    zembin::encode_boot(&target, &img2);
    EXPECT_EQ(bytes_of(img2), b1);
}

TEST_F(Zembin, EmbeddedBootImageReencodesToTheSameBytes) {
    Bytes embedded(zem_boot_image, zem_boot_image + zem_boot_image_size);
    ASSERT_GT(embedded.size(), 8u);
    EXPECT_EQ(embedded[7], zembin::FLAG_COMPACT | zembin::FLAG_SYMBOLS | zembin::FLAG_COMPRESSED);
    zembin::codec_mode = false;
    Cell target = *block::make_at(stack::push_slot(), 4);
    zembin::decode(embedded.data(), embedded.size(), &target, false, nullptr);
    EXPECT_GT(block::rs_length_q(&target), 10u);
    Cell again;
    zembin::encode_boot(&target, &again);
    EXPECT_EQ(bytes_of(again), embedded);
}

TEST_F(Zembin, CorruptBootImageEndsTheProgram) {
    struct Case {
        Bytes image;
        const char* message;
    } cases[] = {
        {hex("5A454D42494F 01 01 01 01 85"), "Error: Not a ZEMBIN file!\n"},
        {hex("5A454D42494E 01 03 0100000001000000 00"), "Error: ZEMBIN compressed data corrupted!\n"},
    };
    for (const Case& c : cases) {
        testing_child::Outcome out = testing_child::run([&] { zembin::boot_load(c.image.data(), c.image.size(), false); });
        EXPECT_NE(out.status, 0);
        EXPECT_EQ(out.signal, 0);
        EXPECT_EQ(out.output, c.message);
    }
}

TEST_F(Zembin, RoundTripWhileTheCollectorRuns) {
    // With ZEM_GC_STRESS set every allocation collects and moves what it can.
    collector::active = 1;
    REPORT_ERRORS({
        Cell src = at(load("[a \"shared\" [b c] #{0102} 1.5 x/y (p q)]"), 0);
        Cell s = at(src, 1);
        s.data1 = 2;
        block::rs_append(&src, &s);
        block::rs_append(&src, &src);
        std::string expected = mold(at(src, 0)) + mold(at(src, 7));
        for (bool plain : {false, true}) {
            Cell d = decode(bytes_of(encoded(src, plain)));
            EXPECT_EQ(mold(at(d, 0)) + mold(at(d, 7)), expected);
            EXPECT_EQ(at(d, 1).node(), at(d, 7).node());
            EXPECT_EQ(at(d, 8).node(), d.node());
        }
    })
    collector::active = 0;
}

TEST_F(Zembin, BootLoadAppendsToTheRootWithCollectionOff) {
    collector::active = 1;
    uint32_t before = series_of(&memory::root_block)->count();
    Bytes img = compact(hex("85 86"));
    uint32_t first = zembin::boot_load(img.data(), img.size(), false);
    EXPECT_EQ(first, before);
    EXPECT_EQ(root_base, before);
    EXPECT_EQ(get_root(0)->int_value(), 5);
    EXPECT_EQ(get_root(1)->int_value(), 6);
    EXPECT_EQ(collector::active, 1u);
    collector::active = 0;
    root_base = 0;
}

}  // namespace
