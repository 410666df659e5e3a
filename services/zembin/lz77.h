// The LZ77 block codec of compressed images: an 8-byte header (compressed
// and uncompressed sizes, little-endian), then blocks of up to 1 MB, each a
// u32 length and a bit stream of literal and match tokens.
#pragma once
#include <cstdint>
#include <span>

namespace lz77 {

// Decodes a stream into a new tracked buffer with room for the uncompressed
// size plus 8 bytes, and writes the bytes produced to `size`. Answers null
// for any damage: a header claiming more bytes than `input` holds, a bad
// block length, a match reaching outside its block, a bit stream running
// past the input, or output that differs in size from the header's. A
// refused output buffer raises no-memory.
uint8_t* decompress(std::span<const uint8_t> input, uint32_t* size);

// Compresses `source` into `destination`, which must hold source.size()
// bytes; the stream may take at most that many. Answers the stream's size
// (compressed size + 8), or -1 for input under 128 bytes or output that
// does not fit. Refused work areas raise no-memory.
int32_t compress(std::span<const uint8_t> source, uint8_t* destination);

// Releases a buffer returned by decompress.
void free_buffer(uint8_t* buffer);

}  // namespace lz77
