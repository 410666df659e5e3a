// DEFLATE with zlib and gzip framing: a small greedy encoder that writes one
// fixed-Huffman block, and a decoder for every block type that reads its
// input through bounds-checked helpers.
#include "services/compress.h"

#include <array>
#include <cstring>

#include "services/checksum.h"

namespace compress {

namespace {

// ---- Tables of RFC 1951 -------------------------------------------------------

constexpr uint16_t length_base[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                      31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr uint8_t length_extra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                      2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr uint16_t distance_base[30] = {1,    2,    3,    4,    5,    7,     9,     13,    17,  25,
                                        33,   49,   65,   97,   129,  193,   257,   385,   513, 769,
                                        1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr uint8_t distance_extra[30] = {0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6,
                                        6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
constexpr uint8_t code_length_order[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

uint32_t reverse_bits(uint32_t code, int length) {
    uint32_t r = 0;
    for (int i = 0; i < length; i++, code >>= 1) r = (r << 1) | (code & 1);
    return r;
}

inline void put_le32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; i++) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline uint32_t get_le32(const uint8_t* p) {
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}

// ---- Encoder ---------------------------------------------------------------------

// Bits go in least significant first; bytes past the destination's end are
// counted but not written, so the final position is the size needed.
struct BitWriter {
    uint8_t* out;
    uint32_t capacity;
    uint64_t position = 0;
    uint32_t bits = 0;
    int count = 0;

    void put(uint32_t value, int n) {
        bits |= value << count;
        count += n;
        while (count >= 8) {
            if (position < capacity) out[position] = static_cast<uint8_t>(bits);
            position++;
            bits >>= 8;
            count -= 8;
        }
    }
    void flush() {
        if (count > 0) put(0, 8 - count);
    }
};

// A symbol of the fixed literal/length code, written bit-reversed.
void put_literal_code(BitWriter& w, uint32_t symbol) {
    if (symbol < 144)
        w.put(reverse_bits(0x30 + symbol, 8), 8);
    else if (symbol < 256)
        w.put(reverse_bits(0x190 + symbol - 144, 9), 9);
    else if (symbol < 280)
        w.put(reverse_bits(symbol - 256, 7), 7);
    else
        w.put(reverse_bits(0xC0 + symbol - 280, 8), 8);
}

void put_match(BitWriter& w, uint32_t length, uint32_t distance) {
    int i = 28;
    while (length_base[i] > length) i--;
    put_literal_code(w, 257 + i);
    if (length_extra[i]) w.put(length - length_base[i], length_extra[i]);
    int j = 29;
    while (distance_base[j] > distance) j--;
    w.put(reverse_bits(j, 5), 5);
    if (distance_extra[j]) w.put(distance - distance_base[j], distance_extra[j]);
}

uint32_t bucket_of(const uint8_t* p) {
    uint32_t h = p[0] ^ (static_cast<uint32_t>(p[0]) << 16 | p[1] << 8 | p[2]);
    h *= 0x7FEB352Du;
    h ^= h >> 15;
    h *= 0x846CA68Bu;
    return (h ^ (h >> 16)) & 0x3FF;
}

// ---- Decoder -------------------------------------------------------------------

// Reads the input least significant bit first. Reading past the end gives
// zero bits and sets `overrun`, which the decoder checks after each symbol.
struct BitReader {
    const uint8_t* in;
    uint32_t length;
    uint32_t position = 0;
    uint64_t bits = 0;
    int count = 0;
    bool overrun = false;

    void refill() {
        while (count <= 56 && position < length) {
            bits |= static_cast<uint64_t>(in[position++]) << count;
            count += 8;
        }
    }
    uint32_t peek(int n) {
        if (count < n) refill();
        return static_cast<uint32_t>(bits & ((uint64_t{1} << n) - 1));
    }
    void drop(int n) {
        if (n > count) {
            overrun = true;
            bits = 0;
            count = 0;
        } else {
            bits >>= n;
            count -= n;
        }
    }
    uint32_t take(int n) {
        uint32_t v = peek(n);
        drop(n);
        return v;
    }
    // Skips to the next byte boundary and hands the whole buffered bytes
    // back to the input, so that `position` is the next unread byte.
    void align() {
        drop(count & 7);
        position -= static_cast<uint32_t>(count / 8);
        bits = 0;
        count = 0;
    }
};

// A canonical Huffman code: the number of codes of each length, the symbols
// in code order, and a direct table for codes of up to FAST bits (entry:
// symbol | length << 9; 0 for longer or unused codes).
constexpr int FAST = 9;
struct Huffman {
    uint16_t count[16];
    uint16_t symbol[288];
    uint16_t fast[1 << FAST];
};

// Builds the code from the lengths. Answers -1 for an over-subscribed set,
// 0 for a complete one (or one with no codes) and the number of unused
// codes for an incomplete one.
int build(Huffman& h, const uint8_t* lengths, int n) {
    std::memset(h.count, 0, sizeof h.count);
    std::memset(h.fast, 0, sizeof h.fast);
    for (int s = 0; s < n; s++) h.count[lengths[s]]++;
    if (h.count[0] == n) return 0;
    int left = 1;
    for (int len = 1; len < 16; len++) {
        left <<= 1;
        left -= h.count[len];
        if (left < 0) return -1;
    }
    uint16_t offset[16];
    offset[1] = 0;
    for (int len = 1; len < 15; len++) offset[len + 1] = offset[len] + h.count[len];
    for (int s = 0; s < n; s++)
        if (lengths[s]) h.symbol[offset[lengths[s]]++] = static_cast<uint16_t>(s);
    uint32_t code = 0;
    int index = 0;
    for (int len = 1; len <= FAST; len++) {
        for (int k = 0; k < h.count[len]; k++, code++) {
            uint16_t entry = static_cast<uint16_t>(h.symbol[index++] | len << 9);
            for (uint32_t r = reverse_bits(code, len); r < (1u << FAST); r += 1u << len) h.fast[r] = entry;
        }
        code <<= 1;
    }
    return left;
}

// The next symbol, or -1 for a bit pattern that is no code.
int decode(BitReader& in, const Huffman& h) {
    uint32_t bits = in.peek(15);
    uint16_t entry = h.fast[bits & ((1u << FAST) - 1)];
    if (entry) {
        in.drop(entry >> 9);
        return entry & 0x1FF;
    }
    int code = 0, first = 0, index = 0;
    for (int len = 1; len < 16; len++) {
        code |= (bits >> (len - 1)) & 1;
        int count = h.count[len];
        if (code - count < first) {
            in.drop(len);
            return h.symbol[index + (code - first)];
        }
        index += count;
        first = (first + count) << 1;
        code <<= 1;
    }
    return -1;
}

// Output that counts every byte but writes only those within the capacity.
struct Output {
    uint8_t* out;
    uint32_t capacity;
    uint64_t produced = 0;
};

constexpr uint64_t MAX_OUTPUT = 0xFFFFFFFFu;

Result codes(BitReader& in, Output& o, const Huffman& lengths, const Huffman& distances) {
    for (;;) {
        int symbol = decode(in, lengths);
        if (symbol < 0 || in.overrun) return INVALID;
        if (symbol < 256) {
            if (o.produced < o.capacity) o.out[o.produced] = static_cast<uint8_t>(symbol);
            o.produced++;
        } else if (symbol == 256) {
            return OK;
        } else {
            symbol -= 257;
            if (symbol >= 29) return INVALID;
            uint32_t length = length_base[symbol] + in.take(length_extra[symbol]);
            int d = decode(in, distances);
            if (d < 0 || d >= 30) return INVALID;
            uint32_t distance = distance_base[d] + in.take(distance_extra[d]);
            if (in.overrun) return INVALID;
            if (distance > o.produced) return BAD_DISTANCE;
            if (o.produced + length <= o.capacity) {
                // The whole copy fits: a block move when source and
                // destination do not overlap, else byte by byte.
                uint8_t* to = o.out + o.produced;
                const uint8_t* from = to - distance;
                if (distance >= length)
                    std::memcpy(to, from, length);
                else
                    for (uint32_t k = 0; k < length; k++) to[k] = from[k];
                o.produced += length;
            } else {
                // Bytes past the capacity are only counted (their sources
                // may not have been written).
                for (; length > 0 && o.produced < o.capacity; length--, o.produced++)
                    o.out[o.produced] = o.out[o.produced - distance];
                o.produced += length;
            }
        }
        if (o.produced > MAX_OUTPUT) return INVALID;
    }
}

Result stored(BitReader& in, Output& o) {
    in.align();
    uint32_t len = in.take(16);
    uint32_t nlen = in.take(16);
    if (in.overrun) return INVALID;
    if ((len ^ 0xFFFF) != nlen) return INVALID;
    in.align();
    if (in.length - in.position < len) return STORED_OVERRUN;
    uint64_t room = o.produced < o.capacity ? o.capacity - o.produced : 0;
    if (room > len) room = len;
    if (room) std::memcpy(o.out + o.produced, in.in + in.position, room);
    in.position += len;
    o.produced += len;
    return o.produced > MAX_OUTPUT ? INVALID : OK;
}

Result fixed(BitReader& in, Output& o) {
    uint8_t lengths[288 + 30];
    std::memset(lengths, 8, 144);
    std::memset(lengths + 144, 9, 112);
    std::memset(lengths + 256, 7, 24);
    std::memset(lengths + 280, 8, 8);
    std::memset(lengths + 288, 5, 30);
    Huffman literal, distance;
    build(literal, lengths, 288);
    build(distance, lengths + 288, 30);
    return codes(in, o, literal, distance);
}

Result dynamic(BitReader& in, Output& o) {
    int nlen = static_cast<int>(in.take(5)) + 257;
    int ndist = static_cast<int>(in.take(5)) + 1;
    int ncode = static_cast<int>(in.take(4)) + 4;
    if (in.overrun || nlen > 286 || ndist > 30) return INVALID;
    uint8_t lengths[286 + 30] = {};
    for (int i = 0; i < ncode; i++) lengths[code_length_order[i]] = static_cast<uint8_t>(in.take(3));
    Huffman code_lengths, literal, distance;
    // The code-length code must be complete.
    if (in.overrun || build(code_lengths, lengths, 19) != 0) return INVALID;
    int i = 0;
    while (i < nlen + ndist) {
        int symbol = decode(in, code_lengths);
        if (symbol < 0 || in.overrun) return INVALID;
        if (symbol < 16) {
            lengths[i++] = static_cast<uint8_t>(symbol);
            continue;
        }
        uint8_t value = 0;
        int repeat;
        if (symbol == 16) {
            if (i == 0) return INVALID;
            value = lengths[i - 1];
            repeat = 3 + static_cast<int>(in.take(2));
        } else if (symbol == 17) {
            repeat = 3 + static_cast<int>(in.take(3));
        } else {
            repeat = 11 + static_cast<int>(in.take(7));
        }
        if (in.overrun || i + repeat > nlen + ndist) return INVALID;
        while (repeat--) lengths[i++] = value;
    }
    if (lengths[256] == 0) return INVALID;  // no end-of-block code
    // An incomplete code is only allowed as a single code of length 1.
    int err = build(literal, lengths, nlen);
    if (err < 0 || (err > 0 && nlen - literal.count[0] != 1)) return INVALID;
    err = build(distance, lengths + nlen, ndist);
    if (err < 0 || (err > 0 && ndist - distance.count[0] != 1)) return INVALID;
    return codes(in, o, literal, distance);
}

}  // namespace

// ---- DEFLATE ----------------------------------------------------------------------

Result deflate(uint8_t* destination, uint32_t& size, const uint8_t* source, uint32_t length) {
    BitWriter w{destination, size};
    w.put(1, 1);  // BFINAL
    w.put(1, 2);  // BTYPE 1: fixed Huffman codes
    // Four recent positions per bucket; 0 means empty.
    std::array<std::array<uint32_t, 4>, 1024> table{};
    uint32_t p = 0;
    while (p < length) {
        uint32_t q = p + 1;
        bool hashed = p >= 3 && length - p >= 3;
        uint32_t bucket = 0;
        uint32_t match_length = 0, match_distance = 0;
        if (hashed) {
            bucket = bucket_of(source + p);
            for (uint32_t c : table[bucket]) {
                if (c != 0 && c < p && p - c < 32768 && source[c] == source[p] && source[c + 1] == source[p + 1] &&
                    source[c + 2] == source[p + 2]) {
                    uint32_t limit = length - p < 258 ? length - p : 258;
                    match_length = 3;
                    while (match_length < limit && source[c + match_length] == source[p + match_length])
                        match_length++;
                    match_distance = p - c;
                    break;
                }
            }
        }
        if (match_length) {
            put_match(w, match_length, match_distance);
            q = p + match_length;
        } else {
            put_literal_code(w, source[p]);
        }
        if (hashed) {
            uint32_t b1 = q + 1 < length ? source[q + 1] : 0;
            uint32_t b2 = q + 2 < length ? source[q + 2] : 0;
            table[bucket][((b1 >> 6) - b2) & 3] = p;
        }
        p = q;
    }
    w.put(0, 7);  // end of block
    w.flush();
    if (w.position > MAX_OUTPUT) return INVALID;
    size = static_cast<uint32_t>(w.position);
    return w.position > w.capacity ? TOO_SMALL : OK;
}

Result inflate(uint8_t* destination, uint32_t& size, const uint8_t* source, uint32_t length) {
    BitReader in{source, length};
    Output o{destination, size};
    Result r = OK;
    bool final = false;
    while (!final && r == OK) {
        final = in.take(1);
        uint32_t type = in.take(2);
        if (in.overrun) {
            r = INVALID;
            break;
        }
        switch (type) {
            case 0: r = stored(in, o); break;
            case 1: r = fixed(in, o); break;
            case 2: r = dynamic(in, o); break;
            default: r = BAD_BLOCK_TYPE; break;
        }
    }
    size = static_cast<uint32_t>(o.produced > MAX_OUTPUT ? MAX_OUTPUT : o.produced);
    if (r == OK && o.produced > o.capacity) r = TOO_SMALL;
    return r;
}

// ---- Framing ----------------------------------------------------------------------

namespace {

// Deflates the source behind a header of `head` bytes, in a frame of `extra`
// bytes in all (header and trailer). A destination smaller than the frame
// gets INVALID with size = length + extra; otherwise, on OK and TOO_SMALL,
// size is the framed size and *deflated the deflated size, and the trailer
// is the caller's to write.
Result deflate_framed(uint8_t* destination, uint32_t& size, const uint8_t* source, uint32_t length,
                      const uint8_t* header, uint32_t head, uint32_t extra, uint32_t* deflated) {
    uint32_t capacity = size;
    if (capacity < extra) {
        size = length + extra;
        return INVALID;
    }
    std::memcpy(destination, header, head);
    uint32_t n = capacity - extra;
    Result r = deflate(destination + head, n, source, length);
    if (r == INVALID) return r;
    uint64_t needed = uint64_t{n} + extra;
    if (needed > MAX_OUTPUT) return INVALID;
    size = static_cast<uint32_t>(needed);
    *deflated = n;
    return r;
}

}  // namespace

// ---- zlib framing ----------------------------------------------------------------

Result zlib_compress(uint8_t* destination, uint32_t& size, const uint8_t* source, uint32_t length) {
    static constexpr uint8_t header[2] = {0x78, 0x01};
    uint32_t n = 0;
    Result r = deflate_framed(destination, size, source, length, header, sizeof header, 6, &n);
    if (r != OK) return r;
    uint32_t adler = checksum::adler32(source, length);
    for (int i = 0; i < 4; i++) destination[2 + n + i] = static_cast<uint8_t>(adler >> (24 - 8 * i));
    return OK;
}

Result zlib_uncompress(uint8_t* destination, uint32_t& size, const uint8_t* source, uint32_t length) {
    if (length < 6) return INVALID;
    uint32_t cmf = source[0], flg = source[1];
    if ((cmf * 256 + flg) % 31 != 0 || (cmf & 0x0F) != 8 || (cmf >> 4) > 7 || (flg & 0x20)) return INVALID;
    Result r = inflate(destination, size, source + 2, length - 6);
    if (r != OK) return r;
    const uint8_t* t = source + length - 4;
    uint32_t stored = static_cast<uint32_t>(t[0]) << 24 | t[1] << 16 | t[2] << 8 | t[3];
    return checksum::adler32(destination, size) == stored ? OK : INVALID;
}

// ---- gzip framing -----------------------------------------------------------------

Result gzip_compress(uint8_t* destination, uint32_t& size, const uint8_t* source, uint32_t length) {
    // Every input gets a member of its own, also one that happens to begin
    // with the gzip magic bytes: decompressing must give back the input.
    static constexpr uint8_t header[10] = {0x1F, 0x8B, 0x08, 0, 0, 0, 0, 0, 4, 4};
    uint32_t n = 0;
    Result r = deflate_framed(destination, size, source, length, header, sizeof header, 18, &n);
    if (r != OK) return r;
    put_le32(destination + 10 + n, checksum::crc32(source, length));
    put_le32(destination + 14 + n, length);
    return OK;
}

Result gzip_uncompress(uint8_t* destination, uint32_t& size, const uint8_t* source, uint32_t length) {
    enum : uint8_t { FHCRC = 2, FEXTRA = 4, FNAME = 8, FCOMMENT = 16 };
    if (length < 18) return INVALID;
    if (source[0] != 0x1F || source[1] != 0x8B || source[2] != 8 || source[3] >= 32) return INVALID;
    uint8_t flags = source[3];
    // The header may not run into the 8-byte trailer.
    const uint32_t end = length - 8;
    uint32_t p = 10;
    if (flags & FEXTRA) {
        if (end - p < 2) return INVALID;
        uint32_t xlen = source[p] | source[p + 1] << 8;
        p += 2;
        if (end - p < xlen) return INVALID;
        p += xlen;
    }
    for (uint8_t flag : {FNAME, FCOMMENT}) {
        if (!(flags & flag)) continue;
        while (p < end && source[p] != 0) p++;
        if (p >= end) return INVALID;
        p++;
    }
    if (flags & FHCRC) {
        if (end - p < 2) return INVALID;
        uint32_t stored = source[p] | source[p + 1] << 8;
        if ((checksum::crc32(source, p) & 0xFFFF) != stored) return INVALID;
        p += 2;
    }
    uint32_t isize = get_le32(source + length - 4);
    // No DEFLATE data expands more than 1032 times (258 bytes from 2 bits):
    // a larger ISIZE is damage, not a size to allocate.
    if (isize > uint64_t{1032} * (end - p)) return INVALID;
    if (size < isize) {
        // The claim is checked before the caller allocates for it: the data
        // must really decode to ISIZE bytes.
        uint32_t n = size;
        Result r = inflate(destination, n, source + p, end - p);
        if (r != OK && r != TOO_SMALL) return r;
        if (n != isize) return INVALID;
        size = isize;
        return TOO_SMALL;
    }
    uint32_t n = size;
    Result r = inflate(destination, n, source + p, end - p);
    // The destination holds ISIZE bytes: more output than that contradicts it.
    if (r == TOO_SMALL) return INVALID;
    if (r != OK) return r;
    if (n != isize || checksum::crc32(destination, n) != get_le32(source + end)) return INVALID;
    size = n;
    return OK;
}

}  // namespace compress
