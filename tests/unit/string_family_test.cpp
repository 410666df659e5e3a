// The string family: url! (percent-encoding checked against python3's
// urllib.parse, mold, path evaluation, building from a block, reads),
// file! (mold, local path conversion), tag!, email! and ref!.
#include <unistd.h>

#include <climits>

#include "booted.h"
#include "datatypes/file.h"
#include "datatypes/url.h"
#include "python_peer.h"
#include "services/lexer/lexer.h"
#include "runtime/unicode.h"

namespace {

using booted::integer;

class Family : public booted::Runtime {
protected:
    Cell str(const std::string& utf8, uint32_t type = TYPE_STRING) {
        Cell* s = string::rs_make_at(stack::push_slot(), 16);
        string::append_utf8(s, utf8.data(), static_cast<uint32_t>(utf8.size()));
        s->header = type;
        return *s;
    }
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
    Cell* buffer() { return string::rs_make_at(stack::push_slot(), 16); }
    std::string mold(const Cell& v) {
        Cell value = v;
        Cell* buf = buffer();
        actions::mold(&value, buf, false, false, false, nullptr, INT32_MAX, 0);
        return u8(*buf);
    }
    std::string form(const Cell& v) {
        Cell value = v;
        Cell* buf = buffer();
        actions::form(&value, buf, nullptr, INT32_MAX);
        return u8(*buf);
    }
    std::string encode(const std::string& text, int32_t mode) {
        Cell s = str(text);
        Cell* out = buffer();
        url::percent_encode(&s, out, mode);
        return u8(*out);
    }
    std::string decode(const std::string& text) {
        Cell s = str(text);
        Cell* out = buffer();
        url::percent_decode(&s, out);
        return u8(*out);
    }
};

// ---- url! ----------------------------------------------------------------------------------

TEST_F(Family, PercentEncodingCases) {
    EXPECT_EQ(encode("a b/c", url::MODE_UNRESERVED), "a%20b%2Fc");
    EXPECT_EQ(encode("a b/c", url::MODE_URL), "a%20b/c");
    EXPECT_EQ(decode("%C3%A9"), "\xC3\xA9");
    EXPECT_EQ(decode("100%"), "100%");
    EXPECT_EQ(decode("%41"), "A");
    EXPECT_EQ(decode("%C3"), "%C3");        // the partner escape is missing
    EXPECT_EQ(decode("%C3x%A9"), "%C3x\xC2\xA9");  // a stray continuation byte is a code point
    EXPECT_EQ(decode("%zz%4"), "%zz%4");
    EXPECT_EQ(decode("%e2%82%ac"), "\xE2\x82\xAC");
    EXPECT_FIRES(decode("%C3%28"), err::INVALID_UTF8);
    // Asked to, the decoder reports the bad escape instead of raising (the
    // lexer makes it a syntax error of its own).
    for (const char* bad_escape : {"%C3%28", "a%d8%ea", "%ED%B0%80"}) {
        Cell s = str(bad_escape);
        bool bad = false;
        url::percent_decode(&s, buffer(), &bad);
        EXPECT_TRUE(bad) << bad_escape;
    }
    Cell good = str("%C3%A9");
    bool bad = false;
    Cell* out = buffer();
    url::percent_decode(&good, out, &bad);
    EXPECT_FALSE(bad);
    EXPECT_EQ(u8(*out), "\xC3\xA9");
}

TEST_F(Family, PercentCodecsAgreeWithPython) {
    std::vector<std::string> inputs = {
        "plain", "a b", "x=1&y=[2]", "\"quoted\" <tag> {br} |pipe| ^caret `grave` \\ %",
        "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80", std::string("\x01\x1F\x7F", 3), "!#$&'()*+,-./:=?@_~;",
    };
    // Deterministic random code points (no surrogates).
    uint32_t seed = 7;
    for (int k = 0; k < 20; ++k) {
        std::string s;
        for (int i = 0; i < 30; ++i) {
            seed = seed * 1103515245u + 12345u;
            uint32_t r = seed >> 8;
            uint32_t cp = r % 4 == 0 ? 0x20 + r % 95 : r % 4 == 1 ? 0xA0 + r % 0x700 : r % 4 == 2 ? 0x3000 + r % 0x5000 : 0x10000 + r % 0x2000;
            uint8_t buf[4];
            uint32_t n = unicode::encode_utf8_char(cp, buf);
            s.append(reinterpret_cast<char*>(buf), n);
        }
        inputs.push_back(s);
    }
    auto out = python_peer::run(
        "from urllib.parse import quote, unquote\n"
        "for r in records():\n"
        "    s = r.decode('utf-8')\n"
        "    emit(quote(s, safe=\"!#$&'()*+,/:=?@\").encode())\n"
        "    emit(quote(s, safe='').encode())\n"
        "    emit(unquote(quote(s, safe='')).encode())\n"
        "    emit(unquote(s.replace('%', '%25')).encode())\n",
        inputs);
    ASSERT_TRUE(out.has_value()) << "python3 did not run";
    auto results = python_peer::unpack(*out);
    ASSERT_EQ(results.size(), inputs.size() * 4);
    for (size_t i = 0; i < inputs.size(); ++i) {
        const std::string& in = inputs[i];
        EXPECT_EQ(encode(in, url::MODE_URL), results[4 * i]) << in;
        EXPECT_EQ(encode(in, url::MODE_UNRESERVED), results[4 * i + 1]) << in;
        EXPECT_EQ(decode(results[4 * i + 1]), results[4 * i + 2]) << in;
        EXPECT_EQ(decode(encode(in, url::MODE_URL)), in);
        // Lower-case hexadecimal digits decode too.
        std::string lower = results[4 * i + 1];
        for (size_t k = 0; k + 2 < lower.size(); ++k) {
            if (lower[k] != '%') continue;
            lower[k + 1] = static_cast<char>(std::tolower(static_cast<unsigned char>(lower[k + 1])));
            lower[k + 2] = static_cast<char>(std::tolower(static_cast<unsigned char>(lower[k + 2])));
        }
        EXPECT_EQ(decode(lower), results[4 * i + 2]) << in;
    }
}

TEST_F(Family, UrlMoldFormAndPath) {
    Cell u = str("http://x.org/a b/caf\xC3\xA9", TYPE_URL);
    EXPECT_EQ(mold(u), "http://x.org/a%20b/caf%C3%A9");
    EXPECT_EQ(form(u), "http://x.org/a b/caf\xC3\xA9");
    // Path evaluation adds one slash between parent and element.
    struct {
        const char* parent;
        const char* element;
        const char* want;
    } cases[] = {{"http://x/a", "b", "http://x/a/b"},
                 {"http://x/a/", "b", "http://x/a/b"},
                 {"http://x/a/", "/b", "http://x/a/b"},
                 {"http://x/a", "/b", "http://x/a/b"}};
    for (auto& c : cases) {
        Cell parent = str(c.parent, TYPE_URL);
        Cell element = str(c.element);
        Cell r = parent;
        url::eval_path(&r, &element, nullptr, nullptr, nullptr, nullptr, 0, false, false, true);
        EXPECT_EQ(r.type(), TYPE_URL);
        EXPECT_EQ(u8(r), c.want);
        EXPECT_EQ(u8(parent), c.parent);  // never changed
    }
    Cell parent = str("http://x", TYPE_URL), el = str("y");
    EXPECT_FIRES(url::eval_path(&parent, &el, &el, nullptr, nullptr, nullptr, 0, false, false, true),
                 err::BAD_PATH_SET);
    // A file inherits the segment rule.
    Cell f = str("dir", TYPE_FILE);
    Cell r = f;
    actions::eval_path(&r, &el, nullptr, nullptr, nullptr, nullptr, 0, false, false, true);
    EXPECT_EQ(r.type(), TYPE_FILE);
    EXPECT_EQ(u8(r), "dir/y");
}

TEST_F(Family, UrlFromABlock) {
    Cell* blk = block::make_at(stack::push_slot(), 4);
    Cell scheme = booted::word("http"), host = str("example.org"), a = str("a"), b = str("b");
    block::rs_append(blk, &scheme);
    block::rs_append(blk, &host);
    block::rs_append(blk, &a);
    block::rs_append(blk, &b);
    Cell spec = *blk;
    Cell proto = booted::dtype(TYPE_URL);
    url::to(&proto, &spec, TYPE_URL);
    EXPECT_EQ(proto.type(), TYPE_URL);
    EXPECT_EQ(u8(proto), "http://example.org/a/b");
    Cell* empty = block::make_at(stack::push_slot(), 1);
    Cell e = *empty;
    Cell p2 = booted::dtype(TYPE_URL);
    EXPECT_FIRES(url::make(&p2, &e, TYPE_URL), err::BAD_TO_ARG);
    // Other specs are string!'s.
    Cell text = str("ftp://h");
    Cell p3 = booted::dtype(TYPE_URL);
    url::to(&p3, &text, TYPE_URL);
    EXPECT_EQ(p3.type(), TYPE_URL);
    EXPECT_EQ(u8(p3), "ftp://h");
}

TEST_F(Family, UrlReadsWithoutHttpLayerFailClearly) {
    Cell h = str("https://example.org", TYPE_URL);
    EXPECT_FIRES(url::read(&h, nullptr, nullptr, false, false, false, nullptr), err::NO_CONNECT);
    Cell n = integer(1);
    EXPECT_FIRES(url::read(&h, &n, nullptr, false, false, false, nullptr), err::NOT_DONE);
    Cell data = str("x");
    EXPECT_FIRES(url::write(&h, &data, false, false, false, false, nullptr, nullptr, nullptr, nullptr),
                 err::NO_CONNECT);
    EXPECT_FIRES(url::write(&h, &n, false, false, false, false, nullptr, nullptr, nullptr, nullptr),
                 err::INVALID_ARG);
    Cell ftp = str("ftp://example.org", TYPE_URL);
    EXPECT_FIRES(url::read(&ftp, nullptr, nullptr, false, false, false, nullptr), err::INVALID_ARG);
}

// ---- file! ---------------------------------------------------------------------------------

TEST_F(Family, FileMold) {
    struct {
        const char* text;
        const char* want;
    } cases[] = {
        {"a.txt", "%a.txt"},
        {"my file", "%\"my file\""},
        {"", "%\"\""},
        {"a;b", "%\"a;b\""},
        {"\xC3\xA9t\xC3\xA9", "%\xC3\xA9t\xC3\xA9"},
        {"/c/dir:x\\y", "%\"/c/dir:x\\y\""},
        // Names that only load back with the string escapes.
        {"say \"hi\"", "%say%20%22hi%22"},
        {"50%\"", "%50%25%22"},
        {"two\nlines", "%\"two^/lines\""},
        {"a^b", "%\"a^^b\""},
    };
    for (auto& c : cases) EXPECT_EQ(mold(str(c.text, TYPE_FILE)), c.want) << c.text;
    Cell f = str("abc", TYPE_FILE);
    Cell* buf = buffer();
    EXPECT_EQ(file::mold(&f, buf, false, false, false, nullptr, 100, 0), 96);
}

TEST_F(Family, LocalPathConversion) {
    std::string cwd;
    {
        char b[4096];
        ASSERT_NE(getcwd(b, sizeof b), nullptr);
        cwd = b;
        if (cwd.back() != '/') cwd += '/';
    }
    struct {
        const char* file;
        bool full;
        std::string want;
    } cases[] = {
        {"/usr/lib/x.txt", true, "/usr/lib/x.txt"},
        {"/", false, "/"},
        {"//a", false, "/a"},
        {"/c/windows", false, "/c/windows"},
        {"a/b", false, "a/b"},
        {"a/b", true, cwd + "a/b"},
        {"back\\slash:colon", false, "back\\slash:colon"},
        {"", true, cwd},
    };
    for (auto& c : cases) {
        Cell f = str(c.file, TYPE_FILE);
        Cell* out = buffer();
        file::to_local_path(&f, out, c.full);
        EXPECT_EQ(u8(*out), c.want) << c.file;
    }
    Cell rel = str("x y/\xC3\xA9", TYPE_FILE);
    EXPECT_EQ(file::to_os_path(&rel), cwd + "x y/\xC3\xA9");
    Cell* dir = file::get_current_dir();
    EXPECT_EQ(u8(*dir), cwd);
    Cell os = str("/tmp/a\\b");
    Cell back;
    file::from_local_path(&os, &back);
    EXPECT_EQ(back.type(), TYPE_FILE);
    EXPECT_EQ(u8(back), "/tmp/a\\b");
}

// ---- Molded text loads back ----------------------------------------------------------------

TEST_F(Family, MoldedStringsAndFilesLoadBackWhole) {
    std::vector<std::string> texts = {
        "plain", "a b", "say \"hi\"", "two\nlines", "a^b", "tab\there", "{open", "close}", "{a}b}",
        "}{", "three\n\n\nlines", std::string(60, 'x'), "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80",
        "\x7F\xC2\x80\xC2\x9F\x1E\x01\x1B", "semi;colon", "%percent", "back\\slash", "[x]", "<x>",
        "q\"{\"}", "^^", "^(", "end^",
    };
    for (uint32_t type : {TYPE_STRING, TYPE_FILE}) {
        for (const std::string& t : texts) {
            if (type == TYPE_FILE && t.find('\n') != std::string::npos && t.size() > 40) continue;
            Cell v = str(t, type);
            for (bool all : {false, true}) {
                Cell value = v;
                Cell* buf = buffer();
                actions::mold(&value, buf, false, all, false, nullptr, INT32_MAX, 0);
                Cell text = *buf;
                Cell* slot = stack::push_slot();
                *slot = Cell{TYPE_UNSET, 0, 0, 0};
                try {
                    lexer::load_value(&text, slot);
                } catch (const ErrorThrown& e) {
                    ADD_FAILURE() << "error " << e.code() << " loading " << u8(text);
                    continue;
                }
                ASSERT_EQ(slot->type(), type) << u8(text);
                EXPECT_EQ(u8(*slot), t) << u8(text);
            }
        }
    }
}

TEST_F(Family, MoldedUrlsLoadBackWhole) {
    for (const char* t : {"http://x.org/a b", "http://x.org/caf\xC3\xA9?q=1&r=[2]", "ftp://h/50%/\"q\"",
                          "http://h/{x}|^`<>;"}) {
        Cell v = str(t, TYPE_URL);
        Cell* buf = buffer();
        actions::mold(&v, buf, false, false, false, nullptr, INT32_MAX, 0);
        Cell text = *buf;
        Cell* slot = stack::push_slot();
        *slot = Cell{TYPE_UNSET, 0, 0, 0};
        lexer::load_value(&text, slot);
        ASSERT_EQ(slot->type(), TYPE_URL) << u8(text);
        EXPECT_EQ(u8(*slot), t) << u8(text);
    }
}

// ---- tag!, email!, ref! ----------------------------------------------------------------------

TEST_F(Family, TagEmailRefForms) {
    Cell t = str("a href=x", TYPE_TAG);
    EXPECT_EQ(mold(t), "<a href=x>");
    EXPECT_EQ(form(t), "<a href=x>");
    Cell* buf = buffer();
    EXPECT_EQ(actions::mold(&t, buf, false, false, false, nullptr, 100, 0), 90);
    Cell e = str("joe@example.org", TYPE_EMAIL);
    EXPECT_EQ(mold(e), "joe@example.org");
    Cell r = str("name", TYPE_REF);
    EXPECT_EQ(mold(r), "@name");
    EXPECT_EQ(form(r), "name");
    Cell x = str("x");
    EXPECT_FIRES(actions::append(&r, &x, -1, false, 1), err::EXPECT_ARG);
}

TEST_F(Family, EmailUserAndHost) {
    Cell e = str("joe@example.org", TYPE_EMAIL);
    Cell user = booted::word("user"), host = booted::word("HOST");
    Cell r = e;
    actions::eval_path(&r, &user, nullptr, nullptr, nullptr, nullptr, 0, false, false, true);
    EXPECT_EQ(r.type(), TYPE_STRING);
    EXPECT_EQ(u8(r), "joe");
    r = e;
    actions::eval_path(&r, &host, nullptr, nullptr, nullptr, nullptr, 0, false, false, true);
    EXPECT_EQ(u8(r), "example.org");
    Cell ann = str("ann");
    r = e;
    actions::eval_path(&r, &user, &ann, nullptr, nullptr, nullptr, 0, false, false, true);
    EXPECT_EQ(u8(e), "ann@example.org");
    Cell other = str("x.net");
    r = e;
    actions::eval_path(&r, &host, &other, nullptr, nullptr, nullptr, 0, false, false, true);
    EXPECT_EQ(u8(e), "ann@x.net");
    // Without an at sign: the whole text is the user, the host is empty.
    Cell bare = str("nobody", TYPE_EMAIL);
    r = bare;
    actions::eval_path(&r, &user, nullptr, nullptr, nullptr, nullptr, 0, false, false, true);
    EXPECT_EQ(u8(r), "nobody");
    r = bare;
    actions::eval_path(&r, &host, nullptr, nullptr, nullptr, nullptr, 0, false, false, true);
    EXPECT_EQ(u8(r), "");
    Cell bad = booted::word("domain"), one = integer(1);
    r = e;
    EXPECT_FIRES(actions::eval_path(&r, &bad, nullptr, nullptr, nullptr, nullptr, 0, false, false, true),
                 err::INVALID_PATH);
    r = e;
    actions::eval_path(&r, &one, nullptr, nullptr, nullptr, nullptr, 0, false, false, true);
    EXPECT_EQ(r.type(), TYPE_CHAR);
    EXPECT_EQ(r.int_value(), 'a');
}



}  // namespace
