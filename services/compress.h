// DEFLATE (RFC 1951) with zlib (RFC 1950) and gzip (RFC 1952) framing, over
// caller-provided buffers. Every routine reports the size it produced or
// needed, so that the caller can retry with a larger destination.
#pragma once
#include <cstdint>

namespace compress {

// Result codes of every routine here.
enum Result : int32_t {
    OK = 0,
    TOO_SMALL = 1,       // the destination was too small; size = bytes needed
    INVALID = 2,         // invalid or truncated data; encoders: no room for the framing
    STORED_OVERRUN = 3,  // a stored block longer than the input
    BAD_BLOCK_TYPE = 4,  // block type 3
    BAD_DISTANCE = 5,    // a distance reaching before the start of the output
};

// Each routine writes at most `size` bytes to `destination` (which may be
// null when `size` is 0) and sets `size` to the bytes produced, or needed
// when the result is TOO_SMALL (or INVALID from an encoder without room for
// its framing).

// Raw DEFLATE: one final block with the fixed Huffman codes, greedy matching.
Result deflate(uint8_t* destination, uint32_t& size, const uint8_t* source, uint32_t length);
// Decodes a raw DEFLATE stream of stored, fixed and dynamic blocks. Bytes
// after the final block are ignored; input that ends before it is INVALID.
Result inflate(uint8_t* destination, uint32_t& size, const uint8_t* source, uint32_t length);

// zlib framing: header 78 01, DEFLATE data, Adler-32 big-endian.
Result zlib_compress(uint8_t* destination, uint32_t& size, const uint8_t* source, uint32_t length);
Result zlib_uncompress(uint8_t* destination, uint32_t& size, const uint8_t* source, uint32_t length);

// gzip framing: a 10-byte header, DEFLATE data, CRC-32 and ISIZE
// little-endian. Every input is compressed into a member of its own.
Result gzip_compress(uint8_t* destination, uint32_t& size, const uint8_t* source, uint32_t length);
// Decodes one gzip member (FEXTRA, FNAME, FCOMMENT and FHCRC understood).
// A destination smaller than ISIZE gives TOO_SMALL with size = ISIZE once a
// decoding pass has confirmed that the data yields exactly ISIZE bytes (the
// claim is never trusted to size a buffer); an ISIZE that the data does not
// yield is INVALID.
Result gzip_uncompress(uint8_t* destination, uint32_t& size, const uint8_t* source, uint32_t length);

}  // namespace compress
