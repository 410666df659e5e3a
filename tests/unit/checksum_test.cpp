// Checksums, digests and HMAC against python3's zlib, hashlib and hmac.
#include "services/checksum.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <deque>
#include <sstream>

#include "child.h"
#include "python_peer.h"

namespace {

using python_peer::bytes;
using python_peer::size;

std::string hex(const checksum::Digest& d) {
    std::string s;
    char b[3];
    for (uint32_t i = 0; i < d.size; i++) {
        std::snprintf(b, sizeof b, "%02x", d.bytes[i]);
        s += b;
    }
    return s;
}

const int32_t digests[] = {checksum::MD5, checksum::SHA1, checksum::SHA256, checksum::SHA384, checksum::SHA512};

std::vector<std::string> sample_inputs() {
    std::string all;
    for (int i = 0; i < 256; i++) all += static_cast<char>(i);
    return {"", "abc", std::string(1, '\x01'), "The quick brown fox jumps over the lazy dog", all,
            python_peer::noise(10001, 7),
            // 0xFF words whose 32-bit sum wraps: the internet checksum must
            // keep every carry.
            std::string(300001, '\xFF')};
}

TEST(Checksum, KnownValues) {
    EXPECT_EQ(checksum::crc32(bytes("abc"), 3), 0x352441C2u);
    EXPECT_EQ(checksum::adler32(bytes("abc"), 3), 0x024D0127u);
    EXPECT_EQ(checksum::adler32(nullptr, 0), 1u);
    EXPECT_EQ(checksum::crc32(nullptr, 0), 0u);
    // RFC 1071's worked example, and an odd byte taken as the high byte.
    const uint8_t rfc[] = {0x00, 0x01, 0xF2, 0x03, 0xF4, 0xF5, 0xF6, 0xF7};
    EXPECT_EQ(checksum::tcp(rfc, 8), 0x220Du);
    const uint8_t one = 0x01;
    EXPECT_EQ(checksum::tcp(&one, 1), 0xFEFFu);
    EXPECT_EQ(checksum::tcp(nullptr, 0), 0xFFFFu);
}

TEST(Checksum, AgreesWithPython) {
    auto inputs = sample_inputs();
    auto out = python_peer::run(
        "import zlib, hashlib\n"
        "def tcp(d):\n"
        "    if len(d) % 2: d += b'\\0'\n"
        "    s = sum(struct.unpack('>%dH' % (len(d) // 2), d))\n"
        "    while s >> 16: s = (s & 0xFFFF) + (s >> 16)\n"
        "    return ~s & 0xFFFF\n"
        "for d in records():\n"
        "    print(zlib.crc32(d), zlib.adler32(d), tcp(d),\n"
        "          *[hashlib.new(m, d).hexdigest() for m in ('md5', 'sha1', 'sha256', 'sha384', 'sha512')])\n",
        inputs);
    ASSERT_TRUE(out) << "python3 did not run";
    std::istringstream lines(*out);
    for (const auto& in : inputs) {
        uint32_t crc, adler, tcp;
        ASSERT_TRUE(lines >> crc >> adler >> tcp);
        EXPECT_EQ(checksum::crc32(bytes(in), size(in)), crc) << in.size();
        EXPECT_EQ(checksum::adler32(bytes(in), size(in)), adler) << in.size();
        EXPECT_EQ(checksum::tcp(bytes(in), size(in)), tcp) << in.size();
        for (int32_t alg : digests) {
            std::string want;
            lines >> want;
            auto d = checksum::crypto_hash(bytes(in), size(in), alg);
            EXPECT_EQ(d.size, checksum::digest_size(alg));
            EXPECT_EQ(hex(d), want) << "algorithm " << alg << ", " << in.size() << " bytes";
        }
    }
}

TEST(Checksum, DigestSizesAndUnknownAlgorithms) {
    const uint32_t sizes[] = {0, 0, 16, 20, 32, 48, 64, 0};
    for (int32_t alg = 0; alg < 8; alg++) EXPECT_EQ(checksum::digest_size(alg), sizes[alg]);
    EXPECT_EQ(checksum::crypto_hash(bytes("abc"), 3, checksum::CRC32).size, 0u);
    EXPECT_EQ(checksum::crypto_hash(bytes("abc"), 3, 7).size, 0u);
}

TEST(Checksum, HmacAgreesWithPython) {
    // Keys around both block sizes (64 and 128) and one of 200 bytes, which
    // is digested first.
    std::vector<std::string> keys = {"", "key", std::string(64, 'k'), std::string(65, 'k'),
                                     std::string(128, 'k'), std::string(129, 'k'), python_peer::noise(200, 3)};
    std::vector<std::string> data = {"", "The quick brown fox jumps over the lazy dog", python_peer::noise(1000, 9)};
    std::vector<std::string> inputs;
    for (const auto& k : keys)
        for (const auto& d : data) {
            inputs.push_back(k);
            inputs.push_back(d);
        }
    auto out = python_peer::run(
        "import hmac\n"
        "r = records()\n"
        "for i in range(0, len(r), 2):\n"
        "    print(*[hmac.new(r[i], r[i + 1], m).hexdigest() for m in ('md5', 'sha1', 'sha256', 'sha384', 'sha512')])\n",
        inputs);
    ASSERT_TRUE(out) << "python3 did not run";
    std::istringstream lines(*out);
    for (size_t i = 0; i < inputs.size(); i += 2) {
        const auto& k = inputs[i];
        const auto& d = inputs[i + 1];
        for (int32_t alg : digests) {
            std::string want;
            lines >> want;
            auto got = checksum::hmac(bytes(d), size(d), bytes(k), size(k), alg);
            EXPECT_EQ(hex(got), want) << "algorithm " << alg << ", key " << k.size() << ", data " << d.size();
        }
    }
}

// Data given in pieces of any size, odd ones included (the internet
// checksum's words then straddle two pieces), gives what one call over the
// whole gives; the one-call results are python's (above).
TEST(Checksum, PiecesGiveTheWholeResult) {
    std::string d = python_peer::noise(100003, 5);
    const size_t cuts[][4] = {{1, 1, 1, 1}, {3, 7, 1, 4096}, {65536, 1, 2, 5}, {99999, 3, 1, 0}};
    for (const auto& cut : cuts) {
        checksum::Running sums[] = {checksum::Running(checksum::CRC32), checksum::Running(checksum::ADLER32),
                                    checksum::Running(checksum::TCP)};
        checksum::Running hmac(checksum::SHA256, bytes("key"), 3);
        std::deque<checksum::Running> plain;
        for (int32_t alg : digests) plain.emplace_back(alg);
        // Pieces of the sizes in turn, then the rest.
        size_t at = 0;
        for (int i = 0; at < d.size(); ++i) {
            size_t n = std::min(d.size() - at, cut[i % 4] ? cut[i % 4] : d.size());
            for (auto& r : sums) r.update(bytes(d) + at, n);
            for (auto& r : plain) r.update(bytes(d) + at, n);
            hmac.update(bytes(d) + at, n);
            at += n;
        }
        EXPECT_EQ(sums[0].sum(), checksum::crc32(bytes(d), size(d)));
        EXPECT_EQ(sums[1].sum(), checksum::adler32(bytes(d), size(d)));
        EXPECT_EQ(sums[2].sum(), checksum::tcp(bytes(d), size(d)));
        for (size_t i = 0; i < std::size(digests); ++i)
            EXPECT_EQ(hex(plain[i].digest()), hex(checksum::crypto_hash(bytes(d), size(d), digests[i])));
        EXPECT_EQ(hex(hmac.digest()), hex(checksum::hmac(bytes(d), size(d), bytes("key"), 3, checksum::SHA256)));
    }
}

TEST(Checksum, HmacOfAChecksumMethodIsRefused) {
    for (int32_t alg : {int32_t{checksum::TCP}, int32_t{checksum::CRC32}, -1}) {
        auto out = testing_child::run([alg] {
            auto d = checksum::hmac(bytes("data"), 4, bytes("key"), 3, alg);
            std::printf("size %u\n", d.size);
        });
        EXPECT_EQ(out.output, "The selected algorithm doesn't support HMAC calculation\nsize 0\n");
    }
}

}  // namespace
