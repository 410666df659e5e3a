// BMP of our own: reads 1-, 4- and 8-bit palettes, 16-, 24- and 32-bit
// pixels, BI_RGB and BI_BITFIELDS (masks after a 40-byte header or inside a
// V2-V5 header), rows bottom-up or top-down; writes 32-bit BGRA with an
// alpha mask (a V5 header, bottom-up rows).
#include <cstring>

#include "platform/imaging.h"

namespace platform::imaging {

namespace {

uint32_t u16(const uint8_t* p) { return p[0] | uint32_t{p[1]} << 8; }
uint32_t u32(const uint8_t* p) { return p[0] | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24; }

// One channel of a bit-field mask: its shift and its largest value.
struct Channel {
    uint32_t mask = 0, shift = 0, max = 0;
    explicit Channel(uint32_t m) : mask(m) {
        if (!m) return;
        while (!((m >> shift) & 1)) ++shift;
        max = m >> shift;
    }
    // The channel of a pixel scaled to 0..255; `none` when there is no mask.
    uint32_t of(uint32_t px, uint32_t none) const {
        if (!mask) return none;
        uint32_t v = (px & mask) >> shift;
        return max == 255 ? v : static_cast<uint32_t>((uint64_t{v} * 255 + max / 2) / max);
    }
};

constexpr uint32_t BI_RGB = 0, BI_BITFIELDS = 3, BI_ALPHABITFIELDS = 6;

void put16(std::vector<uint8_t>& o, uint32_t v) {
    o.push_back(static_cast<uint8_t>(v));
    o.push_back(static_cast<uint8_t>(v >> 8));
}
void put32(std::vector<uint8_t>& o, uint32_t v) {
    put16(o, v & 0xFFFF);
    put16(o, v >> 16);
}

}  // namespace

bool decode_bmp(const uint8_t* d, size_t n, Bitmap& out) {
    if (n < 26) return false;
    uint64_t offset = u32(d + 10), header = u32(d + 14);
    if (header < 12 || 14 + header > n) return false;
    int64_t width, height;
    uint32_t bpp, compression = BI_RGB, used = 0;
    bool core = header < 40;
    if (core) {
        if (header != 12) return false;
        width = u16(d + 18);
        height = u16(d + 20);
        bpp = u16(d + 24);
    } else {
        width = static_cast<int32_t>(u32(d + 18));
        height = static_cast<int32_t>(u32(d + 22));
        bpp = u16(d + 28);
        compression = u32(d + 30);
        used = u32(d + 46);
    }
    bool top_down = height < 0;
    if (top_down) height = -height;
    if (width <= 0 || height <= 0 || !size_ok(static_cast<uint64_t>(width), static_cast<uint64_t>(height)))
        return false;
    // The channel masks.
    uint32_t rm = 0, gm = 0, bm = 0, am = 0;
    const uint8_t* after = d + 14 + header;  // a 40-byte header's masks, or the palette
    if (compression == BI_BITFIELDS || compression == BI_ALPHABITFIELDS) {
        if (bpp != 16 && bpp != 32) return false;
        if (header >= 52) {
            rm = u32(d + 54), gm = u32(d + 58), bm = u32(d + 62);
            if (header >= 56) am = u32(d + 66);
        } else {
            size_t count = compression == BI_ALPHABITFIELDS ? 4 : 3;
            if (static_cast<size_t>(after - d) + 4 * count > n) return false;
            rm = u32(after), gm = u32(after + 4), bm = u32(after + 8);
            if (count == 4) am = u32(after + 12);
            after += 4 * count;
        }
    } else if (compression == BI_RGB) {
        if (bpp == 16) rm = 0x7C00, gm = 0x03E0, bm = 0x001F;
        else if (bpp == 24 || bpp == 32) rm = 0xFF0000, gm = 0xFF00, bm = 0xFF;  // 32-bit: the 4th byte unused
        else if (bpp != 1 && bpp != 4 && bpp != 8) return false;
    } else {
        return false;  // run-length and embedded compressions are not read
    }
    // The palette.
    std::vector<uint32_t> palette;
    if (bpp <= 8) {
        uint32_t entry = core ? 3 : 4, count = used ? used : 1u << bpp;
        if (count > 1u << bpp) count = 1u << bpp;
        if (static_cast<uint64_t>(after - d) + uint64_t{entry} * count > n) return false;
        for (uint32_t i = 0; i < count; ++i) {
            const uint8_t* e = after + i * entry;
            palette.push_back(0xFF000000u | uint32_t{e[2]} << 16 | uint32_t{e[1]} << 8 | e[0]);
        }
    }
    uint64_t stride = ((static_cast<uint64_t>(width) * bpp + 31) / 32) * 4;
    if (offset > n || stride * static_cast<uint64_t>(height) > n - offset) return false;
    if (!allocate_decoded(out, static_cast<uint64_t>(width), static_cast<uint64_t>(height), 0)) return false;
    Channel r(rm), g(gm), b(bm), a(am);
    uint32_t w = out.width;
    for (uint32_t y = 0; y < out.height; ++y) {
        const uint8_t* row = d + offset + stride * (top_down ? y : out.height - 1 - y);
        uint32_t* px = out.pixels.data() + static_cast<size_t>(y) * w;
        for (uint32_t x = 0; x < w; ++x) {
            if (bpp <= 8) {
                uint32_t bit = x * bpp;
                uint32_t i = (row[bit >> 3] >> (8 - bpp - (bit & 7))) & ((1u << bpp) - 1);
                px[x] = i < palette.size() ? palette[i] : 0xFF000000u;
                continue;
            }
            uint32_t v = bpp == 16 ? u16(row + 2 * x) : bpp == 24 ? (u16(row + 3 * x) | uint32_t{row[3 * x + 2]} << 16) : u32(row + 4 * x);
            px[x] = a.of(v, 255) << 24 | r.of(v, 0) << 16 | g.of(v, 0) << 8 | b.of(v, 0);
        }
    }
    return true;
}

bool encode_bmp(const Bitmap& in, std::vector<uint8_t>& o) {
    uint32_t bytes = static_cast<uint32_t>(in.pixels.size() * 4);
    uint32_t offset = 14 + 124;
    o.reserve(offset + bytes);
    o.push_back('B');
    o.push_back('M');
    put32(o, offset + bytes);
    put32(o, 0);
    put32(o, offset);
    put32(o, 124);          // BITMAPV5HEADER
    put32(o, in.width);
    put32(o, in.height);    // positive: rows from the bottom
    put16(o, 1);
    put16(o, 32);
    put32(o, BI_BITFIELDS);
    put32(o, bytes);
    put32(o, 2835);         // 72 dpi
    put32(o, 2835);
    put32(o, 0);
    put32(o, 0);
    put32(o, 0x00FF0000);
    put32(o, 0x0000FF00);
    put32(o, 0x000000FF);
    put32(o, 0xFF000000);
    put32(o, 0x73524742);   // 'sRGB'
    for (int i = 0; i < 9 + 3; ++i) put32(o, 0);  // endpoints and gamma
    put32(o, 4);            // LCS_GM_IMAGES
    put32(o, 0);
    put32(o, 0);
    put32(o, 0);
    for (uint32_t y = in.height; y-- > 0;) {
        const uint32_t* row = in.pixels.data() + static_cast<size_t>(y) * in.width;
        for (uint32_t x = 0; x < in.width; ++x) put32(o, row[x]);
    }
    return true;
}

}  // namespace platform::imaging
