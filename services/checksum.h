// Checksums and digests over byte buffers: CRC-32, Adler-32, the 16-bit
// internet checksum, MD5 and the SHA family (OpenSSL EVP), and HMAC.
#pragma once
#include <array>
#include <cstdint>

namespace checksum {

// Algorithm numbers of the checksum methods. `adler32` and `hash` have none.
enum Algorithm : int32_t {
    TCP = 0,
    CRC32 = 1,
    MD5 = 2,
    SHA1 = 3,
    SHA256 = 4,
    SHA384 = 5,
    SHA512 = 6,
};

// A digest in a 64-byte buffer; `size` bytes of it are the digest (0 when
// nothing was computed).
struct Digest {
    std::array<uint8_t, 64> bytes{};
    uint32_t size = 0;
};

// The standard CRC-32 of zlib and gzip (reflected polynomial 0xEDB88320).
uint32_t crc32(const uint8_t* bytes, uint32_t length);
// Adler-32: (b << 16) | a, a from 1 and b from 0, modulo 65521.
uint32_t adler32(const uint8_t* bytes, uint32_t length);
// The 16-bit internet checksum (RFC 1071): the ones' complement of the ones'
// complement sum of big-endian 16-bit words; an odd last byte is the high
// byte of a word whose low byte is zero.
uint32_t tcp(const uint8_t* bytes, uint32_t length);

// Digest size in bytes of an algorithm number: 16, 20, 32, 48, 64 for MD5 to
// SHA-512, 0 for any other number.
uint32_t digest_size(int32_t algorithm);

// The digest of the bytes under `algorithm` (MD5 .. SHA512). Any other
// number, or a failure of the digest library, gives an empty digest; the
// caller raises invalid-arg for a bad number before it gets here.
Digest crypto_hash(const uint8_t* bytes, uint32_t length, int32_t algorithm);

// HMAC (RFC 2104) of the data under the key. For an algorithm without HMAC
// (tcp, crc32, and the methods that have no number: pass -1) it prints
// "The selected algorithm doesn't support HMAC calculation" and gives an
// empty digest.
Digest hmac(const uint8_t* data, uint32_t data_length, const uint8_t* key, uint32_t key_length,
            int32_t algorithm);
// HMAC for an algorithm known to be MD5 .. SHA512.
Digest hmac_core(const uint8_t* data, uint32_t length, const uint8_t* key, uint32_t key_length,
                 int32_t algorithm);

}  // namespace checksum
