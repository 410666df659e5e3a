// The LZ77 block codec: round trips, a python3 decoder written from the
// format's description, crafted streams and damaged input.
#include "services/zembin/lz77.h"

#include <gtest/gtest.h>

#include <optional>

#include "python_peer.h"

namespace {

using python_peer::bytes;

std::optional<std::string> compressed(const std::string& in) {
    std::string out(in.size(), '\0');
    int32_t n = lz77::compress({bytes(in), in.size()}, reinterpret_cast<uint8_t*>(out.data()));
    if (n < 0) return std::nullopt;
    out.resize(static_cast<size_t>(n));
    return out;
}

// nullopt when the decoder refuses the stream.
std::optional<std::string> decompressed(const std::string& stream) {
    uint32_t n = 0xDEADBEEF;
    uint8_t* out = lz77::decompress({bytes(stream), stream.size()}, &n);
    if (!out) return std::nullopt;
    std::string s(reinterpret_cast<char*>(out), n);
    lz77::free_buffer(out);
    return s;
}

// Writes fields least significant bit first.
struct Bits {
    std::string bytes;
    int count = 0;
    void put(uint32_t value, int n) {
        for (int i = 0; i < n; i++, count++) {
            if (count % 8 == 0) bytes += '\0';
            if ((value >> i) & 1) bytes.back() = static_cast<char>(bytes.back() | 1 << (count % 8));
        }
    }
};

std::string le32(uint32_t v) {
    std::string s;
    for (int i = 0; i < 4; i++) s += static_cast<char>(v >> (8 * i));
    return s;
}

// A stream of the given blocks: each a length and its bit stream.
std::string stream(const std::vector<std::pair<uint32_t, std::string>>& blocks, uint32_t total) {
    std::string body;
    for (const auto& [length, bits] : blocks) body += le32(length) + bits;
    return le32(static_cast<uint32_t>(body.size())) + le32(total) + body;
}

std::string text(size_t n) {
    std::string s;
    for (uint32_t i = 0; s.size() < n; i++)
        s += "line " + std::to_string(i * 7919 % 1000) + ": the quick brown fox jumps over the lazy dog\n";
    s.resize(n);
    return s;
}

std::vector<std::string> round_trip_inputs() {
    std::string cycle;
    for (int i = 0; i < 5000; i++) cycle += "abcdefg"[i % 7];
    std::string mixed = text(1500000);
    mixed.replace(700000, 400000, python_peer::noise(400000, 2));  // noise across the block boundary
    return {std::string(128, 'x'), text(200000), cycle, std::string(3 * 1048576 + 17, '\0'),
            std::string(1048576, 'y'), text(1048577), mixed};
}

TEST(Lz77, RoundTrips) {
    for (const auto& in : round_trip_inputs()) {
        auto c = compressed(in);
        ASSERT_TRUE(c) << in.size();
        EXPECT_LT(c->size(), in.size());
        auto d = decompressed(*c);
        ASSERT_TRUE(d) << in.size();
        EXPECT_TRUE(*d == in) << in.size();
    }
}

TEST(Lz77, AnIndependentDecoderReadsOurStreams) {
    std::vector<std::string> streams;
    auto inputs = round_trip_inputs();
    for (const auto& in : inputs) streams.push_back(*compressed(in));
    auto out = python_peer::run(
        "def decode(s):\n"
        "    n, u = struct.unpack_from('<II', s); pos = 8; out = bytearray()\n"
        "    while pos < 8 + n:\n"
        "        length = struct.unpack_from('<I', s, pos)[0]; pos += 4; bit = pos * 8; start = len(out)\n"
        "        def take(k):\n"
        "            nonlocal bit\n"
        "            v = 0\n"
        "            for i in range(k):\n"
        "                v |= ((s[bit >> 3] >> (bit & 7)) & 1) << i; bit += 1\n"
        "            return v\n"
        "        while len(out) - start < length:\n"
        "            if not take(1):\n"
        "                out.append(take(8)); continue\n"
        "            for base, k in ((0, 2), (4, 2), (8, 2), (12, 3), (20, 5), (52, 9)):\n"
        "                if k == 9 or take(1): n_ = base + take(k); break\n"
        "            j = take(4) + 2\n"
        "            d = take(3) if j == 2 else take(j) + (1 << j)\n"
        "            for _ in range(n_ + 3): out.append(out[-d - 1])\n"
        "        pos = (bit + 7) >> 3\n"
        "    assert len(out) == u\n"
        "    return bytes(out)\n"
        "for s in records(): emit(decode(s))\n",
        streams);
    ASSERT_TRUE(out) << "the python decoder failed";
    auto decoded = python_peer::unpack(*out);
    ASSERT_EQ(decoded.size(), inputs.size());
    for (size_t i = 0; i < inputs.size(); i++) EXPECT_TRUE(decoded[i] == inputs[i]) << i;
}

TEST(Lz77, InputThatCannotBeCompressed) {
    EXPECT_FALSE(compressed(std::string(127, 'x')));
    EXPECT_FALSE(compressed(""));
    EXPECT_FALSE(compressed(python_peer::noise(4000, 9)));  // does not fit in length - 8 bytes
}

TEST(Lz77, CraftedStreams) {
    EXPECT_EQ(decompressed(stream({}, 0)), "");
    Bits one;  // a single literal
    one.put(0, 1);
    one.put('z', 8);
    EXPECT_EQ(decompressed(stream({{1, one.bytes}}, 1)), "z");
    Bits run;  // a literal, then a match of 566 at distance 1
    run.put(0, 1);
    run.put('r', 8);
    run.put(1, 1);
    run.put(0, 5);
    run.put(511, 9);
    run.put(0, 4);
    run.put(0, 3);
    EXPECT_EQ(decompressed(stream({{567, run.bytes}}, 567)), std::string(567, 'r'));
    // Two blocks: the second starts on a byte boundary after the first.
    EXPECT_EQ(decompressed(stream({{1, one.bytes}, {567, run.bytes}}, 568)), "z" + std::string(567, 'r'));

    Bits first_match;
    first_match.put(1, 1);
    first_match.put(0, 3);
    first_match.put(0, 7);
    Bits across;  // a match reaching into the previous block
    across.put(0, 1);
    across.put('a', 8);
    across.put(1, 1);
    across.put(0, 3);
    across.put(0, 4);
    across.put(1, 3);  // distance 2
    Bits short_bits = run;
    short_bits.bytes.pop_back();
    struct Case {
        const char* name;
        std::string stream;
    } cases[] = {
        {"block length 0", stream({{0, one.bytes}}, 1)},
        {"block length 1048577", stream({{1048577, one.bytes}}, 1048577)},
        {"first token a match", stream({{3, first_match.bytes}}, 3)},
        {"match into the previous block", stream({{1, one.bytes}, {4, across.bytes}}, 5)},
        {"match past the block's end", stream({{300, run.bytes}}, 300)},
        {"block longer than the total", stream({{567, run.bytes}}, 566)},
        {"fewer bytes than the total", stream({{1, one.bytes}}, 2)},
        {"bit stream past the input", stream({{567, short_bits.bytes}}, 567)},
        {"header longer than the input", stream({{1, one.bytes}}, 1).substr(0, 13)},
        {"block length cut short", stream({{1, one.bytes}}, 1).substr(0, 10).replace(0, 4, le32(2))},
        {"no header", "\x01\0\0\0"},
        {"total beyond any expansion", le32(0) + le32(1)},
    };
    for (const auto& c : cases) EXPECT_FALSE(decompressed(c.stream)) << c.name;
}

TEST(Lz77, DamagedStreamsFailCleanly) {
    std::string in = text(60000);
    std::string good = *compressed(in);
    for (size_t n = 0; n < good.size(); n += 7) EXPECT_FALSE(decompressed(good.substr(0, n))) << n;
    uint32_t seed = 99;
    auto next = [&seed] { return (seed = seed * 1103515245u + 12345u) >> 8; };
    for (int i = 0; i < 2000; i++) {
        std::string damaged = good;
        for (uint32_t k = next() % 3 + 1; k > 0; k--) damaged[next() % damaged.size()] ^= static_cast<char>(1 << (next() % 8));
        auto d = decompressed(damaged);  // must not crash; may decode to other bytes
        if (d) {
            EXPECT_EQ(d->size(), in.size());
        }
    }
}

}  // namespace
