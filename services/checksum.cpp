// Checksums and digests: CRC-32, Adler-32 and the internet checksum are our
// own; MD5 and the SHA family come from OpenSSL's EVP interface; HMAC is
// built here over those digests.
#include "services/checksum.h"

#include <openssl/evp.h>

#include <initializer_list>
#include <span>

#include "runtime/print.h"

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

// The digest of the concatenation of the parts.
Digest digest_of(int32_t algorithm, std::initializer_list<std::span<const uint8_t>> parts) {
    Digest d;
    const EVP_MD* md = evp_of(algorithm);
    if (!md) return d;
    EVP_MD_CTX* ctx = EVP_MD_CTX_new();
    if (!ctx) return d;
    bool ok = EVP_DigestInit_ex(ctx, md, nullptr) == 1;
    for (auto part : parts)
        if (ok && !part.empty()) ok = EVP_DigestUpdate(ctx, part.data(), part.size()) == 1;
    unsigned int n = 0;
    if (ok && EVP_DigestFinal_ex(ctx, d.bytes.data(), &n) == 1 && n == digest_size(algorithm)) d.size = n;
    EVP_MD_CTX_free(ctx);
    return d;
}

}  // namespace

// ---- Checksums ------------------------------------------------------------------

uint32_t crc32(const uint8_t* bytes, uint32_t length) {
    uint32_t crc = 0xFFFFFFFFu;
    for (uint32_t i = 0; i < length; i++) crc = (crc >> 8) ^ crc_table[(crc ^ bytes[i]) & 0xFF];
    return ~crc;
}

uint32_t adler32(const uint8_t* bytes, uint32_t length) {
    constexpr uint32_t base = 65521;
    uint32_t a = 1, b = 0;
    while (length > 0) {
        // a and b stay within 32 bits over a run of this size.
        uint32_t run = length < 3854 ? length : 3854;
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
    // A 64-bit sum keeps every carry however long the data is.
    uint64_t sum = 0;
    uint32_t i = 0;
    for (; i + 1 < length; i += 2) sum += static_cast<uint32_t>(bytes[i]) << 8 | bytes[i + 1];
    if (i < length) sum += static_cast<uint32_t>(bytes[i]) << 8;
    while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
    return ~static_cast<uint32_t>(sum) & 0xFFFF;
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
    return digest_of(algorithm, {{bytes, length}});
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
    const uint32_t block = (algorithm == SHA384 || algorithm == SHA512) ? 128 : 64;
    Digest hashed_key;
    if (key_length > block) {
        hashed_key = crypto_hash(key, key_length, algorithm);
        if (hashed_key.size == 0) return {};
        key = hashed_key.bytes.data();
        key_length = hashed_key.size;
    }
    std::array<uint8_t, 128> inner{}, outer{};
    for (uint32_t i = 0; i < key_length; i++) {
        inner[i] = key[i];
        outer[i] = key[i];
    }
    for (uint32_t i = 0; i < block; i++) {
        inner[i] ^= 0x36;
        outer[i] ^= 0x5C;
    }
    Digest first = digest_of(algorithm, {{inner.data(), block}, {data, length}});
    if (first.size == 0) return {};
    return digest_of(algorithm, {{outer.data(), block}, {first.bytes.data(), first.size}});
}

}  // namespace checksum
