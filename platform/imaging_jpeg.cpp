// JPEG through libjpeg-turbo: grayscale, YCbCr and RGB come out as BGRA;
// CMYK and YCCK are converted here (Adobe files store them inverted).
// Written at quality 90 from the colour only (alpha dropped).
#include <csetjmp>
#include <cstdio>
#include <cstdlib>

#include <jpeglib.h>
#include <jerror.h>

#include "platform/imaging.h"

namespace platform::imaging {

namespace {

struct ErrorJump {
    jpeg_error_mgr mgr;
    std::jmp_buf jump;
};

void error_exit(j_common_ptr info) { std::longjmp(reinterpret_cast<ErrorJump*>(info->err)->jump, 1); }
// Warnings pass silently, except the end of the data before the image's end:
// a truncated file is an error, not a picture completed in grey.
void on_message(j_common_ptr info, int level) {
    if (level < 0 && info->err->msg_code == JWRN_JPEG_EOF) error_exit(info);
}

ErrorJump* errors_of(jpeg_error_mgr* mgr, ErrorJump& e) {
    jpeg_std_error(mgr);
    mgr->error_exit = error_exit;
    mgr->emit_message = on_message;
    return &e;
}

// Everything that a longjmp may skip lives outside the function's frame.
struct Decoding {
    jpeg_decompress_struct info;
    ErrorJump err;
    std::vector<uint8_t> row;
};

bool decode_into(Decoding& d, const uint8_t* data, size_t size, Bitmap& out) {
    if (setjmp(d.err.jump)) return false;
    // The source errs on no bytes: after the jump is set.
    jpeg_mem_src(&d.info, data, static_cast<unsigned long>(size));
    jpeg_read_header(&d.info, TRUE);
    bool cmyk = d.info.jpeg_color_space == JCS_CMYK || d.info.jpeg_color_space == JCS_YCCK;
    d.info.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGRA;
    jpeg_start_decompress(&d.info);
    if (!allocate_decoded(out, d.info.output_width, d.info.output_height, 0xFF000000u)) return false;
    if (cmyk) d.row.resize(static_cast<size_t>(out.width) * 4);
    bool inverted = d.info.saw_Adobe_marker;
    while (d.info.output_scanline < d.info.output_height) {
        uint32_t y = d.info.output_scanline;
        uint32_t* line = out.pixels.data() + static_cast<size_t>(y) * out.width;
        JSAMPROW rows[1] = {cmyk ? d.row.data() : reinterpret_cast<JSAMPLE*>(line)};
        if (jpeg_read_scanlines(&d.info, rows, 1) != 1) return false;
        if (!cmyk) continue;
        const uint8_t* s = d.row.data();
        for (uint32_t x = 0; x < out.width; ++x, s += 4) {
            // Ink amounts c, m, y, k; the stored bytes are 255 - ink in Adobe
            // files, the ink itself otherwise.
            uint32_t c = inverted ? 255u - s[0] : s[0], m = inverted ? 255u - s[1] : s[1];
            uint32_t ye = inverted ? 255u - s[2] : s[2], k = inverted ? 255u - s[3] : s[3];
            uint32_t r = ((255 - c) * (255 - k) + 127) / 255, g = ((255 - m) * (255 - k) + 127) / 255;
            uint32_t b = ((255 - ye) * (255 - k) + 127) / 255;
            line[x] = 0xFF000000u | r << 16 | g << 8 | b;
        }
    }
    jpeg_finish_decompress(&d.info);
    return true;
}

struct Encoding {
    jpeg_compress_struct info;
    ErrorJump err;
    unsigned char* mem = nullptr;
    unsigned long size = 0;
    std::vector<uint8_t> row;
};

bool encode_into(Encoding& e, const Bitmap& in) {
    if (setjmp(e.err.jump)) return false;
    jpeg_mem_dest(&e.info, &e.mem, &e.size);
    e.info.image_width = in.width;
    e.info.image_height = in.height;
    e.info.input_components = 4;
    e.info.in_color_space = JCS_EXT_BGRX;
    jpeg_set_defaults(&e.info);
    jpeg_set_quality(&e.info, 90, TRUE);
    jpeg_start_compress(&e.info, TRUE);
    while (e.info.next_scanline < e.info.image_height) {
        const uint32_t* line = in.pixels.data() + static_cast<size_t>(e.info.next_scanline) * in.width;
        JSAMPROW rows[1] = {const_cast<JSAMPLE*>(reinterpret_cast<const JSAMPLE*>(line))};
        jpeg_write_scanlines(&e.info, rows, 1);
    }
    jpeg_finish_compress(&e.info);
    return true;
}

}  // namespace

bool decode_jpeg(const uint8_t* data, size_t size, Bitmap& out) {
    Decoding d;
    d.info.err = &errors_of(&d.err.mgr, d.err)->mgr;
    jpeg_create_decompress(&d.info);
    bool ok = decode_into(d, data, size, out);
    jpeg_destroy_decompress(&d.info);
    return ok;
}

bool encode_jpeg(const Bitmap& in, std::vector<uint8_t>& out) {
    Encoding e;
    e.info.err = &errors_of(&e.err.mgr, e.err)->mgr;
    jpeg_create_compress(&e.info);
    bool ok = encode_into(e, in);
    jpeg_destroy_compress(&e.info);
    if (ok) out.assign(e.mem, e.mem + e.size);
    std::free(e.mem);
    return ok;
}

}  // namespace platform::imaging
