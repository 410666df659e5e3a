// DEFLATE, zlib and gzip: python3's zlib and gzip decode what we encode and
// encode what we must decode; damaged input fails with a clear result.
#include "services/compress.h"

#include <gtest/gtest.h>

#include "python_peer.h"

namespace {

using compress::Result;
using python_peer::bytes;
using python_peer::size;
using Codec = Result (*)(uint8_t*, uint32_t&, const uint8_t*, uint32_t);

struct Outcome {
    Result result;
    std::string bytes;
};

// Calls the routine with the capacity given, then again with the size it
// asked for, as a caller that retries does.
Outcome run(Codec codec, const std::string& in, uint32_t capacity = 0) {
    std::string out;
    Result r = compress::OK;
    for (int attempt = 0; attempt < 3; attempt++) {
        out.assign(capacity, '\0');
        uint32_t n = capacity;
        r = codec(capacity ? reinterpret_cast<uint8_t*>(out.data()) : nullptr, n, bytes(in), size(in));
        if (r == compress::OK) out.resize(n);
        bool retry = r == compress::TOO_SMALL || (r == compress::INVALID && n > capacity &&
                                                   (codec == compress::zlib_compress || codec == compress::gzip_compress));
        if (!retry) break;
        capacity = n;
    }
    return {r, out};
}

// A bit string for crafted streams: fields least significant bit first,
// Huffman codes most significant bit first.
struct Bits {
    std::string bytes;
    int count = 0;
    void put(uint32_t value, int n) {
        for (int i = 0; i < n; i++, count++) {
            if (count % 8 == 0) bytes += '\0';
            if ((value >> i) & 1) bytes.back() = static_cast<char>(bytes.back() | 1 << (count % 8));
        }
    }
    void code(uint32_t value, int n) {
        for (int i = n - 1; i >= 0; i--) put((value >> i) & 1, 1);
    }
    void align() { count = static_cast<int>(bytes.size()) * 8; }
};

std::string text(size_t n) {
    static const std::string words =
        "It was the best of times, it was the worst of times, it was the age of wisdom, it was the age of "
        "foolishness, it was the epoch of belief, it was the epoch of incredulity. ";
    std::string s;
    for (uint32_t i = 0; s.size() < n; i++) s += words.substr((i * 37) % 50) + std::to_string(i % 97) + ' ';
    s.resize(n);
    return s;
}

std::vector<std::string> sample_inputs() {
    std::string all;
    for (int i = 0; i < 256; i++) all += static_cast<char>(i);
    std::string cycle;
    for (int i = 0; i < 100000; i++) cycle += "abc"[i % 3];
    return {"", "a", all, text(20000), python_peer::noise(70000, 11), cycle, std::string(200000, '\0'),
            text(150000) + python_peer::noise(150000, 5)};
}

// ---- Encoding -------------------------------------------------------------------

TEST(Deflate, EmptyInput) {
    EXPECT_EQ(run(compress::deflate, "").bytes, std::string("\x03\x00", 2));
    EXPECT_EQ(run(compress::zlib_compress, "").bytes, std::string("\x78\x01\x03\x00\x00\x00\x00\x01", 8));
    auto gz = run(compress::gzip_compress, "");
    EXPECT_EQ(gz.result, compress::OK);
    EXPECT_EQ(gz.bytes, std::string("\x1F\x8B\x08\0\0\0\0\0\x04\x04\x03\x00", 12) + std::string(8, '\0'));
}

TEST(Deflate, PythonDecodesWhatWeEncode) {
    auto inputs = sample_inputs();
    std::vector<std::string> streams;
    for (const auto& in : inputs)
        for (Codec c : {compress::deflate, compress::zlib_compress, compress::gzip_compress}) {
            auto o = run(c, in);
            ASSERT_EQ(o.result, compress::OK) << in.size();
            streams.push_back(o.bytes);
        }
    auto out = python_peer::run(
        "import zlib, gzip\n"
        "r = records()\n"
        "for i in range(0, len(r), 3):\n"
        "    emit(zlib.decompress(r[i], -15)); emit(zlib.decompress(r[i + 1])); emit(gzip.decompress(r[i + 2]))\n",
        streams);
    ASSERT_TRUE(out) << "python3 could not decode our streams";
    auto decoded = python_peer::unpack(*out);
    ASSERT_EQ(decoded.size(), streams.size());
    for (size_t i = 0; i < streams.size(); i++) EXPECT_EQ(decoded[i], inputs[i / 3]) << "stream " << i;
    // Repetition is found: 200000 zero bytes take a few hundred bytes.
    EXPECT_LT(streams[3 * 6].size(), 2000u);
}

TEST(Deflate, TooSmallDestinationReportsTheSizeNeeded) {
    std::string in = text(5000);
    uint32_t needed = static_cast<uint32_t>(run(compress::deflate, in).bytes.size());
    for (auto [codec, frame] : {std::pair<Codec, uint32_t>{compress::deflate, 0u}, {compress::zlib_compress, 6u}, {compress::gzip_compress, 18u}}) {
        std::string out(needed + frame - 1, '\0');
        uint32_t n = size(out);
        EXPECT_EQ(codec(reinterpret_cast<uint8_t*>(out.data()), n, bytes(in), size(in)), compress::TOO_SMALL);
        EXPECT_EQ(n, needed + frame);
    }
    // No room for the framing at all.
    uint8_t small[5];
    uint32_t n = 5;
    EXPECT_EQ(compress::zlib_compress(small, n, bytes(in), size(in)), compress::INVALID);
    EXPECT_EQ(n, size(in) + 6);
    n = 17;
    uint8_t small2[17];
    EXPECT_EQ(compress::gzip_compress(small2, n, bytes(in), size(in)), compress::INVALID);
    EXPECT_EQ(n, size(in) + 18);
}

TEST(Gzip, InputThatLooksLikeGzipIsCompressedAgain) {
    // A gzip member (or anything starting with its magic bytes) is data like
    // any other: compressing and decompressing it gives it back.
    std::string member = run(compress::gzip_compress, text(3000)).bytes;
    for (const std::string& in : {member, std::string("\x1F\x8B\x08", 3), std::string("\x1F\x8B\x08 tail")}) {
        auto again = run(compress::gzip_compress, in);
        ASSERT_EQ(again.result, compress::OK);
        EXPECT_NE(again.bytes, in);
        auto back = run(compress::gzip_uncompress, again.bytes);
        EXPECT_EQ(back.result, compress::OK);
        EXPECT_EQ(back.bytes, in);
    }
}

// ---- Decoding ---------------------------------------------------------------------

// Python's streams for each input: zlib at levels 0, 1 and 9, raw DEFLATE
// with fixed codes, raw with a full flush (an empty stored block) in the
// middle, gzip.compress, and a gzip member with every optional header field.
const char* python_streams =
    "import zlib, gzip\n"
    "def raw(d, **kw):\n"
    "    c = zlib.compressobj(wbits=-15, **kw); return c.compress(d) + c.flush()\n"
    "def flushed(d):\n"
    "    c = zlib.compressobj(6, zlib.DEFLATED, -15); h = len(d) // 2\n"
    "    return c.compress(d[:h]) + c.flush(zlib.Z_FULL_FLUSH) + c.compress(d[h:]) + c.flush()\n"
    "def member(d):\n"
    "    h = b'\\x1f\\x8b\\x08' + bytes([2 | 4 | 8 | 16]) + b'\\0\\0\\0\\0\\0\\xff' + struct.pack('<H', 5) + b'extra'\n"
    "    h += b'name.txt\\0' + b'a comment\\0'\n"
    "    h += struct.pack('<H', zlib.crc32(h) & 0xFFFF)\n"
    "    return h + raw(d) + struct.pack('<II', zlib.crc32(d), len(d))\n"
    "for d in records():\n"
    "    for s in (zlib.compress(d, 0), zlib.compress(d, 1), zlib.compress(d, 9), raw(d, strategy=zlib.Z_FIXED),\n"
    "              flushed(d), gzip.compress(d), member(d)):\n"
    "        emit(s)\n";

TEST(Inflate, DecodesPythonStreams) {
    auto inputs = sample_inputs();
    auto out = python_peer::run(python_streams, inputs);
    ASSERT_TRUE(out) << "python3 did not run";
    auto streams = python_peer::unpack(*out);
    ASSERT_EQ(streams.size(), inputs.size() * 7);
    const Codec decoders[7] = {compress::zlib_uncompress, compress::zlib_uncompress, compress::zlib_uncompress,
                               compress::inflate,         compress::inflate,         compress::gzip_uncompress,
                               compress::gzip_uncompress};
    for (size_t i = 0; i < streams.size(); i++) {
        auto o = run(decoders[i % 7], streams[i]);
        EXPECT_EQ(o.result, compress::OK) << "input " << i / 7 << ", stream " << i % 7;
        EXPECT_TRUE(o.bytes == inputs[i / 7]) << "input " << i / 7 << ", stream " << i % 7;
    }
}

TEST(Inflate, TooSmallDestinationReportsTheSizeNeeded) {
    std::string in = text(10000);
    std::string z = run(compress::zlib_compress, in).bytes;
    std::string raw = z.substr(2, z.size() - 6);
    std::string gz = run(compress::gzip_compress, in).bytes;
    for (auto [codec, stream] : {std::pair<Codec, std::string>{compress::inflate, raw}, {compress::zlib_uncompress, z}, {compress::gzip_uncompress, gz}}) {
        std::string out(100, '\0');
        uint32_t n = 100;
        EXPECT_EQ(codec(reinterpret_cast<uint8_t*>(out.data()), n, bytes(stream), size(stream)), compress::TOO_SMALL);
        EXPECT_EQ(n, in.size());
        EXPECT_EQ(out, in.substr(0, 100));
    }
}

TEST(Gzip, ClaimedSizeIsCheckedBeforeItSizesABuffer) {
    // An ISIZE larger than what the data yields (yet within what DEFLATE
    // could expand to) is refused instead of being handed back as the size
    // to allocate.
    std::string in = text(10000);
    std::string gz = run(compress::gzip_compress, in).bytes;
    std::string lying = gz;
    lying[lying.size() - 3] = static_cast<char>(lying[lying.size() - 3] + 1);
    for (uint32_t capacity : {0u, 16u}) {
        uint32_t n = capacity;
        std::string dst(capacity, '\0');
        EXPECT_EQ(compress::gzip_uncompress(capacity ? reinterpret_cast<uint8_t*>(dst.data()) : nullptr, n, bytes(lying),
                                            size(lying)),
                  compress::INVALID);
    }
}

TEST(Inflate, CraftedFaults) {
    Bits far;  // fixed block whose first symbol is a match
    far.put(1, 1);
    far.put(1, 2);
    far.code(1, 7);  // length 3
    far.code(0, 5);  // distance 1
    Bits stored;  // stored block of 10 bytes with 3 present
    stored.put(1, 1);
    stored.put(0, 2);
    stored.align();
    stored.put(10, 16);
    stored.put(0xFFF5, 16);
    stored.bytes += "abc";
    Bits nlen;  // stored block whose NLEN is not the complement of LEN
    nlen.put(1, 1);
    nlen.put(0, 2);
    nlen.align();
    nlen.put(3, 16);
    nlen.put(3, 16);
    nlen.bytes += "abc";
    Bits no_final;  // a complete non-final stored block, then nothing
    no_final.put(0, 3);
    no_final.align();
    no_final.put(0, 16);
    no_final.put(0xFFFF, 16);
    Bits literal_286;  // fixed code 286 is no length
    literal_286.put(1, 1);
    literal_286.put(1, 2);
    literal_286.code(0xC6, 8);
    Bits distance_30;  // fixed distance code 30 is no distance
    distance_30.put(1, 1);
    distance_30.put(1, 2);
    distance_30.code(0x30 + 'x', 8);
    distance_30.code(1, 7);
    distance_30.code(30, 5);
    struct Case {
        const char* name;
        std::string stream;
        Result want;
    } cases[] = {
        {"block type 3", "\x07", compress::BAD_BLOCK_TYPE},
        {"distance before the start", far.bytes, compress::BAD_DISTANCE},
        {"stored block past the input", stored.bytes, compress::STORED_OVERRUN},
        {"stored NLEN", nlen.bytes, compress::INVALID},
        {"no final block", no_final.bytes, compress::INVALID},
        {"empty input", "", compress::INVALID},
        {"length symbol 286", literal_286.bytes, compress::INVALID},
        {"distance symbol 30", distance_30.bytes, compress::INVALID},
    };
    for (const auto& c : cases) EXPECT_EQ(run(compress::inflate, c.stream, 64).result, c.want) << c.name;

    Bits ok;  // stored block "abc", final
    ok.put(1, 3);
    ok.align();
    ok.put(3, 16);
    ok.put(0xFFFC, 16);
    ok.bytes += "abc";
    auto o = run(compress::inflate, ok.bytes);
    EXPECT_EQ(o.result, compress::OK);
    EXPECT_EQ(o.bytes, "abc");
}

TEST(Inflate, FramingFaults) {
    std::string in = text(3000);
    std::string z = run(compress::zlib_compress, in).bytes;
    std::string gz = run(compress::gzip_compress, in).bytes;
    auto with = [](std::string s, size_t at, char c) {
        s[at] = c;
        return s;
    };
    auto preset = python_peer::run("import zlib\nc = zlib.compressobj(zdict=b'dictionary'); emit(c.compress(b'dictionary data') + c.flush())\n");
    ASSERT_TRUE(preset);
    struct Case {
        const char* name;
        Codec codec;
        std::string stream;
    } cases[] = {
        {"zlib Adler-32", compress::zlib_uncompress, with(z, z.size() - 1, z.back() ^ 1)},
        {"zlib header check", compress::zlib_uncompress, with(z, 1, 0x02)},
        {"zlib method", compress::zlib_uncompress, "\x79\x5C" + z.substr(2)},
        {"zlib window", compress::zlib_uncompress, "\x88\x1C" + z.substr(2)},
        {"zlib preset dictionary", compress::zlib_uncompress, python_peer::unpack(*preset).at(0)},
        {"zlib too short", compress::zlib_uncompress, "\x78\x01\x03\x00\x00"},
        {"gzip CRC-32", compress::gzip_uncompress, with(gz, gz.size() - 8, gz[gz.size() - 8] ^ 1)},
        {"gzip ISIZE", compress::gzip_uncompress, with(gz, gz.size() - 4, gz[gz.size() - 4] - 1)},
        {"gzip ISIZE beyond any expansion", compress::gzip_uncompress, with(gz, gz.size() - 1, 0x7F)},
        {"gzip magic", compress::gzip_uncompress, with(gz, 1, 0x8C)},
        {"gzip method", compress::gzip_uncompress, with(gz, 2, 7)},
        {"gzip flags", compress::gzip_uncompress, with(gz, 3, 32)},
        {"gzip name without end", compress::gzip_uncompress, with(std::string(30, 'n'), 0, 0x1F).replace(1, 3, "\x8B\x08\x08")},
        {"gzip extra past the input", compress::gzip_uncompress, with(with(with(gz, 3, 4), 10, -1), 11, -1)},
        {"gzip header CRC", compress::gzip_uncompress, with(with(gz, 3, 2), 10, 0)},
        {"gzip too short", compress::gzip_uncompress, gz.substr(0, 17)},
    };
    for (const auto& c : cases) EXPECT_EQ(run(c.codec, c.stream, 4000).result, compress::INVALID) << c.name;
}

TEST(Inflate, EveryTruncationFails) {
    auto out = python_peer::run(python_streams, {text(4000)});
    ASSERT_TRUE(out);
    auto streams = python_peer::unpack(*out);
    const Codec decoders[7] = {compress::zlib_uncompress, compress::zlib_uncompress, compress::zlib_uncompress,
                               compress::inflate,         compress::inflate,         compress::gzip_uncompress,
                               compress::gzip_uncompress};
    for (size_t s = 0; s < streams.size(); s++) {
        std::string dst(8000, '\0');
        for (size_t n = 0; n < streams[s].size(); n++) {
            uint32_t capacity = size(dst);
            Result r = decoders[s](reinterpret_cast<uint8_t*>(dst.data()), capacity, bytes(streams[s]), static_cast<uint32_t>(n));
            ASSERT_NE(r, compress::OK) << "stream " << s << " cut to " << n << " bytes";
        }
    }
}

TEST(Inflate, SurvivesDamagedInput) {
    // Under the sanitizers any read or write out of bounds ends the test.
    std::string in = text(6000) + python_peer::noise(2000, 1);
    auto out = python_peer::run(python_streams, {in});
    ASSERT_TRUE(out);
    auto streams = python_peer::unpack(*out);
    const Codec decoders[7] = {compress::zlib_uncompress, compress::zlib_uncompress, compress::zlib_uncompress,
                               compress::inflate,         compress::inflate,         compress::gzip_uncompress,
                               compress::gzip_uncompress};
    uint32_t seed = 12345;
    auto next = [&seed] { return (seed = seed * 1103515245u + 12345u) >> 8; };
    std::string dst(in.size() * 2, '\0');
    for (int i = 0; i < 3000; i++) {
        size_t s = i % streams.size();
        std::string damaged = streams[s];
        if (i % 10 == 9) {
            damaged = python_peer::noise(next() % 600, next());  // garbage
        } else {
            for (uint32_t k = next() % 4 + 1; k > 0; k--) damaged[next() % damaged.size()] ^= static_cast<char>(1 << (next() % 8));
        }
        for (uint32_t capacity : {static_cast<uint32_t>(dst.size()), 37u, 0u}) {
            uint32_t n = capacity;
            Result r = decoders[s](capacity ? reinterpret_cast<uint8_t*>(dst.data()) : nullptr, n, bytes(damaged), size(damaged));
            ASSERT_TRUE(r >= compress::OK && r <= compress::BAD_DISTANCE);
        }
    }
}

}  // namespace
