// libFuzzer target over the ZEMBIN decoder in codec mode: every input is
// decoded as an image as it is, and again behind a valid compact header
// (so that the fuzzer reaches the records quickly). A script or access
// error is an ordinary outcome; anything else (a crash, a sanitizer report,
// a leak, a hang) is a fault. Decoded values are re-encoded, which must
// succeed or raise an error, never crash.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "datatypes/binary.h"
#include "fuzz_runtime.h"
#include "services/zembin/zembin.h"

namespace {

void decode(const std::vector<uint8_t>& bytes) {
    fuzz::guarded([&] {
        Cell bin = *binary::load(bytes.data(), static_cast<uint32_t>(bytes.size()));
        Cell value;
        zembin::decode_value(&bin, &value);
        stack::push(&value);
        Cell again;
        zembin::encode_cp(&value, &again);
        zembin::encode(&value, &again);
    });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::boot();
    decode(std::vector<uint8_t>(data, data + size));
    // The same bytes as the records of a compact image with a symbol table
    // of two names.
    std::vector<uint8_t> image = {'Z', 'E', 'M', 'B', 'I', 'N', 2, 5, 1};
    uint32_t payload = static_cast<uint32_t>(size);
    while (payload >= 0x80) {
        image.push_back(static_cast<uint8_t>(payload | 0x80));
        payload >>= 7;
    }
    image.push_back(static_cast<uint8_t>(payload));
    const uint8_t table[] = {2, 4, 0, 0, 0, 0, 2, 0, 0, 0, 'a', 0, 'b', 0};
    image.insert(image.end(), table, table + sizeof table);
    image.insert(image.end(), data, data + size);
    decode(image);
    return 0;
}
