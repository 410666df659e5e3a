// PNG through libpng's simplified API: any PNG in, 8-bit BGRA out; written
// as 8-bit RGB when every pixel is opaque, else RGBA.
#include <png.h>

#include <cstring>

#include "platform/imaging.h"

namespace platform::imaging {

bool decode_png(const uint8_t* data, size_t size, Bitmap& out) {
    png_image img;
    std::memset(&img, 0, sizeof img);
    img.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&img, data, size)) return false;
    img.format = PNG_FORMAT_BGRA;
    // 16-bit samples without gAMA or sRGB chunks are sRGB too (scaled to 8
    // bits as they are, not taken as linear light).
    img.flags |= PNG_IMAGE_FLAG_16BIT_sRGB;
    if (!allocate_decoded(out, img.width, img.height, 0)) {
        png_image_free(&img);
        return false;
    }
    // The reader gives sRGB: a file that states another gamma (gAMA) is
    // converted; files without one read as their samples say.
    bool ok = png_image_finish_read(&img, nullptr, out.pixels.data(), 0, nullptr) != 0;
    png_image_free(&img);
    return ok;
}

bool encode_png(const Bitmap& in, std::vector<uint8_t>& out) {
    bool opaque = true;
    for (uint32_t p : in.pixels)
        if ((p >> 24) != 0xFF) { opaque = false; break; }
    std::vector<uint8_t> rgb;
    const void* pixels = in.pixels.data();
    png_image img;
    std::memset(&img, 0, sizeof img);
    img.version = PNG_IMAGE_VERSION;
    img.width = in.width;
    img.height = in.height;
    img.format = PNG_FORMAT_BGRA;
    if (opaque) {
        rgb.resize(in.pixels.size() * 3);
        uint8_t* q = rgb.data();
        for (uint32_t p : in.pixels) {
            *q++ = static_cast<uint8_t>(p);
            *q++ = static_cast<uint8_t>(p >> 8);
            *q++ = static_cast<uint8_t>(p >> 16);
        }
        img.format = PNG_FORMAT_BGR;
        pixels = rgb.data();
    }
    // One pass into room for the largest PNG of this size (sizing first
    // would compress everything twice).
    png_alloc_size_t n = PNG_IMAGE_PNG_SIZE_MAX(img);
    out.resize(n);
    if (!png_image_write_to_memory(&img, out.data(), &n, 0, pixels, 0, nullptr)) return false;
    out.resize(n);
    out.shrink_to_fit();
    return true;
}

}  // namespace platform::imaging
