// libFuzzer target over the decompressors: every input is decoded as raw
// DEFLATE, as a zlib stream and as a gzip member, into a roomy destination,
// a small one and none at all; any result code is an ordinary outcome, a
// crash or a sanitizer report is a fault. A stream that decodes is then
// compressed again and must decode back to the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "services/compress.h"

namespace {

using Codec = compress::Result (*)(uint8_t*, uint32_t&, const uint8_t*, uint32_t);

void round_trip(const std::vector<uint8_t>& data) {
    const Codec pairs[2][2] = {{compress::zlib_compress, compress::zlib_uncompress},
                               {compress::gzip_compress, compress::gzip_uncompress}};
    for (const auto& pair : pairs) {
        std::vector<uint8_t> packed(data.size() + data.size() / 8 + 64);
        uint32_t n = static_cast<uint32_t>(packed.size());
        if (pair[0](packed.data(), n, data.data(), static_cast<uint32_t>(data.size())) != compress::OK) std::abort();
        std::vector<uint8_t> back(data.size() + 1);
        uint32_t m = static_cast<uint32_t>(back.size());
        if (pair[1](back.data(), m, packed.data(), n) != compress::OK || m != data.size()) std::abort();
        for (size_t i = 0; i < data.size(); ++i)
            if (back[i] != data[i]) std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 20)) return 0;
    const Codec decoders[3] = {compress::inflate, compress::zlib_uncompress, compress::gzip_uncompress};
    std::vector<uint8_t> roomy(1 << 16), small(7);
    for (Codec decode : decoders) {
        uint32_t n = static_cast<uint32_t>(roomy.size());
        compress::Result r = decode(roomy.data(), n, data, static_cast<uint32_t>(size));
        if (r < compress::OK || r > compress::BAD_DISTANCE) std::abort();
        if (r == compress::OK) round_trip(std::vector<uint8_t>(roomy.begin(), roomy.begin() + n));
        n = static_cast<uint32_t>(small.size());
        (void)decode(small.data(), n, data, static_cast<uint32_t>(size));
        n = 0;
        (void)decode(nullptr, n, data, static_cast<uint32_t>(size));
    }
    return 0;
}
