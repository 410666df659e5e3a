// libFuzzer target over the image decoders: every input is decoded by the
// codec its signature names and, whatever it begins with, by each of the
// five decoders directly; failing is an ordinary outcome, a crash or a
// sanitizer report is a fault. A picture that decodes is encoded again as
// PNG, BMP and TIFF, which must give back the same pixels.
//   cmake --build build/fuzz --target image_fuzz
//   build/fuzz/image_fuzz -max_total_time=60 corpus/   (seeds: any small images)
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <utility>
#include <vector>

#include "platform/imaging.h"

namespace imaging = platform::imaging;

namespace {

using Encoder = bool (*)(const imaging::Bitmap&, std::vector<uint8_t>&);
using Decoder = bool (*)(const uint8_t*, size_t, imaging::Bitmap&);

void round_trip(const imaging::Bitmap& b) {
    const std::pair<Encoder, Decoder> codecs[] = {{imaging::encode_png, imaging::decode_png},
                                                  {imaging::encode_bmp, imaging::decode_bmp},
                                                  {imaging::encode_tiff, imaging::decode_tiff}};
    for (auto [encode, decode] : codecs) {
        std::vector<uint8_t> bytes;
        imaging::Bitmap back;
        if (!encode(b, bytes) || !decode(bytes.data(), bytes.size(), back)) std::abort();
        if (back.width != b.width || back.height != b.height || back.pixels != b.pixels) std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    imaging::decode_pixel_limit = 1 << 20;
    imaging::Bitmap b;
    if (imaging::decode(data, size, b) && b.pixels.size() <= 4096) round_trip(b);
    for (Decoder d : {imaging::decode_png, imaging::decode_jpeg, imaging::decode_gif, imaging::decode_tiff,
                      imaging::decode_bmp}) {
        imaging::Bitmap other;
        (void)d(data, size, other);
    }
    return 0;
}
