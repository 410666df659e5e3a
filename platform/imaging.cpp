// The image layer's entry points: bounds, signatures and the choice of codec.
#include "platform/imaging.h"

#include <cstring>
#include <new>

namespace platform::imaging {

uint64_t decode_pixel_limit = 0xFFFFFFFFull / 4;

bool size_ok(uint64_t width, uint64_t height) {
    return width <= MAX_SIDE && height <= MAX_SIDE && width * height * 4 <= 0xFFFFFFFFull;
}

bool allocate(Bitmap& out, uint64_t width, uint64_t height, uint32_t fill) {
    if (!size_ok(width, height)) return false;
    try {
        out.pixels.assign(static_cast<size_t>(width * height), fill);
    } catch (const std::bad_alloc&) {
        out = Bitmap{};
        return false;
    }
    out.width = static_cast<uint32_t>(width);
    out.height = static_cast<uint32_t>(height);
    return true;
}

bool allocate_decoded(Bitmap& out, uint64_t width, uint64_t height, uint32_t fill) {
    return width * height <= decode_pixel_limit && allocate(out, width, height, fill);
}

int sniff(const uint8_t* d, size_t n) {
    auto starts = [&](const char* sig, size_t len) { return n >= len && std::memcmp(d, sig, len) == 0; };
    if (starts("\x89PNG", 4)) return PNG;
    if (starts("\xFF\xD8\xFF", 3)) return JPEG;
    if (starts("BM", 2)) return BMP;
    if (starts("GIF89a", 6) || starts("GIF87a", 6)) return GIF;
    if (starts("II*\0", 4) || starts("MM\0*", 4)) return TIFF;
    return -1;
}

bool decode(const uint8_t* data, size_t size, Bitmap& out) {
    bool ok = false;

    try {
        switch (sniff(data, size)) {
            case PNG: ok = decode_png(data, size, out); break;
            case JPEG: ok = decode_jpeg(data, size, out); break;
            case BMP: ok = decode_bmp(data, size, out); break;
            case GIF: ok = decode_gif(data, size, out); break;
            case TIFF: ok = decode_tiff(data, size, out); break;
            default: break;
        }
    } catch (const std::bad_alloc&) {
        ok = false;
    }
    if (!ok) out = Bitmap{};
    return ok;
}

bool encode(const Bitmap& in, int format, std::vector<uint8_t>& out) {
    out.clear();
    if (format < BMP || format > TIFF) return false;
    if (in.width == 0 || in.height == 0) return true;
    try {
        switch (format) {
            case BMP: return encode_bmp(in, out);
            case PNG: return encode_png(in, out);
            case GIF: return encode_gif(in, out);
            case JPEG: return encode_jpeg(in, out);
            default: return encode_tiff(in, out);
        }
    } catch (const std::bad_alloc&) {
        out.clear();
        return false;
    }
}

}  // namespace platform::imaging
