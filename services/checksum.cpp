// Checksums and digests: CRC-32, Adler-32 and the internet checksum are our
// own; MD5 and the SHA family come from OpenSSL's EVP interface; HMAC is
// built here over those digests.
#include "services/checksum.h"

#include <openssl/evp.h>
#include <sys/stat.h>

#include <vector>

#include "runtime/print.h"
#include "services/simple_io.h"

namespace checksum {

namespace {

// ---- CRC-32 table ----------------------------------------------------------

constexpr std::array<uint32_t, 256> make_crc_table() {
    std::array<uint32_t, 256> table{};
    for (uint32_t n = 0; n < 256; n++) {
        uint32_t c = n;
        for (int k = 0; k < 8; k++) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[n] = c;
    }
    return table;
}
constexpr std::array<uint32_t, 256> crc_table = make_crc_table();

// ---- Digests ------------------------------------------------------------------

const EVP_MD* evp_of(int32_t algorithm) {
    switch (algorithm) {
        case MD5: return EVP_md5();
        case SHA1: return EVP_sha1();
        case SHA256: return EVP_sha256();
        case SHA384: return EVP_sha384();
        case SHA512: return EVP_sha512();
        default: return nullptr;
    }
}

// The internet checksum's running sum: big-endian 16-bit words, a piece
// that ends inside a word keeping its high byte for the next piece. A
// 64-bit sum keeps every carry however long the data is.
uint64_t tcp_add(uint64_t sum, int* odd, const uint8_t* bytes, size_t length) {
    size_t i = 0;
    if (*odd >= 0 && length > 0) {
        sum += static_cast<uint32_t>(*odd) << 8 | bytes[0];
        *odd = -1;
        i = 1;
    }
    for (; i + 1 < length; i += 2) sum += static_cast<uint32_t>(bytes[i]) << 8 | bytes[i + 1];
    if (i < length) *odd = bytes[i];
    return sum;
}

// An odd last byte is the high byte of a word whose low byte is zero.
uint32_t tcp_finish(uint64_t sum, int odd) {
    if (odd >= 0) sum += static_cast<uint32_t>(odd) << 8;
    while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
    return ~static_cast<uint32_t>(sum) & 0xFFFF;
}

}  // namespace

// ---- Checksums ------------------------------------------------------------------

uint32_t crc32(const uint8_t* bytes, uint32_t length) { return crc32_update(0, bytes, length); }

uint32_t crc32_update(uint32_t crc, const uint8_t* bytes, size_t length) {
    crc = ~crc;
    for (size_t i = 0; i < length; i++) crc = (crc >> 8) ^ crc_table[(crc ^ bytes[i]) & 0xFF];
    return ~crc;
}

uint32_t adler32(const uint8_t* bytes, uint32_t length) { return adler32_update(1, bytes, length); }

uint32_t adler32_update(uint32_t adler, const uint8_t* bytes, size_t length) {
    constexpr uint32_t base = 65521;
    uint32_t a = adler & 0xFFFF, b = adler >> 16;
    while (length > 0) {
        // a and b stay within 32 bits over a run of this size.
        uint32_t run = length < 3854 ? static_cast<uint32_t>(length) : 3854;
        length -= run;
        for (; run >= 16; run -= 16)
            for (int k = 0; k < 16; k++) {
                a += *bytes++;
                b += a;
            }
        for (; run > 0; run--) {
            a += *bytes++;
            b += a;
        }
        a %= base;
        b %= base;
    }
    return (b << 16) | a;
}

uint32_t tcp(const uint8_t* bytes, uint32_t length) {
    int odd = -1;
    uint64_t sum = tcp_add(0, &odd, bytes, length);
    return tcp_finish(sum, odd);
}

// ---- Digests and HMAC ------------------------------------------------------------

uint32_t digest_size(int32_t algorithm) {
    switch (algorithm) {
        case MD5: return 16;
        case SHA1: return 20;
        case SHA256: return 32;
        case SHA384: return 48;
        case SHA512: return 64;
        default: return 0;
    }
}

Digest crypto_hash(const uint8_t* bytes, uint32_t length, int32_t algorithm) {
    Running r(algorithm);
    r.update(bytes, length);
    return r.digest();
}

Digest hmac(const uint8_t* data, uint32_t data_length, const uint8_t* key, uint32_t key_length,
            int32_t algorithm) {
    if (digest_size(algorithm) == 0) {
        sys::print_line({sys::Item::cstr("The selected algorithm doesn't support HMAC calculation")});
        return {};
    }
    return hmac_core(data, data_length, key, key_length, algorithm);
}

Digest hmac_core(const uint8_t* data, uint32_t length, const uint8_t* key, uint32_t key_length,
                 int32_t algorithm) {
    Running r(algorithm, key, key_length);
    r.update(data, length);
    return r.digest();
}

// ---- Data in pieces -----------------------------------------------------------

Running::Running(int32_t algorithm) : algorithm_(algorithm) {
    if (algorithm == CRC32 || algorithm == TCP || algorithm == ADLER32) {
        value_ = algorithm == ADLER32 ? 1 : 0;
        ok_ = true;
        return;
    }
    const EVP_MD* md = evp_of(algorithm);
    if (!md) return;
    ctx_ = EVP_MD_CTX_new();
    ok_ = ctx_ && EVP_DigestInit_ex(ctx_, md, nullptr) == 1;
}

Running::Running(int32_t algorithm, const uint8_t* key, size_t key_length) : Running(algorithm) {
    if (!ok_ || !ctx_) {
        ok_ = false;
        return;
    }
    // HMAC (RFC 2104): the digest of the inner padded key and the data, then
    // of the outer padded key and that digest. A key longer than a block is
    // hashed first.
    block_ = (algorithm == SHA384 || algorithm == SHA512) ? 128 : 64;
    Digest hashed_key;
    if (key_length > block_) {
        hashed_key = crypto_hash(key, static_cast<uint32_t>(key_length), algorithm);
        if (hashed_key.size == 0) {
            ok_ = false;
            return;
        }
        key = hashed_key.bytes.data();
        key_length = hashed_key.size;
    }
    std::array<uint8_t, 128> inner{};
    for (size_t i = 0; i < key_length; i++) {
        inner[i] = key[i];
        outer_[i] = key[i];
    }
    for (uint32_t i = 0; i < block_; i++) {
        inner[i] ^= 0x36;
        outer_[i] ^= 0x5C;
    }
    update(inner.data(), block_);
}

Running::~Running() { EVP_MD_CTX_free(ctx_); }

void Running::update(const uint8_t* bytes, size_t length) {
    if (!ok_ || length == 0) return;
    switch (algorithm_) {
        case CRC32: value_ = crc32_update(value_, bytes, length); break;
        case ADLER32: value_ = adler32_update(value_, bytes, length); break;
        case TCP: words_ = tcp_add(words_, &odd_, bytes, length); break;
        default: ok_ = EVP_DigestUpdate(ctx_, bytes, length) == 1; break;
    }
}

uint32_t Running::sum() const { return algorithm_ == TCP ? tcp_finish(words_, odd_) : value_; }

Digest Running::digest() {
    Digest d;
    unsigned int n = 0;
    if (!ctx_ || !ok_ || EVP_DigestFinal_ex(ctx_, d.bytes.data(), &n) != 1 || n != digest_size(algorithm_))
        return {};
    ok_ = false;  // finished
    d.size = n;
    if (block_ == 0) return d;
    Running outer(algorithm_);
    outer.update(outer_.data(), block_);
    outer.update(d.bytes.data(), d.size);
    return outer.digest();
}

bool update_from_file(Running& sum, const char* path) {
    constexpr size_t PIECE = 1 << 20;
    int fd = simple_io::open_file(path, simple_io::MODE_READ);
    struct stat st;
    bool ok = fd >= 0 && ::fstat(fd, &st) == 0 && !S_ISDIR(st.st_mode);
    if (ok) {
        std::vector<uint8_t> piece(PIECE);
        for (;;) {
            int64_t n = simple_io::read_data(fd, piece.data(), piece.size());
            if (n < 0) ok = false;
            if (n <= 0) break;
            sum.update(piece.data(), static_cast<size_t>(n));
        }
    }
    if (fd >= 0) simple_io::close_file(fd);
    return ok;
}

}  // namespace checksum
