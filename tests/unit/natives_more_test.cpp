// The binding, value, time, file and codec natives driven through real
// code: checksum, compress and decompress against python3's zlib, gzip,
// hashlib and hmac in both directions, now's refinements, bind and in over
// contexts, new-line markers and size? of real files.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "booted.h"
#include "datatypes/binary.h"
#include "datatypes/date.h"
#include "python_peer.h"

namespace {

using test_eval::error_of;

class NativesMore : public booted::Library {
protected:
    static std::string bytes_of(const Cell& bin) {
        EXPECT_EQ(bin.type(), TYPE_BINARY);
        if (bin.type() != TYPE_BINARY) return {};
        return std::string(reinterpret_cast<const char*>(binary::rs_head(&bin)), binary::rs_length_q(&bin));
    }

    static void set_binary(const char* name, const std::string& bytes) {
        Cell* b = binary::load(python_peer::bytes(bytes), python_peer::size(bytes));
        test_eval::set_global(name, *b);
        stack::pop(1);
    }
};

std::string text(size_t n) {
    static const std::string words = "the quick brown fox jumps over the lazy dog while zem compresses words ";
    std::string s;
    for (uint32_t i = 0; s.size() < n; i++) s += words.substr((i * 7) % 40) + std::to_string(i % 13);
    s.resize(n);
    return s;
}

std::vector<std::string> peer_inputs() {
    return {"", "x", python_peer::noise(1 << 20, 99), text(1 << 20)};
}

// ---- checksum, compress, decompress against python3 -----------------------------------

TEST_F(NativesMore, ChecksumAgreesWithPython) {
    auto inputs = peer_inputs();
    auto out = python_peer::run(
        "import zlib, hashlib, hmac\n"
        "for d in records():\n"
        "    emit(struct.pack('<II', zlib.crc32(d), zlib.adler32(d)))\n"
        "    for m in ('md5', 'sha1', 'sha256', 'sha384', 'sha512'):\n"
        "        emit(hashlib.new(m, d).digest())\n"
        "        emit(hmac.new(b'k' * 200, d, m).digest())\n",
        inputs);
    ASSERT_TRUE(out) << "python3 did not run";
    auto expected = python_peer::unpack(*out);
    ASSERT_EQ(expected.size(), inputs.size() * 11);
    size_t k = 0;
    for (const auto& in : inputs) {
        set_binary("data", in);
        std::string sums = expected[k++];
        Cell crc = test_eval::run("checksum data 'crc32");
        Cell adler = test_eval::run("checksum data 'adler32");
        EXPECT_EQ(static_cast<uint32_t>(crc.int_value()), *reinterpret_cast<const uint32_t*>(sums.data()));
        EXPECT_EQ(static_cast<uint32_t>(adler.int_value()), *reinterpret_cast<const uint32_t*>(sums.data() + 4));
        for (const char* m : {"md5", "sha1", "sha256", "sha384", "sha512"}) {
            EXPECT_EQ(bytes_of(test_eval::run(std::string("checksum data '") + m)), expected[k++]) << m << " of " << in.size();
            // The 200-byte key is longer than every block: it is hashed first.
            std::string key(200, 'k');
            set_binary("key", key);
            EXPECT_EQ(bytes_of(test_eval::run(std::string("checksum/with data '") + m + " key")), expected[k++])
                << "hmac " << m << " of " << in.size();
        }
    }
}

TEST_F(NativesMore, PythonDecodesWhatWeCompress) {
    auto inputs = peer_inputs();
    std::vector<std::string> streams;
    for (const auto& in : inputs) {
        set_binary("data", in);
        streams.push_back(bytes_of(test_eval::run("compress data 'zlib")));
        streams.push_back(bytes_of(test_eval::run("compress data 'gzip")));
    }
    auto out = python_peer::run(
        "import zlib, gzip\n"
        "r = records()\n"
        "for i in range(0, len(r), 2):\n"
        "    emit(zlib.decompress(r[i])); emit(gzip.decompress(r[i + 1]))\n",
        streams);
    ASSERT_TRUE(out) << "python3 refused a stream";
    auto back = python_peer::unpack(*out);
    ASSERT_EQ(back.size(), streams.size());
    for (size_t i = 0; i < back.size(); i++) EXPECT_TRUE(back[i] == inputs[i / 2]) << "stream " << i;
}

TEST_F(NativesMore, WeDecompressWhatPythonCompresses) {
    auto inputs = peer_inputs();
    auto out = python_peer::run(
        "import zlib, gzip\n"
        "for d in records():\n"
        "    emit(zlib.compress(d, 9)); emit(zlib.compress(d, 0)); emit(gzip.compress(d))\n",
        inputs);
    ASSERT_TRUE(out);
    auto streams = python_peer::unpack(*out);
    ASSERT_EQ(streams.size(), inputs.size() * 3);
    for (size_t i = 0; i < streams.size(); i++) {
        set_binary("data", streams[i]);
        const char* code = i % 3 == 2 ? "decompress data 'gzip" : "decompress data 'zlib";
        EXPECT_TRUE(bytes_of(test_eval::run(code)) == inputs[i / 3]) << "stream " << i;
        // A wrong /size guess, small or large, changes nothing.
        if (i % 3 == 2) {
            EXPECT_TRUE(bytes_of(test_eval::run("decompress/size data 'gzip 3")) == inputs[i / 3]);
        }
    }
}

TEST_F(NativesMore, DamagedStreamsRaiseInvalidData) {
    std::string in = text(5000);
    set_binary("data", in);
    std::string gz = bytes_of(test_eval::run("compress data 'gzip"));
    std::string z = bytes_of(test_eval::run("compress data 'zlib"));
    std::string lying = gz;
    lying[lying.size() - 2] = 1;  // ISIZE claims 64 KB more than the data gives
    for (const auto& [stream, method] : std::vector<std::pair<std::string, const char*>>{
             {lying, "gzip"}, {gz.substr(0, gz.size() - 1), "gzip"}, {z.substr(0, 5), "zlib"}, {"", "zlib"}, {"", "gzip"}}) {
        set_binary("data", stream);
        EXPECT_EQ(error_of(std::string("decompress data '") + method), "invalid-data") << method << " " << stream.size();
    }
}

TEST_F(NativesMore, ChecksumOfAFile) {
    char path[] = "/tmp/zem-checksum-XXXXXX";
    int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, "abc", 3), 3);
    close(fd);
    EXPECT_EQ(test_eval::run(std::string("checksum %") + path + " 'crc32").int_value(), 0x352441C2);
    EXPECT_EQ(test_eval::run(std::string("size? %") + path).int_value(), 3);
    unlink(path);
    EXPECT_EQ(error_of(std::string("checksum %") + path + " 'crc32"), "cannot-open");
    EXPECT_EQ(test_eval::run(std::string("size? %") + path).type(), TYPE_NONE);
    EXPECT_EQ(test_eval::run("size? %/tmp").type(), TYPE_NONE);
    EXPECT_EQ(error_of("checksum %/tmp 'md5"), "cannot-open");
}

TEST_F(NativesMore, ChecksumWithAnIntegerPrintsNothing) {
    testing::internal::CaptureStdout();
    EXPECT_EQ(error_of("checksum/with \"abc\" 'hash 16"), "invalid-refine-arg");
    EXPECT_EQ(error_of("checksum/with \"abc\" 'sha1 16"), "invalid-refine-arg");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

// ---- now -----------------------------------------------------------------------------------

TEST_F(NativesMore, NowAndItsRefinements) {
    std::time_t t = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&t, &utc);
    Cell d = test_eval::run("now/utc");
    ASSERT_EQ(d.type(), TYPE_DATE);
    EXPECT_EQ(date::year_of(d.data1), utc.tm_year + 1900);
    EXPECT_TRUE(date::time_q(d.data1));
    EXPECT_EQ(date::zone_of(d.data1), 0u);
    EXPECT_NEAR(d.float_value(), utc.tm_hour * 3600 + utc.tm_min * 60 + utc.tm_sec, 5.0);

    // The local date and its stored time give the local time of day.
    std::tm local{};
    localtime_r(&t, &local);
    Cell l = test_eval::run("now");
    double local_seconds = l.float_value() + date::zone_seconds(date::zone_of(l.data1));
    EXPECT_GE(local_seconds, 0.0);
    EXPECT_LT(local_seconds, 86400.0);
    EXPECT_EQ(date::day_of(l.data1), local.tm_mday);
    EXPECT_EQ(date::zone_seconds(date::zone_of(l.data1)), local.tm_gmtoff);

    Cell only = test_eval::run("now/date");
    EXPECT_FALSE(date::time_q(only.data1));
    EXPECT_EQ(date::zone_of(only.data1), 0u);
    EXPECT_EQ(only.float_value(), 0.0);

    EXPECT_EQ(test_eval::run("now/year").int_value(), local.tm_year + 1900);
    EXPECT_EQ(test_eval::run("now/month").int_value(), local.tm_mon + 1);
    EXPECT_EQ(test_eval::run("now/yearday").int_value(), local.tm_yday + 1);
    EXPECT_EQ(test_eval::run("now/weekday").int_value(), local.tm_wday == 0 ? 7 : local.tm_wday);
    EXPECT_EQ(test_eval::run("now/time").type(), TYPE_TIME);
    EXPECT_EQ(test_eval::run("now/time/precise").type(), TYPE_TIME);
    EXPECT_EQ(test_eval::run("now/zone/utc").type(), TYPE_TIME);
    for (const char* bad : {"now/year/month", "now/date/time", "now/precise/zone", "now/time/precise/day"})
        EXPECT_EQ(error_of(bad), "bad-refines") << bad;
}

// ---- Binding over contexts -------------------------------------------------------------------

TEST_F(NativesMore, BindAndInOverAContext) {
    // An object! value is a cell holding its context's node.
    Cell spec = test_eval::read("alpha beta");
    Node ctx = context::make(&spec, false, true, context::KIND_OBJECT);
    Cell obj{TYPE_OBJECT, ctx, 0, 0};
    *context::self_of(ctx) = obj;
    Cell one{TYPE_INTEGER, 0, 1, 0}, two{TYPE_INTEGER, 0, 2, 0};
    *context::value_at(ctx, 0) = one;
    *context::value_at(ctx, 1) = two;
    test_eval::set_global("obj", obj);
    test_eval::set_global("alpha", Cell{TYPE_INTEGER, 0, 100, 0});

    EXPECT_EQ(test_eval::run("do bind [alpha] obj").int_value(), 1);
    Cell beta = test_eval::run("in obj 'beta");
    EXPECT_EQ(beta.ctx(), ctx);
    EXPECT_EQ(context::get(&beta)->int_value(), 2);
    EXPECT_EQ(test_eval::run("in obj 'gamma").type(), TYPE_NONE);
    // /copy leaves the original bound as it was.
    EXPECT_EQ(test_eval::run("b: [alpha] c: bind/copy b obj do b").int_value(), 100);
    EXPECT_EQ(test_eval::run("do c").int_value(), 1);
    // A word is rebound to the context of another word; one the context
    // lacks is returned as it was.
    Cell rebound = test_eval::run("bind 'beta in obj 'alpha");
    EXPECT_EQ(rebound.ctx(), ctx);
    EXPECT_EQ(rebound.index(), 1);
    EXPECT_EQ(test_eval::run("bind 'gamma in obj 'alpha").ctx(), context::global);
    // self in a block bound to an object is the object.
    EXPECT_EQ(test_eval::run("do bind [self] obj").ctx(), ctx);
    // context? answers what the context's self cell holds.
    EXPECT_EQ(test_eval::run("context? in obj 'alpha").ctx(), ctx);
    EXPECT_EQ(test_eval::run("value? in obj 'beta").data1, 1u);
}

TEST_F(NativesMore, NewLineSkip) {
    Cell b = test_eval::run("b: [a b c d e] new-line/skip b true 2");
    ASSERT_EQ(b.type(), TYPE_BLOCK);
    const bool want[] = {true, false, true, false, true};
    for (uint32_t i = 0; i < 5; i++) EXPECT_EQ(block::rs_abs_at(&b, i)->new_line(), want[i]) << i;
    test_eval::run("new-line/all b false");
    for (uint32_t i = 0; i < 5; i++) EXPECT_FALSE(block::rs_abs_at(&b, i)->new_line());
    test_eval::run("new-line b true");
    EXPECT_TRUE(block::rs_abs_at(&b, 0)->new_line());
    EXPECT_FALSE(block::rs_abs_at(&b, 1)->new_line());
}

TEST_F(NativesMore, AsSharesTheBuffer) {
    Cell f = test_eval::run("f: %file.txt");
    Cell s = test_eval::run("as string! f");
    EXPECT_EQ(s.type(), TYPE_STRING);
    EXPECT_EQ(s.node(), f.node());
    EXPECT_EQ(test_eval::run("as url! \"x\"").type(), TYPE_URL);
}

}  // namespace
