// GIF through giflib: the first frame on the logical screen (pixels outside
// it transparent), its transparency from the graphics-control block before
// it; GIF87a and GIF89a. Written as one frame of at most 256 colours: the
// exact colours when they fit, else quantised; alpha below 128 becomes the
// transparent index.
#include <gif_lib.h>

#include <algorithm>
#include <cstring>
#include <unordered_map>

#include "platform/imaging.h"

namespace platform::imaging {

namespace {

struct Source {
    const uint8_t* data;
    size_t size, at;
};

int read_source(GifFileType* gif, GifByteType* into, int n) {
    auto* s = static_cast<Source*>(gif->UserData);
    size_t k = std::min(static_cast<size_t>(n < 0 ? 0 : n), s->size - s->at);
    std::memcpy(into, s->data + s->at, k);
    s->at += k;
    return static_cast<int>(k);
}

int write_sink(GifFileType* gif, const GifByteType* from, int n) {
    static_cast<std::vector<uint8_t>*>(gif->UserData)->insert(
            static_cast<std::vector<uint8_t>*>(gif->UserData)->end(), from, from + n);
    return n;
}

// Reads records up to the first image; fills the bitmap from it.
bool read_first_frame(GifFileType* gif, Bitmap& out) {
    int transparent = -1;
    for (;;) {
        GifRecordType type;
        if (DGifGetRecordType(gif, &type) == GIF_ERROR) return false;
        if (type == TERMINATE_RECORD_TYPE) return false;  // no frame
        if (type == EXTENSION_RECORD_TYPE) {
            int code;
            GifByteType* ext;
            if (DGifGetExtension(gif, &code, &ext) == GIF_ERROR) return false;
            if (code == GRAPHICS_EXT_FUNC_CODE && ext && ext[0] >= 4) {
                GraphicsControlBlock gcb;
                if (DGifExtensionToGCB(ext[0], ext + 1, &gcb) == GIF_OK) transparent = gcb.TransparentColor;
            }
            while (ext) {
                if (DGifGetExtensionNext(gif, &ext) == GIF_ERROR) return false;
            }
            continue;
        }
        if (type != IMAGE_DESC_RECORD_TYPE) return false;
        if (DGifGetImageDesc(gif) == GIF_ERROR) return false;
        const GifImageDesc& d = gif->Image;
        if (d.Width <= 0 || d.Height <= 0 || !size_ok(d.Width, d.Height)) return false;
        const ColorMapObject* map = d.ColorMap ? d.ColorMap : gif->SColorMap;
        if (!map || !map->Colors) return false;
        uint32_t w = gif->SWidth > 0 ? gif->SWidth : d.Width, h = gif->SHeight > 0 ? gif->SHeight : d.Height;
        if (!allocate_decoded(out, w, h, 0)) return false;
        std::vector<GifPixelType> line(d.Width);
        // Interlaced frames hold their rows in four passes.
        std::vector<int> order;
        if (d.Interlace) {
            const int start[] = {0, 4, 2, 1}, step[] = {8, 8, 4, 2};
            for (int p = 0; p < 4; ++p)
                for (int y = start[p]; y < d.Height; y += step[p]) order.push_back(y);
        } else {
            for (int y = 0; y < d.Height; ++y) order.push_back(y);
        }
        for (int y : order) {
            if (DGifGetLine(gif, line.data(), d.Width) == GIF_ERROR) return false;
            int64_t oy = int64_t{d.Top} + y;
            if (oy < 0 || oy >= h) continue;
            uint32_t* row = out.pixels.data() + static_cast<size_t>(oy) * w;
            for (int x = 0; x < d.Width; ++x) {
                int64_t ox = int64_t{d.Left} + x;
                if (ox < 0 || ox >= w) continue;
                int i = line[x];
                if (i == transparent || i >= map->ColorCount) continue;
                const GifColorType& c = map->Colors[i];
                row[ox] = 0xFF000000u | uint32_t{c.Red} << 16 | uint32_t{c.Green} << 8 | c.Blue;
            }
        }
        return true;
    }
}

}  // namespace

bool decode_gif(const uint8_t* data, size_t size, Bitmap& out) {
    Source src{data, size, 0};
    int error = 0;
    GifFileType* gif = DGifOpen(&src, read_source, &error);
    if (!gif) return false;
    bool ok = read_first_frame(gif, out);
    DGifCloseFile(gif, &error);
    return ok;
}

bool encode_gif(const Bitmap& in, std::vector<uint8_t>& out) {
    size_t n = in.pixels.size();
    std::vector<GifByteType> index(n);
    std::vector<GifColorType> colours;
    bool any_clear = false;
    for (uint32_t p : in.pixels) any_clear |= (p >> 24) < 128;
    int room = any_clear ? 255 : 256;
    // The exact palette when the opaque colours fit.
    std::unordered_map<uint32_t, int> seen;
    bool exact = true;
    for (size_t i = 0; i < n && exact; ++i) {
        uint32_t p = in.pixels[i];
        if ((p >> 24) < 128) continue;
        uint32_t rgb = p & 0xFFFFFF;
        if (seen.count(rgb)) continue;
        if (static_cast<int>(seen.size()) == room) exact = false;
        else seen.emplace(rgb, static_cast<int>(seen.size()));
    }
    if (exact) {
        colours.resize(seen.size());
        for (auto [rgb, i] : seen)
            colours[i] = GifColorType{static_cast<GifByteType>(rgb >> 16), static_cast<GifByteType>(rgb >> 8),
                                      static_cast<GifByteType>(rgb)};
        for (size_t i = 0; i < n; ++i)
            index[i] = static_cast<GifByteType>((in.pixels[i] >> 24) < 128 ? 0 : seen[in.pixels[i] & 0xFFFFFF]);
    } else {
        std::vector<GifByteType> r(n), g(n), b(n);
        for (size_t i = 0; i < n; ++i) {
            r[i] = static_cast<GifByteType>(in.pixels[i] >> 16);
            g[i] = static_cast<GifByteType>(in.pixels[i] >> 8);
            b[i] = static_cast<GifByteType>(in.pixels[i]);
        }
        int count = room;
        colours.resize(256);
        if (GifQuantizeBuffer(in.width, in.height, &count, r.data(), g.data(), b.data(), index.data(),
                              colours.data()) == GIF_ERROR)
            return false;
        colours.resize(std::min(count, room));
        for (auto& i : index)
            if (i >= colours.size()) i = static_cast<GifByteType>(colours.size() - 1);
    }
    int clear = -1;
    if (any_clear) {
        clear = static_cast<int>(colours.size());
        colours.push_back(GifColorType{0, 0, 0});
        for (size_t i = 0; i < n; ++i)
            if ((in.pixels[i] >> 24) < 128) index[i] = static_cast<GifByteType>(clear);
    }
    int bits = 1;
    while ((1 << bits) < static_cast<int>(colours.size())) ++bits;
    colours.resize(size_t{1} << bits, GifColorType{0, 0, 0});
    ColorMapObject* map = GifMakeMapObject(1 << bits, colours.data());
    if (!map) return false;
    int error = 0;
    GifFileType* gif = EGifOpen(&out, write_sink, &error);
    if (!gif) {
        GifFreeMapObject(map);
        return false;
    }
    EGifSetGifVersion(gif, true);
    bool ok = EGifPutScreenDesc(gif, static_cast<int>(in.width), static_cast<int>(in.height), bits, 0, map) == GIF_OK;
    if (ok && clear >= 0) {
        GraphicsControlBlock gcb{DISPOSAL_UNSPECIFIED, false, 0, clear};
        GifByteType ext[4];
        size_t len = EGifGCBToExtension(&gcb, ext);
        ok = EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, static_cast<int>(len), ext) == GIF_OK;
    }
    ok = ok && EGifPutImageDesc(gif, 0, 0, static_cast<int>(in.width), static_cast<int>(in.height), false, nullptr) ==
                       GIF_OK;
    for (uint32_t y = 0; ok && y < in.height; ++y)
        ok = EGifPutLine(gif, index.data() + static_cast<size_t>(y) * in.width, static_cast<int>(in.width)) == GIF_OK;
    if (EGifCloseFile(gif, &error) == GIF_ERROR) ok = false;
    GifFreeMapObject(map);
    return ok;
}

}  // namespace platform::imaging
