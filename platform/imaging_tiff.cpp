// TIFF through libtiff, in memory: the first directory read top-left first.
// 8-bit RGB(A) strips with unassociated alpha are read as stored, so their
// alpha stays straight; everything else goes through libtiff's RGBA reader
// (premultiplied), whose colours are divided back by alpha. Written as
// 8-bit RGBA with unassociated alpha, LZW-compressed.
#include <tiffio.h>

#include <algorithm>
#include <cstring>

#include "platform/imaging.h"

namespace platform::imaging {

namespace {

struct Memory {
    const uint8_t* data = nullptr;  // reading
    std::vector<uint8_t>* sink = nullptr;  // writing
    size_t size = 0, at = 0;
};

tsize_t mem_read(thandle_t h, tdata_t into, tsize_t n) {
    auto* m = static_cast<Memory*>(h);
    if (!m->data || n < 0 || m->at >= m->size) return 0;
    size_t k = std::min(static_cast<size_t>(n), m->size - m->at);
    std::memcpy(into, m->data + m->at, k);
    m->at += k;
    return static_cast<tsize_t>(k);
}

tsize_t mem_write(thandle_t h, tdata_t from, tsize_t n) {
    auto* m = static_cast<Memory*>(h);
    if (!m->sink || n < 0) return -1;
    size_t end = m->at + static_cast<size_t>(n);
    if (end > m->sink->size()) m->sink->resize(end);
    std::memcpy(m->sink->data() + m->at, from, static_cast<size_t>(n));
    m->at = end;
    m->size = m->sink->size();
    return n;
}

toff_t mem_seek(thandle_t h, toff_t off, int whence) {
    auto* m = static_cast<Memory*>(h);
    int64_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? static_cast<int64_t>(m->at) : static_cast<int64_t>(m->size);
    int64_t to = base + static_cast<int64_t>(off);
    if (to < 0) return static_cast<toff_t>(-1);
    if (m->sink && static_cast<size_t>(to) > m->sink->size()) {
        m->sink->resize(static_cast<size_t>(to));
        m->size = m->sink->size();
    }
    m->at = static_cast<size_t>(to);
    return static_cast<toff_t>(to);
}

int mem_close(thandle_t) { return 0; }
toff_t mem_size(thandle_t h) { return static_cast<toff_t>(static_cast<Memory*>(h)->size); }
int no_map(thandle_t, tdata_t*, toff_t*) { return 0; }
void no_unmap(thandle_t, tdata_t, toff_t) {}

void quiet() {
    static bool done = false;
    if (done) return;
    TIFFSetErrorHandler(nullptr);
    TIFFSetWarningHandler(nullptr);
    done = true;
}

::TIFF* open_memory(Memory& m, const char* mode) {
    quiet();
    return TIFFClientOpen("memory", mode, &m, mem_read, mem_write, mem_seek, mem_close, mem_size, no_map, no_unmap);
}

// 8-bit contiguous RGB or RGBA (unassociated or no alpha) in strips, stored
// top-left first: the samples as they are.
bool read_straight(::TIFF* tif, Bitmap& out) {
    uint16_t bits = 0, spp = 0, photometric = 0, planar = PLANARCONFIG_CONTIG, orientation = ORIENTATION_TOPLEFT;
    uint16_t extra_count = 0;
    uint16_t* extra = nullptr;
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &spp);
    TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &planar);
    TIFFGetFieldDefaulted(tif, TIFFTAG_ORIENTATION, &orientation);
    TIFFGetFieldDefaulted(tif, TIFFTAG_EXTRASAMPLES, &extra_count, &extra);
    if (!TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric)) return false;
    if (TIFFIsTiled(tif) || bits != 8 || photometric != PHOTOMETRIC_RGB || planar != PLANARCONFIG_CONTIG ||
        orientation != ORIENTATION_TOPLEFT)
        return false;
    bool alpha = spp == 4 && extra_count == 1 && extra[0] == EXTRASAMPLE_UNASSALPHA;
    if (!(spp == 3 && extra_count == 0) && !alpha) return false;
    if (TIFFScanlineSize(tif) != static_cast<tmsize_t>(out.width) * spp) return false;
    std::vector<uint8_t> line(static_cast<size_t>(out.width) * spp);
    for (uint32_t y = 0; y < out.height; ++y) {
        if (TIFFReadScanline(tif, line.data(), y, 0) < 0) return false;
        uint32_t* row = out.pixels.data() + static_cast<size_t>(y) * out.width;
        const uint8_t* s = line.data();
        for (uint32_t x = 0; x < out.width; ++x, s += spp)
            row[x] = uint32_t{alpha ? s[3] : uint8_t{255}} << 24 | uint32_t{s[0]} << 16 | uint32_t{s[1]} << 8 | s[2];
    }
    return true;
}

bool read_rgba(::TIFF* tif, Bitmap& out) {
    if (!TIFFReadRGBAImageOriented(tif, out.width, out.height, out.pixels.data(), ORIENTATION_TOPLEFT, 0)) return false;
    // libtiff gives R in the low byte and premultiplied colour.
    for (uint32_t& p : out.pixels) {
        uint32_t r = TIFFGetR(p), g = TIFFGetG(p), b = TIFFGetB(p), a = TIFFGetA(p);
        if (a != 0 && a != 255) {
            r = std::min(255u, (r * 255 + a / 2) / a);
            g = std::min(255u, (g * 255 + a / 2) / a);
            b = std::min(255u, (b * 255 + a / 2) / a);
        }
        p = a << 24 | r << 16 | g << 8 | b;
    }
    return true;
}

}  // namespace

bool decode_tiff(const uint8_t* data, size_t size, Bitmap& out) {
    Memory m;
    m.data = data;
    m.size = size;
    ::TIFF* tif = open_memory(m, "rm");
    if (!tif) return false;
    uint32_t w = 0, h = 0;
    bool ok = TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w) && TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h) && w && h &&
              allocate_decoded(out, w, h, 0);
    if (ok && !read_straight(tif, out)) {
        TIFFSetDirectory(tif, 0);
        ok = read_rgba(tif, out);
    }
    TIFFClose(tif);
    return ok;
}

bool encode_tiff(const Bitmap& in, std::vector<uint8_t>& out) {
    Memory m;
    m.sink = &out;
    ::TIFF* tif = open_memory(m, "w");
    if (!tif) return false;
    uint16_t extra[] = {EXTRASAMPLE_UNASSALPHA};
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, in.width);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, in.height);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 4);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tif, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, extra);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(tif, 0));
    std::vector<uint8_t> line(static_cast<size_t>(in.width) * 4);
    bool ok = true;
    for (uint32_t y = 0; ok && y < in.height; ++y) {
        const uint32_t* row = in.pixels.data() + static_cast<size_t>(y) * in.width;
        uint8_t* d = line.data();
        for (uint32_t x = 0; x < in.width; ++x) {
            uint32_t p = row[x];
            *d++ = static_cast<uint8_t>(p >> 16);
            *d++ = static_cast<uint8_t>(p >> 8);
            *d++ = static_cast<uint8_t>(p);
            *d++ = static_cast<uint8_t>(p >> 24);
        }
        ok = TIFFWriteScanline(tif, line.data(), y, 0) >= 0;
    }
    TIFFClose(tif);
    if (!ok) out.clear();
    return ok;
}

}  // namespace platform::imaging
