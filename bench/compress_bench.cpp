// Times DEFLATE with zlib framing over 10 MB (half text-like, half random
// bytes) and prints MB/s beside python3's zlib (the platform's zlib library)
// on the same bytes. Built with the project, never run by ctest; run
// build/release/compress_bench.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "bench.h"
#include "python_peer.h"
#include "services/compress.h"

namespace {

std::string sample(size_t n) {
    static const std::string words = "the quick brown fox jumps over the lazy dog while zem compresses some text ";
    std::string s;
    for (uint32_t i = 0; s.size() < n / 2; i++) s += words.substr((i * 7) % 50) + std::to_string(i % 1000) + ' ';
    s.resize(n / 2);
    return s + python_peer::noise(n - n / 2, 7);
}

template <typename F>
double best_seconds(F f) {
    double best = 1e9;
    for (int i = 0; i < 3; i++) {
        auto t0 = std::chrono::steady_clock::now();
        f();
        best = std::min(best, bench::since(t0));
    }
    return best;
}

}  // namespace

int main() {
    const size_t size = 10u << 20;
    std::string in = sample(size);
    std::vector<uint8_t> packed(size + size / 8 + 64), back(size);
    uint32_t packed_size = 0;
    double tc = best_seconds([&] {
        packed_size = static_cast<uint32_t>(packed.size());
        compress::zlib_compress(packed.data(), packed_size, python_peer::bytes(in), python_peer::size(in));
    });
    bool ok = true;
    double td = best_seconds([&] {
        uint32_t n = static_cast<uint32_t>(back.size());
        ok = compress::zlib_uncompress(back.data(), n, packed.data(), packed_size) == compress::OK && n == size;
    });
    double mb = static_cast<double>(size) / (1 << 20);
    std::printf("zem     zlib: compress %7.1f MB/s (ratio %.3f), decompress %7.1f MB/s%s\n", mb / tc,
                static_cast<double>(packed_size) / size, mb / td, ok ? "" : "  ** ROUND TRIP FAILED");
    auto peer = python_peer::run(
        "import zlib, time\n"
        "d = records()[0]\n"
        "def best(f):\n"
        "    b = 1e9\n"
        "    for _ in range(3):\n"
        "        t = time.perf_counter(); f(); b = min(b, time.perf_counter() - t)\n"
        "    return b\n"
        "for level in (1, 6):\n"
        "    c = zlib.compress(d, level)\n"
        "    tc = best(lambda: zlib.compress(d, level)); td = best(lambda: zlib.decompress(c))\n"
        "    mb = len(d) / (1 << 20)\n"
        "    emit(('python3 zlib level %d: compress %7.1f MB/s (ratio %.3f), decompress %7.1f MB/s' %\n"
        "          (level, mb / tc, len(c) / len(d), mb / td)).encode())\n",
        {in});
    if (peer)
        for (const auto& line : python_peer::unpack(*peer)) std::printf("%s\n", line.c_str());
    else
        std::printf("python3 did not run\n");
    return ok ? 0 : 1;
}
