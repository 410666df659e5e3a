// Checksums and digests over byte buffers: CRC-32, Adler-32, the 16-bit
// internet checksum, MD5 and the SHA family (OpenSSL EVP), and HMAC.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>

struct evp_md_ctx_st;

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
// The CRC-32 of data that continues data whose CRC-32 was `crc` (0 at the start).
uint32_t crc32_update(uint32_t crc, const uint8_t* bytes, size_t length);
// Adler-32: (b << 16) | a, a from 1 and b from 0, modulo 65521.
uint32_t adler32(const uint8_t* bytes, uint32_t length);
// The Adler-32 of data that continues data whose Adler-32 was `adler` (1 at the start).
uint32_t adler32_update(uint32_t adler, const uint8_t* bytes, size_t length);
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

// ---- Data in pieces -----------------------------------------------------------

// The method of a running checksum that has no algorithm number.
constexpr int32_t ADLER32 = -1;

// A checksum or digest of data given in pieces (a file read in chunks): the
// result is the one-call function's over the pieces joined in order.
class Running {
public:
    // `algorithm` is TCP, CRC32, ADLER32 or MD5 .. SHA512.
    explicit Running(int32_t algorithm);
    // The HMAC of a digest algorithm under the key (which may be empty).
    Running(int32_t algorithm, const uint8_t* key, size_t key_length);
    ~Running();
    Running(const Running&) = delete;
    Running& operator=(const Running&) = delete;

    void update(const uint8_t* bytes, size_t length);
    // The result of TCP, CRC32 and ADLER32.
    uint32_t sum() const;
    // The digest or HMAC of MD5 .. SHA512, once at the end; empty for any
    // other algorithm or when the digest library failed.
    Digest digest();

private:
    int32_t algorithm_;
    uint32_t value_ = 0;      // CRC-32 or Adler-32 so far
    uint64_t words_ = 0;      // the internet checksum's sum so far
    int odd_ = -1;            // its high byte waiting for a low one, or -1
    evp_md_ctx_st* ctx_ = nullptr;
    bool ok_ = false;
    std::array<uint8_t, 128> outer_{};  // HMAC: the outer padded key
    uint32_t block_ = 0;                // HMAC: its size, 0 without a key
};

// Feeds the whole content of the file at the OS path to the sum, read in
// pieces to its end (whatever size the system reports), so that no file is
// held in memory at once. False when it cannot be opened or read, or is a
// directory.
bool update_from_file(Running& sum, const char* path);

}  // namespace checksum
