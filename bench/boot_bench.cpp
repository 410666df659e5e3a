// Times start-up with the embedded boot image: decoding the ZEMBIN image
// alone (in a fresh runtime, and again in the same one), and the whole
// library top level (decode plus evaluation). Built with the project, never run by ctest; run
// build/release/boot_bench.
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "app/top_level.h"
#include "bench.h"
#include "datatypes/block.h"
#include "evaluator/stack.h"
#include "library/boot.h"
#include "services/zembin/zembin.h"

using bench::since;

// boot_bench [rounds]
int main(int argc, char** argv) {
    const int ROUNDS = argc > 1 ? std::atoi(argv[1]) : 200;
    if (ROUNDS < 1) return 2;
    double decode_total = 0, warm_total = 0, top_total = 0;
    int status = bench::guarded([&] {
        for (int i = 0; i < ROUNDS; ++i) {
            test_eval::start();
            zembin::codec_mode = false;
            top_level::prelude();
            auto t0 = std::chrono::steady_clock::now();
            zembin::boot_load(zem_boot_image, zem_boot_image_size, false);
            decode_total += since(t0);
            // Again in the same runtime: symbols and memory already there.
            t0 = std::chrono::steady_clock::now();
            zembin::boot_load(zem_boot_image, zem_boot_image_size, true);
            warm_total += since(t0);
            runtime::cleanup();

            test_eval::start();
            t0 = std::chrono::steady_clock::now();
            test_eval::boot();
            top_total += since(t0);
            runtime::cleanup();
        }
    });
    if (status) return status;
    std::printf("boot image: %zu bytes\n", zem_boot_image_size);
    std::printf("decode: %.1f us (again in the same runtime: %.1f us), decode plus top level: %.1f us (mean of %d)\n",
                decode_total / ROUNDS * 1e6, warm_total / ROUNDS * 1e6, top_total / ROUNDS * 1e6, ROUNDS);
    return 0;
}
