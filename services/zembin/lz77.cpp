// The LZ77 block codec: a hash-chain compressor with a 256 KB window and
// 3..566-byte matches, and its decoder, which bounds every read and write.
#include "services/zembin/lz77.h"

#include <cstring>

#include "evaluator/errors.h"
#include "runtime/sys.h"

namespace lz77 {

namespace {

constexpr uint32_t BLOCK = 1048576;   // bytes of input per block
constexpr uint32_t MAX_MATCH = 566;
constexpr uint32_t WINDOW = 0x40000;
constexpr uint32_t HASH3 = 0x80000;
constexpr uint32_t HASH4 = 0x100000;
constexpr uint32_t CHAIN = 0x40000;
constexpr uint32_t MAX_CANDIDATES = 256;
// No token yields more than 566 bytes from 22 bits, so a stream of N bytes
// can never expand past this many bytes per byte.
constexpr uint64_t MAX_RATIO = 206;

inline uint32_t get_le32(const uint8_t* p) {
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}
inline void put_le32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; i++) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// ---- Decoder -----------------------------------------------------------------------

// Least significant bit first over [position, end); reading past the end
// yields zero bits and sets `overrun`.
struct BitReader {
    const uint8_t* in;
    uint32_t position;
    uint32_t end;
    uint32_t bits = 0;
    int count = 0;
    bool overrun = false;

    uint32_t take(int n) {
        while (count < n) {
            if (position < end)
                bits |= static_cast<uint32_t>(in[position++]) << count;
            else
                overrun = true;
            count += 8;
        }
        uint32_t v = bits & ((1u << n) - 1);
        bits >>= n;
        count -= n;
        return v;
    }
};

// The match length, 3..566, from its length code.
uint32_t match_length(BitReader& r) {
    static constexpr struct {
        uint32_t base;
        int bits;
    } codes[5] = {{0, 2}, {4, 2}, {8, 2}, {12, 3}, {20, 5}};
    for (const auto& c : codes)
        if (r.take(1)) return 3 + c.base + r.take(c.bits);
    return 3 + 52 + r.take(9);
}

// Decodes one block of `length` bytes into out; false on any damage.
bool decode_block(BitReader& r, uint8_t* out, uint32_t length) {
    uint32_t produced = 0;
    while (produced < length) {
        if (r.take(1) == 0) {
            out[produced++] = static_cast<uint8_t>(r.take(8));
        } else {
            uint32_t n = match_length(r);
            uint32_t j = r.take(4) + 2;
            uint32_t d = j == 2 ? r.take(3) : r.take(static_cast<int>(j)) + (1u << j);
            uint32_t distance = d + 1;
            if (r.overrun || distance > produced || n > length - produced) return false;
            for (uint32_t i = 0; i < n; i++, produced++) out[produced] = out[produced - distance];
        }
        if (r.overrun) return false;
    }
    return true;
}

// ---- Encoder ------------------------------------------------------------------------

struct BitWriter {
    uint8_t* out;
    uint32_t position;
    uint32_t limit;
    uint32_t bits = 0;
    int count = 0;
    bool full = false;

    void put(uint32_t value, int n) {
        bits |= value << count;
        count += n;
        while (count >= 8) {
            if (position < limit)
                out[position++] = static_cast<uint8_t>(bits);
            else
                full = true;
            bits >>= 8;
            count -= 8;
        }
    }
};

void put_length(BitWriter& w, uint32_t n) {
    if (n < 4) {
        w.put(1, 1);
        w.put(n, 2);
    } else if (n < 8) {
        w.put(2, 2);  // 0 1
        w.put(n - 4, 2);
    } else if (n < 12) {
        w.put(4, 3);  // 0 0 1
        w.put(n - 8, 2);
    } else if (n < 20) {
        w.put(8, 4);  // 0 0 0 1
        w.put(n - 12, 3);
    } else if (n < 52) {
        w.put(16, 5);  // 0 0 0 0 1
        w.put(n - 20, 5);
    } else {
        w.put(0, 5);
        w.put(n - 52, 9);
    }
}

void put_distance(BitWriter& w, uint32_t d) {
    uint32_t m = 2;
    while (d >= (1u << (m + 1))) m++;
    w.put(m - 2, 4);
    if (m > 2)
        w.put(d - (1u << m), static_cast<int>(m));
    else
        w.put(d, 3);
}

// Work areas of one compression, from the tracked heap.
struct Work {
    int32_t* heads;   // HASH3 heads of the 3-byte hash, then HASH4 of the 4-byte hash
    int32_t* chain;   // CHAIN links, by position & (CHAIN - 1)
    uint8_t* block;   // BLOCK + MAX_MATCH bytes, zero past the block's end

    Work()
        : heads(static_cast<int32_t*>(sys::try_allocate((HASH3 + HASH4) * sizeof(int32_t)))),
          chain(static_cast<int32_t*>(sys::try_allocate(CHAIN * sizeof(int32_t)))),
          block(static_cast<uint8_t*>(sys::try_allocate(BLOCK + MAX_MATCH))) {
        if (heads && chain && block) return;
        release();
        fire(err::NO_MEMORY);
    }
    ~Work() { release(); }
    void release() {
        sys::free(block);
        sys::free(chain);
        sys::free(heads);
    }
};

// Compresses one block held in work.block; false when the output is full.
bool compress_block(Work& work, uint32_t length, BitWriter& w) {
    const uint8_t* b = work.block;
    int32_t* head3 = work.heads;
    int32_t* head4 = work.heads + HASH3;
    std::memset(work.heads, 0xFF, (HASH3 + HASH4) * sizeof(int32_t));
    uint32_t h3 = ((b[0] * 128u + b[1]) * 128u + b[2]) & (HASH3 - 1);
    uint32_t h4 = (((b[0] * 32u + b[1]) * 32u + b[2]) * 32u + b[3]) & (HASH4 - 1);
    uint32_t p = 0;
    while (p < length) {
        uint32_t best_length = 2, best_distance = WINDOW;
        uint32_t longest = length - p < MAX_MATCH ? length - p : MAX_MATCH;
        uint32_t window = p > WINDOW ? p - WINDOW : 0;
        auto extend = [&](uint32_t c) {
            uint32_t n = 0;
            while (n < longest && b[c + n] == b[p + n]) n++;
            return n;
        };
        int32_t c = head3[h3];
        if (c >= 0 && static_cast<uint32_t>(c) >= window && b[c] == b[p]) {
            uint32_t n = extend(c);
            if (n > best_length) {
                best_length = n;
                best_distance = p - c;
            }
        }
        if (best_length < MAX_MATCH) {
            c = head4[h4];
            for (uint32_t k = 0; k < MAX_CANDIDATES && c >= 0 && static_cast<uint32_t>(c) >= window; k++) {
                uint32_t u = static_cast<uint32_t>(c);
                if (b[u + best_length] == b[p + best_length] && b[u] == b[p]) {
                    uint32_t n = extend(u);
                    // A farther candidate must be longer by one byte for each
                    // factor of 8 by which it is farther than the best.
                    uint32_t penalty = 0;
                    for (uint32_t x = (p - u) >> 4; x > best_distance; x >>= 3) penalty++;
                    if (n > best_length + penalty) {
                        best_length = n;
                        best_distance = p - u;
                    }
                    if (n >= longest) break;
                }
                c = work.chain[u & (CHAIN - 1)];
            }
        }
        if (best_length == 3 && best_distance > 0x10000) best_length = 2;
        uint32_t consumed;
        if (best_length < 3) {
            w.put(0, 1);
            w.put(b[p], 8);
            consumed = 1;
        } else {
            w.put(1, 1);
            put_length(w, best_length - 3);
            put_distance(w, best_distance - 1);
            consumed = best_length;
        }
        if (w.full) return false;
        for (uint32_t end = p + consumed; p < end; p++) {
            head3[h3] = static_cast<int32_t>(p);
            work.chain[p & (CHAIN - 1)] = head4[h4];
            head4[h4] = static_cast<int32_t>(p);
            h3 = (h3 * 128u + b[p + 3]) & (HASH3 - 1);
            h4 = (h4 * 32u + b[p + 4]) & (HASH4 - 1);
        }
    }
    w.put(0, 7);  // writes out the last partial byte
    return !w.full;
}

}  // namespace

uint8_t* decompress(std::span<const uint8_t> input, uint32_t* size) {
    if (input.size() < 8) return nullptr;
    const uint8_t* in = input.data();
    uint32_t compressed = get_le32(in);
    uint32_t total = get_le32(in + 4);
    if (compressed > UINT32_MAX - 8 || uint64_t{compressed} + 8 > input.size() || total > MAX_RATIO * compressed)
        return nullptr;
    auto* out = static_cast<uint8_t*>(sys::try_allocate(uint64_t{total} + 8));
    if (!out) fire(err::NO_MEMORY);
    const uint32_t end = compressed + 8;
    uint32_t position = 8, produced = 0;
    bool ok = true;
    while (ok && position < end) {
        uint32_t length = end - position >= 4 ? get_le32(in + position) : 0;
        position += 4;
        ok = length >= 1 && length <= BLOCK && length <= total - produced;
        if (!ok) break;
        BitReader r{in, position, end};
        ok = decode_block(r, out + produced, length);
        produced += length;
        position = r.position;  // the partial last byte is the block's padding
    }
    if (!ok || produced != total) {
        sys::free(out);
        return nullptr;
    }
    *size = produced;
    return out;
}

int32_t compress(std::span<const uint8_t> source, uint8_t* destination) {
    if (source.size() < 128 || source.size() > INT32_MAX) return -1;
    const uint32_t length = static_cast<uint32_t>(source.size());
    Work work;
    put_le32(destination + 4, length);
    uint32_t position = 8;
    for (uint32_t start = 0; start < length; start += BLOCK) {
        uint32_t n = length - start < BLOCK ? length - start : BLOCK;
        std::memcpy(work.block, source.data() + start, n);
        std::memset(work.block + n, 0, BLOCK + MAX_MATCH - n);
        if (length - position < 4) return -1;
        put_le32(destination + position, n);
        position += 4;
        BitWriter w{destination, position, length};
        if (!compress_block(work, n, w)) return -1;
        position = w.position;
    }
    put_le32(destination, position - 8);
    return static_cast<int32_t>(position);
}

void free_buffer(uint8_t* buffer) {
    if (buffer) sys::free(buffer);
}

}  // namespace lz77
