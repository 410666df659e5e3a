// UTF-8 and UTF-16 text: loading and encoding against python3's codecs,
// widening, the checked decoder's rules, folding of line ends, and the
// bounded table decoder.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "child.h"
#include "evaluator/errors.h"
#include "python_peer.h"
#include "runtime/unicode.h"
#include "series_fixture.h"

namespace {

using Bytes = std::vector<uint8_t>;

class Unicode : public SeriesTest {};

std::vector<uint32_t> code_points(Node str) {
    const SeriesBuffer* s = memory::buffer(str);
    std::vector<uint32_t> out;
    for (uint32_t i = 0; i < s->count(); i++) out.push_back(unicode::get_char(s->data_at(0), s->unit(), i));
    return out;
}

Node load(const Bytes& b, bool crlf = false, uint32_t* remaining = nullptr) {
    return unicode::load_utf8(b.data(), static_cast<uint32_t>(b.size()), 0, remaining, crlf);
}

Bytes hex_bytes(const std::string& hex) {
    Bytes b;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) b.push_back(static_cast<uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
    return b;
}

// The strings of the round trip, as python literals; python gives their
// UTF-8 and UTF-16LE bytes and their code points.
const char* const SAMPLES[] = {
    "''", "'abc'", "'caf\\u00e9 \\u00ff'", "'\\u20acuro'", "'\\u65e5\\u672c\\u8a9e'",
    "'\\U0001F600'", "'a\\u20ac\\U0001F600z'", "'line\\nbreak'", "'\\u0000x'", "'\\U0010FFFF\\uFFFF\\u0100'",
};

TEST_F(Unicode, RoundTripsAgainstPython) {
    std::string script = "import sys\nfor s in [";
    for (const char* s : SAMPLES) script += std::string(s) + ",";
    script += "]:\n    print(s.encode('utf-8').hex() or '-', s.encode('utf-16-le').hex() or '-', ' '.join(str(ord(c)) for c in s) or '-')\n";
    std::string out = python_peer::run_text(script);
    ASSERT_FALSE(out.empty()) << "the python3 peer printed nothing";
    std::istringstream lines(out);
    std::string utf8_hex, utf16_hex, cps_text;
    size_t n = 0;
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        fields >> utf8_hex >> utf16_hex;
        std::getline(fields, cps_text);
        Bytes utf8 = utf8_hex == "-" ? Bytes{} : hex_bytes(utf8_hex);
        Bytes utf16 = utf16_hex == "-" ? Bytes{} : hex_bytes(utf16_hex);
        std::vector<uint32_t> want;
        std::istringstream cps(cps_text);
        std::string cp;
        uint32_t widest = 0;
        while (cps >> cp)
            if (cp != "-") {
                want.push_back(static_cast<uint32_t>(std::stoul(cp)));
                widest = std::max(widest, want.back());
            }
        SCOPED_TRACE(SAMPLES[n]);

        Node str = load(utf8);
        EXPECT_EQ(code_points(str), want);
        EXPECT_EQ(memory::buffer(str)->unit(), widest > 0xFFFF ? 4u : widest > 0xFF ? 2u : 1u);

        Cell cell{TYPE_STRING, 0, str, 0};
        int32_t length = -1;
        uint8_t* back = unicode::to_utf8(&cell, &length);
        EXPECT_EQ(Bytes(back, back + length), utf8);
        EXPECT_EQ(back[length], 0);
        EXPECT_EQ(length, static_cast<int32_t>(unicode::utf8_size(memory::buffer(str)->data_at(0),
                                                                   memory::buffer(str)->tail_addr(),
                                                                   memory::buffer(str)->unit())));
        length = -1;
        auto* wide = reinterpret_cast<uint8_t*>(unicode::to_utf16_crlf(&cell, &length, false));
        EXPECT_EQ(Bytes(wide, wide + 2 * length), utf16);

        std::vector<uint16_t> units(utf16.size() / 2);
        if (!utf16.empty()) std::memcpy(units.data(), utf16.data(), utf16.size());
        Node from16 = unicode::load_utf16(units.data(), static_cast<uint32_t>(units.size()), nullptr, false);
        EXPECT_EQ(code_points(from16), want);
        EXPECT_EQ(unicode::count_utf8_chars(utf8.data(), utf8.data() + utf8.size()), want.size());
        n++;
    }
    EXPECT_EQ(n, std::size(SAMPLES));
}

// Sequences python refuses and the checked decoder refuses too, with the
// error carrying the sequence's bytes (at most 4).
TEST_F(Unicode, InvalidSequencesRaiseWithTheirBytes) {
    const Bytes cases[] = {
        {0x80},
        {0xBF, 0x41},
        {0xC3, 0x41},
        {0xE2, 0x28, 0xA1},
        {0xED, 0xB0, 0x80},
        {0xF4, 0x90, 0x80, 0x80},
        {0xF8, 0x88, 0x80, 0x80, 0x80},
        {0xFF},
        {0xF0, 0x9F, 0x41, 0x80, 0x41},
    };
    std::string script = "for h in [";
    for (const auto& c : cases) {
        script += "'";
        for (uint8_t b : c) script += "0123456789abcdef"[b >> 4], script += "0123456789abcdef"[b & 15];
        script += "',";
    }
    script += "]:\n    try:\n        bytes.fromhex(h).decode('utf-8'); print('ok')\n    except UnicodeDecodeError:\n        print('bad')\n";
    std::string out = python_peer::run_text(script);
    ASSERT_FALSE(out.empty()) << "the python3 peer printed nothing";
    EXPECT_EQ(out.find("ok"), std::string::npos) << out;
    for (const auto& c : cases) {
        Bytes input = {'a'};
        input.insert(input.end(), c.begin(), c.end());
        try {
            load(input);
            ADD_FAILURE() << "no error for " << int(c[0]);
        } catch (const ErrorThrown& e) {
            EXPECT_EQ(e.category(), ERR_ACCESS);
            EXPECT_EQ(e.code(), 502u);
            ASSERT_EQ(e.arg_count, 1u);
            ASSERT_EQ(e.args[0].type(), TYPE_BINARY);
            const SeriesBuffer* b = series_of(&e.args[0]);
            Bytes got(b->data_at(0), b->tail_addr());
            EXPECT_EQ(got, Bytes(c.begin(), c.begin() + std::min<size_t>(4, c.size())));
        }
    }
}

TEST_F(Unicode, CheckedDecoderRules) {
    struct Case {
        Bytes bytes;
        int32_t cp;
        uint32_t used;
    } cases[] = {
        {{0x41}, 0x41, 1},
        {{0xC0, 0x80}, 0, 2},                  // overlong forms are not refused
        {{0xED, 0xA0, 0x80}, 0xD800, 3},       // nor the high surrogates
        {{0xEF, 0xBF, 0xBF}, 0xFFFF, 3},
        {{0xF4, 0x8F, 0xBF, 0xBF}, 0x10FFFF, 4},
        {{0xE2, 0x82}, -1, 2},                 // incomplete: nothing consumed
        {{0xF0}, -1, 1},
    };
    for (const auto& c : cases) {
        uint32_t count = static_cast<uint32_t>(c.bytes.size());
        EXPECT_EQ(unicode::decode_utf8_char_checked(c.bytes.data(), &count), c.cp);
        EXPECT_EQ(count, c.used);
    }
}

TEST_F(Unicode, IncompleteEndByteOrderMarkAndLineEnds) {
    uint32_t remaining = 99;
    Node s = load({'a', 'b', 0xE2, 0x82}, false, &remaining);
    EXPECT_EQ(code_points(s), (std::vector<uint32_t>{'a', 'b'}));
    EXPECT_EQ(remaining, 2u);
    load({'a'}, false, &remaining);
    EXPECT_EQ(remaining, 0u);

    EXPECT_EQ(code_points(load({0xEF, 0xBB, 0xBF, 'x'})), std::vector<uint32_t>{'x'});
    EXPECT_TRUE(code_points(load({0xEF, 0xBB, 0xBF})).empty());
    EXPECT_TRUE(code_points(load({})).empty());

    EXPECT_EQ(code_points(load({'a', '\r', '\n', 'b'}, true)), (std::vector<uint32_t>{'a', '\n', 'b'}));
    EXPECT_EQ(code_points(load({'a', '\r', 'b', '\r'}, true)), (std::vector<uint32_t>{'a', '\n', 'b', '\n'}));
    EXPECT_EQ(code_points(load({'a', '\r', '\n'}, false)), (std::vector<uint32_t>{'a', '\r', '\n'}));

    Node str = load({'a', '\n', 'b'});
    Cell cell{TYPE_STRING, 0, str, 0};
    int32_t length = -1;
    uint8_t* crlf = unicode::to_utf8_crlf(&cell, &length, true);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(crlf), length), "a\r\nb");
    uint16_t* wide = unicode::to_utf16(&cell);
    EXPECT_EQ(std::u16string(reinterpret_cast<char16_t*>(wide)), u"a\r\nb");
}

TEST_F(Unicode, WideningOneTwoFour) {
    Node s = load({'a', 'b', 'c'});
    EXPECT_EQ(memory::buffer(s)->unit(), 1u);
    EXPECT_EQ(memory::buffer(s)->count(), 3u);
    s = load({0xE2, 0x82, 0xAC, 'a'});
    EXPECT_EQ(memory::buffer(s)->unit(), 2u);
    EXPECT_EQ(code_points(s), (std::vector<uint32_t>{0x20AC, 'a'}));
    s = load({'x', 0xE2, 0x82, 0xAC, 'a', 0xF0, 0x9F, 0x98, 0x80, 'z'});
    EXPECT_EQ(memory::buffer(s)->unit(), 4u);
    EXPECT_EQ(code_points(s), (std::vector<uint32_t>{'x', 0x20AC, 'a', 0x1F600, 'z'}));

    // Long text widened late: every element keeps its value.
    Bytes text(5000, 'q');
    text.insert(text.end(), {0xC4, 0x80});  // U+0100
    for (int i = 0; i < 3000; i++) text.push_back('r');
    text.insert(text.end(), {0xF0, 0x9F, 0x98, 0x80});
    s = load(text);
    auto cps = code_points(s);
    ASSERT_EQ(cps.size(), 8002u);
    EXPECT_EQ(cps[0], 'q');
    EXPECT_EQ(cps[5000], 0x100u);
    EXPECT_EQ(cps[8000], 'r');
    EXPECT_EQ(cps[8001], 0x1F600u);

    // A string whose head is not at the start of its buffer widens within it.
    Node centred = memory::alloc_series(16, 1, -1);
    SeriesBuffer* b = memory::buffer(centred);
    std::memset(b->offset_addr(), 'k', 8);
    b->tail = b->offset + 8;
    b = unicode::latin1_to_ucs4(b);
    EXPECT_EQ(b->unit(), 4u);
    EXPECT_LE(b->tail, b->size);
    EXPECT_EQ(code_points(centred), std::vector<uint32_t>(8, 'k'));
}

TEST_F(Unicode, LoadingIntoAnExistingString) {
    Node str = load({'o', 'l', 'd', ' ', 't', 'e', 'x', 't'});
    uint32_t remaining;
    Bytes fresh = {'n', 0xC3, 0xA9, 'w', 0xE2, 0x82};
    Node same = unicode::load_utf8_in(fresh.data(), static_cast<uint32_t>(fresh.size()), str, &remaining);
    EXPECT_EQ(same, str);
    EXPECT_EQ(code_points(str), (std::vector<uint32_t>{'n', 0xE9, 'w'}));
    EXPECT_EQ(remaining, 2u);
}

TEST_F(Unicode, Utf16UnitsAndSurrogates) {
    const uint16_t pair[] = {0xD83D, 0xDE00};
    Node s = unicode::load_utf16(pair, 2, nullptr, false);
    EXPECT_EQ(memory::buffer(s)->unit(), 4u);
    EXPECT_EQ(code_points(s), std::vector<uint32_t>{0x1F600});
    const uint16_t crlf[] = {'a', '\r', '\n', 0x263A};
    s = unicode::load_utf16(crlf, 4, nullptr, true);
    EXPECT_EQ(memory::buffer(s)->unit(), 2u);
    EXPECT_EQ(code_points(s), (std::vector<uint32_t>{'a', '\n', 0x263A}));
    EXPECT_EQ(memory::buffer(unicode::load_utf16(crlf, 3, nullptr, false))->unit(), 1u);

    uint16_t out[2];
    EXPECT_EQ(unicode::encode_utf16_char(0x1F600, out), 2u);
    EXPECT_EQ(out[0], 0xD83D);
    EXPECT_EQ(out[1], 0xDE00);
    EXPECT_EQ(unicode::encode_utf16_char(0x110000, out), 0u);
}

TEST_F(Unicode, BrokenSurrogatePairEndsTheProcess) {
    for (auto units : {std::vector<uint16_t>{'a', 0xD83D}, std::vector<uint16_t>{0xD83D, 'a'}}) {
        auto outcome = testing_child::run([&] {
            unicode::load_utf16(units.data(), static_cast<uint32_t>(units.size()), nullptr, false);
        });
        EXPECT_NE(outcome.status, 0);
        EXPECT_EQ(outcome.signal, 0);
        EXPECT_EQ(outcome.output, "*** Input Error: invalid UTF-16LE codepoint\n");
    }
}

TEST_F(Unicode, TableDecoderStopsAtTheEnd) {
    const uint8_t text[] = {'a', 0xE2, 0x82, 0xAC, 0xF0, 0x9F, 0x98};  // ends inside a sequence
    int32_t cp;
    const uint8_t* end = text + sizeof text;
    const uint8_t* p = unicode::fast_decode_utf8_char(text + 1, end, &cp);
    EXPECT_EQ(cp, 0x20AC);
    p = unicode::fast_decode_utf8_char(p, end, &cp);
    EXPECT_EQ(cp, -1);
    EXPECT_EQ(p, end);
    EXPECT_EQ(unicode::count_utf8_chars(text, end), 3u);
    EXPECT_EQ(unicode::skip_utf8_chars(text, end, 2), text + 4);
    EXPECT_EQ(unicode::skip_utf8_chars(text, end, 99), end);
    // A rejected sequence resumes at the byte that broke it.
    const uint8_t broken[] = {0xE2, 'A', 'B'};
    p = unicode::fast_decode_utf8_char(broken, broken + 3, &cp);
    EXPECT_EQ(cp, -1);
    EXPECT_EQ(p, broken + 1);
    EXPECT_EQ(unicode::count_utf8_chars(broken, broken + 3), 3u);
    EXPECT_EQ(unicode::utf8_dfa[0xC2], 2);
    EXPECT_EQ(unicode::utf8_dfa[256 + 12], 12);
}

TEST_F(Unicode, SmallHelpers) {
    EXPECT_EQ(unicode::utf8_lead_size(0xF0), 4u);
    EXPECT_EQ(unicode::utf8_lead_size(0xE2), 3u);
    EXPECT_EQ(unicode::utf8_lead_size(0xC3), 2u);
    EXPECT_EQ(unicode::utf8_lead_size('a'), 0u);
    EXPECT_EQ(unicode::utf8_lead_size(0x80), 0u);
    EXPECT_EQ(unicode::utf8_char_size(0x7F), 1u);
    EXPECT_EQ(unicode::utf8_char_size(0x80), 2u);
    EXPECT_EQ(unicode::utf8_char_size(0xFFFF), 3u);
    EXPECT_EQ(unicode::utf8_char_size(0x10FFFF), 4u);
    try {
        unicode::utf8_char_size(0x110000);
        ADD_FAILURE();
    } catch (const ErrorThrown& e) {
        EXPECT_EQ(e.code(), 341u);
        EXPECT_EQ(e.args[0].int_value(), 0x110000);
        // No catalogue here: the error travels without an error! value.
        EXPECT_EQ(e.value.type(), TYPE_UNSET);
    }
    uint8_t buf[4] = {0, 0, 0, 0};
    EXPECT_EQ(unicode::encode_utf8_char_part(0x20AC, buf, 2), 2u);
    EXPECT_EQ(buf[0], 0xE2);
    EXPECT_EQ(buf[1], 0x82);
    EXPECT_EQ(buf[2], 0);

    Node str = load({'a', 0xE2, 0x82, 0xAC, 'b'});
    Cell cell{TYPE_STRING, 1, str, 0};
    uint8_t out[8];
    std::memset(out, 0x55, sizeof out);
    EXPECT_EQ(unicode::to_utf8_buffer(&cell, out, -1, true), 4u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(out)), "\xE2\x82\xAC" "b");
    std::memset(out, 0x55, sizeof out);
    EXPECT_EQ(unicode::to_utf8_buffer_max(&cell, out, 3, 0, true), 2u);  // the euro sign is cut
    EXPECT_EQ(out[2], 0);
    EXPECT_EQ(out[3], 0x55);
    EXPECT_EQ(unicode::utf16_extra_size(reinterpret_cast<const uint8_t*>("a\nb\n"),
                                        reinterpret_cast<const uint8_t*>("a\nb\n") + 4, 1), 4u);
}

}  // namespace
