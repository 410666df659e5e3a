// Images outside the language: a bitmap of 32-bit straight-alpha pixels and
// the codecs that read and write it (PNG, JPEG, GIF and TIFF over their
// Debian libraries, BMP of our own). Decoders refuse what they cannot read
// whole (unknown, truncated or corrupt data, sizes out of bounds): they
// answer false and leave no state behind.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace platform::imaging {

// The largest width or height; the pixel bytes (width × height × 4) must
// also fit in 32 bits.
constexpr uint32_t MAX_SIDE = 65535;

// Encoder numbers.
enum Format : int { BMP = 0, PNG = 1, GIF = 2, JPEG = 3, TIFF = 4 };

// Pixels A << 24 | R << 16 | G << 8 | B (bytes B, G, R, A in memory), alpha
// 255 opaque, not premultiplied; rows from the top.
struct Bitmap {
    uint32_t width = 0, height = 0;
    std::vector<uint32_t> pixels;
};

// The most pixels a decode may allocate: all that the bounds above allow,
// lowered by the fuzzers so that a header's claim stays within their memory.
extern uint64_t decode_pixel_limit;

// Whether a width and height are within the bounds above.
bool size_ok(uint64_t width, uint64_t height);
// Sizes the bitmap and fills it with one pixel value; false when the size is
// refused or the memory cannot be had.
bool allocate(Bitmap& out, uint64_t width, uint64_t height, uint32_t fill);
// The same for a decoder, within decode_pixel_limit.
bool allocate_decoded(Bitmap& out, uint64_t width, uint64_t height, uint32_t fill);

// The format that encoded bytes begin with (by signature), or -1.
int sniff(const uint8_t* data, size_t size);

// Decodes bytes of any of the five formats.
bool decode(const uint8_t* data, size_t size, Bitmap& out);
// Encodes in the given format; false for an unknown format number or a
// failing encoder. An empty bitmap encodes as no bytes.
bool encode(const Bitmap& in, int format, std::vector<uint8_t>& out);

// One codec each (imaging_*.cpp).
bool decode_png(const uint8_t* data, size_t size, Bitmap& out);
bool encode_png(const Bitmap& in, std::vector<uint8_t>& out);
bool decode_jpeg(const uint8_t* data, size_t size, Bitmap& out);
bool encode_jpeg(const Bitmap& in, std::vector<uint8_t>& out);
bool decode_gif(const uint8_t* data, size_t size, Bitmap& out);
bool encode_gif(const Bitmap& in, std::vector<uint8_t>& out);
bool decode_tiff(const uint8_t* data, size_t size, Bitmap& out);
bool encode_tiff(const Bitmap& in, std::vector<uint8_t>& out);
bool decode_bmp(const uint8_t* data, size_t size, Bitmap& out);
bool encode_bmp(const Bitmap& in, std::vector<uint8_t>& out);

}  // namespace platform::imaging
